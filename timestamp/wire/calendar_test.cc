#include "timestamp/wire/calendar.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

using namespace stampcast;

// Year, month, weekday (never read), day, hour, minute, second, millisecond:
// each limit of what the clock takes beside a step past it, the ends of the
// months, February in leap, common and century years.
static const std::pair<LocalTime, bool> kValidity[] = {
    {{1601, 1, 0, 1, 0, 0, 0, 0}, true},          // the first day the clock takes
    {{1600, 12, 0, 31, 23, 59, 59, 999}, false},  // the day before it
    {{30828, 1, 0, 1, 0, 0, 0, 0}, false},        // the year past the last
    {{30827, 12, 9, 31, 23, 59, 59, 999}, true},  // the last millisecond, any weekday
    {{2008, 0, 0, 1, 0, 0, 0, 0}, false},         // month 0
    {{2008, 13, 0, 1, 0, 0, 0, 0}, false},        // month 13
    {{2008, 4, 0, 31, 0, 0, 0, 0}, false},        // April 31
    {{2008, 3, 0, 0, 0, 0, 0, 0}, false},         // day 0
    {{2008, 2, 0, 29, 0, 0, 0, 0}, true},         // February 29: leap year
    {{2007, 2, 0, 29, 0, 0, 0, 0}, false},        // common year
    {{2000, 2, 0, 29, 0, 0, 0, 0}, true},         // century leap year
    {{1900, 2, 0, 29, 0, 0, 0, 0}, false},        // century common year
    {{2008, 3, 0, 17, 24, 0, 0, 0}, false},       // hour 24
    {{2008, 3, 0, 17, 0, 60, 0, 0}, false},       // minute 60
    {{2008, 3, 0, 17, 0, 0, 0, 1000}, false},     // millisecond 1000
};

// Milliseconds since 1970 as Python's datetime reckons them: either side of
// the epoch, of a year's end and of February's end in leap, common and
// century years, and the ends of the clock's range.
static const std::pair<LocalTime, std::int64_t> kMilliseconds[] = {
    {{1969, 12, 3, 31, 23, 59, 59, 999}, -1},
    {{2007, 12, 1, 31, 23, 59, 59, 999}, 1199145599999},
    {{2009, 2, 0, 1, 0, 0, 0, 0}, 1233446400000},
    {{2008, 3, 6, 1, 0, 0, 0, 0}, 1204329600000},
    {{1900, 3, 4, 1, 0, 0, 0, 0}, -2203891200000},
    {{2000, 3, 3, 1, 0, 0, 0, 0}, 951868800000},
    {{1601, 1, 1, 1, 0, 0, 0, 0}, -11644473600000},
    {{30827, 12, 0, 31, 23, 59, 59, 999}, 910670515199999},
};

TEST(Calendar, ValidityAndMillisecondsAcrossMonthsAndYears) {
  for (const auto& [time, valid] : kValidity) {
    EXPECT_EQ(isValidCalendarTime(time), valid) << testing::PrintToString(time);
  }
  for (const auto& [time, ms] : kMilliseconds) {
    EXPECT_EQ(calendarMilliseconds(time), ms) << testing::PrintToString(time);
  }
}
