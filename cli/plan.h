// The run's plan (settings/run_plan.h), resolved once from what was typed
// and before anything is set up: the group and port that -d and -p name,
// the interface of -i and the source of -f.
#ifndef STAMPCAST_CLI_PLAN_H_
#define STAMPCAST_CLI_PLAN_H_

#include "platform/platform.h"
#include "settings/run_config.h"
#include "settings/run_plan.h"
#include "timestamp/report/report.h"

namespace stampcast {

// The group as a socket address of either family: a text with a ':' is an
// IPv6 group, any other text an IPv4 one, read by inet_addr exactly as the
// classic program reads it; a port above 65535 keeps its low 16 bits. Then
// the interface and the source (interface_choice.h). Returns false after
// the report of a value that names nothing (an IPv6 text that does not
// parse is told last); the run then ends with status -1.
bool resolvePlan(const RunConfig& config, Platform& platform, Report& report,
                 RunPlan* plan);

}  // namespace stampcast

#endif  // STAMPCAST_CLI_PLAN_H_
