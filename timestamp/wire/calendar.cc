#include "timestamp/wire/calendar.h"

namespace stampcast {
namespace {

int daysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

bool isValidCalendarTime(const LocalTime& time) {
  return time.year >= 1601 && time.year <= 30827 && time.month >= 1 &&
         time.month <= 12 && time.day >= 1 &&
         time.day <= daysInMonth(time.year, time.month) && time.hour < 24 &&
         time.minute < 60 && time.second < 60 && time.milliseconds < 1000;
}

std::int64_t calendarMilliseconds(const LocalTime& time) {
  // Days since 1970-01-01 in the proleptic Gregorian calendar, counted in
  // 400-year eras that start on 1 March, so that the leap day ends a year.
  const std::int64_t year = time.month <= 2 ? time.year - 1 : time.year;
  const std::int64_t era = year / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t month = time.month > 2 ? time.month - 3 : time.month + 9;
  const std::int64_t dayOfYear = (153 * month + 2) / 5 + time.day - 1;
  const std::int64_t dayOfEra =
      yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const std::int64_t days = era * 146097 + dayOfEra - 719468;
  return ((days * 24 + time.hour) * 60 + time.minute) * 60000 +
         time.second * 1000 + time.milliseconds;
}

}  // namespace stampcast
