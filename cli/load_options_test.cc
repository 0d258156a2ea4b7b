#include "cli/load_options.h"

#include <gtest/gtest.h>

#include <string>

using namespace stampcast;

// -b's text, the datagram's size and the burst: the period between bursts,
// 0 where it would be under 1 ns or over a day.
struct RateRow {
  const char* text;
  std::size_t size;
  int burst;
  std::uint64_t period;
};
static const RateRow kRates[] = {
    {"20M", 1250, 1, 500000},       // 2000 datagrams a second
    {"2.5M", 1250, 8, 32000000},    // 250 a second, bursts of 8
    {"10kpps", 16, 1, 100000},      // a multiplier before pps
    {"1G", 125, 1, 1000},           // 10^9, not 2^30
    {"64Gpps", 16, 64, 1},          // the shortest period
    {"1000Gpps", 16, 1, 0},
    {"0.00001pps", 16, 1, 0},
};

TEST(LoadOptions, RateToPeriod) {
  Rate rate;
  for (const RateRow& row : kRates) {
    std::uint64_t period = 0;
    const bool read = parseRate(row.text, &rate) &&
                      burstPeriodNanoseconds(rate, row.burst, row.size, &period);
    EXPECT_EQ(read ? period : 0, row.period) << row.text;
  }
  for (const char* bad : {"0", "0pps", "-5M", "", "M", ".", "1.2.3", "5m", "5Mbps", "1e3"}) {
    EXPECT_FALSE(parseRate(bad, &rate)) << bad;
  }
  EXPECT_FALSE(parseRate(std::string(400, '9').c_str(), &rate));  // not finite
}

TEST(LoadOptions, SizeAndBurstBounds) {
  std::size_t size = 0;
  int burst = 0;
  EXPECT_FALSE(parseDatagramSize("71", 72, false, &size));
  EXPECT_FALSE(parseDatagramSize("65508", 16, false, &size));
  EXPECT_FALSE(parseDatagramSize("65528", 16, true, &size));
  EXPECT_FALSE(parseDatagramSize("99999999999999999999", 16, true, &size));
  EXPECT_TRUE(parseDatagramSize("72", 72, false, &size));
  EXPECT_TRUE(parseDatagramSize("65527", 16, true, &size));
  EXPECT_EQ(size, 65527u);
  for (const char* bad : {"0", "1025", "-1", "1k", ""}) EXPECT_FALSE(parseBurst(bad, &burst));
  EXPECT_TRUE(parseBurst("1024", &burst));
  EXPECT_EQ(burst, 1024);
}
