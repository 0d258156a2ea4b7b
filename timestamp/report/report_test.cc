#include "timestamp/report/report.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fake_platform.h"
#include "timestamp/report/json_report.h"
#include "timestamp/report/text_report.h"

namespace stampcast {
namespace {

const LocalTime kTime{2026, 3, 2, 9, 14, 5, 7, 42};
const SocketAddress kGroup = ipv4SocketAddress(0x010101ef, 0xd204);  // 239.1.1.1:1234
const SocketAddress kFrom = ipv4SocketAddress(0x0100010a, 0x409c);   // 10.1.0.1:40000

// A run with -i and -e: what both headings show beyond the classic ones.
RunConfig named() {
  RunConfig config;
  config.interfaceText = "eth1";
  config.expectDscp = true;
  config.expectedDscp = 46;
  config.measure = true;
  return config;
}

// Two datagrams of one stream, number 1 of it lost, one of a wrong DSCP.
ReceiverStatistics counted(const RunConfig& config) {
  ReceiverStatistics stats;
  stats.streams.keepPercentiles();
  const MeasuredFields datagrams[] = {
      {kFrom, 46, 9, true, 1500, true, true, 0},
      {kFrom, 8, 9, true, 2500, true, true, 2},
  };
  for (const MeasuredFields& measured : datagrams) countDatagram(stats, config, measured);
  return stats;
}

// A plain datagram, a measured one without a whole time, and one whose
// clock setting failed in a way that asks for no rights on either system.
const MeasuredFields kLate{kFrom, 46, 9, true, 1500, true, true, 17, Order::kLate};
const int kClockFailed = 22;
const ReceivedDatagram kPlain{kTime, true, 3};
const ReceivedDatagram kMeasured{kTime, false, 4, &kLate, 2000001};
const ReceivedDatagram kClock{kTime, true, 0, nullptr, 0, &kClockFailed};

// The events in a row's order, each by what the loops hand over, and
// their records. The text, where another test has it, is null: the
// sender's heading and line are options_test.cc's, the receiver's heading
// test_interfaces.py's, a received line's report_line_test.cc's and
// run_test.cc's, the summary's statistics_test.cc's and streams_test.cc's.
const struct {
  const char* event;
  void (*tell)(Report& report, const RunConfig& config);
  const char* text;
  const char* json;
} kEvents[] = {
    {"sender settings", [](Report& r, const RunConfig&) { r.settings(true); }, nullptr,
     "{\"type\":\"settings\",\"role\":\"sender\",\"group\":\"239.1.1.1\",\"port\":1234,\"dsc"
     "p\":32,\"ttl\":1,\"wait_ms\":500,\"interface\":\"eth1\",\"expected_dscp\":46}\n"},
    {"receiver settings", [](Report& r, const RunConfig&) { r.settings(false); }, nullptr,
     "{\"type\":\"settings\",\"role\":\"receiver\",\"group\":\"239.1.1.1\",\"port\":1234,\"u"
     "pdate\":false,\"interface\":\"eth1\",\"expected_dscp\":46}\n"},
    {"sent", [](Report& r, const RunConfig&) { r.sent(kTime, 5, kGroup, 5); }, nullptr,
     "{\"type\":\"sent\",\"seq\":5,\"time\":\"2026-03-09T14:05:07.042\",\"to\":\"239.1.1.1:1"
     "234\",\"dscp\":32,\"ttl\":1,\"sent\":5}\n"},
    {"received", [](Report& r, const RunConfig&) { r.received(kPlain); }, nullptr,
     "{\"type\":\"received\",\"seq\":3,\"time\":\"2026-03-09T14:05:07.042\"}\n"},
    {"received, measured", [](Report& r, const RunConfig&) { r.received(kMeasured); }, nullptr,
     "{\"type\":\"received\",\"seq\":4,\"time\":null,\"at_s\":2.000001,\"from\":\"10.1.0.1:4"
     "0000\",\"dscp\":46,\"ttl\":9,\"delay_ms\":1.500,\"sent\":17,\"duplicate\":false,\"out_"
     "of_order\":true,\"valid\":false}\n"},
    {"received, clock", [](Report& r, const RunConfig&) { r.received(kClock); },
     "Received Time 14:05:07:042 on 03-09-2026 seq:0\nError: Setting local time - 22\n",
     "{\"type\":\"received\",\"seq\":0,\"time\":\"2026-03-09T14:05:07.042\",\"clock_set\":fa"
     "lse}\n{\"type\":\"message\",\"text\":\"Error: Setting local time - 22\"}\n"},
    {"interval",
     [](Report& r, const RunConfig& c) { r.interval(counted(c), IntervalSpan{0, 1000000, 0}); },
     "interval 0.000-1.000 s: 2 received, 0 invalid\n"
     "  tos 8: 1, tos 46: 1\n  from 10.1.0.1:40000: 2 received, 1 lost (33.33%), 0 duplicate"
     "s, 0 out of order, delay min/avg/max = 1.500/2.000/2.500 ms, jitter 0.062 ms\n",
     "{\"type\":\"interval\",\"start_s\":0.000000,\"end_s\":1.000000,\"late_s\":0.000000,\"r"
     "eceived\":2,\"invalid\":0,\"dscp\":{\"8\":1,\"46\":1},\"mismatches\":1,\"streams\":[{\""
     "from\":\"10.1.0.1:40000\",\"run\":\"0000000000000000\",\"received\":2,\"lost\":1,\"dup"
     "licates\":0,\"out_of_order\":0,\"delay_ms\":{\"min\":1.500,\"avg\":2.000,\"max\":2.500"
     ",\"p50\":1.506,\"p95\":2.500,\"p99\":2.500},\"jitter_ms\":0.062}]}\n"},
    {"summary", [](Report& r, const RunConfig& c) { r.summary(counted(c)); }, nullptr,
     "{\"type\":\"summary\",\"group\":\"239.1.1.1\",\"port\":1234,\"received\":2,\"senders\""
     ":1,\"senders_capped\":false,\"invalid\":0,\"dscp\":{\"8\":1,\"46\":1},\"expected_dscp\""
     ":46,\"mismatches\":1,\"ttl\":{\"9\":2},\"delay_ms\":{\"min\":1.500,\"avg\":2.000,\"max"
     "\":2.500,\"mdev\":0.500,\"p50\":1.506,\"p95\":2.500,\"p99\":2.500},\"streams\":[{\"fro"
     "m\":\"10.1.0.1:40000\",\"run\":\"0000000000000000\",\"received\":2,\"lost\":1,\"duplic"
     "ates\":0,\"out_of_order\":0,\"lost_percent\":33.333,\"delay_ms\":{\"min\":1.500,\"avg\""
     ":2.000,\"max\":2.500,\"p50\":1.506,\"p95\":2.500,\"p99\":2.500},\"jitter_ms\":0.062}],"
     "\"streams_not_followed\":false,\"status\":2}\n"},
    {"message", [](Report& r, const RunConfig&) { print(r, "\nReceiving...\n"); }, nullptr,
     "{\"type\":\"message\",\"text\":\"Receiving...\"}\n"},
    {"error", [](Report& r, const RunConfig&) { printError(r, "\nrecvfrom failed: %d", 9); },
     nullptr, "{\"type\":\"error\",\"text\":\"recvfrom failed: 9\"}\n"},
};

TEST(Report, EachEventInBothForms) {
  for (const auto& row : kEvents) {
    for (const bool json : {false, true}) {
      if (!json && row.text == nullptr) continue;
      resetRightsHint();
      FakePlatform platform;
      const RunConfig config = named();
      RunPlan plan;
      plan.groups = {kGroup};
      plan.interfaceIndex = 3;
      TextReport text(platform, config, plan);
      JsonReport records(platform, config, plan);
      Report& report = json ? static_cast<Report&>(records) : text;
      row.tell(report, config);
      report.flush();
      EXPECT_EQ(platform.output, json ? row.json : row.text) << row.event;
    }
  }
}

}  // namespace
}  // namespace stampcast
