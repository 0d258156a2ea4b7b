#include "cli/run.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/fake_platform.h"

namespace stampcast {
namespace {

const std::string kSetup =
    "registerClient:2 enumerateInterfaces:336 outgoingAddress "
    "openInterface:fake0 addFlow addFilter:2/24 startup ";

TEST(RunSequence, PhasesCallsAndStatus) {
  const struct {
    const char* mode;  // -q alone is a run without a mode
    std::map<std::string, std::uint32_t> failures;
    int status;
    std::string calls, outputTail;
  } cases[] = {
      // Failed removals are reported and leave the status at 0.
      {"-q",
       {{"deleteFilter", 1}, {"deleteFlow", 1}, {"closeInterface", 1},
        {"deregisterClient", 1}},
       0,
       kSetup + "openUdpSocket deleteFilter:68 deleteFlow:51 closeInterface:34 "
                "deregisterClient:17 shutdownSocket:2 closeSocket cleanup ",
       "Error deleting filter\nError deleting flow\nError closing interface\n"
       "Error degresitering client\n"},
      // A failed setup ends the run before the socket layer starts.
      {"-q", {{"registerClient", 87}}, -1, "registerClient:2 ",
       "TcRegisterClient returned 0x57\n"},
      {"-s", {{"startup", 10091}}, 10091, kSetup,
       "WSAStartup Failed (10091) Exiting\n"},
      // The system's last error, not the socket layer's.
      {"-s", {{"openUdpSocket", 10047}}, -1, kSetup + "openUdpSocket ",
       "\"Socket\" failed with error 8\n"},
      // The sender never removes its marking.
      {"-s", {}, -1,
       kSetup + "openUdpSocket setMulticastTtl:1 sendTo:4 cleanup ",
       "\nError in Sending data on the socket - 10050"},
      {"-s", {{"setMulticastTtl", 10022}}, -1,
       kSetup + "openUdpSocket setMulticastTtl:1 closeSocket ",
       "Error: Setting TTL value: error - 10022\n"},
      {"-r", {{"bindSocket", 10048}}, -1,
       "startup openUdpSocket bindSocket cleanup ",
       "\nError: Binding the socket - 10048"},
      {"-r", {{"joinGroup", 10049}}, -1,
       "startup openUdpSocket bindSocket joinGroup cleanup ",
       "\nSuccess: Binding the socket - 0\nError: Joining Multicast Group - 10049"},
      // The receiver makes no traffic-control call at all.
      {"-r", {}, -1,
       "startup openUdpSocket bindSocket joinGroup receiveFrom cleanup ",
       "\nrecvfrom failed: 10004"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.calls);
    FakePlatform platform;
    platform.failures = c.failures;
    platform.sendsBeforeFailure = 0;
    char program[] = "stampcast";
    std::string mode = c.mode;
    char* argv[] = {program, &mode[0], nullptr};
    EXPECT_EQ(runStampcast(2, argv, platform), c.status);
    EXPECT_EQ(platform.calls, c.calls);
    const std::string& out = platform.output;
    EXPECT_EQ(
        out.substr(out.size() - std::min(out.size(), c.outputTail.size())),
        c.outputTail);
  }
}

}  // namespace
}  // namespace stampcast
