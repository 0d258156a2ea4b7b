#include "platform/traffic_control_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace stampcast {
namespace {

void ignore(TcHandle, TcHandle, std::uint32_t, TcHandle, std::uint32_t, void*) {}
const TcClientFuncList kHandlers{ignore, nullptr, nullptr, nullptr};
constexpr std::uint32_t kDs = tc::kObjectTypeDsClass, kEnd = tc::kObjectTypeEndOfList;

// A flow head with its objects right behind it.
struct FlowBlock {
  TcGenFlowHead head;
  std::uint32_t objects[8];
};
FlowBlock flowOf(std::vector<std::uint32_t> objects, std::uint32_t service = 3,
                 std::uint32_t rate = 10000) {
  FlowBlock block;
  std::memset(&block, 0xFF, sizeof block);
  block.head.sendingFlowspec.serviceType = service;
  block.head.sendingFlowspec.tokenRate = rate;
  block.head.tcObjectsLength = std::uint32_t(4 * objects.size());
  std::copy(objects.begin(), objects.end(), block.objects);
  return block;
}

struct TrafficControlLayerTest : ::testing::Test {
  TrafficControlLayer layer{[] { return std::vector<InterfaceInfo>{{"veth0", 7, 1}}; }};
  TcHandle client = 0, ifc = 0, flow = 0, filter = 0;
  IpPattern pattern{}, mask{};
  void SetUp() override {
    FlowBlock block = flowOf({kDs, 12, 46, kEnd, 8});
    mask.dstAddr = 0xFFFFFFFF;
    ASSERT_EQ(0u, layer.registerClient(2, 0, kHandlers, &client));
    ASSERT_EQ(0u, layer.openInterface(u"veth0", client, 0, &ifc));
    ASSERT_EQ(0u, layer.addFlow(ifc, 0, 0, &block.head, &flow));
    ASSERT_EQ(0u, layer.addFilter(flow, TcGenFilter{2, 24, &pattern, &mask}, &filter));
  }
};

// Removed handles, and handles of another kind, are refused; only a whole
// current name opens; a filter already on the interface is refused.
TEST_F(TrafficControlLayerTest, HandlesNamesAndDuplicates) {
  TcHandle handle = 0;
  for (const char16_t* name : {u"", u"veth", u"veth00", u"7"}) {
    EXPECT_EQ(1168u, layer.openInterface(name, client, 0, &handle));
  }
  EXPECT_EQ(7509u, layer.addFilter(flow, TcGenFilter{2, 24, &pattern, &mask}, &handle));
  EXPECT_EQ(87u, layer.addFilter(flow, TcGenFilter{2, 20, &pattern, &mask}, &handle));
  EXPECT_EQ(6u, layer.deleteFilter(flow));
  for (const std::uint32_t expected : {0u, 6u}) {
    EXPECT_EQ(expected, layer.deleteFilter(filter));
    EXPECT_EQ(expected, layer.deleteFlow(flow));
    EXPECT_EQ(expected, layer.closeInterface(ifc));
    EXPECT_EQ(expected, layer.deregisterClient(client));
  }
}

TEST_F(TrafficControlLayerTest, AddFlowChecksServiceRateAndObjects) {
  const struct {
    std::vector<std::uint32_t> objects;
    std::uint32_t service, rate, result;
  } cases[] = {
      {{kEnd, 8}, 1, tc::kNotSpecified, 0},  // best effort needs no rate
      {{kEnd, 8}, tc::kNotSpecified, 10000, 7502},
      {{kEnd, 8}, 3, 0, 7503},
      {{}, 3, 10000, 7515},
      {{kEnd, 8, 0}, 3, 10000, 7515},        // bytes after the end
      {{4002, 0, kEnd, 8}, 3, 10000, 7515},  // a zero-length object
      {{4002, 40, kEnd, 8}, 3, 10000, 7515}, // past the total
      {{kDs, 8, kEnd, 8}, 3, 10000, 7515},   // a DS class of 8 bytes
      {{kDs, 12, 64, kEnd, 8}, 3, 10000, 7520},
  };
  TcHandle handle = 0;
  for (const auto& test : cases) {
    FlowBlock block = flowOf(test.objects, test.service, test.rate);
    EXPECT_EQ(test.result, layer.addFlow(ifc, 0, 0, &block.head, &handle))
        << ::testing::PrintToString(test.objects);
  }
}

}  // namespace
}  // namespace stampcast
