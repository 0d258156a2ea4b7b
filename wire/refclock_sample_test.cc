#include "wire/refclock_sample.h"

#include <gtest/gtest.h>

namespace stampcast {
namespace {

TEST(RefclockSample, TakesTheArrivalToTheMicrosecondAndTheOffsetInSeconds) {
  const struct {
    std::int64_t arrival, offset, seconds, microseconds;
    double offsetSeconds;
  } cases[] = {
      {1700000000123456789, 2000000000, 1700000000, 123456, 2.0},
      {1700000000000000999, -1500000, 1700000000, 0, -0.0015},
      {-1, 0, -1, 999999, 0.0},  // before 1970: rounded down, not toward 0
  };
  for (const auto& c : cases) {
    const ClockSample sample = refclockSample(c.arrival, c.offset);
    EXPECT_EQ(sample.seconds, c.seconds) << c.arrival;
    EXPECT_EQ(sample.microseconds, c.microseconds) << c.arrival;
    EXPECT_DOUBLE_EQ(sample.offset, c.offsetSeconds) << c.arrival;
    EXPECT_EQ(sample.magic, 0x534f434b);
  }
}

}  // namespace
}  // namespace stampcast
