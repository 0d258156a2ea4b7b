// The interface a run names (-i) and the one source a receiver joins from
// (-f), found before anything is set up.
#ifndef STAMPCAST_CLI_INTERFACE_CHOICE_H_
#define STAMPCAST_CLI_INTERFACE_CHOICE_H_

#include "platform/platform.h"
#include "settings/run_config.h"
#include "settings/run_plan.h"
#include "timestamp/report/report.h"

namespace stampcast {

// Fills the plan's interface from -i (a name, a decimal index or one of
// the interface's addresses, in that order of preference) for the family
// of the plan's groups and, for a receiver, its source from -f. Returns
// false after the report of a value that names nothing; the run then ends
// with status -1.
bool resolveInterfaceAndSource(const RunConfig& config, Platform& platform,
                               Report& report, RunPlan& plan);

}  // namespace stampcast

#endif  // STAMPCAST_CLI_INTERFACE_CHOICE_H_
