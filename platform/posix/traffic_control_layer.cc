// Placeholder until the layer is built: every call is refused.
#include "platform/posix/traffic_control_layer.h"

namespace stampcast {
namespace posix {

struct TrafficControlLayer::State {};

std::vector<InterfaceInfo> listMulticastInterfaces() { return {}; }

TrafficControlLayer::TrafficControlLayer(InterfaceLister)
    : state_(new State) {}
TrafficControlLayer::~TrafficControlLayer() { delete state_; }

std::uint32_t TrafficControlLayer::registerClient(std::uint32_t, TcHandle,
                                                  const TcClientFuncList&,
                                                  TcHandle*) {
  return tc::kCallNotImplemented;
}
std::uint32_t TrafficControlLayer::enumerateInterfaces(TcHandle,
                                                       std::uint32_t*,
                                                       void*) {
  return tc::kCallNotImplemented;
}
std::uint32_t TrafficControlLayer::openInterface(const char16_t*, TcHandle,
                                                 TcHandle, TcHandle*) {
  return tc::kCallNotImplemented;
}
std::uint32_t TrafficControlLayer::addFlow(TcHandle, TcHandle, std::uint32_t,
                                           const TcGenFlowHead*, TcHandle*) {
  return tc::kCallNotImplemented;
}
std::uint32_t TrafficControlLayer::addFilter(TcHandle, const TcGenFilter&,
                                             TcHandle*) {
  return tc::kCallNotImplemented;
}
std::uint32_t TrafficControlLayer::deleteFilter(TcHandle) {
  return tc::kCallNotImplemented;
}
std::uint32_t TrafficControlLayer::deleteFlow(TcHandle) {
  return tc::kCallNotImplemented;
}
std::uint32_t TrafficControlLayer::closeInterface(TcHandle) {
  return tc::kCallNotImplemented;
}
std::uint32_t TrafficControlLayer::deregisterClient(TcHandle) {
  return tc::kCallNotImplemented;
}
int TrafficControlLayer::dsClassFor(std::uint32_t) const { return -1; }

}  // namespace posix
}  // namespace stampcast
