#include "timestamp/report/exposition.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/exposition_sample.h"

namespace stampcast {
namespace {

// Whole lines of the sample's exposition; the buckets count cumulatively,
// a negative delay from the bound just above it, one beyond 26.2144 s only
// in +Inf.
TEST(Exposition, SampleLines) {
  const std::string text = "\n" + writeExposition(sampleGroups(), "1.0");
  const std::string one = "{group=\"239.1.1.1:1234\",source=\"10.0.0.1\"";
  const std::string lines[] = {
      "# HELP stampcast_datagrams_received_total Datagrams received from the source.\n"
      "# TYPE stampcast_datagrams_received_total counter\n"
      "stampcast_datagrams_received_total" + one + "} 1000\n"
      "stampcast_datagrams_received_total{group=\"[ff15::81]:1234\",source=\"fe80::1%2\"} 1\n",
      "stampcast_datagrams_invalid_total{group=\"239.1.1.1:1234\"} 4\n",
      "stampcast_dscp_received_total" + one + ",dscp=\"8\"} 10\n",
      "stampcast_dscp_changed_total" + one + ",sent=\"46\",received=\"8\"} 10\n",
      "stampcast_delay_seconds_bucket" + one + ",le=\"-0.0002\"} 0\n"
      "stampcast_delay_seconds_bucket" + one + ",le=\"-0.0001\"} 1\n",
      "stampcast_delay_seconds_bucket" + one + ",le=\"0.0004\"} 1\n"
      "stampcast_delay_seconds_bucket" + one + ",le=\"0.0008\"} 999\n",
      "stampcast_delay_seconds_bucket" + one + ",le=\"26.2144\"} 999\n"
      "stampcast_delay_seconds_bucket" + one + ",le=\"+Inf\"} 1000\n"
      "stampcast_delay_seconds_sum" + one + "} 30.411056\n"
      "stampcast_delay_seconds_count" + one + "} 1000\n",
      "stampcast_longest_gap_seconds" + one + "} 1.5\n",
      "stampcast_last_datagram_timestamp_seconds" + one + "} 1700000000.123456\n",
      "# TYPE stampcast_build_info gauge\nstampcast_build_info{version=\"1.0\"} 1\n",
  };
  for (const std::string& line : lines) {
    EXPECT_NE(text.find("\n" + line), std::string::npos) << line;
  }
}

TEST(Exposition, LabelValuesEscaped) {
  const struct { const char* in; const char* out; } cases[] = {
      {"a\\b", "\"a\\\\b\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"two\nlines\r", "\"two\\nlines\r\""},
  };
  for (const auto& test : cases) {
    std::string out;
    appendLabelValue(out, test.in);
    EXPECT_EQ(out, test.out);
  }
}

TEST(Exposition, DelayBuckets) {
  const std::int64_t beyond = INT64_MAX;  // the +Inf bucket
  const struct { std::int64_t delay, bound; } cases[] = {
      {INT64_MIN, -26214400}, {-26214400, -26214400}, {-51, -50}, {-50, -50},
      {-49, 0}, {0, 0}, {1, 50}, {50, 50}, {51, 100},
      {26214400, 26214400}, {26214401, beyond}, {INT64_MAX, beyond},
  };
  for (const auto& test : cases) {
    const std::size_t index = delayBucket(test.delay);
    EXPECT_EQ(index == kDelayBounds ? beyond : delayBound(index), test.bound) << test.delay;
  }
}

// One address adds up; past the limit, each new one goes to "other". Shown
// as source:received:last datagram:jitter (the jitter of the latest).
TEST(Exposition, SourcesFolded) {
  std::vector<SourceFigures> sources;
  for (const char* name : {"a", "b", "a", "c", "d"}) {
    sources.emplace_back();
    sources.back().source = name;
    sources.back().received = sources.size();
    sources.back().lastDatagram = sources.size() == 4 ? 9 : sources.size();
    sources.back().jitter = sources.back().lastDatagram * 10;
  }
  const struct { std::size_t limit; std::string out; } cases[] = {
      {0, "other:15:9:90 "}, {2, "a:4:3:30 b:2:2:20 other:9:9:90 "},
  };
  for (const auto& test : cases) {
    std::string out;
    for (const SourceFigures& source : foldSources(sources, test.limit)) {
      out += source.source + ":" + std::to_string(source.received) + ":" +
             std::to_string(source.lastDatagram) + ":" + std::to_string(source.jitter) + " ";
    }
    EXPECT_EQ(out, test.out) << test.limit;
  }
}

}  // namespace
}  // namespace stampcast
