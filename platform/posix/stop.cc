// Stop requests on POSIX. SIGINT and SIGTERM reach the process whenever
// they come: a handler sets a flag, which the receive loop looks at each
// batch, so that a stop lands within a batch whatever the load. (A wait
// that alone let them in would never see one behind a flood: ppoll returns
// at once with a datagram queued and leaves the signal pending.) They are
// blocked only from a look at the flag to the wait that follows, which lets
// them in, so that none falls between the two.
//
// A request is one request however often it comes within a second: a
// wrapper that leads the process group (timeout) relays the terminal's
// Ctrl-C, which the receiver has got too. One that comes more than a second
// after the first gives both signals back their default action and raises
// itself again, so that it ends the process at once, also in a write that
// a reader who stopped reading holds up. A signalfd or sigtimedwait could
// not do that: both need the signals blocked, and a blocked signal waits
// out the write.
#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <ctime>

#include "platform/posix/posix_platform.h"

namespace stampcast {
namespace posix {
namespace {

volatile sig_atomic_t stopFlag = 0;
// The first request's instant on the steady clock. Only the handler reads
// and writes it, and the handler blocks both signals while it runs.
timespec firstStop{};

bool withinASecond(const timespec& from, const timespec& to) {
  const long long nanoseconds =
      (static_cast<long long>(to.tv_sec) - from.tv_sec) * 1000000000LL +
      (to.tv_nsec - from.tv_nsec);
  return nanoseconds <= 1000000000LL;
}

// Async-signal-safe only: clock_gettime, sigaction and raise are.
extern "C" void onStopSignal(int signal) {
  const int savedErrno = errno;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  if (stopFlag == 0) {
    firstStop = now;
    stopFlag = 1;
  } else if (!withinASecond(firstStop, now)) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(SIGINT, &fallback, nullptr);
    ::sigaction(SIGTERM, &fallback, nullptr);
    // Blocked while the handler runs: it ends the process as it returns.
    ::raise(signal);
  }
  errno = savedErrno;
}

}  // namespace

void PosixPlatform::catchStopRequests() {
  sigemptyset(&stopSignals_);
  sigaddset(&stopSignals_, SIGINT);
  sigaddset(&stopSignals_, SIGTERM);
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  // The other one, coming while one is handled, waits for the handler's
  // end.
  action.sa_mask = stopSignals_;
  action.sa_flags = 0;  // no restart: the wait must end
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  // Let in also where the parent blocked them.
  ::sigprocmask(SIG_UNBLOCK, &stopSignals_, &waitMask_);
  sigdelset(&waitMask_, SIGINT);
  sigdelset(&waitMask_, SIGTERM);
  catchingStops_ = true;
}

bool PosixPlatform::stopRequested() { return stopFlag != 0; }

void PosixPlatform::ignoreStopRequests() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGINT, &ignore, nullptr);
  ::sigaction(SIGTERM, &ignore, nullptr);
}

std::int64_t PosixPlatform::steadyNanoseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool PosixPlatform::waitUnlessStopped(int socket) {
  ::sigprocmask(SIG_BLOCK, &stopSignals_, nullptr);
  pollfd readable{socket, POLLIN, 0};
  int ready = 0;
  bool due = false;
  while (stopFlag == 0 && ready == 0 && !due) {
    // Up to the deadline, when there is one; the signals still end it.
    timespec left{};
    const timespec* timeout = nullptr;
    if (receiveDeadline_ != 0) {
      const std::int64_t rest = receiveDeadline_ - steadyNanoseconds();
      if (rest <= 0) {
        due = true;
        break;
      }
      left.tv_sec = static_cast<time_t>(rest / 1000000000);
      left.tv_nsec = static_cast<long>(rest % 1000000000);
      timeout = &left;
    }
    ready = ::ppoll(&readable, 1, timeout, &waitMask_);
    if (ready < 0 && errno == EINTR) ready = 0;
  }
  // A stop that came with the datagram is handled here.
  ::sigprocmask(SIG_UNBLOCK, &stopSignals_, nullptr);
  // Or the receive reports what ppoll failed on.
  return stopFlag == 0 && !due;
}

}  // namespace posix
}  // namespace stampcast
