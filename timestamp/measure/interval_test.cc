#include "timestamp/measure/interval.h"

#include <gtest/gtest.h>

namespace stampcast {
namespace {

// Reports every 2 s from 10 s on the steady clock: what each reading ends.
TEST(IntervalClock, EndsEachIntervalOnceItsTimeHasCome) {
  IntervalClock clock(10000000000, 2);
  const struct { std::int64_t now; bool due; std::int64_t from, to; } steps[] = {
      {11999999999, false, 0, 0},
      {12000000000, true, 0, 2000000},
      {17500000000, true, 2000000, 4000000},  // late: each interval in turn
      {17500000000, true, 4000000, 6000000},
      {17500000000, false, 0, 0},
  };
  for (const auto& step : steps) {
    IntervalSpan span;
    ASSERT_EQ(clock.take(step.now, &span), step.due) << step.now;
    EXPECT_EQ(step.due ? span.from * 1000 + span.to : 0, step.from * 1000 + step.to) << step.now;
  }
  EXPECT_EQ(clock.deadline(), 18000000000);
  IntervalSpan rest;
  EXPECT_TRUE(clock.rest(17500000000, &rest));
  EXPECT_EQ(rest.from * 1000 + rest.to, 6000000000LL + 7500000);
  EXPECT_FALSE(clock.rest(16000000000, &rest));  // ended right at a report
  EXPECT_FALSE(IntervalClock(0, 0).take(INT64_MAX, &rest));  // -a 0: no reports
  EXPECT_EQ(change(5, 3), -2);  // late datagrams filled a gap counted before
  EXPECT_EQ(change(UINT64_MAX, 0), 1);
}

}  // namespace
}  // namespace stampcast
