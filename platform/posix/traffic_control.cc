// The POSIX binding of traffic control: the emulation (platform/common/
// emulated_traffic_control.h) lists the host's interfaces through
// getifaddrs, and each send carries the DS field that its filters give the
// destination. The Windows backend's platform/windows/traffic_control.cc
// hands the same calls to the system's service instead.
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/posix/posix_platform.h"

namespace stampcast {
namespace posix {

InterfaceList listMulticastInterfaces() {
  // A list that cannot be read (no descriptor free for the netlink socket,
  // no memory) is a failure with its error, never an empty list.
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    InterfaceList failed;
    failed.error = errno;
    return failed;
  }

  std::vector<InterfaceInfo> result;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    const unsigned wanted = IFF_UP | IFF_MULTICAST;
    if ((entry->ifa_flags & wanted) != wanted) continue;
    // A secondary address carries a label "name:n"; Linux forbids ':' in
    // interface names, so what precedes it is the interface.
    std::string name = entry->ifa_name;
    name = name.substr(0, name.find(':'));
    const unsigned index = ::if_nametoindex(name.c_str());
    if (index == 0) continue;  // gone since the listing was taken

    auto known = std::find_if(result.begin(), result.end(),
                              [index](const InterfaceInfo& info) {
                                return info.index == index;
                              });
    if (known == result.end()) {
      result.push_back(InterfaceInfo{name, index, 0});
      known = result.end() - 1;
    }
    if (known->ipv4Address == 0 && entry->ifa_addr != nullptr &&
        entry->ifa_addr->sa_family == AF_INET) {
      known->ipv4Address =
          reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
    }
  }
  ::freeifaddrs(list);
  return result;  // in the order found: the emulation orders them by index
}

// An IPv6 datagram carries its DS field in the traffic class. A socket sent
// by a chosen interface carries only the marking of a flow on that
// interface, as a flow on an adapter marks only what it sends.
void PosixPlatform::applyMarking(int socket, const SocketAddress& destination) {
  const bool ipv6 = destination.family == kAddressFamilyInet6;
  const unsigned via =
      socket >= 0 && static_cast<std::size_t>(socket) < socketInterface_.size()
          ? socketInterface_[static_cast<std::size_t>(socket)]
          : 0;
  int dsClass;
  if (ipv6) {
    dsClass = tc_.dsClassFor6(destination.address, destination.port);
  } else if (via != 0) {
    dsClass = tc_.dsClassFor(ipv4Of(destination), via);
  } else {
    dsClass = tc_.dsClassFor(ipv4Of(destination));
  }
  const int tos = dsClass < 0 ? 0 : dsClass << 2;
  if (socket < 0 || static_cast<std::size_t>(socket) >= socketTos_.size()) {
    return;  // not a socket of ours: the send reports it
  }
  int& current = socketTos_[static_cast<std::size_t>(socket)];
  if (tos == current) return;
  if (::setsockopt(socket, ipv6 ? IPPROTO_IPV6 : IPPROTO_IP,
                   ipv6 ? IPV6_TCLASS : IP_TOS, &tos, sizeof tos) == 0) {
    current = tos;
  }
}

namespace {

bool settled(std::uint32_t result) {
  if (result != tc::kSuccess) errno = static_cast<int>(result);
  return result == tc::kSuccess;
}

}  // namespace

bool PosixQos::createHandle(const QosVersion& version, QosHandle* handle) {
  return settled(qos_.createHandle(version, handle));
}

bool PosixQos::addSocketToFlow(QosHandle handle, SocketHandle socket,
                               const SocketAddress& destination,
                               int trafficType, std::uint32_t flags,
                               QosFlowId* flowId) {
  return settled(qos_.addSocketToFlow(handle, socket, destination,
                                      trafficType, flags, flowId));
}

bool PosixQos::setFlow(QosHandle handle, QosFlowId flowId, int operation,
                       std::uint32_t size, const void* buffer) {
  return settled(qos_.setFlow(handle, flowId, operation, size, buffer));
}

bool PosixQos::queryFlow(QosHandle handle, QosFlowId flowId, int operation,
                         std::uint32_t size, void* buffer) {
  return settled(qos_.queryFlow(handle, flowId, operation, size, buffer));
}

bool PosixQos::removeSocketFromFlow(QosHandle handle, SocketHandle socket,
                                    QosFlowId flowId, std::uint32_t flags) {
  return settled(qos_.removeSocketFromFlow(handle, socket, flowId, flags));
}

bool PosixQos::closeHandle(QosHandle handle) {
  return settled(qos_.closeHandle(handle));
}

}  // namespace posix
}  // namespace stampcast
