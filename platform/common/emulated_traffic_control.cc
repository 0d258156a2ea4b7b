#include "platform/common/emulated_traffic_control.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace stampcast {
namespace {

// Handles carry their kind in the low four bits and a process-wide sequence
// above it: they are never zero, never repeat while the process lives, and a
// handle of one kind is never taken for another.
enum Kind : TcHandle { kClient = 1, kInterface = 2, kFlow = 3, kFilter = 4 };

TcHandle newHandle(Kind kind) {
  static TcHandle sequence = 0;
  return (++sequence << 4) | kind;
}

constexpr std::uint32_t kServiceBestEffort = 1;
constexpr std::uint32_t kServiceControlledLoad = 2;
constexpr std::uint32_t kServiceNetworkControl = 10;
constexpr std::uint32_t kServiceQualitative = 13;
constexpr std::uint32_t kMaxDsField = 63;

struct Interface {
  TcHandle client;
  std::string name;
  unsigned index;
};
struct Flow {
  TcHandle interface;
  int dsClass;  // -1: the flow marks nothing
};
// A filter of either form: its type, and its pattern and mask as bytes.
struct Filter {
  TcHandle flow;
  std::uint16_t type;
  unsigned char pattern[sizeof(Ip6Pattern)];
  unsigned char mask[sizeof(Ip6Pattern)];
};

bool sameUnderMask(const unsigned char* a, const unsigned char* b,
                   const unsigned char* mask) {
  for (std::size_t i = 0; i < sizeof(Ip6Pattern); ++i) {
    if ((a[i] & mask[i]) != (b[i] & mask[i])) return false;
  }
  return true;
}

std::size_t patternSizeOf(std::uint16_t type) {
  if (type == tc::kAddressTypeIp) return sizeof(IpPattern);
  return type == tc::kAddressTypeIp6 ? sizeof(Ip6Pattern) : 0;
}

// Walks the objects that follow the flow head. Returns 0 and the DS class
// (-1 without one), or the code that refuses them.
std::uint32_t readObjects(const TcGenFlowHead& flow, int* dsClass) {
  const unsigned char* objects =
      reinterpret_cast<const unsigned char*>(&flow) + sizeof flow;
  const std::size_t total = flow.tcObjectsLength;
  *dsClass = -1;
  std::size_t offset = 0;
  while (total - offset >= sizeof(QosObjectHeader)) {
    QosObjectHeader header;
    std::memcpy(&header, objects + offset, sizeof header);
    if (header.objectLength < sizeof header ||
        header.objectLength > total - offset) {
      return tc::kTcObjectLength;
    }
    if (header.objectType == tc::kObjectTypeEndOfList) {
      const bool last = header.objectLength == sizeof header &&
                        offset + sizeof header == total;
      return last ? tc::kSuccess : tc::kTcObjectLength;
    }
    if (header.objectType == tc::kObjectTypeDsClass) {
      if (header.objectLength != sizeof(QosDsClass)) return tc::kTcObjectLength;
      QosDsClass object;
      std::memcpy(&object, objects + offset, sizeof object);
      if (object.dsField > kMaxDsField || *dsClass >= 0) {
        return tc::kInvalidDsClass;
      }
      *dsClass = static_cast<int>(object.dsField);
    }
    offset += header.objectLength;
  }
  return tc::kTcObjectLength;  // no end-of-list object, or a cut-off header
}

std::uint32_t checkFlowSpec(const FlowSpec& flowspec) {
  switch (flowspec.serviceType) {
    case kServiceControlledLoad:
    case tc::kServiceTypeGuaranteed:
      // These reserve a rate; they cannot do so without one.
      if (flowspec.tokenRate == 0 || flowspec.tokenRate == tc::kNotSpecified) {
        return tc::kInvalidTokenRate;
      }
      return tc::kSuccess;
    case kServiceBestEffort:
    case kServiceNetworkControl:
    case kServiceQualitative:
      return tc::kSuccess;
    default:
      return tc::kInvalidServiceType;
  }
}

}  // namespace

struct EmulatedTrafficControl::State {
  // One entry per filter of a marking flow, in the order they were added:
  // the masked destination, the mask and the class. Looked up before every
  // send, so it is kept flat.
  struct Mark {
    std::uint32_t destination;
    std::uint32_t mask;
    int dsClass;
    unsigned interfaceIndex;  // of the interface the flow was opened on
  };
  // The IPv6 filters of marking flows: pattern and mask.
  struct Mark6 {
    Ip6Pattern pattern;
    Ip6Pattern mask;
    int dsClass;
  };

  InterfaceLister lister;
  // Ordered by handle, which is the order of creation.
  std::set<TcHandle> clients;
  std::map<TcHandle, Interface> interfaces;
  std::map<TcHandle, Flow> flows;
  std::map<TcHandle, Filter> filters;
  std::vector<Mark> marks;
  std::vector<Mark6> marks6;

  InterfaceList currentInterfaces() const {
    InterfaceList list = lister ? lister() : InterfaceList{};
    std::stable_sort(list.interfaces.begin(), list.interfaces.end(),
                     [](const InterfaceInfo& a, const InterfaceInfo& b) {
                       return a.index < b.index;
                     });
    return list;
  }

  // Removes `handle` from `parents` unless a child (an entry of `children`
  // whose `parent` member names it) still hangs on it.
  template <typename Parents, typename Children, typename Member>
  std::uint32_t removeChildless(Parents& parents, const Children& children,
                                Member parent, TcHandle handle) {
    if (parents.count(handle) == 0) return tc::kInvalidHandle;
    const bool hasChild = std::any_of(
        children.begin(), children.end(),
        [&](const auto& child) { return child.second.*parent == handle; });
    if (hasChild) return tc::kObjectsStillPresent;
    parents.erase(handle);
    return tc::kSuccess;
  }

  const std::string& interfaceOfFlow(TcHandle flow) const {
    return interfaces.at(flows.at(flow).interface).name;
  }

  void rebuildMarks() {
    marks.clear();
    marks6.clear();
    for (const auto& entry : filters) {
      const Filter& filter = entry.second;
      const Flow& flow = flows.at(filter.flow);
      const int dsClass = flow.dsClass;
      if (dsClass < 0) continue;
      if (filter.type == tc::kAddressTypeIp6) {
        Mark6 mark{{}, {}, dsClass};
        std::memcpy(&mark.pattern, filter.pattern, sizeof mark.pattern);
        std::memcpy(&mark.mask, filter.mask, sizeof mark.mask);
        marks6.push_back(mark);
        continue;
      }
      IpPattern pattern;
      IpPattern mask;
      std::memcpy(&pattern, filter.pattern, sizeof pattern);
      std::memcpy(&mask, filter.mask, sizeof mask);
      marks.push_back(Mark{pattern.dstAddr & mask.dstAddr, mask.dstAddr,
                           dsClass, interfaces.at(flow.interface).index});
    }
  }
};

EmulatedTrafficControl::EmulatedTrafficControl(InterfaceLister lister)
    : state_(new State) {
  state_->lister = std::move(lister);
}

EmulatedTrafficControl::~EmulatedTrafficControl() = default;

std::uint32_t EmulatedTrafficControl::registerClient(
    std::uint32_t version, TcHandle, const TcClientFuncList& handlers,
    TcHandle* clientHandle) {
  if (version != tc::kCurrentVersion || handlers.notifyHandler == nullptr ||
      clientHandle == nullptr) {
    return tc::kInvalidParameter;
  }
  // Nothing here ever changes on its own, so the handler is never called.
  *clientHandle = newHandle(kClient);
  state_->clients.insert(*clientHandle);
  return tc::kSuccess;
}

std::uint32_t EmulatedTrafficControl::enumerateInterfaces(
    TcHandle clientHandle, std::uint32_t* bufferSize, void* buffer) {
  if (state_->clients.count(clientHandle) == 0) return tc::kInvalidHandle;
  if (bufferSize == nullptr || (*bufferSize != 0 && buffer == nullptr)) {
    return tc::kInvalidParameter;
  }
  const InterfaceList found = state_->currentInterfaces();
  if (found.error != 0) return static_cast<std::uint32_t>(found.error);
  const std::vector<InterfaceInfo>& list = found.interfaces;
  const std::size_t required = interfaceListSize(list);
  if (required > *bufferSize) {
    // The buffer stays untouched: only the size tells what went wrong.
    *bufferSize = static_cast<std::uint32_t>(required);
    return tc::kInsufficientBuffer;
  }
  writeInterfaceList(list, static_cast<unsigned char*>(buffer));
  *bufferSize = static_cast<std::uint32_t>(required);
  return tc::kSuccess;
}

std::uint32_t EmulatedTrafficControl::openInterface(const char16_t* interfaceName,
                                                 TcHandle clientHandle,
                                                 TcHandle,
                                                 TcHandle* ifcHandle) {
  if (state_->clients.count(clientHandle) == 0) return tc::kInvalidHandle;
  if (interfaceName == nullptr || ifcHandle == nullptr) {
    return tc::kInvalidParameter;
  }
  const InterfaceList found = state_->currentInterfaces();
  if (found.error != 0) return static_cast<std::uint32_t>(found.error);
  for (const InterfaceInfo& info : found.interfaces) {
    const std::u16string name = toUtf16(info.name);
    // Compared character by character: the caller's string is never read
    // beyond its terminator or the first difference.
    std::size_t i = 0;
    while (i < name.size() && interfaceName[i] == name[i]) ++i;
    if (i == name.size() && interfaceName[i] == u'\0' && !name.empty()) {
      *ifcHandle = newHandle(kInterface);
      state_->interfaces.emplace(*ifcHandle,
                                 Interface{clientHandle, info.name, info.index});
      return tc::kSuccess;
    }
  }
  return tc::kNotFound;
}

std::uint32_t EmulatedTrafficControl::addFlow(TcHandle ifcHandle, TcHandle,
                                           std::uint32_t,
                                           const TcGenFlowHead* flow,
                                           TcHandle* flowHandle) {
  if (state_->interfaces.count(ifcHandle) == 0) return tc::kInvalidHandle;
  if (flow == nullptr || flowHandle == nullptr) return tc::kInvalidParameter;
  const std::uint32_t verdict = checkFlowSpec(flow->sendingFlowspec);
  if (verdict != tc::kSuccess) return verdict;
  int dsClass = -1;
  const std::uint32_t objects = readObjects(*flow, &dsClass);
  if (objects != tc::kSuccess) return objects;
  *flowHandle = newHandle(kFlow);
  state_->flows.emplace(*flowHandle, Flow{ifcHandle, dsClass});
  return tc::kSuccess;
}

std::uint32_t EmulatedTrafficControl::addFilter(TcHandle flowHandle,
                                             const TcGenFilter& filter,
                                             TcHandle* filterHandle) {
  if (state_->flows.count(flowHandle) == 0) return tc::kInvalidHandle;
  const std::size_t size = patternSizeOf(filter.addressType);
  if (filterHandle == nullptr || size == 0 || filter.patternSize != size ||
      filter.pattern == nullptr || filter.mask == nullptr) {
    return tc::kInvalidParameter;
  }
  Filter added{flowHandle, filter.addressType, {}, {}};
  std::memcpy(added.pattern, filter.pattern, size);
  std::memcpy(added.mask, filter.mask, size);

  const std::string& host = state_->interfaceOfFlow(flowHandle);
  for (const auto& entry : state_->filters) {
    const Filter& other = entry.second;
    if (state_->interfaceOfFlow(other.flow) == host && other.type == added.type &&
        std::memcmp(&other.mask, &added.mask, sizeof added.mask) == 0 &&
        sameUnderMask(other.pattern, added.pattern, added.mask)) {
      return tc::kDuplicateFilter;
    }
  }
  *filterHandle = newHandle(kFilter);
  state_->filters.emplace(*filterHandle, added);
  state_->rebuildMarks();
  return tc::kSuccess;
}

std::uint32_t EmulatedTrafficControl::modifyFlow(TcHandle flowHandle,
                                                const TcGenFlowHead* flow) {
  const auto found = state_->flows.find(flowHandle);
  if (found == state_->flows.end()) return tc::kInvalidHandle;
  if (flow == nullptr) return tc::kInvalidParameter;
  const std::uint32_t verdict = checkFlowSpec(flow->sendingFlowspec);
  if (verdict != tc::kSuccess) return verdict;
  int dsClass = -1;
  const std::uint32_t objects = readObjects(*flow, &dsClass);
  if (objects != tc::kSuccess) return objects;
  found->second.dsClass = dsClass;
  state_->rebuildMarks();
  return tc::kSuccess;
}

std::uint32_t EmulatedTrafficControl::deleteFilter(TcHandle filterHandle) {
  if (state_->filters.erase(filterHandle) == 0) return tc::kInvalidHandle;
  state_->rebuildMarks();
  return tc::kSuccess;
}

std::uint32_t EmulatedTrafficControl::deleteFlow(TcHandle flowHandle) {
  return state_->removeChildless(state_->flows, state_->filters, &Filter::flow,
                                 flowHandle);
}

std::uint32_t EmulatedTrafficControl::closeInterface(TcHandle ifcHandle) {
  return state_->removeChildless(state_->interfaces, state_->flows,
                                 &Flow::interface, ifcHandle);
}

std::uint32_t EmulatedTrafficControl::deregisterClient(TcHandle clientHandle) {
  return state_->removeChildless(state_->clients, state_->interfaces,
                                 &Interface::client, clientHandle);
}

int EmulatedTrafficControl::dsClassFor(std::uint32_t destination) const {
  for (const State::Mark& mark : state_->marks) {
    if ((destination & mark.mask) == mark.destination) return mark.dsClass;
  }
  return -1;
}

int EmulatedTrafficControl::dsClassFor(std::uint32_t destination,
                                       unsigned interfaceIndex) const {
  for (const State::Mark& mark : state_->marks) {
    if ((destination & mark.mask) == mark.destination &&
        mark.interfaceIndex == interfaceIndex) {
      return mark.dsClass;
    }
  }
  return -1;
}

int EmulatedTrafficControl::dsClassFor6(const std::uint8_t* destination,
                                        std::uint16_t port) const {
  for (const State::Mark6& mark : state_->marks6) {
    bool match = (port & mark.mask.dstPort) ==
                 (mark.pattern.dstPort & mark.mask.dstPort);
    for (std::size_t i = 0; match && i < 16; ++i) {
      match = (destination[i] & mark.mask.dstAddr[i]) ==
              (mark.pattern.dstAddr[i] & mark.mask.dstAddr[i]);
    }
    if (match) return mark.dsClass;
  }
  return -1;
}

}  // namespace stampcast
