// The receiver's join: on the interface and from the source the run names
// (-i, -f), or the classic one.
#ifndef STAMPCAST_TIMESTAMP_ROLES_GROUP_JOIN_H_
#define STAMPCAST_TIMESTAMP_ROLES_GROUP_JOIN_H_

#include "platform/platform.h"
#include "settings/run_plan.h"

namespace stampcast {

// Joins one of the plan's groups, of either family, as the run asks: the
// platform's result.
int joinAsPlanned(const RunPlan& plan, Platform& platform, SocketHandle socket,
                  const SocketAddress& group);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_ROLES_GROUP_JOIN_H_
