// The clock value that a received local time sets, against an independent
// reckoning: the fields as universal time (timegm) less the zone's offset
// at that moment. Nothing here sets a clock.
#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/posix_platform.h"

namespace stampcast {
namespace posix {
namespace {

TEST(PosixClock, ALocalTimeIsTheInstantItsZoneSays) {
  const struct {
    const char* zone;
    LocalTime time;
    int offsetMinutes;
  } cases[] = {
      {"UTC", {2008, 3, 1, 17, 14, 5, 30, 250}, 0},
      {"UTC", {2024, 2, 4, 29, 23, 59, 59, 999}, 0},
      {"Europe/Berlin", {2026, 1, 4, 15, 12, 0, 0, 0}, 60},
      {"Europe/Berlin", {2026, 7, 3, 16, 12, 0, 0, 500}, 120},
      {"Europe/Berlin", {2026, 3, 0, 29, 3, 0, 0, 0}, 120},
      // Skipped by summer time, and then twice: both read as standard time.
      {"Europe/Berlin", {2026, 3, 0, 29, 2, 30, 0, 0}, 60},
      {"Europe/Berlin", {2026, 10, 0, 25, 2, 30, 0, 0}, 60},
      {"America/New_York", {2026, 11, 0, 1, 1, 30, 0, 0}, -300},
  };
  const char* saved = std::getenv("TZ");
  const std::string previous = saved ? saved : "";
  for (const auto& c : cases) {
    ::setenv("TZ", c.zone, 1);
    ::tzset();
    tm utc{};
    utc.tm_year = c.time.year - 1900;
    utc.tm_mon = c.time.month - 1;
    utc.tm_mday = c.time.day;
    utc.tm_hour = c.time.hour;
    utc.tm_min = c.time.minute;
    utc.tm_sec = c.time.second;
    timespec value{};
    ASSERT_EQ(clockValueOf(c.time, &value), 0);
    EXPECT_EQ(value.tv_sec, ::timegm(&utc) - c.offsetMinutes * 60)
        << c.zone << " " << c.time.month << "-" << c.time.day << " " << c.time.hour;
    EXPECT_EQ(value.tv_nsec, c.time.milliseconds * 1000000L);
  }
  if (saved) ::setenv("TZ", previous.c_str(), 1); else ::unsetenv("TZ");
  ::tzset();
}

}  // namespace
}  // namespace posix
}  // namespace stampcast
