// qWAVE kept inside the process, over the emulated traffic control: a
// handle is a client with the first interface listed open, a socket's flow
// a best-effort flow with an IPv6 filter on its destination address and
// port, and the DSCP set on the flow its DS class. The POSIX backend marks
// an IPv6 socket's datagrams through it, and the Windows build's qWAVE
// stand-in answers through it.
//
// What it refuses, with the system error code qWAVE gives:
// - a version other than 1.0, an unknown traffic type (0 to 5 are known),
//   flags other than QOS_NON_ADAPTIVE_FLOW, a destination that is not an
//   IPv6 address with a port, a missing out-pointer: 87;
// - a handle it did not give, or closed: 6;
// - a flow it does not hold for that handle (and socket): 1168;
// - an operation of QOSSetFlow other than the outgoing DSCP: 50; a DSCP
//   that is not a 4-byte value of 0 to 63: 87;
// - an operation of QOSQueryFlow other than the packet priority: 50; a
//   buffer shorter than its record: 122;
// - whatever the traffic control beneath refuses, with its code.
// Closing a handle removes the flows it still holds.
#ifndef STAMPCAST_PLATFORM_COMMON_EMULATED_QOS_H_
#define STAMPCAST_PLATFORM_COMMON_EMULATED_QOS_H_

#include <cstdint>
#include <map>

#include "platform/common/emulated_traffic_control.h"
#include "platform/quality_of_service.h"

namespace stampcast {

class EmulatedQos {
 public:
  explicit EmulatedQos(EmulatedTrafficControl& tc) : tc_(tc) {}

  // Each returns 0 or the error code.
  std::uint32_t createHandle(const QosVersion& version, QosHandle* handle);
  std::uint32_t addSocketToFlow(QosHandle handle, SocketHandle socket,
                                const SocketAddress& destination,
                                int trafficType, std::uint32_t flags,
                                QosFlowId* flowId);
  std::uint32_t setFlow(QosHandle handle, QosFlowId flowId, int operation,
                        std::uint32_t size, const void* buffer);
  std::uint32_t queryFlow(QosHandle handle, QosFlowId flowId, int operation,
                          std::uint32_t size, void* buffer);
  // As the host's sleep does: every handle and flow becomes invalid, and
  // the marking beneath is removed.
  void invalidate();
  std::uint32_t removeSocketFromFlow(QosHandle handle, SocketHandle socket,
                                     QosFlowId flowId, std::uint32_t flags);
  std::uint32_t closeHandle(QosHandle handle);

 private:
  struct Flow {
    QosHandle handle;
    SocketHandle socket;
    TcHandle flow;
    TcHandle filter;
    Ip6Pattern pattern;
    Ip6Pattern mask;
  };
  struct Handle {
    TcHandle client;
    TcHandle ifc;
  };
  // The flow of that handle, or flows_.end().
  std::map<QosFlowId, Flow>::iterator findFlow(QosHandle handle,
                                               QosFlowId flowId);
  std::uint32_t removeFlow(std::map<QosFlowId, Flow>::iterator flow);

  EmulatedTrafficControl& tc_;
  std::map<QosHandle, Handle> handles_;
  std::map<QosFlowId, Flow> flows_;
  std::map<QosFlowId, int> dscps_;  // what setFlow gave each flow
  QosFlowId nextFlow_ = 0;
};

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_COMMON_EMULATED_QOS_H_
