#include <atomic>
#include <climits>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "marking/marking.h"
#include "marking/messages.h"
#include "platform/common/interface_list.h"
#include "timestamp/report/rights_hint.h"
#include "timestamp/report/report.h"

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

// What the service closed of the marking, and the name of the interface
// that the marking stands on (kept for the report).
std::atomic<const char*> removedBySystem{nullptr};
std::string openedInterface;

// No completion handlers are given, so every call completes before it
// returns. The service tells from a thread of its own when it closes the
// interface or the flow: the handler only records it, and the sender's loop
// reports it.
void recordNotification(TcHandle, TcHandle, std::uint32_t event, TcHandle,
                        std::uint32_t, void*) {
  if (event == tc::kNotifyInterfaceClose) {
    removedBySystem = openedInterface.c_str();
  } else if (event == tc::kNotifyFlowClose) {
    removedBySystem = "flow";
  }
}

// The name as the report shows it: a character beyond ASCII as '?'.
std::string narrowed(const char16_t* name) {
  std::string text;
  for (; *name != 0; ++name) {
    text += *name < 0x80 ? static_cast<char>(*name) : '?';
  }
  return text;
}

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
void fillFilter(const SocketAddress& group, MarkingHandles& handles) {
  handles.pattern = IpPattern{};
  handles.pattern.dstAddr = ipv4Of(group);
  handles.pattern.protocolId = tc::kProtocolUdp;
  handles.mask = IpPattern{};
  handles.mask.dstAddr = 0xFFFFFFFF;
  handles.filter = TcGenFilter{};
  handles.filter.addressType = tc::kAddressTypeIp;
  handles.filter.patternSize = sizeof(IpPattern);
  handles.filter.pattern = &handles.pattern;
  handles.filter.mask = &handles.mask;
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

const std::atomic<const char*>& markingRemoved() { return removedBySystem; }

void reportTcAddResult(Report& report, std::uint32_t result,
                       TcHandle ifcHandle) {
  if (const char* message = addResultMessage(result)) {
    print(report, "%s", message);
  }
  printError(report, "TcAddFlow: ERROR: %lu\n",
        static_cast<unsigned long>(result));
  print(report, "Handle was %d\n",
        asSignedInt(static_cast<std::uint32_t>(ifcHandle)));
}

namespace {

// The interfaces' list, in a buffer grown as the system asks for it.
struct TcInterfaces {
  TcInterfaces() = default;
  TcInterfaces(const TcInterfaces&) = delete;  // `interfaces` points inside
  TcInterfaces& operator=(const TcInterfaces&) = delete;

  // Zeroed, and aligned for the descriptors the enumeration lays out in it.
  alignas(8) unsigned char firstList[kInterfaceBufferSize]{};
  std::unique_ptr<std::uint64_t[]> longerList;
  unsigned char* interfaces = firstList;
  std::uint32_t size = kInterfaceBufferSize;
};

// Registers the client whose notifications tell when the system removes
// the marking.
bool registerClient(Platform& platform, Report& report, MarkingHandles& handles) {
  removedBySystem = nullptr;
  TcClientFuncList handlers{};
  handlers.notifyHandler = recordNotification;
  const std::uint32_t result = platform.trafficControl().registerClient(
      tc::kCurrentVersion, 0, handlers, &handles.clientHandle);
  if (result != tc::kSuccess) {
    printError(report, "TcRegisterClient returned 0x%x\n",
          static_cast<unsigned>(result));
    printRightsHint(report, RightsArea::TrafficControl, result);
    return false;
  }
  return true;
}

// Lists traffic control's interfaces, growing the buffer a few times.
bool enumerate(Platform& platform, Report& report, MarkingHandles& handles,
               TcInterfaces& list) {
  TrafficControl& tc = platform.trafficControl();
  std::uint32_t result =
      tc.enumerateInterfaces(handles.clientHandle, &list.size, list.interfaces);
  for (int retry = 0;
       result == tc::kInsufficientBuffer && retry < kListRetries; ++retry) {
    // Whole 8-byte words: the size asked for, aligned. Without the memory
    // the last call's answer stands.
    std::unique_ptr<std::uint64_t[]> grown(
        new (std::nothrow) std::uint64_t[list.size / 8 + 1]());
    if (grown == nullptr) break;
    list.longerList = std::move(grown);
    list.interfaces = reinterpret_cast<unsigned char*>(list.longerList.get());
    result = tc.enumerateInterfaces(handles.clientHandle, &list.size,
                                    list.interfaces);
  }
  if (result != tc::kSuccess) {
    if (const char* message = enumerationMessage(result)) {
      print(report, "%s", message);
    }
    if (result == tc::kInsufficientBuffer) {
      print(report, "Size required: %d\n", asSignedInt(list.size));
    }
    printError(report, "TcEnumerateInterfaces returned 0x%x\n",
          static_cast<unsigned>(result));
    return false;
  }
  if (list.size == 0) {
    print(report, "no traffic control interfaces are available\n");
  }
  return true;
}

// Opens the adapter that the group's datagrams leave through: the one the
// run names (-i), by the IPv4 address the run goes by there
// (cli/interface_choice.cc: the route's where the adapter holds it, else
// its lowest), else the one the route picks.
bool openChosenInterface(const RunConfig& config, const RunPlan& plan,
                         Platform& platform, Report& report,
                         const TcInterfaces& list, MarkingHandles& handles) {
  const char16_t* name = nullptr;
  if (plan.interfaceIndex != 0) {
    // Where no interface holds it, the datagrams would leave by -i
    // unmarked under the code point the lines show.
    name = interfaceHolding(list.interfaces, list.size,
                            plan.interfaceAddress);
    if (name == nullptr) {
      printError(report, "No traffic control interface holds %s\n",
                 config.interfaceText);
      return false;
    }
  } else {
    // The local address that the group's datagrams leave from, as the
    // socket layer would pick it for the sender (0 when it cannot tell).
    const std::uint32_t local =
        list.size != 0
            ? platform.hostNetwork().outgoingAddress(plan.groups.front())
            : 0;
    name = chosenInterfaceName(list.interfaces, list.size, local);
  }
  openedInterface = narrowed(name);
  // A measuring sender says where the route put its marking.
  if (config.measure && config.mode == RunMode::Sender &&
      plan.interfaceIndex == 0) {
    print(report, "Marking on traffic control interface %s\n",
          openedInterface.c_str());
  }
  const std::uint32_t result = platform.trafficControl().openInterface(
      name, handles.clientHandle, 0, &handles.ifcHandle);
  if (result != tc::kSuccess) {
    printError(report, "TcOpenInterface returned 0x%x\n",
          static_cast<unsigned>(result));
    return false;
  }
  return true;
}

// The flow of the code point on the interface, and its filter for the
// group's datagrams.
bool addFlowAndFilter(const RunConfig& config, const RunPlan& plan,
                      Platform& platform, Report& report,
                      MarkingHandles& handles) {
  TrafficControl& tc = platform.trafficControl();
  fillFlow(config.dscpValue, handles.flow);
  std::uint32_t result = tc.addFlow(handles.ifcHandle, 0, 0,
                                    &handles.flow.head, &handles.flowHandle);
  if (result != tc::kSuccess) {
    reportTcAddResult(report, result, handles.ifcHandle);
    return false;
  }
  fillFilter(plan.groups.front(), handles);
  result = tc.addFilter(handles.flowHandle, handles.filter,
                        &handles.filterHandle);
  if (result != tc::kSuccess) {
    reportTcAddResult(report, result, handles.ifcHandle);
    return false;
  }
  return true;
}

}  // namespace

bool setupMarking(const RunConfig& config, const RunPlan& plan,
                  Platform& platform, Report& report, MarkingHandles& handles) {
  if (!registerClient(platform, report, handles)) return false;
  // The interface's name points into the list until it is opened.
  TcInterfaces list;
  return enumerate(platform, report, handles, list) &&
         openChosenInterface(config, plan, platform, report, list, handles) &&
         addFlowAndFilter(config, plan, platform, report, handles);
}

}  // namespace stampcast
