#include "timestamp/roles/group_join.h"

#include <cstring>

namespace stampcast {

// The join the run asked for: on the interface it names (-i), from the one
// source it names (-f), or as the classic receiver joins, on the system's
// choice of interface from any source.
int joinAsConfigured(const RunConfig& config, Platform& platform,
                     SocketHandle socket, const SocketAddress& group) {
  GroupJoin join;
  join.group = group;
  join.interfaceIndex = config.interfaceIndex;
  if (group.family == kAddressFamilyInet6) {
    if (config.sourceIs6) {
      join.source.family = kAddressFamilyInet6;
      std::memcpy(join.source.address, config.source6,
                  sizeof join.source.address);
    }
  } else {
    join.interfaceAddress = config.interfaceAddress;
    if (config.sourceAddress != 0) {
      join.source = ipv4SocketAddress(config.sourceAddress, 0);
    }
  }
  return platform.multicast().joinGroup(socket, join);
}

}  // namespace stampcast
