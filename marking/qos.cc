// The IPv6 marking: qWAVE, since the Traffic Control API filters IPv4
// patterns only.
#include "marking/marking.h"
#include "timestamp/report/rights_hint.h"
#include "timestamp/report/report.h"

namespace stampcast {
namespace {

void reportFailure(Platform& platform, Report& report, const char* call) {
  const int error = platform.lastSystemError();
  print(report, "%s failed with error %lu\n", call,
        static_cast<unsigned long>(error));
  printRightsHint(report, RightsArea::Qos, static_cast<std::uint32_t>(error));
}

}  // namespace

const char* qosMarkingLost(Platform& platform, const QosMarking& marking) {
  QosPacketPriority priority{};
  if (platform.qualityOfService().queryFlow(
          marking.handle, marking.flowId, qos::kQueryPacketPriority,
          sizeof priority, &priority)) {
    return nullptr;
  }
  // An invalid handle (6) or a flow not found (1168): the system has
  // dropped the flow. Another failure tells nothing of the marking.
  const int error = platform.lastSystemError();
  return error == 6 || error == 1168 ? "flow" : nullptr;
}

bool setupQosMarking(const RunConfig& config, const RunPlan& plan,
                     Platform& platform, Report& report, SocketHandle socket,
                     QosMarking& marking) {
  QualityOfService& qos = platform.qualityOfService();
  marking.socket = socket;
  const QosVersion version{qos::kVersionMajor, qos::kVersionMinor};
  if (!qos.createHandle(version, &marking.handle)) {
    reportFailure(platform, report, "QOSCreateHandle");
    return false;
  }
  // The flow goes to the group and port: the datagrams to them are marked.
  // Non-adaptive: the DSCP stays the one asked for whatever the network
  // is found to support.
  if (!qos.addSocketToFlow(marking.handle, socket, plan.groups.front(),
                           qos::kTrafficTypeBestEffort, qos::kNonAdaptiveFlow,
                           &marking.flowId)) {
    reportFailure(platform, report, "QOSAddSocketToFlow");
    return false;
  }
  // Out-of-range values are the platform's to refuse.
  const std::uint32_t dscp = static_cast<std::uint32_t>(config.dscpValue);
  if (!qos.setFlow(marking.handle, marking.flowId, qos::kSetOutgoingDscpValue,
                   sizeof dscp, &dscp)) {
    reportFailure(platform, report, "QOSSetFlow");
    return false;
  }
  return true;
}

// Each removal runs whatever the one before returned, as the IPv4
// removals do.
void teardownQosMarking(Platform& platform, Report& report,
                        const QosMarking& marking) {
  QualityOfService& qos = platform.qualityOfService();
  if (!qos.removeSocketFromFlow(marking.handle, marking.socket, marking.flowId,
                                0)) {
    print(report, "Error removing socket from flow\n");
  }
  if (!qos.closeHandle(marking.handle)) {
    print(report, "Error closing QOS handle\n");
  }
}

}  // namespace stampcast
