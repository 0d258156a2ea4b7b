// Traffic control for Linux, kept inside the process: it answers the program
// as the Windows traffic-control service does (handles, result codes,
// interface descriptors, flows and filters) and tells the socket layer which
// DS class a datagram to a destination must carry.
#ifndef STAMPCAST_PLATFORM_POSIX_TRAFFIC_CONTROL_LAYER_H_
#define STAMPCAST_PLATFORM_POSIX_TRAFFIC_CONTROL_LAYER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/traffic_control.h"

namespace stampcast {
namespace posix {

// An interface that is up and can carry multicast.
struct InterfaceInfo {
  std::string name;
  unsigned index = 0;
  std::uint32_t ipv4Address = 0;  // network order; 0 when it has none
};

// The host's interfaces that are up and can carry multicast, by index.
std::vector<InterfaceInfo> listMulticastInterfaces();

class TrafficControlLayer {
 public:
  using InterfaceLister = std::function<std::vector<InterfaceInfo>()>;

  explicit TrafficControlLayer(
      InterfaceLister lister = listMulticastInterfaces);
  ~TrafficControlLayer();
  TrafficControlLayer(const TrafficControlLayer&) = delete;
  TrafficControlLayer& operator=(const TrafficControlLayer&) = delete;

  std::uint32_t registerClient(std::uint32_t version, TcHandle clientContext,
                               const TcClientFuncList& handlers,
                               TcHandle* clientHandle);
  std::uint32_t enumerateInterfaces(TcHandle clientHandle,
                                    std::uint32_t* bufferSize, void* buffer);
  std::uint32_t openInterface(const char16_t* interfaceName,
                              TcHandle clientHandle, TcHandle ifcContext,
                              TcHandle* ifcHandle);
  std::uint32_t addFlow(TcHandle ifcHandle, TcHandle flowContext,
                        std::uint32_t flags, const TcGenFlowHead* flow,
                        TcHandle* flowHandle);
  std::uint32_t addFilter(TcHandle flowHandle, const TcGenFilter& filter,
                          TcHandle* filterHandle);
  std::uint32_t deleteFilter(TcHandle filterHandle);
  std::uint32_t deleteFlow(TcHandle flowHandle);
  std::uint32_t closeInterface(TcHandle ifcHandle);
  std::uint32_t deregisterClient(TcHandle clientHandle);

  // The DS class (0 to 63) that a datagram to destination (network order)
  // must carry, or -1 when no flow's filter matches it.
  int dsClassFor(std::uint32_t destination) const;

 private:
  struct State;
  State* state_;
};

}  // namespace posix
}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_POSIX_TRAFFIC_CONTROL_LAYER_H_
