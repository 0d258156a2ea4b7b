// A chosen interface on Linux: the host's interfaces from getifaddrs, the
// sending interface by ip_mreqn and the joins by index, so that an interface
// is meant exactly even when another holds the same address or it has none.
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/posix/posix_platform.h"

namespace stampcast {
namespace posix {
namespace {

sockaddr_storage inetStorage(std::uint32_t address) {
  sockaddr_storage storage{};
  sockaddr_in inet{};
  inet.sin_family = AF_INET;
  inet.sin_addr.s_addr = address;
  std::memcpy(&storage, &inet, sizeof inet);
  return storage;
}

}  // namespace

bool PosixPlatform::listInterfaces(std::vector<HostInterface>* interfaces) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return false;
  // Each interface appears once for its link and once for each address.
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    // A secondary address carries a label "name:n"; ':' is no name's.
    std::string name = entry->ifa_name;
    name = name.substr(0, name.find(':'));
    const unsigned index = ::if_nametoindex(name.c_str());
    if (index == 0) continue;  // gone since the listing was taken
    auto known = std::find_if(interfaces->begin(), interfaces->end(),
                              [index](const HostInterface& host) {
                                return host.index == index;
                              });
    if (known == interfaces->end()) {
      // Linux numbers an interface once for both families.
      interfaces->push_back(HostInterface{name, index, {}, index, {}});
      known = interfaces->end() - 1;
    }
    if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
      known->ipv4Addresses.push_back(
          reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
    }
    if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET6) {
      const auto* in6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
      known->ipv6Addresses.emplace_back();
      std::memcpy(known->ipv6Addresses.back().data(), &in6->sin6_addr, 16);
    }
  }
  ::freeifaddrs(list);
  return true;
}

int PosixPlatform::setMulticastInterface(SocketHandle socket,
                                         std::uint16_t family, unsigned index,
                                         std::uint32_t address) {
  if (family == kAddressFamilyInet6) {
    return settle(::setsockopt(static_cast<int>(socket), IPPROTO_IPV6,
                               IPV6_MULTICAST_IF, &index, sizeof index));
  }
  // The address also becomes the datagrams' source.
  ip_mreqn request{};
  request.imr_address.s_addr = address;
  request.imr_ifindex = static_cast<int>(index);
  const int fd = static_cast<int>(socket);
  const int result = settle(::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF,
                                         &request, sizeof request));
  if (result == 0 && fd >= 0) {
    if (socketInterface_.size() <= static_cast<std::size_t>(fd)) {
      socketInterface_.resize(static_cast<std::size_t>(fd) + 1);
    }
    socketInterface_[static_cast<std::size_t>(fd)] = index;
  }
  return result;
}

// The classic receiver's join, on the system's choice of interface from
// any source, is the plain ip_mreq.
int PosixPlatform::joinGroup(SocketHandle socket, const GroupJoin& join) {
  if (join.group.family == kAddressFamilyInet6) return joinGroup6(socket, join);
  if (join.interfaceIndex != 0 || join.source.family != 0) {
    return joinGroupOn(socket, join);
  }
  ip_mreq request;
  request.imr_multiaddr.s_addr = ipv4Of(join.group);
  request.imr_interface.s_addr = 0;
  return settle(::setsockopt(static_cast<int>(socket), IPPROTO_IP,
                             IP_ADD_MEMBERSHIP, &request, sizeof request));
}

int PosixPlatform::joinGroupOn(SocketHandle socket, const GroupJoin& join) {
  const int fd = static_cast<int>(socket);
  if (join.source.family == 0) {
    ip_mreqn request{};
    request.imr_multiaddr.s_addr = ipv4Of(join.group);
    request.imr_ifindex = static_cast<int>(join.interfaceIndex);
    return settle(::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request,
                               sizeof request));
  }
  // The (S,G) join in include mode, by index: ip_mreq_source could name
  // the interface only by an address.
  group_source_req request{};
  request.gsr_interface = join.interfaceIndex;
  request.gsr_group = inetStorage(ipv4Of(join.group));
  request.gsr_source = inetStorage(ipv4Of(join.source));
  return settle(::setsockopt(fd, IPPROTO_IP, MCAST_JOIN_SOURCE_GROUP, &request,
                             sizeof request));
}

}  // namespace posix
}  // namespace stampcast
