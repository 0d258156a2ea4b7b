#ifndef STAMPCAST_CLI_RUN_H_
#define STAMPCAST_CLI_RUN_H_

#include "platform/platform.h"

namespace stampcast {

// Runs the phases in their order and returns the process status.
int runStampcast(int argc, char** argv, Platform& platform);

}  // namespace stampcast

#endif  // STAMPCAST_CLI_RUN_H_
