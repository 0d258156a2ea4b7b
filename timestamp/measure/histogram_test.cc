#include "timestamp/measure/histogram.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "timestamp/measure/jitter.h"

namespace stampcast {
namespace {

// Delays in microseconds, a percentile and the delay at its nearest rank.
TEST(DelayHistogram, NearestRankWithinOnePercent) {
  const struct { std::vector<std::int64_t> delays; double percent; double wanted; } cases[] = {
      {{412}, 99, 412},  // one delay: held to itself
      {{4, 1, 3, 2}, 50, 2},  // rank 2 of 4; exact below 50 us
      {{4, 1, 3, 2}, 51, 3},
      {{-5000, -20, 0, 7, 900}, 20, -5000},  // below zero has buckets
      {{INT64_MIN, 0, INT64_MAX}, 30, -9223372036854775808.0},  // beyond the buckets: the extremes
      {{INT64_MIN, 0, INT64_MAX}, 100, 9223372036854775807.0},
  };
  for (const auto& test : cases) {
    DelayHistogram histogram;
    for (const std::int64_t delay : test.delays) histogram.add(delay);
    EXPECT_NEAR(histogram.percentile(test.percent), test.wanted, std::fabs(test.wanted) * 0.01) << test.percent;
  }
}

// Any delay from a microsecond to 2^63 of either sign reads back within 1 %,
// also where no extreme holds it.
TEST(DelayHistogram, EveryMagnitudeWithinOnePercent) {
  for (double magnitude = 1; magnitude < 9.2e18; magnitude *= 1.0137) {
    for (const std::int64_t delay : {std::llround(magnitude), -std::llround(magnitude)}) {
      DelayHistogram histogram;
      histogram.add(INT64_MIN);
      histogram.add(delay);
      histogram.add(INT64_MAX);
      EXPECT_NEAR(histogram.percentile(50), delay, std::fabs(delay) * 0.01) << delay;
    }
  }
}

// Transits in microseconds, in arrival order, and the jitter they leave.
TEST(Jitter, RunningMeanOfTransitDifferences) {
  const struct { std::vector<std::int64_t> transits; double wanted; } cases[] = {
      {{100, 100, 100}, 0},  // a constant offset drops out; the first has no difference
      {{0, 4000}, 250},
      {{0, 4000, 0}, 250 + (4000 - 250) / 16.0},
      {{INT64_MIN, INT64_MAX}, 18446744073709551615.0 / 16},  // no overflow
  };
  for (const auto& test : cases) {
    Jitter jitter;
    for (const std::int64_t transit : test.transits) jitter.add(transit);
    EXPECT_DOUBLE_EQ(jitter.microseconds, test.wanted) << test.transits.size();
  }
}

}  // namespace
}  // namespace stampcast
