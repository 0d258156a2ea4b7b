// The command line: the run's settings and the texts that end a run before
// any network work starts.
#ifndef STAMPCAST_CLI_OPTIONS_H_
#define STAMPCAST_CLI_OPTIONS_H_

#include "timestamp/report/report.h"
#include "settings/run_config.h"

namespace stampcast {

// What the option scan decided: go on with the config, or end the run now
// with exitStatus (usage, version, unknown flag).
struct ParsedOptions {
  RunConfig config;
  bool endRun = false;
  int exitStatus = 0;
};

// Scans the words argv[1..argc-1] by the option table (cli/option_table.h).
// argv must outlive the returned config.
ParsedOptions parseOptions(int argc, char** argv, Report& report);

// Prints the usage text; returns the status the run ends with (-1).
int printUsage(Report& report);

// Prints the usage text and a line for each option it does not show (the
// word --help); returns the status the run ends with (0).
int printHelp(Report& report);

}  // namespace stampcast

#endif  // STAMPCAST_CLI_OPTIONS_H_
