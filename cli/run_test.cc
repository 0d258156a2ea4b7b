#include "cli/run.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/fake_platform.h"

namespace stampcast {
namespace {

const std::string kSetup =
    "tcRegisterClient tcEnumerateInterfaces tcOpenInterface tcAddFlow "
    "tcAddFilter ";

TEST(RunSequence, PhasesCallsAndStatus) {
  const struct {
    const char* mode;  // -q alone is a run without a mode
    std::map<std::string, std::uint32_t> failures;
    int status;
    std::string calls, output;
  } cases[] = {
      // Failed removals are reported and leave the status at 0.
      {"-q",
       {{"tcDeleteFilter", 1}, {"tcDeleteFlow", 1}, {"tcCloseInterface", 1},
        {"tcDeregisterClient", 1}},
       0,
       kSetup + "startup openUdpSocket tcDeleteFilter tcDeleteFlow "
                "tcCloseInterface tcDeregisterClient shutdownSocket "
                "closeSocket cleanup ",
       "Error deleting filter\nError deleting flow\nError closing interface\n"
       "Error degresitering client\n"},
      // A failed setup ends the run before the socket layer starts.
      {"-q", {{"tcRegisterClient", 87}}, -1, "tcRegisterClient ",
       "TcRegisterClient returned 0x57\n"},
      {"-s", {{"tcAddFilter", 87}}, -1, kSetup,
       "A parameter is invalid.\nTcAddFlow: ERROR: 87\nHandle was 34\n"},
      {"-s", {{"startup", 10091}}, 10091, kSetup + "startup ",
       "WSAStartup Failed (10091) Exiting\n"},
      // The receiver makes no traffic-control call at all.
      {"-r", {}, -1,
       "startup openUdpSocket bindSocket joinGroup receiveFrom cleanup ",
       "\nrecvfrom failed: 10004"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.calls);
    FakePlatform platform;
    platform.failures = c.failures;
    char program[] = "stampcast";
    std::string mode = c.mode;
    char* argv[] = {program, &mode[0], nullptr};
    EXPECT_EQ(runStampcast(2, argv, platform), c.status);
    std::string calls;
    for (const std::string& call : platform.calls) calls += call + " ";
    EXPECT_EQ(calls, c.calls);
    const std::string& out = platform.output;
    EXPECT_EQ(out.substr(out.size() - std::min(out.size(), c.output.size())),
              c.output);
  }
}

}  // namespace
}  // namespace stampcast
