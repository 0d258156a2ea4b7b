#ifndef STAMPCAST_TIMESTAMP_SENDER_H_
#define STAMPCAST_TIMESTAMP_SENDER_H_

#include "cli/run_config.h"
#include "platform/platform.h"

namespace stampcast {

// Sends a timestamp to the group until a send fails (status kFailedRun,
// after its report) or the run's count has gone (status 0).
int runSender(const RunConfig& config, Platform& platform, SocketHandle socket);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_SENDER_H_
