// Stop requests on POSIX: SIGINT and SIGTERM set a flag, and reach the
// process only while a receive waits, so that none falls between a look at
// the flag and the wait that would then never end.
#include <poll.h>
#include <signal.h>

#include <cerrno>

#include "platform/posix/posix_platform.h"

namespace stampcast {
namespace posix {
namespace {

volatile sig_atomic_t stopFlag = 0;

extern "C" void onStopSignal(int) { stopFlag = 1; }

}  // namespace

void PosixPlatform::catchStopRequests() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: the wait must end
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signal : {SIGINT, SIGTERM}) {
    ::sigaction(signal, &action, nullptr);
    sigaddset(&stops, signal);
  }
  ::sigprocmask(SIG_BLOCK, &stops, &waitMask_);
  sigdelset(&waitMask_, SIGINT);
  sigdelset(&waitMask_, SIGTERM);
  catchingStops_ = true;
}

bool PosixPlatform::stopRequested() { return stopFlag != 0; }

bool PosixPlatform::waitUnlessStopped(int socket) {
  pollfd readable{socket, POLLIN, 0};
  while (stopFlag == 0) {
    if (::ppoll(&readable, 1, nullptr, &waitMask_) > 0) return true;
    if (errno != EINTR) return true;  // the receive reports the failure
  }
  return false;
}

}  // namespace posix
}  // namespace stampcast
