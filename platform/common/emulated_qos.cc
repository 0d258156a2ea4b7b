#include "platform/common/emulated_qos.h"

#include <cstring>
#include <iterator>
#include <vector>

namespace stampcast {
namespace {

constexpr std::uint32_t kNotSupported = 50;
constexpr int kLastTrafficType = 5;  // QOSTrafficTypeControl
constexpr std::uint32_t kMaxDscp = 63;

void ignore(TcHandle, TcHandle, std::uint32_t, TcHandle, std::uint32_t,
            void*) {}

// A best-effort flow, with the DS class of the code point when it has one.
struct FlowBlock {
  TcGenFlowHead head;
  QosDsClass dsClass;
  QosObjectHeader endOfList;
};

FlowBlock flowWith(int dscp) {
  FlowBlock block{};
  block.head.sendingFlowspec.serviceType = 1;  // best effort
  block.head.receivingFlowspec.serviceType = 1;
  block.dsClass.header = {tc::kObjectTypeDsClass, sizeof block.dsClass};
  block.dsClass.dsField = static_cast<std::uint32_t>(dscp);
  block.endOfList = {tc::kObjectTypeEndOfList, sizeof block.endOfList};
  // Without a code point, the end of the list comes first.
  if (dscp < 0) block.dsClass.header = block.endOfList;
  block.head.tcObjectsLength =
      dscp < 0 ? sizeof block.endOfList
               : sizeof block.dsClass + sizeof block.endOfList;
  return block;
}

}  // namespace

std::uint32_t EmulatedQos::createHandle(const QosVersion& version,
                                        QosHandle* handle) {
  if (version.major != qos::kVersionMajor ||
      version.minor != qos::kVersionMinor || handle == nullptr) {
    return tc::kInvalidParameter;
  }
  Handle made{};
  std::uint32_t result = tc_.registerClient(
      tc::kCurrentVersion, 0, {ignore, nullptr, nullptr, nullptr}, &made.client);
  if (result != tc::kSuccess) return result;
  std::uint32_t size = 0;
  result = tc_.enumerateInterfaces(made.client, &size, nullptr);
  std::vector<std::uint64_t> list(size / 8 + 1);
  if (result == tc::kInsufficientBuffer) {
    result = tc_.enumerateInterfaces(made.client, &size, list.data());
  }
  if (result == tc::kSuccess) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(list.data());
    result = tc_.openInterface(chosenInterfaceName(bytes, size, 0), made.client,
                               0, &made.ifc);
  }
  if (result != tc::kSuccess) {
    tc_.deregisterClient(made.client);
    return result;
  }
  *handle = made.client;
  handles_.emplace(*handle, made);
  return tc::kSuccess;
}

std::uint32_t EmulatedQos::addSocketToFlow(QosHandle handle,
                                           SocketHandle socket,
                                           const SocketAddress& destination,
                                           int trafficType,
                                           std::uint32_t flags,
                                           QosFlowId* flowId) {
  const auto found = handles_.find(handle);
  if (found == handles_.end()) return tc::kInvalidHandle;
  if (destination.family != kAddressFamilyInet6 || destination.port == 0 ||
      trafficType < 0 || trafficType > kLastTrafficType ||
      (flags & ~qos::kNonAdaptiveFlow) != 0 || flowId == nullptr) {
    return tc::kInvalidParameter;
  }
  Flow flow{handle, socket, 0, 0, {}, {}};
  const FlowBlock block = flowWith(-1);
  std::uint32_t result =
      tc_.addFlow(found->second.ifc, 0, 0, &block.head, &flow.flow);
  if (result != tc::kSuccess) return result;
  std::memcpy(flow.pattern.dstAddr, destination.address, 16);
  flow.pattern.dstPort = destination.port;
  std::memset(flow.mask.dstAddr, 0xFF, 16);
  flow.mask.dstPort = 0xFFFF;
  const auto inserted = flows_.emplace(++nextFlow_, flow).first;
  Flow& kept = inserted->second;
  const TcGenFilter filter{tc::kAddressTypeIp6, sizeof(Ip6Pattern),
                           &kept.pattern, &kept.mask};
  result = tc_.addFilter(kept.flow, filter, &kept.filter);
  if (result != tc::kSuccess) {
    tc_.deleteFlow(kept.flow);
    flows_.erase(inserted);
    return result;
  }
  *flowId = nextFlow_;
  return tc::kSuccess;
}

std::uint32_t EmulatedQos::setFlow(QosHandle handle, QosFlowId flowId,
                                   int operation, std::uint32_t size,
                                   const void* buffer) {
  if (handles_.count(handle) == 0) return tc::kInvalidHandle;
  const auto flow = flows_.find(flowId);
  if (flow == flows_.end() || flow->second.handle != handle) {
    return tc::kNotFound;
  }
  if (operation != qos::kSetOutgoingDscpValue) return kNotSupported;
  std::uint32_t dscp = kMaxDscp + 1;
  if (size == sizeof dscp && buffer != nullptr) {
    std::memcpy(&dscp, buffer, sizeof dscp);
  }
  if (dscp > kMaxDscp) return tc::kInvalidParameter;
  const FlowBlock block = flowWith(static_cast<int>(dscp));
  const std::uint32_t result = tc_.modifyFlow(flow->second.flow, &block.head);
  if (result == tc::kSuccess) dscps_[flowId] = static_cast<int>(dscp);
  return result;
}

std::map<QosFlowId, EmulatedQos::Flow>::iterator EmulatedQos::findFlow(
    QosHandle handle, QosFlowId flowId) {
  const auto flow = flows_.find(flowId);
  if (flow == flows_.end() || flow->second.handle != handle) {
    return flows_.end();
  }
  return flow;
}

std::uint32_t EmulatedQos::queryFlow(QosHandle handle, QosFlowId flowId,
                                     int operation, std::uint32_t size,
                                     void* buffer) {
  if (handles_.count(handle) == 0) return tc::kInvalidHandle;
  if (findFlow(handle, flowId) == flows_.end()) return tc::kNotFound;
  if (operation != qos::kQueryPacketPriority) return kNotSupported;
  if (buffer == nullptr || size < sizeof(QosPacketPriority)) {
    return tc::kInsufficientBuffer;
  }
  QosPacketPriority priority{};
  const auto dscp = dscps_.find(flowId);
  if (dscp != dscps_.end()) {
    priority.conformantDscp = static_cast<std::uint32_t>(dscp->second);
    priority.nonConformantDscp = priority.conformantDscp;
  }
  std::memcpy(buffer, &priority, sizeof priority);
  return tc::kSuccess;
}

void EmulatedQos::invalidate() {
  std::vector<QosHandle> open;
  for (const auto& handle : handles_) open.push_back(handle.first);
  for (const QosHandle handle : open) closeHandle(handle);
  dscps_.clear();
}

std::uint32_t EmulatedQos::removeFlow(std::map<QosFlowId, Flow>::iterator flow) {
  std::uint32_t result = tc_.deleteFilter(flow->second.filter);
  if (result == tc::kSuccess) result = tc_.deleteFlow(flow->second.flow);
  flows_.erase(flow);
  return result;
}

std::uint32_t EmulatedQos::removeSocketFromFlow(QosHandle handle,
                                                SocketHandle socket,
                                                QosFlowId flowId,
                                                std::uint32_t flags) {
  if (handles_.count(handle) == 0) return tc::kInvalidHandle;
  const auto flow = flows_.find(flowId);
  if (flow == flows_.end() || flow->second.handle != handle ||
      flow->second.socket != socket) {
    return tc::kNotFound;
  }
  if (flags != 0) return tc::kInvalidParameter;
  return removeFlow(flow);
}

std::uint32_t EmulatedQos::closeHandle(QosHandle handle) {
  const auto found = handles_.find(handle);
  if (found == handles_.end()) return tc::kInvalidHandle;
  for (auto flow = flows_.begin(); flow != flows_.end();) {
    const auto next = std::next(flow);
    if (flow->second.handle == handle) removeFlow(flow);
    flow = next;
  }
  tc_.closeInterface(found->second.ifc);
  const std::uint32_t result = tc_.deregisterClient(found->second.client);
  handles_.erase(found);
  return result;
}

}  // namespace stampcast
