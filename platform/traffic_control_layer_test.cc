#include "platform/traffic_control_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "platform/platform.h"

namespace stampcast {
namespace {

void ignore(TcHandle, TcHandle, std::uint32_t, TcHandle, std::uint32_t,
            void*) {}
const TcClientFuncList kHandlers{ignore, nullptr, nullptr, nullptr};
constexpr std::uint32_t kDs = tc::kObjectTypeDsClass;
constexpr std::uint32_t kEnd = tc::kObjectTypeEndOfList;

// A flow head with its objects right behind it; by default the program's
// flow: guaranteed service at 10000 bytes/s, a DS class, the end of list.
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
  block.head.tcObjectsLength = static_cast<std::uint32_t>(4 * objects.size());
  std::copy(objects.begin(), objects.end(), block.objects);
  return block;
}

class TrafficControlLayerTest : public ::testing::Test {
 protected:
  struct Chain {
    TcHandle client = 0, ifc = 0, flow = 0, filter = 0;
  };
  // The program's chain: client, interface, flow, and a filter on dst/mask.
  Chain chain(std::uint32_t dst, std::uint32_t mask = 0xFFFFFFFF,
              std::uint32_t dsField = 46, const char16_t* name = u"veth0") {
    Chain made;
    FlowBlock block = flowOf({kDs, 12, dsField, kEnd, 8});
    EXPECT_EQ(0u, layer.registerClient(2, 0, kHandlers, &made.client));
    EXPECT_EQ(0u, layer.openInterface(name, made.client, 0, &made.ifc));
    EXPECT_EQ(0u, layer.addFlow(made.ifc, 0, 0, &block.head, &made.flow));
    EXPECT_EQ(0u, addFilter(made.flow, dst, mask, &made.filter));
    return made;
  }
  std::uint32_t addFilter(TcHandle flow, std::uint32_t dst, std::uint32_t mask,
                          TcHandle* handle) {
    IpPattern pattern{}, bits{};
    pattern.dstAddr = dst;
    pattern.protocolId = tc::kProtocolUdp;
    bits.dstAddr = mask;
    return layer.addFilter(flow, TcGenFilter{2, 24, &pattern, &bits}, handle);
  }

  const std::uint32_t group = inetAddr("239.1.1.1");
  std::vector<InterfaceInfo> interfaces{{"lo", 1, inetAddr("127.0.0.1")},
                                        {"veth0", 7, inetAddr("10.0.0.1")}};
  TrafficControlLayer layer{[this] { return interfaces; }};
};

TEST_F(TrafficControlLayerTest, HandlesParentsAndStaleHandles) {
  TcHandle handle = 0;
  const TcClientFuncList noHandler{nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(87u, layer.registerClient(1, 0, kHandlers, &handle));
  EXPECT_EQ(87u, layer.registerClient(2, 0, noHandler, &handle));

  const Chain c = chain(group);
  EXPECT_EQ(4u, std::set<TcHandle>({c.client, c.ifc, c.flow, c.filter}).size());
  EXPECT_EQ(6u, layer.deleteFilter(c.flow));  // a handle of another kind
  // Parents stay while they have children.
  EXPECT_EQ(7512u, layer.deleteFlow(c.flow));
  EXPECT_EQ(7512u, layer.closeInterface(c.ifc));
  EXPECT_EQ(7512u, layer.deregisterClient(c.client));
  for (const std::uint32_t expected : {0u, 6u}) {  // then every handle is stale
    EXPECT_EQ(expected, layer.deleteFilter(c.filter));
    EXPECT_EQ(expected, layer.deleteFlow(c.flow));
    EXPECT_EQ(expected, layer.closeInterface(c.ifc));
    EXPECT_EQ(expected, layer.deregisterClient(c.client));
  }
  EXPECT_EQ(6u, layer.openInterface(u"veth0", c.client, 0, &handle));
  // Only a whole name of an interface there now opens.
  const Chain d = chain(group);
  for (const char16_t* name : {u"", u"veth", u"veth00", u"7"}) {
    EXPECT_EQ(1168u, layer.openInterface(name, d.client, 0, &handle));
  }
  EXPECT_NE(c.filter, d.filter);  // old handles never come back
}

TEST_F(TrafficControlLayerTest, AddFlowChecksServiceRateAndObjects) {
  const TcHandle ifc = chain(group).ifc;
  const struct {
    std::vector<std::uint32_t> objects;
    std::uint32_t service, rate, result;
  } cases[] = {
      {{kDs, 12, 63, kEnd, 8}, 3, 10000, 0},
      {{kEnd, 8}, 1, tc::kNotSpecified, 0},    // best effort needs no rate
      {{4002, 12, 5, kEnd, 8}, 1, 0, 0},       // unknown objects are skipped
      {{kEnd, 8}, tc::kNotSpecified, 10000, 7502},
      {{kEnd, 8}, 3, 0, 7503},
      {{}, 3, 10000, 7515},
      {{kEnd, 8, 0}, 3, 10000, 7515},          // bytes after the end
      {{kEnd}, 3, 10000, 7515},                // a cut-off header
      {{4002, 0, kEnd, 8}, 3, 10000, 7515},    // a zero-length object
      {{4002, 40, kEnd, 8}, 3, 10000, 7515},   // past the total
      {{kDs, 8, kEnd, 8}, 3, 10000, 7515},     // a DS class of 8 bytes
      {{kDs, 12, 64, kEnd, 8}, 3, 10000, 7520},
  };
  TcHandle handle = 0;
  for (const auto& test : cases) {
    FlowBlock block = flowOf(test.objects, test.service, test.rate);
    EXPECT_EQ(test.result, layer.addFlow(ifc, 0, 0, &block.head, &handle))
        << ::testing::PrintToString(test.objects);
  }
  EXPECT_EQ(87u, layer.addFlow(ifc, 0, 0, nullptr, &handle));
}

TEST_F(TrafficControlLayerTest, FiltersMarkAndRefuseDuplicates) {
  EXPECT_EQ(-1, layer.dsClassFor(group));
  const Chain c = chain(group);
  chain(inetAddr("239.2.0.0"), inetAddr("255.255.0.0"), 10);
  EXPECT_EQ(46, layer.dsClassFor(group));
  EXPECT_EQ(-1, layer.dsClassFor(inetAddr("239.1.1.2")));
  EXPECT_EQ(10, layer.dsClassFor(inetAddr("239.2.9.9")));
  ASSERT_EQ(0u, layer.deleteFilter(c.filter));
  EXPECT_EQ(-1, layer.dsClassFor(group));

  IpPattern p{};
  TcHandle handle = 0;
  EXPECT_EQ(87u, layer.addFilter(c.flow, TcGenFilter{2, 20, &p, &p}, &handle));
  EXPECT_EQ(87u, layer.addFilter(c.flow, TcGenFilter{2, 24, &p, 0}, &handle));
  EXPECT_EQ(0u, addFilter(c.flow, group, 0xFFFFFFFF, &handle));
  EXPECT_EQ(7509u, addFilter(c.flow, group, 0xFFFFFFFF, &handle));
  // Another client's flow on the same host interface is refused too.
  EXPECT_EQ(7509u, addFilter(chain(1).flow, group, 0xFFFFFFFF, &handle));
  EXPECT_EQ(0u, addFilter(c.flow, group, 0x00FFFFFF, &handle));
  chain(group, 0xFFFFFFFF, 46, u"lo");  // another interface: accepted
}

}  // namespace
}  // namespace stampcast
