// The platform on Windows: each call goes to Windows Sockets 2, the kernel's
// clock services, the console and the Traffic Control API.
#ifndef STAMPCAST_PLATFORM_WINDOWS_WINDOWS_PLATFORM_H_
#define STAMPCAST_PLATFORM_WINDOWS_WINDOWS_PLATFORM_H_

#include "platform/platform.h"

namespace stampcast {
namespace windows {

class WindowsPlatform final : public Platform,
                            public MulticastOptions,
                            public StopRequests,
                            public HostNetwork,
                            public SystemClock {
 public:
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
  int lastSocketError() override;
  int lastSystemError() override;

  // Batches: one datagram a call, through sendTo and receiveFrom
  int batchLimit() override { return 1; }
  int sendBatch(SocketHandle socket, const void* data, int length, int count,
                int flags, const SocketAddress& destination) override;
  int receiveBatch(SocketHandle socket, void* slots, int slotLength,
                   int count, int* lengths, Arrival* arrivals) override;

  // Stop requests: Ctrl-C, Ctrl-Break, a closing console (and, for a
  // service, a shutdown)
  void catchStopRequests() override;
  void ignoreStopRequests() override;
  bool stopRequested() override;
  std::int64_t steadyNanoseconds() override;
  void setReceiveDeadline(std::int64_t deadline) override {
    receiveDeadline_ = deadline;
  }

  // Outgoing address
  std::uint32_t outgoingAddress(const SocketAddress& destination) override;

  // A chosen interface: GetAdaptersAddresses, IP_MULTICAST_IF and the joins
  // by the adapter's address
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
  TrafficControl& trafficControl() override;
  QualityOfService& qualityOfService() override;

 public:
  // A posted receive and its buffers (receive.cc).
  struct PendingReceive;

 private:
  // The joins of each family: an IPv6 group by index; an IPv4 group on a
  // named interface or from one source (interface_choice.cc).
  int joinGroup6(SocketHandle socket, const GroupJoin& join);
  int joinGroupOn(SocketHandle socket, const GroupJoin& join);
  // One recvfrom; a datagram longer than the buffer counts as received.
  int receiveFrom(SocketHandle socket, void* buffer, int length,
                  SocketAddress* from);
  // WSARecvMsg where enableArrivals found it.
  bool fetchRecvMsg(SocketHandle socket, ArrivalRefusals* refusals);
  // One datagram and what came with it, through WSARecvMsg where
  // enableArrivals found it, else through receiveFrom.
  int receiveWithArrival(SocketHandle socket, void* buffer, int length,
                         Arrival* arrival);
  // The overlapped receive of a run that catches stop requests (see
  // receive.cc): one datagram into the slot, its length and what came with
  // it; 1, or 0 when a stop request or the receive deadline came first, or
  // kSocketError.
  int receiveOverlapped(SocketHandle socket, void* slot, int slotLength,
                        int* length, Arrival* arrival);
  // Waits for the completion event, the stop event or the deadline: 1 once
  // the receive completed, else as receiveOverlapped.
  int waitForReceive(void* completed);
  // The event a stop request sets (stop.cc).
  static void* stopSignal();

  // WSARecvMsg, which the socket layer hands out only through WSAIoctl;
  // null until enableArrivals has fetched it.
  void (*recvMsg_)() = nullptr;
  // Set once stop requests are caught: a receive is then overlapped, and
  // readEvent_ (a WSAEVENT) is its completion event.
  bool catchingStops_ = false;
  void* readEvent_ = nullptr;
  PendingReceive* pending_ = nullptr;
  std::int64_t receiveDeadline_ = 0;

  // Clock
  // The time now, in 100 ns since 1601 UTC (a FILETIME's count): to the
  // microsecond on Windows 8 and later, to the tick of the system timer
  // before.
  static std::uint64_t utcNow();
  // The local calendar time at such an instant, by the zone's rule for
  // that year; false when Windows cannot tell.
  static bool localTimeAt(std::uint64_t utc, LocalTime* time);
  // The local calendar fields of the UTC second last read by readClock.
  std::uint64_t cachedSecond_ = ~std::uint64_t{0};
  LocalTime cachedLocal_{};

  // Pause
  // The high-resolution timer of the pauses, made at the first pause; null
  // where Windows has none.
  void* pauseTimer_ = nullptr;
  bool pauseTimerTried_ = false;
};

}  // namespace windows
}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_WINDOWS_WINDOWS_PLATFORM_H_
