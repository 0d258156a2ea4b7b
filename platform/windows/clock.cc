// The clock on Windows: the local calendar time, read and set as SYSTEMTIME,
// whose layout LocalTime copies.
#include "platform/windows/windows_headers.h"
#include "platform/windows/windows_platform.h"

namespace stampcast {
namespace windows {

void WindowsPlatform::getLocalTime(LocalTime* time) {
  GetLocalTime(reinterpret_cast<SYSTEMTIME*>(time));
}

int WindowsPlatform::setLocalTime(const LocalTime& time) {
  // Windows itself refuses a time that is no calendar time
  // (ERROR_INVALID_PARAMETER), and a caller without the right to change the
  // clock (ERROR_PRIVILEGE_NOT_HELD).
  if (SetLocalTime(reinterpret_cast<const SYSTEMTIME*>(&time))) return 0;
  return static_cast<int>(GetLastError());
}

void WindowsPlatform::sleepMilliseconds(std::uint32_t milliseconds) {
  Sleep(milliseconds);
}

}  // namespace windows
}  // namespace stampcast
