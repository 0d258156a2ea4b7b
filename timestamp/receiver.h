#ifndef STAMPCAST_TIMESTAMP_RECEIVER_H_
#define STAMPCAST_TIMESTAMP_RECEIVER_H_

#include "platform/run_config.h"
#include "platform/platform.h"

namespace stampcast {

// Joins the group and reports every datagram until a receive fails; returns
// the status the run ends with.
int runReceiver(const RunConfig& config, Platform& platform,
                SocketHandle socket);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_RECEIVER_H_
