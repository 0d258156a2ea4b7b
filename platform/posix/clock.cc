// The clock on POSIX hosts: local calendar time with milliseconds.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "platform/posix/posix_platform.h"

namespace stampcast {
namespace posix {
namespace {

// How long before its end a pause stops sleeping, in nanoseconds.
constexpr std::int64_t kWakeUpMargin = 200000;

std::int64_t monotonicNanoseconds() {
  timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

void PosixPlatform::readClock(LocalTime* local,
                              std::int64_t* utcNanoseconds) {
  timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  localTimeAt(now, local);
  *utcNanoseconds = static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void PosixPlatform::localTimeAt(const timespec& instant, LocalTime* time) {
  // A flooding sender reads the clock tens of thousands of times a second,
  // and a busy receiver converts as many arrival stamps: the calendar fields
  // change once a second, so they are worked out once.
  if (instant.tv_sec != cachedSecond_) {
    ::localtime_r(&instant.tv_sec, &cachedLocal_);
    cachedSecond_ = instant.tv_sec;
  }
  const tm& local = cachedLocal_;
  time->year = static_cast<std::uint16_t>(local.tm_year + 1900);
  time->month = static_cast<std::uint16_t>(local.tm_mon + 1);
  time->dayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
  time->day = static_cast<std::uint16_t>(local.tm_mday);
  time->hour = static_cast<std::uint16_t>(local.tm_hour);
  time->minute = static_cast<std::uint16_t>(local.tm_min);
  time->second = static_cast<std::uint16_t>(local.tm_sec);
  time->milliseconds = static_cast<std::uint16_t>(instant.tv_nsec / 1000000);
}

int clockValueOf(const LocalTime& time, timespec* value) {
  tm fields{};
  fields.tm_year = time.year - 1900;
  fields.tm_mon = time.month - 1;
  fields.tm_mday = time.day;
  fields.tm_hour = time.hour;
  fields.tm_min = time.minute;
  fields.tm_sec = time.second;
  // Standard time first, then summer time: the first reading that the
  // zone shows as these very fields wins, so an hour that exists twice
  // reads as standard time. An hour that summer time skips exists in
  // neither and reads as standard time too. Asking the library to guess
  // (tm_isdst -1) would answer by what it converted before.
  time_t chosen = static_cast<time_t>(-1);
  for (const int summer : {0, 1}) {
    tm reading = fields;
    reading.tm_isdst = summer;
    errno = 0;
    const time_t seconds = ::mktime(&reading);
    if (seconds == static_cast<time_t>(-1) && errno != 0) return errno;
    tm shown;
    ::localtime_r(&seconds, &shown);
    const bool same = shown.tm_year == fields.tm_year &&
                      shown.tm_mon == fields.tm_mon &&
                      shown.tm_mday == fields.tm_mday &&
                      shown.tm_hour == fields.tm_hour &&
                      shown.tm_min == fields.tm_min;
    if (summer == 0 || same) chosen = seconds;
    if (same) break;
  }
  value->tv_sec = chosen;
  value->tv_nsec = static_cast<long>(time.milliseconds) * 1000000;
  return 0;
}

int PosixPlatform::setLocalTime(const LocalTime& time) {
  timespec target;
  const int error = clockValueOf(time, &target);
  if (error != 0) return error;
  if (::clock_settime(CLOCK_REALTIME, &target) != 0) return errno;
  return 0;
}

void PosixPlatform::sleepMilliseconds(std::uint32_t milliseconds) {
#ifdef __linux__
  // The kernel may otherwise wake the sender up to 50 us late on every
  // pause, which adds up across the run.
  if (!timerSlackSet_) {
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    timerSlackSet_ = true;
  }
#endif
  // The pause ends at a deadline taken when it starts, so a signal that
  // cuts the sleep short resumes towards the same end. The kernel wakes a
  // sleeper some 60 to 200 us late on a virtual machine, which would stretch
  // every period: the sleep therefore ends a little early and the rest is
  // spent watching the clock, which costs at most a tenth of the pause.
  const std::int64_t end = monotonicNanoseconds() +
                           static_cast<std::int64_t>(milliseconds) * 1000000;
  const std::int64_t spin = std::min<std::int64_t>(
      kWakeUpMargin, static_cast<std::int64_t>(milliseconds) * 100000);
  const timespec wake{static_cast<time_t>((end - spin) / 1000000000),
                      static_cast<long>((end - spin) % 1000000000)};
  while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) ==
         EINTR) {
  }
  while (monotonicNanoseconds() < end) {
  }
}

void PosixPlatform::sleepUntil(std::int64_t steady) {
#ifdef __linux__
  if (!timerSlackSet_) {
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    timerSlackSet_ = true;
  }
#endif
  // An absolute sleep on the steady clock, which steadyNanoseconds() reads,
  // ends early by the kernel's usual lateness and watches the clock for the
  // rest. A signal (a stop request) ends the sleep: the caller decides.
  const std::int64_t wake = steady - kWakeUpMargin;
  if (wake > monotonicNanoseconds()) {
    const timespec until{static_cast<time_t>(wake / 1000000000),
                         static_cast<long>(wake % 1000000000)};
    if (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) return;
  }
  while (monotonicNanoseconds() < steady) {
  }
}

}  // namespace posix
}  // namespace stampcast
