#include "cli/run.h"

#include "cli/group.h"
#include "cli/interface_choice.h"
#include "cli/options.h"
#include "marking/marking.h"
#include "timestamp/report/json_report.h"
#include "timestamp/report/rights_hint.h"
#include "timestamp/report/text_report.h"
#include "timestamp/roles/receiver.h"
#include "timestamp/roles/sender.h"

namespace stampcast {
namespace {

// The run once its options are read, told through the report of its form.
int runWith(RunConfig& config, Platform& platform, Report& report) {
  // A named interface or source that names nothing ends the run before
  // anything is set up.
  if (!resolveInterfaceAndSource(config, platform, report)) return kFailedRun;

  // A failed phase has reported itself; how far the run then unwinds is
  // the classic program's: a failed marking or socket leaves everything as
  // it is, a failed TTL closes the socket, and a failed bind, join, receive,
  // send or output cleans the socket layer up. Each ends with kFailedRun.
  // The receiver never registers with traffic control.
  SocketAddress group;
  if (!readGroup(config, &group)) {
    printError(report, "Not an IPv6 address: %s\n", config.destAddress);
    return kFailedRun;
  }
  const bool ipv6 = group.family == kAddressFamilyInet6;
  const bool marks = config.mode != RunMode::Receiver;
  MarkingHandles marking;
  if (!ipv6 && marks && !setupMarking(config, platform, report, marking)) {
    return kFailedRun;
  }

  const int startupError = platform.startup();
  if (startupError != 0) {
    printError(report, "WSAStartup Failed (%d) Exiting\n", startupError);
    return startupError;
  }

  const SocketHandle socket =
      ipv6 ? platform.openUdpSocket6() : platform.openUdpSocket();
  if (socket == kInvalidSocket) {
    printError(report, "\"Socket\" failed with error %d\n",
          platform.lastSystemError());
    return kFailedRun;
  }

  if (config.mode == RunMode::Sender &&
      (ipv6 ? platform.setMulticastHops(socket, config.ttlValue)
            : platform.setMulticastTtl(socket, config.ttlValue)) ==
          kSocketError) {
    printError(report, "Error: Setting TTL value: error - %d\n",
          platform.lastSocketError());
    platform.closeSocket(socket);
    return kFailedRun;
  }
  if (config.mode == RunMode::Sender && config.interfaceIndex != 0 &&
      (ipv6 ? platform.setMulticastInterface6(socket, config.interfaceIndex)
            : platform.setMulticastInterface(socket, config.interfaceIndex,
                                             config.interfaceAddress)) ==
          kSocketError) {
    printError(report, "Error: Setting the interface: error - %d\n",
          platform.lastSocketError());
    platform.closeSocket(socket);
    return kFailedRun;
  }

  // An IPv6 group is marked through qWAVE, which marks a socket: only now
  // that the socket is made. A failure closes it and ends the run.
  QosMarking qosMarking;
  if (ipv6 && marks &&
      !setupQosMarking(config, platform, report, socket, qosMarking)) {
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
      status = runReceiver(config, platform, report, socket);
      break;
    case RunMode::Sender:
      status = runSender(config, platform, report, socket, watch);
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
  if (marks && ipv6) teardownQosMarking(platform, report, qosMarking);
  if (marks && !ipv6) teardownMarking(platform, report, marking);
  platform.shutdownSocket(socket, kShutdownBoth);
  platform.closeSocket(socket);
  platform.cleanup();
  // Whatever wrote last, a run whose output's reader has gone has failed
  // (a quiet sender's heading, say).
  return platform.writeOutput("", 0) ? status : kFailedRun;
}

}  // namespace

int runStampcast(int argc, char** argv, Platform& platform) {
  // Output appended to a line an earlier run left cut starts on a line of
  // its own, so that no two lines or records run together.
  if (platform.outputEndsMidLine()) platform.writeOutput("\n", 1);
  resetRightsHint();
  // What the scan prints is text: the form is known once every word is
  // read, and chosen then, once for the run.
  RunConfig config;
  TextReport text(platform, config);
  const ParsedOptions parsed = parseOptions(argc, argv, text);
  if (parsed.endRun) return parsed.exitStatus;
  config = parsed.config;
  JsonReport json(platform, config);
  Report& report = config.json ? static_cast<Report&>(json) : text;
  return runWith(config, platform, report);
}

}  // namespace stampcast
