#include <climits>
#include <cstddef>
#include <cstring>

#include "marking/marking.h"
#include "marking/messages.h"
#include "platform/print.h"

namespace stampcast {
namespace {

// The enumeration fills this many bytes at most; a longer list fails with
// code 122 and the size it needs, and is not asked for again.
constexpr std::uint32_t kInterfaceBufferSize = 336;

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

// The name of the first interface in the list, or an empty name when the
// list is empty or the descriptor carries none. The pointer is copied out
// of the bytes so that the buffer is never read through a cast.
const char16_t* firstInterfaceName(const unsigned char* buffer,
                                   std::uint32_t size) {
  static const char16_t kNoName[] = u"";
  if (size < sizeof(TcInterfaceDescriptor)) return kNoName;
  char16_t* name = nullptr;
  std::memcpy(&name, buffer + offsetof(TcInterfaceDescriptor, interfaceName),
              sizeof name);
  return name != nullptr ? name : kNoName;
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
  alignas(TcInterfaceDescriptor) unsigned char
      interfaces[kInterfaceBufferSize]{};
  std::uint32_t size = kInterfaceBufferSize;
  result = tc.enumerateInterfaces(handles.clientHandle, &size, interfaces);
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

  result = tc.openInterface(firstInterfaceName(interfaces, size),
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
