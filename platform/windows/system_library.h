// The system's own DLLs that the program loads when it first needs them
// (traffic.dll, qwave.dll, iphlpapi.dll): from the system folder only, never
// from beside the program or the current folder, where a planted copy would
// run with the rights of an elevated run.
#ifndef STAMPCAST_PLATFORM_WINDOWS_SYSTEM_LIBRARY_H_
#define STAMPCAST_PLATFORM_WINDOWS_SYSTEM_LIBRARY_H_

#include "platform/windows/windows_headers.h"

namespace stampcast {
namespace windows {

// The DLL of that name in the system folder; null with GetLastError's
// reason (ERROR_MOD_NOT_FOUND) when it cannot be loaded.
HMODULE loadSystemLibrary(const wchar_t* name);

// Finds a function of the DLL by name; false when it has none.
template <typename Function>
bool findFunction(HMODULE library, const char* name, Function* function) {
  // Through the one pointer type that converts to any function's unwarned.
  const auto found =
      reinterpret_cast<void (*)()>(GetProcAddress(library, name));
  *function = reinterpret_cast<Function>(found);
  return found != nullptr;
}

}  // namespace windows
}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_WINDOWS_SYSTEM_LIBRARY_H_
