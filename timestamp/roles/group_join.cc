#include "timestamp/roles/group_join.h"

#include <cstring>

namespace stampcast {

// The join the run asked for: on the interface it names (-i), from the one
// source it names (-f), or as the classic receiver joins, on the system's
// choice of interface from any source.
int joinAsConfigured(const RunConfig& config, Platform& platform,
                     SocketHandle socket, const SocketAddress& group) {
  if (group.family == kAddressFamilyInet6) {
    SocketAddress source{};
    source.family = kAddressFamilyInet6;
    std::memcpy(source.address, config.source6, sizeof source.address);
    return platform.joinGroup6(socket, group, config.interfaceIndex,
                               config.sourceIs6 ? &source : nullptr);
  }
  const MulticastMembership membership{inetAddr(config.destAddress), 0};
  if (config.interfaceIndex == 0 && config.sourceAddress == 0) {
    return platform.joinGroup(socket, membership);
  }
  GroupJoin join;
  join.group = membership.group;
  join.interfaceIndex = config.interfaceIndex;
  join.interfaceAddress = config.interfaceAddress;
  join.source = config.sourceAddress;
  return platform.joinGroupOn(socket, join);
}

}  // namespace stampcast
