// The clock on Windows: the local calendar time, read and set as SYSTEMTIME,
// whose layout LocalTime copies.
#include "platform/windows/windows_headers.h"
#include "platform/windows/windows_platform.h"

namespace stampcast {
namespace windows {

void WindowsPlatform::getLocalTime(LocalTime* time) {
  GetLocalTime(reinterpret_cast<SYSTEMTIME*>(time));
}

void WindowsPlatform::readClock(LocalTime* local,
                                std::int64_t* utcNanoseconds) {
  // FILETIME counts 100 ns from 1601; 1970 is 11644473600 s later.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::int64_t ticks =
      static_cast<std::int64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
  *utcNanoseconds = (ticks - 116444736000000000LL) * 100;
  SYSTEMTIME universal;
  FileTimeToSystemTime(&now, &universal);
  SystemTimeToTzSpecificLocalTime(nullptr, &universal,
                                  reinterpret_cast<SYSTEMTIME*>(local));
}

int WindowsPlatform::setLocalTime(const LocalTime& time) {
  // Windows itself refuses a time that is no calendar time
  // (ERROR_INVALID_PARAMETER), and a caller without the right to change the
  // clock (ERROR_PRIVILEGE_NOT_HELD).
  if (SetLocalTime(reinterpret_cast<const SYSTEMTIME*>(&time))) return 0;
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

}  // namespace windows
}  // namespace stampcast
