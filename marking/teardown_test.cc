#include <string>

#include <gtest/gtest.h>

#include "marking/marking.h"
#include "tests/fake_platform.h"

namespace stampcast {
namespace {

// Codes without a message of their own, and which handle each removal is
// given, are covered by the run sequence.
TEST(TeardownMarking, ReportsEachFailureAndAlwaysRunsEveryStep) {
  const struct {
    std::uint32_t filter, flow, close, deregister;
    std::string output;
  } cases[] = {
      {0, 0, 0, 0, ""},
      {87, 0, 87, 87,
       "Error deleting filter\nError closing interface\n"
       "Error degresitering client\n"},
      {0, 0, 6, 6,
       "The interface handle is invalid.\nError closing interface\n"
       "Invalid interface handle, or the handle was set to NULL.\n"
       "Error degresitering client\n"},
      // The 7512 line of the interface has no newline of its own.
      {6, 6, 7512, 7512,
       "Error deleting filter\nError deleting flow\n"
       "Not all flows have been deleted for this interface."
       "Error closing interface\n"
       "Interfaces are still open for this client. all interfaces must be "
       "closed to deregister a client.\nError degresitering client\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    FakePlatform platform;
    platform.failures = {{"deleteFilter", c.filter},
                         {"deleteFlow", c.flow},
                         {"closeInterface", c.close},
                         {"deregisterClient", c.deregister}};
    teardownMarking(platform, MarkingHandles{});
    EXPECT_EQ(platform.output, c.output);
    EXPECT_EQ(platform.calls,
              "deleteFilter:0 deleteFlow:0 closeInterface:0 deregisterClient:0 ");
  }
}

}  // namespace
}  // namespace stampcast
