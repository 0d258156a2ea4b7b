#ifndef STAMPCAST_TIMESTAMP_SENDER_H_
#define STAMPCAST_TIMESTAMP_SENDER_H_

#include "cli/run_config.h"
#include "platform/platform.h"

namespace stampcast {

// Sends a timestamp to the group, through a socket whose TTL is set, until
// a send or the output fails (status kFailedRun, after its report; the run
// sequence cleans up) or the run's count has gone (status 0).
int runSender(const RunConfig& config, Platform& platform, SocketHandle socket);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_SENDER_H_
