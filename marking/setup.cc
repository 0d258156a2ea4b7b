#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "marking/marking.h"
#include "marking/messages.h"
#include "timestamp/text.h"

namespace stampcast {
namespace {

// The first enumeration fills this many bytes at most. A longer list fails
// with code 122 and the size it needs, and is asked for again in a buffer
// of that size: one descriptor of a Windows adapter takes some 230 bytes, so
// two adapters already need more.
constexpr std::uint32_t kInterfaceBufferSize = 336;

// An interface that appears between two calls (a container's, a VPN's)
// makes the list outgrow the size the last call reported, so the list is
// asked for again at the newest size, this many times at most, before 122
// is the answer.
constexpr int kListRetries = 5;

// The sending rate the flow asks for, in bytes per second.
constexpr std::uint32_t kTokenRate = 10000;

// No completion handlers are given, so every call completes before it
// returns; notifications carry nothing the program acts on.
void ignoreNotification(TcHandle, TcHandle, std::uint32_t, TcHandle,
                        std::uint32_t, void*) {}

FlowSpec unspecifiedFlowSpec() {
  FlowSpec flowSpec;
  flowSpec.tokenRate = tc::kNotSpecified;
  flowSpec.tokenBucketSize = tc::kNotSpecified;
  flowSpec.peakBandwidth = tc::kNotSpecified;
  flowSpec.latency = tc::kNotSpecified;
  flowSpec.delayVariation = tc::kNotSpecified;
  flowSpec.serviceType = tc::kServiceTypeGuaranteed;
  flowSpec.maxSduSize = tc::kNotSpecified;
  flowSpec.minimumPolicedSize = tc::kNotSpecified;
  return flowSpec;
}

void fillFlow(int dscpValue, MarkedFlow& flow) {
  flow = MarkedFlow{};
  flow.head.sendingFlowspec = unspecifiedFlowSpec();
  flow.head.sendingFlowspec.tokenRate = kTokenRate;
  flow.head.receivingFlowspec = unspecifiedFlowSpec();
  flow.head.tcObjectsLength = sizeof flow.dsClass + sizeof flow.endOfList;
  flow.dsClass.header.objectType = tc::kObjectTypeDsClass;
  flow.dsClass.header.objectLength = sizeof flow.dsClass;
  // Out-of-range values are the platform's to refuse.
  flow.dsClass.dsField = static_cast<std::uint32_t>(dscpValue);
  flow.endOfList.objectType = tc::kObjectTypeEndOfList;
  flow.endOfList.objectLength = sizeof flow.endOfList;
}

// Only the destination address takes part in the match; the protocol in the
// pattern is masked out.
void fillFilter(const char* destAddress, MarkingHandles& handles) {
  handles.pattern = IpPattern{};
  handles.pattern.dstAddr = inetAddr(destAddress);
  handles.pattern.protocolId = tc::kProtocolUdp;
  handles.mask = IpPattern{};
  handles.mask.dstAddr = 0xFFFFFFFF;
  handles.filter = TcGenFilter{};
  handles.filter.addressType = tc::kAddressTypeIp;
  handles.filter.patternSize = sizeof(IpPattern);
  handles.filter.pattern = &handles.pattern;
  handles.filter.mask = &handles.mask;
}

// A value copied out of the list's bytes, so that the buffer is never read
// through a cast.
template <typename T>
T readAt(const unsigned char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// Whether the address list of the descriptor (`length` bytes at `ifc`, all
// of them inside the list) holds the IPv4 address `local`.
bool holdsAddress(const unsigned char* ifc, std::size_t length,
                  std::uint32_t local) {
  if (length < kFirstAddressOffset) return false;
  const auto count = readAt<std::int32_t>(ifc + kAddressCountOffset);
  std::size_t at = kFirstAddressOffset;
  for (std::int32_t i = 0;
       i < count && length - at >= sizeof(NetworkAddressHead); ++i) {
    const auto head = readAt<NetworkAddressHead>(ifc + at);
    at += sizeof head;
    if (head.addressLength > length - at) return false;
    if (head.addressType == tc::kAddressTypeIp &&
        head.addressLength >= sizeof(NetworkAddressIp) &&
        readAt<std::uint32_t>(ifc + at + offsetof(NetworkAddressIp,
                                                  address)) == local) {
      return true;
    }
    at += head.addressLength;
  }
  return false;
}

// The name of the interface whose address list holds `local` (network
// order; 0 when unknown), else of the first interface in the list; an empty
// name when the list is empty or the descriptor carries none. The walk
// stops at a descriptor whose length leaves the `size` bytes of the list.
const char16_t* chosenInterfaceName(const unsigned char* list,
                                    std::uint32_t size, std::uint32_t local) {
  static const char16_t kNoName[] = u"";
  const char16_t* first = nullptr;
  std::size_t at = 0;
  while (size - at >= sizeof(TcInterfaceDescriptor)) {
    const unsigned char* ifc = list + at;
    const auto name = readAt<char16_t*>(
        ifc + offsetof(TcInterfaceDescriptor, interfaceName));
    if (at == 0) first = name;
    const auto length = readAt<std::uint32_t>(
        ifc + offsetof(TcInterfaceDescriptor, length));
    if (length < sizeof(TcInterfaceDescriptor) || length > size - at) break;
    if (local != 0 && name != nullptr && holdsAddress(ifc, length, local)) {
      return name;
    }
    at += length;
  }
  return first != nullptr ? first : kNoName;
}

// The local address that the group's datagrams leave from, as the socket
// layer would pick it for the sender (0 when it cannot tell).
std::uint32_t addressTowardsGroup(const RunConfig& config, Platform& platform) {
  SocketAddress group{};
  group.family = kAddressFamilyInet;
  group.port = hostToNetwork16(static_cast<std::uint16_t>(config.destPort));
  group.address = inetAddr(config.destAddress);
  return platform.outgoingAddress(group);
}

// A 32-bit word as "%d" shows it, without an out-of-range conversion. A
// handle is pointer-sized; its low 32 bits are what the report shows.
int asSignedInt(std::uint32_t word) {
  if (word <= static_cast<std::uint32_t>(INT_MAX)) {
    return static_cast<int>(word);
  }
  return -static_cast<int>(~word) - 1;
}

}  // namespace

void reportTcAddResult(Platform& platform, std::uint32_t result,
                       TcHandle ifcHandle) {
  if (const char* message = addResultMessage(result)) {
    print(platform, "%s", message);
  }
  print(platform, "TcAddFlow: ERROR: %lu\n",
        static_cast<unsigned long>(result));
  print(platform, "Handle was %d\n",
        asSignedInt(static_cast<std::uint32_t>(ifcHandle)));
}

bool setupMarking(const RunConfig& config, Platform& platform,
                  MarkingHandles& handles) {
  TrafficControl& tc = platform.trafficControl();
  TcClientFuncList handlers{};
  handlers.notifyHandler = ignoreNotification;
  std::uint32_t result = tc.registerClient(tc::kCurrentVersion, 0, handlers,
                                           &handles.clientHandle);
  if (result != tc::kSuccess) {
    print(platform, "TcRegisterClient returned 0x%x\n",
          static_cast<unsigned>(result));
    return false;
  }

  // Zeroed, and aligned for the descriptors the enumeration lays out in it.
  alignas(8) unsigned char firstList[kInterfaceBufferSize]{};
  std::unique_ptr<std::uint64_t[]> longerList;
  unsigned char* interfaces = firstList;
  std::uint32_t size = kInterfaceBufferSize;
  result = tc.enumerateInterfaces(handles.clientHandle, &size, interfaces);
  for (int retry = 0;
       result == tc::kInsufficientBuffer && retry < kListRetries; ++retry) {
    // Whole 8-byte words: the size asked for, aligned. Without the memory
    // the last call's answer stands.
    std::unique_ptr<std::uint64_t[]> grown(
        new (std::nothrow) std::uint64_t[size / 8 + 1]());
    if (grown == nullptr) break;
    longerList = std::move(grown);
    interfaces = reinterpret_cast<unsigned char*>(longerList.get());
    result = tc.enumerateInterfaces(handles.clientHandle, &size, interfaces);
  }
  if (result != tc::kSuccess) {
    if (const char* message = enumerationMessage(result)) {
      print(platform, "%s", message);
    }
    if (result == tc::kInsufficientBuffer) {
      print(platform, "Size required: %d\n", asSignedInt(size));
    }
    print(platform, "TcEnumerateInterfaces returned 0x%x\n",
          static_cast<unsigned>(result));
    return false;
  }
  if (size == 0) {
    print(platform, "no traffic control interfaces are available\n");
  }

  // The flow goes on the adapter that the group's datagrams leave through:
  // the one the run names (-i), else the one the route picks.
  const std::uint32_t local =
      config.interfaceIndex != 0 ? config.interfaceAddress
      : size != 0                ? addressTowardsGroup(config, platform)
                                 : 0;
  result = tc.openInterface(chosenInterfaceName(interfaces, size, local),
                            handles.clientHandle, 0, &handles.ifcHandle);
  if (result != tc::kSuccess) {
    print(platform, "TcOpenInterface returned 0x%x\n",
          static_cast<unsigned>(result));
    return false;
  }

  fillFlow(config.dscpValue, handles.flow);
  result = tc.addFlow(handles.ifcHandle, 0, 0, &handles.flow.head,
                      &handles.flowHandle);
  if (result != tc::kSuccess) {
    reportTcAddResult(platform, result, handles.ifcHandle);
    return false;
  }

  fillFilter(config.destAddress, handles);
  result = tc.addFilter(handles.flowHandle, handles.filter,
                        &handles.filterHandle);
  if (result != tc::kSuccess) {
    reportTcAddResult(platform, result, handles.ifcHandle);
    return false;
  }
  return true;
}

}  // namespace stampcast
