#include "cli/run.h"

#include "cli/options.h"
#include "platform/print.h"

namespace stampcast {

int runStampcast(int argc, char** argv, Platform& platform) {
  const ParsedOptions parsed = parseOptions(argc, argv, platform);
  if (parsed.endRun) return parsed.exitStatus;
  const RunConfig& config = parsed.config;

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
    case RunMode::Sender:
      // The mode loops join the sequence with the timestamp exchange.
      return -1;
    case RunMode::None:
      break;
  }
  platform.shutdownSocket(socket, kShutdownBoth);
  platform.closeSocket(socket);
  platform.cleanup();
  return 0;
}

}  // namespace stampcast
