// The POSIX pause lasts its whole length, also when a signal lands in the
// middle of it. Only the lower bound is checked: a loaded machine may run
// the test late, never early; the benchmark measures how close it comes.
#include <signal.h>
#include <sys/time.h>

#include <chrono>

#include <gtest/gtest.h>

#include "platform/posix/posix_platform.h"

namespace stampcast {
namespace posix {
namespace {

void ignoreAlarm(int) {}

TEST(PosixPause, ASignalDoesNotCutItShort) {
  struct sigaction action {};
  action.sa_handler = ignoreAlarm;  // no SA_RESTART: the sleep sees EINTR
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
  itimerval timer{};
  timer.it_value.tv_usec = 5000;  // one alarm, 5 ms into the pause
  ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);

  PosixPlatform platform;
  const auto start = std::chrono::steady_clock::now();
  platform.sleepMilliseconds(30);
  const auto took = std::chrono::steady_clock::now() - start;

  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_GE(took, std::chrono::milliseconds(30));
  EXPECT_LT(took, std::chrono::seconds(5));  // not a unit mix-up
}

}  // namespace
}  // namespace posix
}  // namespace stampcast
