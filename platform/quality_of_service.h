// The calls of qWAVE (qos2.h), the Windows service that marks an IPv6
// socket's datagrams: the Traffic Control API filters IPv4 patterns only.
// The records and constants are qWAVE's, so that the Windows backend passes
// them on unchanged; the POSIX backend answers through its emulated traffic
// control, with a filter of the IPv6 form.
#ifndef STAMPCAST_PLATFORM_QUALITY_OF_SERVICE_H_
#define STAMPCAST_PLATFORM_QUALITY_OF_SERVICE_H_

#include <cstdint>

#include "platform/types.h"

namespace stampcast {

using QosHandle = std::uintptr_t;  // HANDLE
using QosFlowId = std::uint32_t;   // QOS_FLOWID

namespace qos {
inline constexpr std::uint16_t kVersionMajor = 1;
inline constexpr std::uint16_t kVersionMinor = 0;
inline constexpr int kTrafficTypeBestEffort = 0;    // QOSTrafficTypeBestEffort
inline constexpr std::uint32_t kNonAdaptiveFlow = 2;  // QOS_NON_ADAPTIVE_FLOW
inline constexpr int kSetOutgoingDscpValue = 2;     // QOSSetOutgoingDSCPValue
inline constexpr int kQueryPacketPriority = 1;      // QOSQueryPacketPriority
}  // namespace qos

// QOS_VERSION.
struct QosVersion {
  std::uint16_t major;
  std::uint16_t minor;
};

// QOS_PACKET_PRIORITY.
struct QosPacketPriority {
  std::uint32_t conformantDscp;
  std::uint32_t nonConformantDscp;
  std::uint32_t conformantL2;
  std::uint32_t nonConformantL2;
};

// Each call returns true, or false with its error left for the platform's
// lastSystemError() (GetLastError).
class QualityOfService {
 public:
  virtual ~QualityOfService() = default;
  virtual bool createHandle(const QosVersion& version, QosHandle* handle) = 0;
  // destination: the group and port, an IPv6 record.
  virtual bool addSocketToFlow(QosHandle handle, SocketHandle socket,
                               const SocketAddress& destination,
                               int trafficType, std::uint32_t flags,
                               QosFlowId* flowId) = 0;
  // The DSCP of the flow: operation kSetOutgoingDscpValue with a 32-bit value.
  virtual bool setFlow(QosHandle handle, QosFlowId flowId, int operation,
                       std::uint32_t size, const void* buffer) = 0;
  // What the flow stands for now: operation kQueryPacketPriority fills
  // a QosPacketPriority. It fails once the flow is gone: qWAVE's handles and
  // flows become invalid when the host sleeps or stands by.
  virtual bool queryFlow(QosHandle handle, QosFlowId flowId, int operation,
                         std::uint32_t size, void* buffer) = 0;
  virtual bool removeSocketFromFlow(QosHandle handle, SocketHandle socket,
                                    QosFlowId flowId, std::uint32_t flags) = 0;
  virtual bool closeHandle(QosHandle handle) = 0;
};

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_QUALITY_OF_SERVICE_H_
