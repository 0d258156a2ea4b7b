#include <string>

#include <gtest/gtest.h>

#include "marking/marking.h"
#include "tests/fake_platform.h"

namespace stampcast {
namespace {

// Every step runs whatever the ones before it returned.
TEST(TeardownMarking, ReportsEachFailureAndRunsEveryStep) {
  const struct {
    std::uint32_t filter, flow, close, deregister;
    std::string output;
  } cases[] = {
      {0, 0, 0, 0, ""},
      {0, 87, 6, 6,
       "Error deleting flow\nThe interface handle is invalid.\nError closing interface\n"
       "Invalid interface handle, or the handle was set to NULL.\nError degresitering client\n"},
      // The 7512 text of the interface has no newline of its own.
      {6, 0, 7512, 7512,
       "Error deleting filter\nNot all flows have been deleted for this interface."
       "Error closing interface\nInterfaces are still open for this client. all interfaces "
       "must be closed to deregister a client.\nError degresitering client\n"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.failures = {{"deleteFilter", c.filter}, {"deleteFlow", c.flow},
                         {"closeInterface", c.close}, {"deregisterClient", c.deregister}};
    teardownMarking(platform, MarkingHandles{});
    EXPECT_EQ(platform.output, c.output);
    EXPECT_EQ(platform.calls, "deleteFilter:0 deleteFlow:0 closeInterface:0 deregisterClient:0 ");
  }
}

}  // namespace
}  // namespace stampcast
