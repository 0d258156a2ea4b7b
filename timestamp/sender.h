#ifndef STAMPCAST_TIMESTAMP_SENDER_H_
#define STAMPCAST_TIMESTAMP_SENDER_H_

#include <atomic>

#include "cli/run_config.h"
#include "platform/platform.h"

namespace stampcast {

// Sends a timestamp to the group, through a socket whose TTL is set, until
// a send or the output fails or traffic control has removed the marking
// (markingRemoved no longer null: what it removed), each ending with status
// kFailedRun after its report (the run sequence cleans up), or until the
// run's count has gone (status 0).
int runSender(const RunConfig& config, Platform& platform, SocketHandle socket,
              const std::atomic<const char*>& markingRemoved);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_SENDER_H_
