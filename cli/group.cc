#include "cli/group.h"

#include "timestamp/report/text.h"

namespace stampcast {

bool readGroup(const RunConfig& config, SocketAddress* group) {
  // A port above 65535 keeps its low 16 bits.
  const std::uint16_t port =
      hostToNetwork16(static_cast<std::uint16_t>(config.destPort));
  if (!isIpv6Text(config.destAddress)) {
    *group = ipv4SocketAddress(inetAddr(config.destAddress), port);
    return true;
  }
  *group = SocketAddress{};
  group->family = kAddressFamilyInet6;
  group->port = port;
  return inetPton6(config.destAddress, group->address);
}

SocketAddress groupAddress(const RunConfig& config) {
  SocketAddress group;
  readGroup(config, &group);
  return group;
}

}  // namespace stampcast
