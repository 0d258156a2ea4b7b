#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "marking/marking.h"
#include "tests/fake_platform.h"

namespace stampcast {
namespace {

TEST(TeardownMarking, ReportsEachFailureAndAlwaysRunsEveryStep) {
  const struct {
    std::uint32_t filter, flow, close, deregister;
    std::string output;
  } cases[] = {
      {0, 0, 0, 0, ""},
      {1, 0, 0, 0, "Error deleting filter\n"},
      {0, 1, 0, 0, "Error deleting flow\n"},
      {0, 0, 6, 0,
       "The interface handle is invalid.\nError closing interface\n"},
      {0, 0, 7512, 0,
       "Not all flows have been deleted for this interface."
       "Error closing interface\n"},
      {0, 0, 87, 0, "Error closing interface\n"},
      {0, 0, 0, 6,
       "Invalid interface handle, or the handle was set to NULL.\n"
       "Error degresitering client\n"},
      {0, 0, 0, 7512,
       "Interfaces are still open for this client. all interfaces must be "
       "closed to deregister a client.\nError degresitering client\n"},
      {0, 0, 0, 87, "Error degresitering client\n"},
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
    platform.tcResults = {{"tcDeleteFilter", c.filter},
                          {"tcDeleteFlow", c.flow},
                          {"tcCloseInterface", c.close},
                          {"tcDeregisterClient", c.deregister}};
    MarkingHandles handles;
    handles.clientHandle = 1;
    handles.ifcHandle = 2;
    handles.flowHandle = 3;
    handles.filterHandle = 4;
    teardownMarking(platform, handles);
    EXPECT_EQ(platform.output, c.output);
    EXPECT_EQ(platform.calls,
              (std::vector<std::string>{"tcDeleteFilter", "tcDeleteFlow",
                                        "tcCloseInterface",
                                        "tcDeregisterClient"}));
    EXPECT_EQ(platform.removedHandles,
              (std::map<std::string, TcHandle>{{"tcDeleteFilter", 4},
                                               {"tcDeleteFlow", 3},
                                               {"tcCloseInterface", 2},
                                               {"tcDeregisterClient", 1}}));
  }
}

}  // namespace
}  // namespace stampcast
