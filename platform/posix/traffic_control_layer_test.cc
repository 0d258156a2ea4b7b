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

// A flow head with room for its objects right behind it.
struct FlowBlock {
  TcGenFlowHead head;
  std::uint32_t objects[8];
};
static_assert(offsetof(FlowBlock, objects) == sizeof(TcGenFlowHead), "");

// The flow the program adds: guaranteed, 10000 bytes/s, DS class, end.
FlowBlock programFlow(std::uint32_t dsField) {
  FlowBlock flow;
  std::memset(&flow, 0xFF, sizeof flow);
  flow.head.sendingFlowspec.tokenRate = 10000;
  flow.head.sendingFlowspec.serviceType = tc::kServiceTypeGuaranteed;
  flow.head.receivingFlowspec.serviceType = tc::kServiceTypeGuaranteed;
  flow.head.tcObjectsLength = 20;
  const std::uint32_t objects[] = {tc::kObjectTypeDsClass, 12, dsField,
                                   tc::kObjectTypeEndOfList, 8};
  std::memcpy(flow.objects, objects, sizeof objects);
  return flow;
}

// Whether the UTF-16 text with its terminator lies at p, before end.
bool hasText(const unsigned char* p, const char16_t* text,
             const unsigned char* end) {
  const std::size_t bytes = (std::char_traits<char16_t>::length(text) + 1) * 2;
  return p + bytes <= end && std::memcmp(p, text, bytes) == 0;
}

class TrafficControlLayerTest : public ::testing::Test {
 protected:
  // The program's chain: client, interface, flow, and a filter on dst/mask.
  struct Chain {
    TcHandle client = 0, ifc = 0, flow = 0, filter = 0;
  };
  Chain chain(std::uint32_t dst, std::uint32_t mask = 0xFFFFFFFF,
              std::uint32_t dsField = 46, const char16_t* name = u"veth0") {
    Chain made;
    FlowBlock block = programFlow(dsField);
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

TEST_F(TrafficControlLayerTest, RegistrationChecksItsParameters) {
  TcHandle handle = 0;
  const TcClientFuncList noHandler{nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(87u, layer.registerClient(1, 0, kHandlers, &handle));
  EXPECT_EQ(87u, layer.registerClient(2, 0, noHandler, &handle));
  EXPECT_EQ(87u, layer.registerClient(2, 0, kHandlers, nullptr));
  EXPECT_EQ(0u, handle);
}

TEST_F(TrafficControlLayerTest, RemovalOrderAndStaleHandles) {
  const Chain c = chain(group);
  EXPECT_EQ(4u, std::set<TcHandle>({c.client, c.ifc, c.flow, c.filter}).size());
  // A handle of another kind, or of another layer, is no handle at all.
  TrafficControlLayer other{[this] { return interfaces; }};
  TcHandle foreign = 0;
  ASSERT_EQ(0u, other.registerClient(2, 0, kHandlers, &foreign));
  EXPECT_NE(c.client, foreign);
  EXPECT_EQ(6u, layer.deregisterClient(foreign));
  EXPECT_EQ(6u, layer.deleteFilter(c.flow));
  EXPECT_EQ(6u, layer.closeInterface(c.client));
  // Parents stay while they have children.
  EXPECT_EQ(7512u, layer.deleteFlow(c.flow));
  EXPECT_EQ(7512u, layer.closeInterface(c.ifc));
  EXPECT_EQ(7512u, layer.deregisterClient(c.client));
  EXPECT_EQ(46, layer.dsClassFor(group));

  EXPECT_EQ(0u, layer.deleteFilter(c.filter));
  EXPECT_EQ(0u, layer.deleteFlow(c.flow));
  EXPECT_EQ(0u, layer.closeInterface(c.ifc));
  EXPECT_EQ(0u, layer.deregisterClient(c.client));

  FlowBlock block = programFlow(46);
  TcHandle out = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(6u, layer.deleteFilter(c.filter));
  EXPECT_EQ(6u, layer.deleteFlow(c.flow));
  EXPECT_EQ(6u, layer.closeInterface(c.ifc));
  EXPECT_EQ(6u, layer.deregisterClient(c.client));
  EXPECT_EQ(6u, layer.enumerateInterfaces(c.client, &size, nullptr));
  EXPECT_EQ(6u, layer.openInterface(u"veth0", c.client, 0, &out));
  EXPECT_EQ(6u, layer.addFlow(c.ifc, 0, 0, &block.head, &out));
  EXPECT_EQ(6u, addFilter(c.flow, group, 0xFFFFFFFF, &out));
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
  // The last list, in index order: lo, veth0, dummy12.
  const struct {
    const char16_t* name;
    const char16_t* id;
  } expected[] = {{u"lo", u"1"}, {u"veth0", u"7"}, {u"dummy12", u"9"}};
  std::size_t offset = 0;
  for (const auto& want : expected) {
    SCOPED_TRACE(offset);
    const unsigned char* at = buffer + offset;
    TcInterfaceDescriptor head;
    std::memcpy(&head, at, sizeof head);
    EXPECT_EQ(0u, head.length % 8);
    const auto* name = reinterpret_cast<unsigned char*>(head.interfaceName);
    const auto* id = reinterpret_cast<unsigned char*>(head.interfaceId);
    ASSERT_TRUE(name >= at + sizeof head && id > name);
    EXPECT_TRUE(hasText(name, want.name, at + head.length));
    EXPECT_TRUE(hasText(id, want.id, at + head.length));
    offset += head.length;
  }
  EXPECT_EQ(size, offset);
  // lo's network address: length 14, type 2, port 0, then the address.
  std::uint32_t loAddress = 0;
  std::memcpy(&loAddress, buffer + sizeof(TcInterfaceDescriptor) + 16, 4);
  EXPECT_EQ(inetAddr("127.0.0.1"), loAddress);
}

TEST_F(TrafficControlLayerTest, EnumerationOverflowAndBadParameters) {
  const TcHandle c = chain(group).client;
  interfaces.clear();
  for (unsigned k = 1; k <= 5; ++k) {
    interfaces.push_back({"veth" + std::to_string(k), k, inetAddr("10.0.0.9")});
  }
  unsigned char buffer[336];
  std::memset(buffer, 0xAB, sizeof buffer);
  std::uint32_t size = sizeof buffer;
  EXPECT_EQ(122u, layer.enumerateInterfaces(c, &size, buffer));
  EXPECT_EQ(5u * 72, size);
  for (unsigned char byte : buffer) ASSERT_EQ(0xAB, byte);
  size = 0;
  EXPECT_EQ(122u, layer.enumerateInterfaces(c, &size, nullptr));
  EXPECT_EQ(5u * 72, size);
  EXPECT_EQ(87u, layer.enumerateInterfaces(c, nullptr, buffer));
  size = 10;
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
  const std::uint32_t kNone = tc::kNotSpecified;
  const struct {
    const char* what;
    std::uint32_t service, rate, length;
    std::vector<std::uint32_t> objects;
    std::uint32_t result;
  } cases[] = {
      {"DS field 63", 3, 10000, 20, {kDs, 12, 63, kEnd, 8}, 0},
      {"best effort, no rate", 1, kNone, 8, {kEnd, 8}, 0},
      {"unknown object skipped", 1, 0, 20, {4002, 12, 5, kEnd, 8}, 0},
      {"service not specified", kNone, 10000, 8, {kEnd, 8}, 7502},
      {"guaranteed at rate 0", 3, 0, 8, {kEnd, 8}, 7503},
      {"controlled load, no rate", 2, kNone, 8, {kEnd, 8}, 7503},
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
    FlowBlock block = programFlow(0);
    block.head.sendingFlowspec.serviceType = test.service;
    block.head.sendingFlowspec.tokenRate = test.rate;
    block.head.tcObjectsLength = test.length;
    std::copy(test.objects.begin(), test.objects.end(), block.objects);
    EXPECT_EQ(test.result, layer.addFlow(ifc, 0, 0, &block.head, &handle));
  }
  FlowBlock block = programFlow(46);
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

TEST(ListMulticastInterfacesTest, HostListIsInIndexOrderWithoutRepeats) {
  const std::vector<InterfaceInfo> list = listMulticastInterfaces();
  for (std::size_t k = 0; k < list.size(); ++k) {
    EXPECT_FALSE(list[k].name.empty());
    EXPECT_EQ(std::string::npos, list[k].name.find(':'));
    if (k > 0) {
      EXPECT_LT(list[k - 1].index, list[k].index);
    }
  }
}

}  // namespace
}  // namespace posix
}  // namespace stampcast
