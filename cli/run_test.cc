#include "cli/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/fake_platform.h"

namespace stampcast {
namespace {

// A run in mode None: one word, so that the usage text does not end it.
int runWithoutMode(FakePlatform& platform) {
  char program[] = "stampcast";
  char quiet[] = "-q";
  char* argv[] = {program, quiet, nullptr};
  return runStampcast(2, argv, platform);
}

bool called(const FakePlatform& platform, const std::string& name) {
  return std::find(platform.calls.begin(), platform.calls.end(), name) !=
         platform.calls.end();
}

TEST(RunSequenceMarking, FailedRemovalsDoNotChangeTheStatusOfARunWithoutMode) {
  FakePlatform platform;
  platform.tcResults = {{"tcDeleteFilter", 1},
                        {"tcDeleteFlow", 1},
                        {"tcCloseInterface", 1},
                        {"tcDeregisterClient", 1}};
  EXPECT_EQ(runWithoutMode(platform), 0);
  const std::string removals =
      "Error deleting filter\nError deleting flow\nError closing interface\n"
      "Error degresitering client\n";
  EXPECT_NE(platform.output.find(removals), std::string::npos);
  EXPECT_TRUE(called(platform, "closeSocket"));
  EXPECT_TRUE(called(platform, "cleanup"));
}

TEST(RunSequenceMarking, FailedSetupEndsBeforeTheSocketLayerStarts) {
  for (const char* failing : {"tcRegisterClient", "tcAddFilter"}) {
    SCOPED_TRACE(failing);
    FakePlatform platform;
    platform.tcResults[failing] = 87;
    EXPECT_EQ(runWithoutMode(platform), -1);
    EXPECT_TRUE(called(platform, failing));
    EXPECT_FALSE(called(platform, "startup"));
    EXPECT_FALSE(called(platform, "openUdpSocket"));
  }
}

}  // namespace
}  // namespace stampcast
