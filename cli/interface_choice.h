// The interface a run names (-i) and the one source a receiver joins from
// (-f), found before anything is set up.
#ifndef STAMPCAST_CLI_INTERFACE_CHOICE_H_
#define STAMPCAST_CLI_INTERFACE_CHOICE_H_

#include "settings/run_config.h"
#include "platform/platform.h"
#include "timestamp/report/report.h"

namespace stampcast {

// Fills the config's interface from -i (a name, a decimal index or one of
// the interface's dotted IPv4 addresses, in that order of preference) and,
// for a receiver, its source from -f. Returns false after the report of a
// value that names nothing; the run then ends with status -1.
bool resolveInterfaceAndSource(RunConfig& config, Platform& platform,
                               Report& report);

}  // namespace stampcast

#endif  // STAMPCAST_CLI_INTERFACE_CHOICE_H_
