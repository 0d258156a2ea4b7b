#include "platform/common/emulated_traffic_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace stampcast {
namespace {

void ignore(TcHandle, TcHandle, std::uint32_t, TcHandle, std::uint32_t, void*) {}
constexpr std::uint32_t kDs = tc::kObjectTypeDsClass, kEnd = tc::kObjectTypeEndOfList;

// The flows the program never hands over: what the layer refuses, so that
// the Windows build's stand-in, which answers through it, refuses them too.
TEST(EmulatedTrafficControl, AddFlowChecksServiceRateAndObjects) {
  const struct {
    std::vector<std::uint32_t> objects;
    std::uint32_t service, rate, result;
  } cases[] = {
      {{kDs, 12, 63, kEnd, 8}, 3, 10000, 0},
      {{kEnd, 8}, 1, tc::kNotSpecified, 0},  // best effort needs no rate
      {{kEnd, 8}, tc::kNotSpecified, 10000, 7502},
      {{kEnd, 8}, 3, 0, 7503},
      {{}, 3, 10000, 7515},
      {{kEnd, 8, 0}, 3, 10000, 7515},         // bytes after the end
      {{4002, 0, kEnd, 8}, 3, 10000, 7515},   // a zero-length object
      {{4002, 40, kEnd, 8}, 3, 10000, 7515},  // past the total
      {{kDs, 8, kEnd, 8}, 3, 10000, 7515},    // a DS class of 8 bytes
  };
  EmulatedTrafficControl layer([] { return std::vector<InterfaceInfo>{{"veth0", 7, 1}}; });
  TcHandle client = 0, ifc = 0, flow = 0;
  ASSERT_EQ(0u, layer.registerClient(2, 0, {ignore, nullptr, nullptr, nullptr}, &client));
  ASSERT_EQ(0u, layer.openInterface(u"veth0", client, 0, &ifc));
  for (const auto& test : cases) {
    struct {
      TcGenFlowHead head;  // the objects right behind it
      std::uint32_t objects[8];
    } block;
    std::memset(&block, 0xFF, sizeof block);
    block.head.sendingFlowspec.serviceType = test.service;
    block.head.sendingFlowspec.tokenRate = test.rate;
    block.head.tcObjectsLength = std::uint32_t(4 * test.objects.size());
    std::copy(test.objects.begin(), test.objects.end(), block.objects);
    EXPECT_EQ(test.result, layer.addFlow(ifc, 0, 0, &block.head, &flow))
        << ::testing::PrintToString(test.objects);
  }
}

}  // namespace
}  // namespace stampcast
