// GoogleTest's hook for a port, for the Windows build's unit tests: the
// win32 threads of mingw-w64 have no std::mutex, which GoogleTest's own
// Notification wants. Only GoogleTest's thread helper waits on one, and our
// tests start no thread, so a flag waited for by spinning does.
#ifndef STAMPCAST_CMAKE_MINGW_GTEST_PORT_H_
#define STAMPCAST_CMAKE_MINGW_GTEST_PORT_H_

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  void Notify() { notified_ = true; }
  void WaitForNotification() {
    while (!notified_) {
    }
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing

#endif  // STAMPCAST_CMAKE_MINGW_GTEST_PORT_H_
