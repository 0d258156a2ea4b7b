#include "cli/run.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/fake_platform.h"

namespace stampcast {
namespace {

const std::string kSetup =
    "registerClient:2 enumerateInterfaces:336 outgoingAddress openInterface:fake0 addFlow addFilter:2/24 startup ";

// What the black box cannot make fail: the socket layer's start-up, and
// every removal at once. The rest of the sequence it runs for real.
TEST(RunSequence, PhasesCallsAndStatus) {
  const struct {
    const char* mode;  // -q alone is a run without a mode
    std::map<std::string, std::uint32_t> failures;
    int status;
    std::string calls, output;
  } cases[] = {
      {"-q",
       {{"deleteFilter", 1}, {"deleteFlow", 1}, {"closeInterface", 1}, {"deregisterClient", 1}},
       0,
       kSetup + "openUdpSocket deleteFilter:68 deleteFlow:51 closeInterface:34 "
                "deregisterClient:17 shutdownSocket:2 closeSocket cleanup ",
       "Error deleting filter\nError deleting flow\nError closing interface\n"
       "Error degresitering client\n"},
      {"-s", {{"startup", 10091}}, 10091, kSetup, "WSAStartup Failed (10091) Exiting\n"},
      {"-r", {{"openUdpSocket", 10047}}, -1, "startup openUdpSocket ",
       "\"Socket\" failed with error 8\n"},  // the system's error, not the socket layer's
      {"-s", {{"setMulticastTtl", 10022}}, -1, kSetup + "openUdpSocket setMulticastTtl:1 closeSocket ",
       "Error: Setting TTL value: error - 10022\n"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.failures = c.failures;
    char program[] = "stampcast";
    std::string mode = c.mode;
    char* argv[] = {program, &mode[0], nullptr};
    EXPECT_EQ(runStampcast(2, argv, platform), c.status) << c.calls;
    EXPECT_EQ(platform.calls, c.calls);
    EXPECT_EQ(platform.output, c.output);
  }
}

}  // namespace
}  // namespace stampcast
