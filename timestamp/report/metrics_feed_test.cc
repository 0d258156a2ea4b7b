#include "timestamp/report/metrics_feed.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "tests/fake_platform.h"
#include "timestamp/report/text_report.h"

using namespace stampcast;

namespace {

SocketAddress from(std::uint32_t address, std::uint16_t port) {
  return ipv4SocketAddress(hostToNetwork32(address), hostToNetwork16(port));
}

// The lost figure of one stream fed these numbers during the run (at its
// end it is the table's own): a gap counts once the window (4096 numbers)
// has left it behind, and nothing that comes late takes it back.
TEST(MetricsFeed, LostOnlyOnceItCanNoLongerCome) {
  const struct { const char* numbers; std::uint64_t during; } cases[] = {
      {"0 5000 3 10 4999", 904},  // 3 and 10 are behind the window
      {"7 3 4100", 0},            // 3 came before the first heard
      {"0 4096", 0},
      {"0 4097", 1},
  };
  for (const auto& test : cases) {
    StreamTable table;
    std::istringstream numbers(test.numbers);
    for (std::uint64_t number; numbers >> number;) table.count(from(0x0a000001, 1), 1, number);
    EXPECT_EQ(finalLost(table.list()[0], false), test.during) << test.numbers;
  }
}

// Two senders on one host (two ports) add up under its address, with the
// losses of each stream and the delays of each datagram.
TEST(MetricsFeed, StreamsOfOneAddressAddUp) {
  ReceiverStatistics stats;
  SourceTally tally;
  const std::uint64_t numbers[][2] = {{1, 0}, {2, 0}, {2, 2}};
  for (const auto& [port, number] : numbers) {
    MeasuredFields measured;
    measured.from = from(0x0a000001, static_cast<std::uint16_t>(port));
    measured.dscp = 46;
    measured.hasDelay = true;
    measured.delayMicroseconds = 300;
    measured.hasSent = true;
    measured.sent = number;
    countDatagram(stats, RunConfig{}, measured);
    tally.count(measured, 1000);
  }
  const GroupFigures group = feedGroup("g", stats, tally.figures(1000000, 6000000), true);
  ASSERT_EQ(group.sources.size(), 1u);
  const SourceFigures& source = group.sources[0];
  EXPECT_EQ(source.source, "10.0.0.1");
  EXPECT_EQ(source.received, 3u);
  EXPECT_EQ(source.lost, 1u);
  EXPECT_EQ(source.delayBuckets[delayBucket(300)], 3u);
  EXPECT_EQ(source.lastDatagram, 1000000 - 5999);
}

// A stream of version 2 trailers: its re-marked datagrams count as pairs,
// and an episode counts only once no late datagram can close it (out of the
// window, or the run over), so that the counter never goes down.
TEST(MetricsFeed, LoadFiguresCountOnlyWhatIsSettled) {
  ReceiverStatistics stats;
  const std::uint64_t numbers[] = {0, 1, 5, 6, 9000};
  for (const std::uint64_t number : numbers) {
    MeasuredFields measured;
    measured.from = from(0x0a000001, 1);
    measured.dscp = number == 1 ? 8 : 46;
    measured.hasSent = true;
    measured.sent = number;
    measured.hasLoad = true;
    measured.askedDscp = 46;
    measured.sentNanoseconds = static_cast<std::int64_t>(number) * 1000000;
    countDatagram(stats, RunConfig{}, measured);
  }
  SourceFigures heard;
  heard.source = "10.0.0.1";
  const GroupFigures during = feedGroup("g", stats, {heard}, false);
  ASSERT_EQ(during.sources[0].dscpChanged.size(), 1u);
  EXPECT_EQ(during.sources[0].dscpChanged[0].count, 1u);
  EXPECT_EQ(during.sources[0].lossEpisodes, 1u);  // 2-4 has left the window; 7-8999 has not
  EXPECT_EQ(during.sources[0].longestGap, 8994000);  // from the send time of 6 to 9000's
  stats.streams.endRun();
  EXPECT_EQ(feedGroup("g", stats, {heard}, true).sources[0].lossEpisodes, 2u);
}

int failures = 0;
FileWrite failingTwice(const std::string&, const std::string&) {
  FileWrite result;
  if (failures-- > 0) {
    result.systemError = 28;
    result.reason = "No space left on device";
  }
  return result;
}

// A write that fails during the run is told once and tried again at the
// next. (One that fails at the start ends the run: test_metrics.py.)
TEST(MetricsFeed, AFailedWriteIsToldOnce) {
  FakePlatform platform;
  RunConfig config;
  config.metricsPath = "m.prom";
  TextReport report(platform, config);
  MetricsFile file(config, from(0xef010101, 1234), platform, report, failingTwice);
  failures = 0;
  ASSERT_TRUE(file.start());
  ReceiverStatistics stats;
  failures = 2;
  for (int i = 0; i < 4; ++i) file.write(stats, false);
  EXPECT_EQ(platform.output, "Cannot write metrics to m.prom: No space left on device\n");
}

}  // namespace
