#include "cli/run.h"

#include "cli/interface_choice.h"
#include "cli/options.h"
#include "marking/marking.h"
#include "cli/group.h"
#include "timestamp/report/text.h"
#include "timestamp/roles/receiver.h"
#include "timestamp/report/rights_hint.h"
#include "timestamp/roles/sender.h"

namespace stampcast {

int runStampcast(int argc, char** argv, Platform& platform) {
  // Output appended to a line an earlier run left cut starts on a line of
  // its own, so that no two lines or records run together.
  if (platform.outputEndsMidLine()) platform.writeOutput("\n", 1);
  setJsonOutput(false);
  resetRightsHint();
  const ParsedOptions parsed = parseOptions(argc, argv, platform);
  if (parsed.endRun) return parsed.exitStatus;
  RunConfig config = parsed.config;
  setJsonOutput(config.json);
  // A named interface or source that names nothing ends the run before
  // anything is set up.
  if (!resolveInterfaceAndSource(config, platform)) return kFailedRun;

  // A failed phase has reported itself; how far the run then unwinds is
  // the classic program's: a failed marking or socket leaves everything as
  // it is, a failed TTL closes the socket, and a failed bind, join, receive,
  // send or output cleans the socket layer up. Each ends with kFailedRun.
  // The receiver never registers with traffic control.
  SocketAddress group;
  if (!readGroup(config, &group)) {
    printError(platform, "Not an IPv6 address: %s\n", config.destAddress);
    return kFailedRun;
  }
  const bool ipv6 = group.family == kAddressFamilyInet6;
  const bool marks = config.mode != RunMode::Receiver;
  MarkingHandles marking;
  if (!ipv6 && marks && !setupMarking(config, platform, marking)) {
    return kFailedRun;
  }

  const int startupError = platform.startup();
  if (startupError != 0) {
    printError(platform, "WSAStartup Failed (%d) Exiting\n", startupError);
    return startupError;
  }

  const SocketHandle socket =
      ipv6 ? platform.openUdpSocket6() : platform.openUdpSocket();
  if (socket == kInvalidSocket) {
    printError(platform, "\"Socket\" failed with error %d\n",
          platform.lastSystemError());
    return kFailedRun;
  }

  if (config.mode == RunMode::Sender &&
      (ipv6 ? platform.setMulticastHops(socket, config.ttlValue)
            : platform.setMulticastTtl(socket, config.ttlValue)) ==
          kSocketError) {
    printError(platform, "Error: Setting TTL value: error - %d\n",
          platform.lastSocketError());
    platform.closeSocket(socket);
    return kFailedRun;
  }
  if (config.mode == RunMode::Sender && config.interfaceIndex != 0 &&
      (ipv6 ? platform.setMulticastInterface6(socket, config.interfaceIndex)
            : platform.setMulticastInterface(socket, config.interfaceIndex,
                                             config.interfaceAddress)) ==
          kSocketError) {
    printError(platform, "Error: Setting the interface: error - %d\n",
          platform.lastSocketError());
    platform.closeSocket(socket);
    return kFailedRun;
  }

  // An IPv6 group is marked through qWAVE, which marks a socket: only now
  // that the socket is made. A failure closes it and ends the run.
  QosMarking qosMarking;
  if (ipv6 && marks &&
      !setupQosMarking(config, platform, socket, qosMarking)) {
    platform.closeSocket(socket);
    platform.cleanup();
    return kFailedRun;
  }

  // Traffic control tells when it removes the IPv4 marking; qWAVE's flow
  // is asked after.
  MarkingWatch watch;
  watch.removed = &markingRemoved();
  if (ipv6 && marks) {
    watch.check = [&] { return qosMarkingLost(platform, qosMarking); };
  }
  int status = 0;
  switch (config.mode) {
    case RunMode::Receiver:
      status = runReceiver(config, platform, socket);
      break;
    case RunMode::Sender:
      status = runSender(config, platform, socket, watch);
      break;
    case RunMode::None:
      break;
  }
  if (status == kFailedRun) {
    platform.cleanup();
    return kFailedRun;
  }
  // A loop that reached its end (a count, or a stop request to a measuring
  // receiver) ends as a run without a mode does, removing what it set up.
  // What the removal reports does not change the status. The receiver has
  // no marking to remove.
  if (marks && ipv6) teardownQosMarking(platform, qosMarking);
  if (marks && !ipv6) teardownMarking(platform, marking);
  platform.shutdownSocket(socket, kShutdownBoth);
  platform.closeSocket(socket);
  platform.cleanup();
  // Whatever wrote last, a run whose output's reader has gone has failed
  // (a quiet sender's heading, say).
  return platform.writeOutput("", 0) ? status : kFailedRun;
}

}  // namespace stampcast
