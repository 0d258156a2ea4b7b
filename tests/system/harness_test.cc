// The harness's own promises that every other system test leans on: a
// runaway program is killed at its limit, and the sweep removes only the
// namespaces of runs that are gone.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "tests/support/netns.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {
namespace {

TEST(Harness, ARunawayIsKilledAtItsTimeLimit) {
  Command command;
  command.argv = {"sh", "-c", "echo started; sleep 30"};
  command.timeout = Milliseconds(300);
  const auto start = std::chrono::steady_clock::now();
  const Outcome outcome = run(command);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_TRUE(outcome.timedOut);
  EXPECT_EQ(outcome.signal, SIGTERM);
  EXPECT_EQ(outcome.output, "started\n");
}

bool listed(const std::string& name) {
  Command list;
  list.argv = {"ip", "netns", "list"};
  const std::string names = run(list).output;
  return names.find(name + " ") != std::string::npos ||
         names.find(name + "\n") != std::string::npos;
}

TEST(Harness, SweepRemovesOnlyNamespacesOfEndedRuns) {
  // A pid that surely ended: a child already reaped.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  const std::string stale =
      "stampcast-sweepstale-" + std::to_string(gone) + "-0";
  const std::string live =
      "stampcast-sweeplive-" + std::to_string(::getpid()) + "-99";
  const std::string foreign = "stampcast-sweepforeign" + std::to_string(gone);
  for (const std::string& name : {stale, live, foreign}) {
    Command add;
    add.argv = {"ip", "netns", "add", name};
    ASSERT_EQ(run(add).status, 0) << name;
  }
  sweepStaleNamespaces();
  const bool staleLeft = listed(stale), liveLeft = listed(live),
             foreignLeft = listed(foreign);
  for (const std::string& name : {stale, live, foreign}) {
    Command remove;
    remove.argv = {"ip", "netns", "delete", name};
    run(remove);
  }
  EXPECT_FALSE(staleLeft);
  EXPECT_TRUE(liveLeft);
  EXPECT_TRUE(foreignLeft);  // not a name this harness makes
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
