#include "cli/run.h"

#include "cli/options.h"
#include "cli/plan.h"
#include "marking/marking.h"
#include "timestamp/report/json_report.h"
#include "timestamp/report/rights_hint.h"
#include "timestamp/report/text_report.h"
#include "timestamp/roles/receiver.h"
#include "timestamp/roles/sender.h"

namespace stampcast {

namespace {

// What the run sets up, for its role and for its tear-down.
struct RunState {
  RunConfig config;  // as typed
  RunPlan plan;      // as resolved
  SocketAddress group{};  // the one the socket is made for
  bool ipv6 = false;
  bool marks = false;  // the sender marks; the receiver never registers
  MarkingHandles marking;
  QosMarking qosMarking;
  SocketHandle socket = kInvalidSocket;
};

// What the options name, resolved once; the group the socket is made for
// and what follows from its family.
bool resolve(RunState& run, Platform& platform, Report& report) {
  if (!resolvePlan(run.config, platform, report, &run.plan)) return false;
  run.group = run.plan.groups.front();
  run.ipv6 = run.plan.ipv6();
  run.marks = run.config.mode != RunMode::Receiver;
  return true;
}

// Starts the socket layer and makes the socket of the group's family, with
// a sender's hop limit and interface: 0, or the status to end with.
int openSocket(RunState& run, Platform& platform, Report& report) {
  const int startupError = platform.startup();
  if (startupError != 0) {
    printError(report, "WSAStartup Failed (%d) Exiting\n", startupError);
    return startupError;
  }
  run.socket = platform.openUdpSocket(run.group.family);
  if (run.socket == kInvalidSocket) {
    printError(report, "\"Socket\" failed with error %d\n",
          platform.lastSystemError());
    return kFailedRun;
  }
  const RunConfig& config = run.config;
  MulticastOptions& multicast = platform.multicast();
  if (config.mode == RunMode::Sender &&
      multicast.setHopLimit(run.socket, run.group.family, config.ttlValue) ==
          kSocketError) {
    printError(report, "Error: Setting TTL value: error - %d\n",
          platform.lastSocketError());
    platform.closeSocket(run.socket);
    return kFailedRun;
  }
  if (config.mode == RunMode::Sender && run.plan.interfaceIndex != 0 &&
      multicast.setMulticastInterface(run.socket, run.group.family,
                                      run.plan.interfaceIndex,
                                      run.plan.interfaceAddress) ==
          kSocketError) {
    printError(report, "Error: Setting the interface: error - %d\n",
          platform.lastSocketError());
    platform.closeSocket(run.socket);
    return kFailedRun;
  }
  return 0;
}

// The role's loop, watched for a marking the system removes: traffic
// control tells when it removes the IPv4 marking; qWAVE's flow is asked
// after.
int runRole(RunState& run, Platform& platform, Report& report) {
  MarkingWatch watch;
  watch.removed = &markingRemoved();
  if (run.ipv6 && run.marks) {
    watch.check = [&] { return qosMarkingLost(platform, run.qosMarking); };
  }
  switch (run.config.mode) {
    case RunMode::Receiver:
      return runReceiver(run.config, run.plan, platform, report, run.socket);
    case RunMode::Sender:
      return runSender(run.config, run.plan, platform, report, run.socket,
                       watch);
    case RunMode::None:
      break;
  }
  return 0;
}

// A loop that reached its end (a count, or a stop request to a measuring
// receiver) ends as a run without a mode does, removing what it set up.
// What the removal reports does not change the status. The receiver has
// no marking to remove.
int tearDown(RunState& run, Platform& platform, Report& report, int status) {
  if (run.marks && run.ipv6) teardownQosMarking(platform, report, run.qosMarking);
  if (run.marks && !run.ipv6) teardownMarking(platform, report, run.marking);
  platform.shutdownSocket(run.socket, kShutdownBoth);
  platform.closeSocket(run.socket);
  platform.cleanup();
  // Whatever wrote last, a run whose output's reader has gone has failed
  // (a quiet sender's heading, say).
  return platform.writeOutput("", 0) ? status : kFailedRun;
}

// The run once its options are read, told through the report of its form.
int runWith(RunState& run, Platform& platform, Report& report) {
  // A group, interface or source that names nothing ends the run before
  // anything is set up.
  if (!resolve(run, platform, report)) return kFailedRun;
  // A failed phase has reported itself; how far the run then unwinds is
  // the classic program's: a failed marking or socket leaves everything as
  // it is, a failed TTL closes the socket, and a failed bind, join, receive,
  // send or output cleans the socket layer up. Each ends with kFailedRun.
  if (!run.ipv6 && run.marks &&
      !setupMarking(run.config, run.plan, platform, report, run.marking)) {
    return kFailedRun;
  }
  int status = openSocket(run, platform, report);
  if (status != 0) return status;
  // An IPv6 group is marked through qWAVE, which marks a socket: only now
  // that the socket is made. A failure closes it and ends the run.
  if (run.ipv6 && run.marks &&
      !setupQosMarking(run.config, run.plan, platform, report, run.socket,
                       run.qosMarking)) {
    platform.closeSocket(run.socket);
    platform.cleanup();
    return kFailedRun;
  }
  status = runRole(run, platform, report);
  platform.stops().ignoreStopRequests();
  if (status == kFailedRun) {
    platform.cleanup();
    return kFailedRun;
  }
  return tearDown(run, platform, report, status);
}

}  // namespace

int runStampcast(int argc, char** argv, Platform& platform) {
  // Output appended to a line an earlier run left cut starts on a line of
  // its own, so that no two lines or records run together.
  if (platform.outputEndsMidLine()) platform.writeOutput("\n", 1);
  resetRightsHint();
  // What the scan prints is text: the form is known once every word is
  // read, and chosen then, once for the run.
  RunState run;
  TextReport text(platform, run.config, run.plan);
  const ParsedOptions parsed = parseOptions(argc, argv, text);
  if (parsed.endRun) return parsed.exitStatus;
  run.config = parsed.config;
  JsonReport json(platform, run.config, run.plan);
  Report& report = run.config.json ? static_cast<Report&>(json) : text;
  return runWith(run, platform, report);
}

}  // namespace stampcast
