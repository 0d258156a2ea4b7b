// The platform on Linux and other POSIX hosts.
#ifndef STAMPCAST_PLATFORM_POSIX_POSIX_PLATFORM_H_
#define STAMPCAST_PLATFORM_POSIX_POSIX_PLATFORM_H_

#include <signal.h>
#include <sys/socket.h>

#include <ctime>
#include <vector>

#include "platform/platform.h"
#include "platform/common/emulated_qos.h"
#include "platform/common/emulated_traffic_control.h"

namespace stampcast {
namespace posix {

// The instant at which the local clock reads `time`, in the process's time
// zone: 0, or the error that refuses it. The fields must form a calendar
// time. A local time that summer time skips or repeats reads as standard
// time, as the C library's conversion takes it.
int clockValueOf(const LocalTime& time, timespec* value);

// The program's address record as the system's (sockaddr_in or
// sockaddr_in6, by its family), and back; toSystem returns the length.
socklen_t toSystem(const SocketAddress& address, sockaddr_storage* system);
SocketAddress fromSystem(const sockaddr_storage& system);

// The host's interfaces that are up and can carry multicast, with their
// first IPv4 address, in the order the system lists them; or the error that
// kept the system from listing them. With applyMarking below, the binding
// of the emulated traffic control (traffic_control.cc).
InterfaceList listMulticastInterfaces();

// qWAVE's calls over the emulation (platform/common/emulated_qos.h), each
// failure's code left in errno, where lastSystemError() finds it.
class PosixQos final : public QualityOfService {
 public:
  explicit PosixQos(EmulatedTrafficControl& tc) : qos_(tc) {}
  bool createHandle(const QosVersion& version, QosHandle* handle) override;
  bool addSocketToFlow(QosHandle handle, SocketHandle socket,
                       const SocketAddress& destination, int trafficType,
                       std::uint32_t flags, QosFlowId* flowId) override;
  bool setFlow(QosHandle handle, QosFlowId flowId, int operation,
               std::uint32_t size, const void* buffer) override;
  bool queryFlow(QosHandle handle, QosFlowId flowId, int operation,
                 std::uint32_t size, void* buffer) override;
  bool removeSocketFromFlow(QosHandle handle, SocketHandle socket,
                            QosFlowId flowId, std::uint32_t flags) override;
  bool closeHandle(QosHandle handle) override;

 private:
  EmulatedQos qos_;
};

class PosixPlatform final : public Platform,
                            public MulticastOptions,
                            public StopRequests,
                            public HostNetwork,
                            public SystemClock {
 public:
  PosixPlatform() : tc_(listMulticastInterfaces) {}

  bool writeOutput(const char* text, std::size_t length) override;
  bool outputEndsMidLine() override;

  int startup() override;
  int cleanup() override;
  SocketHandle openUdpSocket(std::uint16_t family) override;
  int bindSocket(SocketHandle socket, const SocketAddress& local) override;
  int sendTo(SocketHandle socket, const void* data, int length, int flags,
             const SocketAddress& destination) override;
  int shutdownSocket(SocketHandle socket, int how) override;
  int closeSocket(SocketHandle socket) override;
  int lastSocketError() override { return lastSocketError_; }
  int lastSystemError() override;

  // Batches: sendmmsg and recvmmsg
  int batchLimit() override { return kMaxBatch; }
  int sendBatch(SocketHandle socket, const void* data, int length, int count,
                int flags, const SocketAddress& destination) override;
  int receiveBatch(SocketHandle socket, void* slots, int slotLength,
                   int count, int* lengths, Arrival* arrivals) override;

  // Stop requests: SIGINT and SIGTERM
  void catchStopRequests() override;
  void ignoreStopRequests() override;
  bool stopRequested() override;
  std::int64_t steadyNanoseconds() override;
  void setReceiveDeadline(std::int64_t deadline) override {
    receiveDeadline_ = deadline;
  }

  // Outgoing address
  std::uint32_t outgoingAddress(const SocketAddress& destination) override;

  // A chosen interface: getifaddrs, IP_MULTICAST_IF and the joins by index
  bool listInterfaces(std::vector<HostInterface>* interfaces) override;

  void readClock(LocalTime* local, std::int64_t* utcNanoseconds) override;
  int setLocalTime(const LocalTime& time) override;
  void sleepMilliseconds(std::uint32_t milliseconds) override;
  void sleepUntil(std::int64_t steady) override;

  // Multicast options, for either family by the family it is handed
  int setHopLimit(SocketHandle socket, std::uint16_t family,
                  int hops) override;
  int setMulticastInterface(SocketHandle socket, std::uint16_t family,
                            unsigned index, std::uint32_t address) override;
  int joinGroup(SocketHandle socket, const GroupJoin& join) override;
  ArrivalRefusals enableArrivals(SocketHandle socket,
                                 std::uint16_t family) override;

  MulticastOptions& multicast() override { return *this; }
  StopRequests& stops() override { return *this; }
  HostNetwork& hostNetwork() override { return *this; }
  SystemClock& systemClock() override { return *this; }
  TrafficControl& trafficControl() override { return tc_; }
  QualityOfService& qualityOfService() override { return qos_; }

 private:
  // The joins of each family: an IPv6 group by index; an IPv4 group on a
  // named interface or from one source (interface_choice.cc).
  int joinGroup6(SocketHandle socket, const GroupJoin& join);
  int joinGroupOn(SocketHandle socket, const GroupJoin& join);
  // Records the outcome of a socket call: 0 after success, errno after
  // failure, as the socket layer's last error.
  int settle(int result);
  // Gives the socket the DS field (IPv4) or traffic class (IPv6) that
  // traffic control asks for.
  void applyMarking(int socket, const SocketAddress& destination);
  // A socket of ours, made with its DS byte 0.
  SocketHandle adopt(int fd);
  // The local calendar time at an instant, its fields worked out once a
  // second.
  void localTimeAt(const timespec& instant, LocalTime* time);
  // What came with each of the received datagrams of a recvmmsg.
  void readArrivals(const mmsghdr* messages, const sockaddr_storage* senders,
                    int received, Arrival* arrivals);
  // Waits until the socket has a datagram, or fails to; false when a stop
  // request or the receive deadline came first.
  bool waitUnlessStopped(int socket);

  EmulatedTrafficControl tc_;
  PosixQos qos_{tc_};
  // The local calendar fields of the second last read by readClock.
  time_t cachedSecond_ = -1;
  tm cachedLocal_{};
  bool timerSlackSet_ = false;
  // Set once stop requests are caught: SIGINT and SIGTERM, blocked only
  // from a look at the flag to the wait, which they interrupt with this mask.
  bool catchingStops_ = false;
  sigset_t stopSignals_{};
  sigset_t waitMask_{};
  std::int64_t receiveDeadline_ = 0;
  int lastSocketError_ = 0;
  // The TOS byte each socket carries now, by descriptor, to change it only
  // when it differs.
  std::vector<int> socketTos_;
  // The interface each socket was told to send by, by descriptor (0: the
  // route's), which the marking must have been set up on.
  std::vector<unsigned> socketInterface_;
};

}  // namespace posix
}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_POSIX_POSIX_PLATFORM_H_
