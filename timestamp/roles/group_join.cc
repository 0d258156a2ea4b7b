#include "timestamp/roles/group_join.h"

namespace stampcast {

// The join the run asked for: on the interface it names (-i), from the one
// source it names (-f), or as the classic receiver joins, on the system's
// choice of interface from any source. The plan holds the source of the
// groups' family only, and an interface address for IPv4 only.
int joinAsPlanned(const RunPlan& plan, Platform& platform, SocketHandle socket,
                  const SocketAddress& group) {
  GroupJoin join;
  join.group = group;
  join.interfaceIndex = plan.interfaceIndex;
  join.interfaceAddress = plan.interfaceAddress;
  join.source = plan.source;
  return platform.multicast().joinGroup(socket, join);
}

}  // namespace stampcast
