#include "cli/load_options.h"

#include <gtest/gtest.h>

using namespace stampcast;

// -b's text, the datagram's size and the burst: the period between bursts,
// 0 where the rate is refused.
struct RateRow {
  const char* text;
  std::size_t size;
  int burst;
  std::uint64_t period;
};
static const RateRow kRates[] = {
    {"20M", 1250, 1, 500000},          // 2000 datagrams a second
    {"2.5M", 1250, 8, 32000000},       // 250 a second, bursts of 8
    {"5000pps", 1400, 1, 200000},      // the size does not count
    {"10kpps", 16, 1, 100000},         // a multiplier before pps
    {"1G", 125, 1, 1000},              // 10^9, not 2^30
    {"1.5", 16, 1, 85333333333},       // bits a second, a fraction
    {"64Gpps", 16, 64, 1},             // the shortest period
    {"1000Gpps", 16, 1, 0},            // under 1 ns
    {"0.00001pps", 16, 1, 0},          // over a day
    {"0", 16, 1, 0},
    {"0pps", 16, 1, 0},
    {"-5M", 16, 1, 0},
    {"", 16, 1, 0},
    {"M", 16, 1, 0},
    {".", 16, 1, 0},
    {"1.2.3", 16, 1, 0},
    {"5m", 16, 1, 0},                  // the suffixes' case counts
    {"5Mbps", 16, 1, 0},
    {"5pp", 16, 1, 0},
    {"5 M", 16, 1, 0},
    {"1e3", 16, 1, 0},
    {"0x10", 16, 1, 0},
    {"inf", 16, 1, 0},
    {"nan", 16, 1, 0},
    {"9999999999999999999999999999999999999999999999999999999999999999999999"
     "9999999999999999999999999999999999999999999999999999999999999999999999"
     "9999999999999999999999999999999999999999999999999999999999999999999999"
     "9999999999999999999999999999999999999999999999999999999999999999999999"
     "9999999999999999999999999999999999999999999999999999999999999999999999",
     16, 1, 0},                        // past a double: not finite
};

TEST(LoadOptions, RateToPeriod) {
  for (const RateRow& row : kRates) {
    Rate rate;
    std::uint64_t period = 0;
    const bool read = parseRate(row.text, &rate) &&
                      burstPeriodNanoseconds(rate, row.burst, row.size, &period);
    EXPECT_EQ(read ? period : 0, row.period) << row.text;
  }
}

TEST(LoadOptions, SizeAndBurstBounds) {
  std::size_t size = 0;
  int burst = 0;
  const struct {
    const char* text;
    std::size_t least;
    bool ipv6;
    bool fits;
  } sizes[] = {
      {"16", 16, false, true},     {"15", 16, false, false},  {"71", 72, false, false},
      {"72", 72, false, true},     {"65507", 16, false, true}, {"65508", 16, false, false},
      {"65527", 16, true, true},   {"65528", 16, true, false},
      {"99999999999999999999", 16, true, false},
      {"+100", 16, false, false},  {"100 ", 16, false, false}, {"", 16, false, false},
  };
  for (const auto& row : sizes) {
    EXPECT_EQ(parseDatagramSize(row.text, row.least, row.ipv6, &size), row.fits) << row.text;
  }
  EXPECT_EQ(parseDatagramSize("1400", 16, false, &size) ? size : 0, 1400u);
  for (const char* bad : {"0", "1025", "-1", "1k", ""}) {
    EXPECT_FALSE(parseBurst(bad, &burst)) << bad;
  }
  EXPECT_TRUE(parseBurst("1024", &burst));
  EXPECT_EQ(burst, 1024);
}
