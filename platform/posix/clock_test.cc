// The pause of the POSIX clock: it lasts its whole length, also when a
// signal lands in the middle of it.
#include <signal.h>
#include <sys/time.h>

#include <chrono>

#include <gtest/gtest.h>

#include "platform/posix/posix_platform.h"

namespace stampcast {
namespace posix {
namespace {

using Clock = std::chrono::steady_clock;

double pauseMilliseconds(PosixPlatform& platform, std::uint32_t length) {
  const Clock::time_point start = Clock::now();
  platform.sleepMilliseconds(length);
  return std::chrono::duration<double, std::milli>(Clock::now() - start)
      .count();
}

TEST(PosixPause, LastsItsLengthAndLittleMore) {
  PosixPlatform platform;
  for (const std::uint32_t length : {0u, 1u, 10u, 25u}) {
    const double took = pauseMilliseconds(platform, length);
    EXPECT_GE(took, length) << length << " ms";
    // Generous: a loaded machine may run the test late, never early.
    EXPECT_LT(took, length + 50.0) << length << " ms";
  }
}

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
  const double took = pauseMilliseconds(platform, 30);

  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_GE(took, 30.0);
}

}  // namespace
}  // namespace posix
}  // namespace stampcast
