// The one boundary between the program and the operating system is the
// Windows one: Windows Sockets 2 and the Traffic Control API, with the
// clock and the console. The Windows backend (windows/) hands each call to
// the system; the POSIX backend (posix/) maps the sockets onto the BSD
// socket calls and, having no traffic-control service, emulates it in the
// process (common/emulated_traffic_control.h) and marks each send with the
// DS field its filters give. The core receives a Platform& and calls
// nothing else, so that tests can hand it a fake. No call is split by
// address family: each takes it from the address or as an argument. The
// cohesive sets (multicast options, stop requests, the host's network, the
// clock, traffic control, qWAVE) are narrower interfaces that the Platform
// hands out; a backend may implement them itself.
#ifndef STAMPCAST_PLATFORM_PLATFORM_H_
#define STAMPCAST_PLATFORM_PLATFORM_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/quality_of_service.h"
#include "platform/traffic_control.h"
#include "platform/types.h"

namespace stampcast {

// A network interface of the host, as a run may name it (-i): its name
// (Linux: eth1; Windows: the adapter's alias, in UTF-8), its index for each
// family (Linux: one index for both; Windows: the IPv4 and the IPv6
// interface's, 0 where that protocol is not on the adapter), and its IPv4
// addresses in network order and IPv6 addresses, in the order the system
// lists them (Windows does not promise one).
struct HostInterface {
  std::string name;
  unsigned index = 0;
  std::vector<std::uint32_t> ipv4Addresses;
  unsigned index6 = 0;
  std::vector<std::array<std::uint8_t, 16>> ipv6Addresses{};
};

// A join of a group, of either family, on one interface, from any source or
// from one only. Addresses in network order.
struct GroupJoin {
  SocketAddress group{};
  unsigned interfaceIndex = 0;         // 0: the interface the system picks
  std::uint32_t interfaceAddress = 0;  // IPv4: the interface's; 0 when none
  SocketAddress source{};              // family 0: any source
};

// The clock: one reading as local calendar time and as nanoseconds since
// 1970 in universal time, to the finest step the platform keeps; the
// setting of it; a steady clock for intervals; and the sender's pauses.
class SystemClock {
 public:
  virtual ~SystemClock() = default;
  virtual void readClock(LocalTime* local, std::int64_t* utcNanoseconds) = 0;
  // Sets the clock from a local time: 0, or the platform's error code.
  virtual int setLocalTime(const LocalTime& time) = 0;
  // Nanoseconds on a clock that is never set and never stepped back.
  virtual std::int64_t steadyNanoseconds() = 0;
  virtual void sleepMilliseconds(std::uint32_t milliseconds) = 0;
  // Waits until the steady clock reads `steady` (steadyNanoseconds()), as
  // precisely as the system can: a time already past returns at once. A
  // stop request may end the wait early (POSIX); the caller reads the
  // clock again.
  virtual void sleepUntil(std::int64_t steady) = 0;
};

// What ends a receiveBatch's wait for its first datagram. Stop requests:
// Ctrl-C and SIGTERM on POSIX; Ctrl-C, Ctrl-Break and a closing console on
// Windows. Once caught, they no longer end the process where it stands:
// each sets a flag that stopRequested() shows and that ends the wait, so
// that the run ends through its normal path. Copies within a second of the
// first change nothing; a request more than a second after it ends the
// process where it stands. The receive deadline, on the steady clock, makes
// the wait return 0 as a stop request does; 0 for none. A stop request
// still ends the wait at once. Only once stop requests are caught.
class StopRequests {
 public:
  virtual ~StopRequests() = default;
  virtual void catchStopRequests() = 0;
  virtual bool stopRequested() = 0;
  // The run is over: a request that comes now (a wrapper's late copy of the
  // one the run already answered) changes nothing and does not cut the
  // process's exit short.
  virtual void ignoreStopRequests() = 0;
  virtual void setReceiveDeadline(std::int64_t deadline) = 0;
};

// The host's network as a run reads it before it makes a socket; each may
// run before startup(), starting and ending the socket layer for itself
// where the platform needs that.
class HostNetwork {
 public:
  virtual ~HostNetwork() = default;
  // The local IPv4 address (network order) that the socket layer sends
  // datagrams to `destination` from, by which traffic control picks its
  // interface; asked through a short-lived socket of its own; 0 when it
  // cannot tell.
  virtual std::uint32_t outgoingAddress(const SocketAddress& destination) = 0;
  // The host's interfaces, up or not (-i): false when the system cannot
  // list them.
  virtual bool listInterfaces(std::vector<HostInterface>* interfaces) = 0;
};

// A socket's multicast options, for either family (kAddressFamilyInet or
// kAddressFamilyInet6): the family comes with the call or with the group.
// Each returns 0, or kSocketError with the error for lastSocketError().
class MulticastOptions {
 public:
  virtual ~MulticastOptions() = default;
  // The hop limit of the datagrams sent to a group: IP_MULTICAST_TTL or
  // IPV6_MULTICAST_HOPS.
  virtual int setHopLimit(SocketHandle socket, std::uint16_t family,
                          int hops) = 0;
  // Datagrams the socket sends to a group leave by the interface of that
  // index; IPv4 also by its address (0: by the index alone), IPv6 by the
  // index alone (IPV6_MULTICAST_IF; 0: the system's default).
  virtual int setMulticastInterface(SocketHandle socket, std::uint16_t family,
                                    unsigned index, std::uint32_t address) = 0;
  // Joins the group on the interface (index 0: the system's choice), in
  // include mode for the one source when there is one (MCAST_JOIN_SOURCE_
  // GROUP or its IPv4 record), else from any source.
  virtual int joinGroup(SocketHandle socket, const GroupJoin& join) = 0;
  // Measuring receiver: asks the socket layer to deliver each datagram's
  // DS field (IPv6: the traffic class, IPV6_RECVTCLASS), TTL (IPv6: the hop
  // limit, IPV6_RECVHOPLIMIT; Windows: IPV6_HOPLIMIT) and arrival time with
  // it, as tos, ttl and the time. The arrival time has a fallback (the
  // clock when the receive returns); the other two are refused or not.
  virtual ArrivalRefusals enableArrivals(SocketHandle socket,
                                         std::uint16_t family) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Console: writes the bytes to standard output at once, unbuffered, so
  // that nothing is lost when the process is interrupted. An output that
  // refuses bytes for a while (a full disk) loses whole lines, never part of
  // one (platform/common/line_output.h). Returns false once the output's reader has
  // gone for good (a pipe closed at its far end): the mode loops then end the
  // run as a failure, as SIGPIPE ends it where the system sends one.
  // Writing nothing asks whether that has happened.
  virtual bool writeOutput(const char* text, std::size_t length) = 0;
  // Whether the output is a file whose bytes before where the next write
  // goes end without a line end (a line an earlier run left cut).
  virtual bool outputEndsMidLine() = 0;

  // Socket layer. Calls that can fail return kSocketError (-1) and leave
  // their error for lastSocketError().
  virtual int startup() = 0;  // version 2.2; 0 or the layer's error code
  virtual int cleanup() = 0;
  // A UDP socket of the family (kAddressFamilyInet or kAddressFamilyInet6);
  // kInvalidSocket on failure. An IPv6 socket has IPV6_V6ONLY on, so that
  // an IPv4 socket on the same port is not disturbed.
  virtual SocketHandle openUdpSocket(std::uint16_t family) = 0;
  // Either family: the backend hands the system a sockaddr_in or a
  // sockaddr_in6, by the record's family.
  virtual int bindSocket(SocketHandle socket, const SocketAddress& local) = 0;
  // Returns the bytes sent.
  virtual int sendTo(SocketHandle socket, const void* data, int length,
                     int flags, const SocketAddress& destination) = 0;
  virtual int shutdownSocket(SocketHandle socket, int how) = 0;
  virtual int closeSocket(SocketHandle socket) = 0;

  // The socket layer's error of the last call (WSAGetLastError).
  virtual int lastSocketError() = 0;
  // The operating system's last error for the thread (GetLastError, errno).
  virtual int lastSystemError() = 0;

  // Batches: many datagrams in one call, where the system has one.
  // The most datagrams one sendBatch or receiveBatch moves: 1 on a system
  // without batch calls, never more than kMaxBatch.
  static constexpr int kMaxBatch = 32;
  virtual int batchLimit() = 0;
  // Sends count datagrams of length bytes each, stored back to back from
  // data, to one destination, in order. Returns how many went from the
  // first (at least 1), or kSocketError when the first could not go. A
  // caller told that fewer went calls again with the rest, so that a lasting
  // failure comes back as the error of the datagram that failed.
  virtual int sendBatch(SocketHandle socket, const void* data, int length,
                        int count, int flags,
                        const SocketAddress& destination) = 0;
  // Waits for one datagram, then takes up to count - 1 more that are already
  // queued, into count slots of slotLength bytes stored back to back from
  // slots; lengths[i] is what slot i received: a datagram longer than its
  // slot is a received datagram cut to the slot, on every platform. With
  // arrivals (count records), arrivals[i] tells what came with datagram i.
  // Returns how many came, 0 when a stop request or the receive deadline
  // (StopRequests) ended the wait, or kSocketError.
  virtual int receiveBatch(SocketHandle socket, void* slots, int slotLength,
                           int count, int* lengths, Arrival* arrivals) = 0;

  // The narrower parts, each of which a fake can replace.
  virtual MulticastOptions& multicast() = 0;
  virtual StopRequests& stops() = 0;
  virtual HostNetwork& hostNetwork() = 0;
  virtual SystemClock& systemClock() = 0;
  // Traffic control, the service that marks the sender's datagrams.
  virtual TrafficControl& trafficControl() = 0;
  // qWAVE, the service that marks an IPv6 socket's traffic.
  virtual QualityOfService& qualityOfService() = 0;
};

// The running system's platform, from the backend the build picked.
Platform& systemPlatform();

// What the process sets for itself before anything else runs, called first
// thing in main: on Windows, every DLL loaded later comes from the system
// folder only, never from the program's own folder.
void prepareProcess();

// The program's words in UTF-8: on Windows read anew from the system as
// UTF-16 (argv holds them in the ANSI code page, which loses what that page
// cannot show); elsewhere argv's bytes as they are.
std::vector<std::string> commandLine(int argc, char** argv);

// Address and byte-order conversion: pure functions of the socket layer,
// from the same backend.
std::uint32_t inetAddr(const char* dotted);  // network order
// An IPv6 address's text (inet_pton): true and its 16 bytes, or false.
bool inetPton6(const char* text, std::uint8_t* address);
std::uint16_t hostToNetwork16(std::uint16_t value);
// What a failed call of the area lacked, by its code (GetLastError or the
// service's result on Windows, errno on Linux): a pure function of the
// backend, so that a report can say what to do.
MissingRight missingRight(RightsArea area, std::uint32_t code);
std::uint32_t hostToNetwork32(std::uint32_t value);

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_PLATFORM_H_
