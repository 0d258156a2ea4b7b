#include "timestamp/measure/statistics.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "timestamp/report/text_report.h"

using namespace stampcast;

static const SocketAddress kFrom = ipv4SocketAddress(0x0100010a, 0x409c);  // 10.1.0.1:40000
static const SocketAddress kNextPort = ipv4SocketAddress(0x0100010a, 0x419c);

// The DSCP expected (-1: none), what came, the summary after its heading and
// the status. A line for each DSCP and TTL seen, ascending, the unknown last
// as "-"; the mean deviation over n; whole extremes unless a delay was finer
// than a millisecond; the next port another sender.
static const std::tuple<int, std::vector<MeasuredFields>, std::string, int> kRuns[] = {
    {-1, {}, "0 datagrams received from 0 senders, 0 invalid\n", 1},
    {46,
     {{kFrom, 46, 9, true, 0}, {kFrom, 8, 9, true, 2000}, {kFrom, -1, -1, false}},
     "3 datagrams received from 1 sender, 1 invalid\ntos 8: 1\ntos 46: 1\ntos -: 1\n"
     "expected tos 46: 2 mismatches\nttl 9: 2\nttl -: 1\n"
     "delay min/avg/max/mdev = 0/1.000/2/1.000 ms\n"
     "delay median/95%/99% = 0/2/2 ms\n",
     2},
    {8,
     {{kFrom, 8, 1, true, 0}, {kFrom, 8, 1, true, 86400000000}, {kFrom, 0, 1, true, -3600000000}},
     "3 datagrams received from 1 sender, 0 invalid\ntos 0: 1\ntos 8: 2\n"
     "expected tos 8: 1 mismatch\nttl 1: 3\n"
     "delay min/avg/max/mdev = -3600000/27600000.000/86400000/41603845.976 ms\n"
     "delay median/95%/99% = 0/86118629/86118629 ms\n",
     2},
    {-1,
     {{kFrom, 0, 1, true, 2000}, {kNextPort, 0, 1, true, 412, true}, {kFrom, 0, 1, false}},
     "3 datagrams received from 2 senders, 1 invalid\ntos 0: 3\nttl 1: 3\n"
     "delay min/avg/max/mdev = 0.412/1.206/2.000/0.794 ms\n"
     "delay median/95%/99% = 0.416/1.987/1.987 ms\n",
     0},
};

TEST(Statistics, SummaryAndStatus) {
  for (const auto& [expect, datagrams, summary, status] : kRuns) {
    RunConfig config;
    config.mode = RunMode::Receiver;
    config.measure = true;
    config.expectDscp = expect >= 0;
    config.expectedDscp = expect;
    ReceiverStatistics stats;
    for (const MeasuredFields& measured : datagrams) {
      countDatagram(stats, config, measured);
    }
    EXPECT_EQ(summaryText(stats, config), "\n--- 239.1.1.1:1234 statistics ---\n" + summary);
    EXPECT_EQ(summaryStatus(stats), status) << summary;
  }
}
