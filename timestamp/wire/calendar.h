// The receiver's rule for which received times may reach the clock.
#ifndef STAMPCAST_TIMESTAMP_WIRE_CALENDAR_H_
#define STAMPCAST_TIMESTAMP_WIRE_CALENDAR_H_

#include <cstdint>

#include "platform/types.h"

namespace stampcast {

// True when the fields (day of the week aside) form a calendar time that the
// clock can take: year 1601 to 30827, month 1 to 12, a day that the month
// has, hour below 24, minute and second below 60, milliseconds below 1000.
bool isValidCalendarTime(const LocalTime& time);

// The calendar time as milliseconds since 1 January 1970 on the same
// (zone-less) calendar, day of the week aside; the difference of two is
// their distance across days, months and years. The fields must form a
// calendar time.
std::int64_t calendarMilliseconds(const LocalTime& time);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_WIRE_CALENDAR_H_
