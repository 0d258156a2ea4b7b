// Stop requests on Windows: none caught yet, so Ctrl-C ends the process
// where it stands.
#include "platform/windows/windows_platform.h"

namespace stampcast {
namespace windows {

void WindowsPlatform::catchStopRequests() {}

bool WindowsPlatform::stopRequested() { return false; }

}  // namespace windows
}  // namespace stampcast
