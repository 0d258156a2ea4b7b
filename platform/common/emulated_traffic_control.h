// Traffic control kept inside the process, for hosts without such a service
// (the POSIX backend): it answers the program as the Windows
// traffic-control service does (handles, result codes,
// interface descriptors, flows and filters) and tells the socket layer which
// DS class a datagram to a destination must carry. Nothing outlives the
// process and no privilege is needed; it serves one thread.
//
// What it accepts:
// - Flows: the sending service type is best effort (1), controlled load (2),
//   guaranteed (3), network control (10) or qualitative (13), else 7502.
//   Controlled load and guaranteed need a token rate that is neither 0 nor
//   "not specified", else 7503. The objects are whole, well-formed objects
//   (length at least 8, within the stated total) ending with the end-of-list
//   object (2001, length 8) and nothing after it, else 7515; a DS-class
//   object is 12 bytes long, else 7515, and carries one DS field 0..63, else
//   7520. Objects of other types are skipped. Flags are ignored.
// - A flow without a DS-class object marks nothing.
// - A filter with the same pattern and mask (compared under the mask) as one
//   already on the same host interface, through any flow, client or handle,
//   is refused with 7509.
// - A flow that still has filters, an interface that still has flows and a
//   client that still has open interfaces are not removed: 7512.
// - When several filters match a destination, the oldest decides.
// - Beside IP_PATTERN filters (type 2, 24 bytes), IPv6 ones of the
//   emulation's own form (Ip6Pattern, type 0x86DD, 40 bytes), which match
//   the destination address and port under the mask.
// - modifyFlow (TcModifyFlow) checks a flow as addFlow does and gives the
//   flow its new DS class.
//
// The interface descriptors it lists: platform/common/interface_list.h.
#ifndef STAMPCAST_PLATFORM_COMMON_EMULATED_TRAFFIC_CONTROL_H_
#define STAMPCAST_PLATFORM_COMMON_EMULATED_TRAFFIC_CONTROL_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/common/interface_list.h"
#include "platform/traffic_control.h"

namespace stampcast {

// What a lister found: the interfaces, or the error (an errno value) that
// kept it from reading them. A plain list converts to one, for listers that
// cannot fail.
struct InterfaceList {
  InterfaceList(std::vector<InterfaceInfo> found = {})
      : interfaces(std::move(found)) {}
  std::vector<InterfaceInfo> interfaces;
  int error = 0;
};

class EmulatedTrafficControl final : public TrafficControl {
 public:
  // The emulation asks the lister for the host's interfaces at each enumeration
  // and open, and orders them by index. A listing that fails fails the call
  // with the lister's error.
  using InterfaceLister = std::function<InterfaceList()>;

  explicit EmulatedTrafficControl(InterfaceLister lister);
  ~EmulatedTrafficControl();
  EmulatedTrafficControl(const EmulatedTrafficControl&) = delete;
  EmulatedTrafficControl& operator=(const EmulatedTrafficControl&) = delete;

  std::uint32_t registerClient(std::uint32_t version, TcHandle clientContext,
                               const TcClientFuncList& handlers,
                               TcHandle* clientHandle) override;
  std::uint32_t enumerateInterfaces(TcHandle clientHandle,
                                    std::uint32_t* bufferSize, void* buffer) override;
  std::uint32_t openInterface(const char16_t* interfaceName,
                              TcHandle clientHandle, TcHandle ifcContext,
                              TcHandle* ifcHandle) override;
  std::uint32_t addFlow(TcHandle ifcHandle, TcHandle flowContext,
                        std::uint32_t flags, const TcGenFlowHead* flow,
                        TcHandle* flowHandle) override;
  std::uint32_t addFilter(TcHandle flowHandle, const TcGenFilter& filter,
                          TcHandle* filterHandle) override;
  std::uint32_t deleteFilter(TcHandle filterHandle) override;
  std::uint32_t modifyFlow(TcHandle flowHandle, const TcGenFlowHead* flow);
  std::uint32_t deleteFlow(TcHandle flowHandle) override;
  std::uint32_t closeInterface(TcHandle ifcHandle) override;
  std::uint32_t deregisterClient(TcHandle clientHandle) override;

  // The DS class (0 to 63) that a datagram to destination (network order)
  // must carry, or -1 when no flow's filter matches it.
  int dsClassFor(std::uint32_t destination) const;
  // The same, for a datagram that leaves by the interface of that index:
  // only the flows opened on it count.
  int dsClassFor(std::uint32_t destination, unsigned interfaceIndex) const;
  // The same for an IPv6 destination: its 16 bytes and port, network order.
  int dsClassFor6(const std::uint8_t* destination, std::uint16_t port) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_COMMON_EMULATED_TRAFFIC_CONTROL_H_
