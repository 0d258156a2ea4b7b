#ifndef STAMPCAST_TIMESTAMP_ROLES_RECEIVER_H_
#define STAMPCAST_TIMESTAMP_ROLES_RECEIVER_H_

#include "platform/platform.h"
#include "settings/run_config.h"
#include "settings/run_plan.h"
#include "timestamp/report/report.h"

namespace stampcast {

// Joins the plan's group and tells the report of every datagram until a bind, join, receive or
// the output fails (status kFailedRun, after its report; the run sequence
// cleans up), the run's count has come or, when it measures, a stop is
// requested; a measuring receiver then prints its summary and returns its
// status, any other 0.
int runReceiver(const RunConfig& config, const RunPlan& plan,
                Platform& platform, Report& report, SocketHandle socket);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_ROLES_RECEIVER_H_
