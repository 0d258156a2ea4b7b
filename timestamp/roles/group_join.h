// The receiver's join: on the interface and from the source the run names
// (-i, -f), or the classic one.
#ifndef STAMPCAST_TIMESTAMP_ROLES_GROUP_JOIN_H_
#define STAMPCAST_TIMESTAMP_ROLES_GROUP_JOIN_H_

#include "settings/run_config.h"
#include "platform/platform.h"

namespace stampcast {

// Joins the group, of either family, as the run asks: the platform's
// result.
int joinAsConfigured(const RunConfig& config, Platform& platform,
                     SocketHandle socket, const SocketAddress& group);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_ROLES_GROUP_JOIN_H_
