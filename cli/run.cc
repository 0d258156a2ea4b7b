#include "cli/run.h"

#include "cli/options.h"
#include "marking/marking.h"
#include "platform/print.h"
#include "timestamp/receiver.h"
#include "timestamp/sender.h"

namespace stampcast {

int runStampcast(int argc, char** argv, Platform& platform) {
  const ParsedOptions parsed = parseOptions(argc, argv, platform);
  if (parsed.endRun) return parsed.exitStatus;
  const RunConfig& config = parsed.config;

  // The receiver never registers with traffic control.
  MarkingHandles marking;
  if (config.mode != RunMode::Receiver &&
      !setupMarking(config, platform, marking)) {
    return -1;
  }

  const int startupError = platform.startup();
  if (startupError != 0) {
    print(platform, "WSAStartup Failed (%d) Exiting\n", startupError);
    return startupError;
  }

  const SocketHandle socket = platform.openUdpSocket();
  if (socket == kInvalidSocket) {
    print(platform, "\"Socket\" failed with error %d\n",
          platform.lastSystemError());
    return -1;
  }

  switch (config.mode) {
    case RunMode::Receiver:
      return runReceiver(config, platform, socket);
    case RunMode::Sender:
      return runSender(config, platform, socket);
    case RunMode::None:
      break;
  }
  // A run without a mode removes its marking again; what the removal
  // reports does not change the status.
  teardownMarking(platform, marking);
  platform.shutdownSocket(socket, kShutdownBoth);
  platform.closeSocket(socket);
  platform.cleanup();
  return 0;
}

}  // namespace stampcast
