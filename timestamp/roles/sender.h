#ifndef STAMPCAST_TIMESTAMP_ROLES_SENDER_H_
#define STAMPCAST_TIMESTAMP_ROLES_SENDER_H_

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/platform.h"
#include "settings/run_config.h"
#include "settings/run_plan.h"
#include "timestamp/report/report.h"

namespace stampcast {

// What tells the sender that the system removed its marking: a flag that
// traffic control sets from a thread of its own (what it removed, or null),
// and for qWAVE, which tells nothing by itself, a check that the sender
// makes at most once a second, on its own pace (what was removed, or null).
struct MarkingWatch {
  const std::atomic<const char*>* removed = nullptr;
  std::function<const char*()> check{};
  std::int64_t nextCheck = 0;  // on the steady clock; 0: at the first send
};

// Sends a timestamp to the plan's group, through a socket whose TTL is set, until
// a send or the output fails or the system has removed the marking (the
// watch tells what it removed), each ending with status kFailedRun after
// its report (the run sequence cleans up), or until the run's count has
// gone (status 0).
int runSender(const RunConfig& config, const RunPlan& plan, Platform& platform,
              Report& report, SocketHandle socket, MarkingWatch& watch);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_ROLES_SENDER_H_
