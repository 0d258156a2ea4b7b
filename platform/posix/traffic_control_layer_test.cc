#include "platform/posix/traffic_control_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace stampcast {
namespace posix {
namespace {

void ignore(TcHandle, TcHandle, std::uint32_t, TcHandle, std::uint32_t,
            void*) {}
const TcClientFuncList kHandlers{ignore, nullptr, nullptr, nullptr};

// A flow head with room for its objects right behind it: by default the
// program's flow (guaranteed, 10000 bytes/s, a DS class, the end of list).
struct FlowBlock {
  explicit FlowBlock(std::uint32_t dsField) {
    std::memset(this, 0xFF, sizeof *this);
    head.sendingFlowspec.tokenRate = 10000;
    head.sendingFlowspec.serviceType = tc::kServiceTypeGuaranteed;
    head.tcObjectsLength = 20;
    const std::uint32_t list[] = {tc::kObjectTypeDsClass, 12, dsField,
                                  tc::kObjectTypeEndOfList, 8};
    std::memcpy(objects, list, sizeof list);
  }
  TcGenFlowHead head;
  std::uint32_t objects[8];
};
static_assert(offsetof(FlowBlock, objects) == sizeof(TcGenFlowHead), "");

class TrafficControlLayerTest : public ::testing::Test {
 protected:
  struct Chain {
    TcHandle client = 0, ifc = 0, flow = 0, filter = 0;
  };
  // The program's chain: client, interface, flow, and a filter on dst/mask.
  Chain chain(std::uint32_t dst, std::uint32_t mask = 0xFFFFFFFF,
              std::uint32_t dsField = 46, const char16_t* name = u"veth0") {
    Chain made;
    FlowBlock block(dsField);
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
  EXPECT_EQ(87u, layer.registerClient(2, 0, kHandlers, nullptr));

  const Chain c = chain(group);
  EXPECT_EQ(4u, std::set<TcHandle>({c.client, c.ifc, c.flow, c.filter}).size());
  // A handle of another kind, or of another layer, is no handle at all.
  TrafficControlLayer other{[this] { return interfaces; }};
  ASSERT_EQ(0u, other.registerClient(2, 0, kHandlers, &handle));
  EXPECT_EQ(6u, layer.deregisterClient(handle));
  EXPECT_EQ(6u, layer.deleteFilter(c.flow));
  EXPECT_EQ(6u, layer.closeInterface(c.client));
  // Parents stay while they have children.
  EXPECT_EQ(7512u, layer.deleteFlow(c.flow));
  EXPECT_EQ(7512u, layer.closeInterface(c.ifc));
  EXPECT_EQ(7512u, layer.deregisterClient(c.client));
  EXPECT_EQ(46, layer.dsClassFor(group));

  for (const std::uint32_t expected : {0u, 6u}) {  // then every handle is stale
    EXPECT_EQ(expected, layer.deleteFilter(c.filter));
    EXPECT_EQ(expected, layer.deleteFlow(c.flow));
    EXPECT_EQ(expected, layer.closeInterface(c.ifc));
    EXPECT_EQ(expected, layer.deregisterClient(c.client));
  }
  FlowBlock block(46);
  EXPECT_EQ(6u, layer.openInterface(u"veth0", c.client, 0, &handle));
  EXPECT_EQ(6u, layer.addFlow(c.ifc, 0, 0, &block.head, &handle));
  EXPECT_EQ(6u, addFilter(c.flow, group, 0xFFFFFFFF, &handle));
  EXPECT_NE(c.filter, chain(group).filter);  // old handles never come back
}

TEST_F(TrafficControlLayerTest, EnumerationSizesAndLayout) {
  const TcHandle c = chain(group).client;
  const std::vector<InterfaceInfo> all = {{"veth0", 7, inetAddr("10.0.0.1")},
                                          {"lo", 1, inetAddr("127.0.0.1")},
                                          {"dummy12", 9, 0}};
  const std::uint32_t sizes[] = {0, 72, 72 + 64, 72 + 64 + 56};
  // Written at an odd address: nothing relies on the buffer's alignment.
  alignas(8) unsigned char storage[337];
  unsigned char* const buffer = storage + 1;
  std::uint32_t size = 0;
  for (std::size_t count = 0; count < 4; ++count) {
    interfaces.assign(all.begin(), all.begin() + count);
    size = 336;
    ASSERT_EQ(0u, layer.enumerateInterfaces(c, &size, buffer));
    EXPECT_EQ(sizes[count], size);
  }
  // The last list, in index order: lo first, its name inside its own
  // descriptor, then its network address (length 14, type 2, port 0, the
  // address); the next descriptor starts 8-byte aligned.
  TcInterfaceDescriptor head;
  std::memcpy(&head, buffer, sizeof head);
  EXPECT_EQ(64u, head.length);
  const auto* name = reinterpret_cast<unsigned char*>(head.interfaceName);
  ASSERT_TRUE(name > buffer + sizeof head && name + 10 <= buffer + 64);
  EXPECT_EQ(std::memcmp(name, u"lo\0" u"1", 10), 0);
  EXPECT_EQ(head.interfaceId, head.interfaceName + 3);
  std::uint32_t loAddress = 0;
  std::memcpy(&loAddress, buffer + sizeof head + 16, 4);
  EXPECT_EQ(inetAddr("127.0.0.1"), loAddress);
  std::memcpy(&head, buffer + 64, sizeof head);
  EXPECT_EQ(72u, head.length);
}

TEST_F(TrafficControlLayerTest, EnumerationOverflowAndBadParameters) {
  const TcHandle c = chain(group).client;
  interfaces.assign(5, {"veth0", 7, inetAddr("10.0.0.1")});
  unsigned char buffer[336];
  std::memset(buffer, 0xAB, sizeof buffer);
  for (std::uint32_t size : {336u, 0u}) {  // only the size says what it needs
    EXPECT_EQ(122u,
              layer.enumerateInterfaces(c, &size, size ? buffer : nullptr));
    EXPECT_EQ(5u * 72, size);
  }
  EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 336),
            std::vector<unsigned char>(336, 0xAB));
  std::uint32_t size = 10;
  EXPECT_EQ(87u, layer.enumerateInterfaces(c, nullptr, buffer));
  EXPECT_EQ(87u, layer.enumerateInterfaces(c, &size, nullptr));
}

TEST_F(TrafficControlLayerTest, OpenFindsOnlyAWholeCurrentName) {
  const TcHandle c = chain(group).client;
  TcHandle handle = 0;
  const struct {
    const char16_t* name;
    std::uint32_t result;
  } cases[] = {{u"veth0", 0},      {u"lo", 0},   {u"", 1168}, {u"veth", 1168},
               {u"veth00", 1168}, {u"1", 1168}, {nullptr, 87}};
  for (const auto& test : cases) {
    EXPECT_EQ(test.result, layer.openInterface(test.name, c, 0, &handle));
  }
  // Names are decoded from UTF-8; a byte that is not UTF-8 matches nothing.
  interfaces = {{"\xC3\xA9th0", 3, 0}, {"\xFF", 4, 0}};
  EXPECT_EQ(0u, layer.openInterface(u"\u00E9th0", c, 0, &handle));
  EXPECT_EQ(1168u, layer.openInterface(u"\u00FF", c, 0, &handle));
  interfaces.clear();  // gone since it was listed
  EXPECT_EQ(1168u, layer.openInterface(u"veth0", c, 0, &handle));
}

TEST_F(TrafficControlLayerTest, AddFlowChecksServiceRateAndObjects) {
  const TcHandle ifc = chain(group).ifc;
  const std::uint32_t kEnd = tc::kObjectTypeEndOfList;
  const std::uint32_t kDs = tc::kObjectTypeDsClass;
  const struct {
    const char* what;
    std::uint32_t service, rate, length;
    std::vector<std::uint32_t> objects;
    std::uint32_t result;
  } cases[] = {
      {"DS field 63", 3, 10000, 20, {kDs, 12, 63, kEnd, 8}, 0},
      {"best effort, no rate", 1, tc::kNotSpecified, 8, {kEnd, 8}, 0},
      {"unknown object skipped", 1, 0, 20, {4002, 12, 5, kEnd, 8}, 0},
      {"service not specified", tc::kNotSpecified, 10000, 8, {kEnd, 8}, 7502},
      {"guaranteed at rate 0", 3, 0, 8, {kEnd, 8}, 7503},
      {"no objects", 3, 10000, 0, {}, 7515},
      {"bytes after the end", 3, 10000, 12, {kEnd, 8, 0}, 7515},
      {"cut-off header", 3, 10000, 4, {kEnd, 8}, 7515},
      {"zero-length object", 3, 10000, 16, {4002, 0, kEnd, 8}, 7515},
      {"object past the total", 3, 10000, 16, {4002, 40, kEnd, 8}, 7515},
      {"DS class of 8 bytes", 3, 10000, 16, {kDs, 8, kEnd, 8}, 7515},
      {"DS field 64", 3, 10000, 20, {kDs, 12, 64, kEnd, 8}, 7520},
      {"two DS classes", 3, 10000, 32, {kDs, 12, 1, kDs, 12, 2, kEnd, 8}, 7520},
  };
  TcHandle handle = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    FlowBlock block(0);
    block.head.sendingFlowspec.serviceType = test.service;
    block.head.sendingFlowspec.tokenRate = test.rate;
    block.head.tcObjectsLength = test.length;
    std::copy(test.objects.begin(), test.objects.end(), block.objects);
    EXPECT_EQ(test.result, layer.addFlow(ifc, 0, 0, &block.head, &handle));
  }
  FlowBlock block(46);
  EXPECT_EQ(87u, layer.addFlow(ifc, 0, 0, nullptr, &handle));
  EXPECT_EQ(87u, layer.addFlow(ifc, 0, 0, &block.head, nullptr));
}

TEST_F(TrafficControlLayerTest, AddFilterChecksItsRecordAndDuplicates) {
  const Chain c = chain(group);
  IpPattern p{};
  const TcGenFilter bad[] = {{1, 24, &p, &p}, {2, 20, &p, &p},
                             {2, 24, nullptr, &p}, {2, 24, &p, nullptr}};
  TcHandle handle = 0;
  for (const TcGenFilter& filter : bad) {
    EXPECT_EQ(87u, layer.addFilter(c.flow, filter, &handle));
  }
  EXPECT_EQ(87u, layer.addFilter(c.flow, TcGenFilter{2, 24, &p, &p}, nullptr));

  EXPECT_EQ(7509u, addFilter(c.flow, group, 0xFFFFFFFF, &handle));
  // Another client's flow on the same host interface is refused too.
  EXPECT_EQ(7509u, addFilter(chain(1).flow, group, 0xFFFFFFFF, &handle));
  EXPECT_EQ(0u, addFilter(c.flow, group, 0x00FFFFFF, &handle));
  chain(group, 0xFFFFFFFF, 46, u"lo");  // another interface: accepted
  ASSERT_EQ(0u, layer.deleteFilter(c.filter));
  EXPECT_EQ(0u, addFilter(c.flow, group, 0xFFFFFFFF, &handle));
}

TEST_F(TrafficControlLayerTest, MarkingFollowsTheFilters) {
  EXPECT_EQ(-1, layer.dsClassFor(group));
  const Chain exact = chain(group, 0xFFFFFFFF, 46);
  chain(inetAddr("239.2.0.0"), inetAddr("255.255.0.0"), 10);
  EXPECT_EQ(46, layer.dsClassFor(group));
  EXPECT_EQ(-1, layer.dsClassFor(inetAddr("239.1.1.2")));
  EXPECT_EQ(10, layer.dsClassFor(inetAddr("239.2.9.9")));
  EXPECT_EQ(-1, layer.dsClassFor(inetAddr("239.3.0.0")));
  ASSERT_EQ(0u, layer.deleteFilter(exact.filter));
  EXPECT_EQ(-1, layer.dsClassFor(group));
}

}  // namespace
}  // namespace posix
}  // namespace stampcast
