// The harness's promises that every other system test leans on: a runaway
// is killed at its limit, and the sweep removes only the namespaces of runs
// that are gone.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/netns.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {
namespace {

TEST(Harness, ARunawayIsKilledAtItsTimeLimit) {
  const auto start = std::chrono::steady_clock::now();
  const Outcome outcome = run({{"sh", "-c", "echo started; sleep 30"}, "", Milliseconds(300)});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_TRUE(outcome.timedOut);
  EXPECT_EQ(outcome.signal, SIGTERM);
  EXPECT_EQ(outcome.output, "started\n");
}

TEST(Harness, TheSweepRemovesOnlyNamespacesOfEndedRuns) {
  const pid_t gone = ::fork();  // a pid that surely ended: a reaped child
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  const std::string stale = "stampcast-sweepstale-" + std::to_string(gone) + "-0";
  const std::string live = "stampcast-sweeplive-" + std::to_string(::getpid()) + "-99";
  const std::string foreign = "stampcast-sweepforeign" + std::to_string(gone);
  for (const std::string& name : {stale, live, foreign}) {
    ASSERT_EQ(run({{"ip", "netns", "add", name}}).status, 0) << name;
  }
  sweepStaleNamespaces();
  const std::string left = run({{"ip", "netns", "list"}}).output;
  for (const std::string& name : {stale, live, foreign}) run({{"ip", "netns", "delete", name}});
  EXPECT_EQ(left.find(stale), std::string::npos);
  EXPECT_NE(left.find(live), std::string::npos);
  EXPECT_NE(left.find(foreign), std::string::npos);  // not a name the harness makes
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
