#ifndef STAMPCAST_TIMESTAMP_SENDER_H_
#define STAMPCAST_TIMESTAMP_SENDER_H_

#include "platform/run_config.h"
#include "platform/platform.h"

namespace stampcast {

// Sends a timestamp to the group until a send fails; returns the status the
// run ends with.
int runSender(const RunConfig& config, Platform& platform, SocketHandle socket);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_SENDER_H_
