// Traffic-control marking: the flow that carries the DiffServ code point and
// the filter that binds the group's traffic to it.
#ifndef STAMPCAST_MARKING_MARKING_H_
#define STAMPCAST_MARKING_MARKING_H_

#include <atomic>
#include <cstdint>

#include "platform/platform.h"
#include "settings/run_config.h"
#include "settings/run_plan.h"
#include "timestamp/report/report.h"

namespace stampcast {

// The flow as the program hands it to traffic control: the flow head, the
// DS-class object and the end-of-list object (88 bytes), in a 96-byte block.
struct MarkedFlow {
  TcGenFlowHead head;
  QosDsClass dsClass;
  QosObjectHeader endOfList;
  std::uint8_t unused[8];
};
static_assert(sizeof(MarkedFlow) == 96, "the flow block is 96 bytes");

// The filter and the flow that traffic control was given point into this
// record, so it stays where it was made: it is neither copied nor moved.
struct MarkingHandles {
  MarkingHandles() = default;
  MarkingHandles(const MarkingHandles&) = delete;
  MarkingHandles& operator=(const MarkingHandles&) = delete;

  TcHandle clientHandle = 0;
  TcHandle ifcHandle = 0;
  TcHandle flowHandle = 0;
  TcHandle filterHandle = 0;
  // The records handed to traffic control live as long as the handles.
  MarkedFlow flow{};
  IpPattern pattern{};
  IpPattern mask{};
  TcGenFilter filter{};
};

// Registers, opens the interface that the group's datagrams leave through
// (the first one listed when none is known to), adds the flow and the
// filter.
// Returns true when the run goes on; false after the failure was reported,
// when the run ends with status -1.
bool setupMarking(const RunConfig& config, const RunPlan& plan,
                  Platform& platform, Report& report, MarkingHandles& handles);

// Null while the marking stands; once traffic control has closed its
// interface or its flow, what it closed: the interface's name or "flow".
// Set on the thread the service tells on.
const std::atomic<const char*>& markingRemoved();

// Prints the report of a failed flow or filter addition: the explanation of
// the code when it has one, the code, and the interface handle.
void reportTcAddResult(Report& report, std::uint32_t result,
                       TcHandle ifcHandle);

// Removes filter, flow, interface and client, reporting each failure.
void teardownMarking(Platform& platform, Report& report,
                     const MarkingHandles& handles);

// The marking of an IPv6 group's traffic, through qWAVE: it marks one
// socket, so it is set up once the socket is made.
struct QosMarking {
  QosHandle handle = 0;
  QosFlowId flowId = 0;
  SocketHandle socket = kInvalidSocket;
};

// Adds the socket to a flow towards the group and gives the flow the run's
// DSCP. Returns true when the run goes on; false after the failure was
// reported, when the run ends with status -1.
bool setupQosMarking(const RunConfig& config, const RunPlan& plan,
                     Platform& platform, Report& report, SocketHandle socket,
                     QosMarking& marking);

// Removes the socket from its flow and closes the handle, reporting each
// failure.
void teardownQosMarking(Platform& platform, Report& report,
                        const QosMarking& marking);

// What the system removed of the qWAVE marking ("flow": its flow is gone,
// as after the host's sleep or standby), or null while it stands.
const char* qosMarkingLost(Platform& platform, const QosMarking& marking);

}  // namespace stampcast

#endif  // STAMPCAST_MARKING_MARKING_H_
