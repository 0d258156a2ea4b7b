// The clock on Windows: the precise UTC instant, turned into the local
// calendar time by the zone's rule for that year, and set the same way
// back. SYSTEMTIME's layout is LocalTime's.
#include <cstdint>
#include <initializer_list>

#include "platform/windows/windows_headers.h"
#include "platform/windows/windows_platform.h"

namespace stampcast {
namespace windows {
namespace {

// A FILETIME counts 100 ns since 1601 (UTC, or local for a local one).
constexpr std::uint64_t kTicksPerMillisecond = 10000;
constexpr std::uint64_t kTicksPerSecond = 1000 * kTicksPerMillisecond;
constexpr std::int64_t kTicksPerMinute = 60 * kTicksPerSecond;
// 1970-01-01, where the trailer's send times count from.
constexpr std::int64_t kUnixEpoch = 11644473600LL * kTicksPerSecond;

std::uint64_t countOf(const FILETIME& time) {
  return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 |
         time.dwLowDateTime;
}

FILETIME fileTimeOf(std::uint64_t count) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(count);
  time.dwHighDateTime = static_cast<DWORD>(count >> 32);
  return time;
}

// GetSystemTimePreciseAsFileTime, looked up once: Windows 8 and later have
// it, and the program must still start on Windows 7. Null where it is
// missing.
using PreciseClock = VOID(WINAPI*)(LPFILETIME);
PreciseClock preciseClock() {
  static const PreciseClock clock = [] {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC found =
        kernel ? GetProcAddress(kernel, "GetSystemTimePreciseAsFileTime")
               : nullptr;
    return reinterpret_cast<PreciseClock>(
        reinterpret_cast<void (*)()>(found));
  }();
  return clock;
}

// The zone's rule for a year: its offsets and the days that summer time
// begins and ends that year, from the zone's history. Where that history is
// turned off (DynamicDaylightTimeDisabled) or missing, Windows keeps to the
// fixed rule that the zone's record holds, and so does this.
bool zoneRuleFor(std::uint16_t year, TIME_ZONE_INFORMATION* rule) {
  DYNAMIC_TIME_ZONE_INFORMATION zone;
  if (GetDynamicTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) {
    return false;
  }
  if (!zone.DynamicDaylightTimeDisabled &&
      GetTimeZoneInformationForYear(year, &zone, rule)) {
    return true;
  }
  *rule = TIME_ZONE_INFORMATION{};
  rule->Bias = zone.Bias;
  rule->StandardDate = zone.StandardDate;
  rule->StandardBias = zone.StandardBias;
  rule->DaylightDate = zone.DaylightDate;
  rule->DaylightBias = zone.DaylightBias;
  return true;
}

// The local calendar time at a UTC instant under the rule. The Ex forms
// that take the dynamic zone are missing from Wine's kernel32, and
// mingw-w64 declares them only from Windows 8 on; the rule for the year
// gives the same answer.
bool localOf(std::uint64_t utc, const TIME_ZONE_INFORMATION& rule,
             SYSTEMTIME* local) {
  const FILETIME file = fileTimeOf(utc);
  SYSTEMTIME universal;
  return FileTimeToSystemTime(&file, &universal) &&
         SystemTimeToTzSpecificLocalTime(&rule, &universal, local);
}

bool sameMinute(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay &&
         a.wHour == b.wHour && a.wMinute == b.wMinute;
}

}  // namespace

std::uint64_t WindowsPlatform::utcNow() {
  FILETIME now;
  if (const PreciseClock clock = preciseClock()) {
    clock(&now);
  } else {
    GetSystemTimeAsFileTime(&now);
  }
  return countOf(now);
}

bool WindowsPlatform::localTimeAt(std::uint64_t utc, LocalTime* time) {
  const FILETIME file = fileTimeOf(utc);
  SYSTEMTIME universal;
  TIME_ZONE_INFORMATION rule;
  return FileTimeToSystemTime(&file, &universal) &&
         zoneRuleFor(universal.wYear, &rule) &&
         localOf(utc, rule, reinterpret_cast<SYSTEMTIME*>(time));
}

void WindowsPlatform::readClock(LocalTime* local,
                                std::int64_t* utcNanoseconds) {
  // GetLocalTime moves with the tick of the system timer (15.6 ms), so a
  // sender at -w 1 would send the same time again and again. The precise
  // clock is read instead; the zone's rule costs a registry read (some
  // 400 us under Wine), so the calendar fields are worked out once a UTC
  // second, and the milliseconds come from the reading itself (no zone is
  // offset by part of a second).
  const std::uint64_t utc = utcNow();
  *utcNanoseconds = (static_cast<std::int64_t>(utc) - kUnixEpoch) * 100;
  if (preciseClock() == nullptr) {
    GetLocalTime(reinterpret_cast<SYSTEMTIME*>(local));
    return;
  }
  const std::uint64_t second = utc / kTicksPerSecond;
  if (second != cachedSecond_) {
    LocalTime fields;
    if (!localTimeAt(second * kTicksPerSecond, &fields)) {
      GetLocalTime(reinterpret_cast<SYSTEMTIME*>(local));
      return;
    }
    cachedLocal_ = fields;
    cachedSecond_ = second;
  }
  *local = cachedLocal_;
  local->milliseconds =
      static_cast<std::uint16_t>(utc % kTicksPerSecond / kTicksPerMillisecond);
}

int WindowsPlatform::setLocalTime(const LocalTime& time) {
  // SetLocalTime converts with the summer-time setting in force now, not
  // the one of the time it sets, and must be called again to come right:
  // in between the clock is an hour off, and a second call that fails
  // leaves it so. The time is turned into UTC here instead, by the zone's
  // rule for its date, and set in one SetSystemTime. As on Linux, standard
  // time is tried first, then summer time: the first whose UTC instant
  // reads back as these very fields wins, so an hour that exists twice
  // reads as standard time, and so does one that summer time skips.
  // Windows refuses a time that is no calendar time
  // (ERROR_INVALID_PARAMETER), and a caller without the right to change the
  // clock (ERROR_PRIVILEGE_NOT_HELD).
  const SYSTEMTIME& local = reinterpret_cast<const SYSTEMTIME&>(time);
  FILETIME file;
  TIME_ZONE_INFORMATION rule;
  if (!SystemTimeToFileTime(&local, &file) ||
      !zoneRuleFor(local.wYear, &rule)) {
    return static_cast<int>(GetLastError());
  }
  // UTC is the local time plus the bias, in minutes.
  const std::uint64_t localCount = countOf(file);
  const auto utcOf = [localCount](LONG bias) {
    return localCount + static_cast<std::uint64_t>(bias * kTicksPerMinute);
  };
  const std::uint64_t standard = utcOf(rule.Bias + rule.StandardBias);
  std::uint64_t chosen = standard;
  for (const std::uint64_t utc :
       {standard, utcOf(rule.Bias + rule.DaylightBias)}) {
    SYSTEMTIME shown;
    if (localOf(utc, rule, &shown) && sameMinute(shown, local)) {
      chosen = utc;
      break;
    }
  }
  const FILETIME chosenFile = fileTimeOf(chosen);
  SYSTEMTIME universal;
  if (FileTimeToSystemTime(&chosenFile, &universal) &&
      SetSystemTime(&universal)) {
    return 0;
  }
  return static_cast<int>(GetLastError());
}

// Pause
// Not in every mingw-w64 release's headers; Windows 10 1803 and later.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

void WindowsPlatform::sleepMilliseconds(std::uint32_t milliseconds) {
  // Sleep ends on a tick of the system timer (15.6 ms unless a program asked
  // for finer), so -w 10 and -w 1 would both pause about 15.6 ms. A
  // high-resolution waitable timer ends within a fraction of a millisecond.
  // Older Windows refuses to make one, and the pause stays with Sleep; a
  // pause of 0 only yields, as Sleep(0) does.
  if (!pauseTimerTried_) {
    pauseTimerTried_ = true;
    pauseTimer_ = CreateWaitableTimerExW(
        nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
        TIMER_ALL_ACCESS);
  }
  LARGE_INTEGER due;
  due.QuadPart = -static_cast<LONGLONG>(milliseconds) * 10000;  // 100 ns, relative
  const bool waited =
      milliseconds != 0 && pauseTimer_ != nullptr &&
      SetWaitableTimer(pauseTimer_, &due, 0, nullptr, nullptr, FALSE) &&
      WaitForSingleObject(pauseTimer_, INFINITE) == WAIT_OBJECT_0;
  if (!waited) Sleep(milliseconds);
}

void WindowsPlatform::sleepUntil(std::int64_t steady) {
  // The waitable timer counts from the system's interrupt time, not from
  // the performance counter that steadyNanoseconds() reads: the due time is
  // made relative, and the timer stops a millisecond early (Sleep, where
  // the timer is missing, by a tick), the rest spent watching the counter.
  if (!pauseTimerTried_) {
    pauseTimerTried_ = true;
    pauseTimer_ = CreateWaitableTimerExW(
        nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
        TIMER_ALL_ACCESS);
  }
  const std::int64_t margin = pauseTimer_ != nullptr ? 1000000 : 16000000;
  const std::int64_t rest = steady - steadyNanoseconds() - margin;
  if (rest > 0) {
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(rest / 100);  // 100 ns, relative
    const bool waited =
        pauseTimer_ != nullptr &&
        SetWaitableTimer(pauseTimer_, &due, 0, nullptr, nullptr, FALSE) &&
        WaitForSingleObject(pauseTimer_, INFINITE) == WAIT_OBJECT_0;
    if (!waited) Sleep(static_cast<DWORD>(rest / 1000000));
  }
  while (steadyNanoseconds() < steady) {
  }
}

}  // namespace windows
}  // namespace stampcast
