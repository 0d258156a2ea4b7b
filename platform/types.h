// Plain records that cross the platform boundary. They copy the layouts of
// the socket layer's and the clock's own records, so that a backend can hand
// them over unchanged, and they include no operating-system header.
#ifndef STAMPCAST_PLATFORM_TYPES_H_
#define STAMPCAST_PLATFORM_TYPES_H_

#include <cstdint>

#include "settings/socket_address.h"

namespace stampcast {

// A socket as the socket layer names it (SOCKET is pointer-sized on Windows).
using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};

// What the socket calls return on failure.
inline constexpr int kSocketError = -1;

inline constexpr int kShutdownBoth = 2;
// The do-not-route send flag as the program passes it.
inline constexpr int kSendDontRoute = 4;

// A multicast membership (ip_mreq): group and local interface, network order.
struct MulticastMembership {
  std::uint32_t group;
  std::uint32_t interfaceAddress;
};
static_assert(sizeof(MulticastMembership) == 8, "ip_mreq is 8 bytes");

// A local calendar time, field for field the clock's SYSTEMTIME.
struct LocalTime {
  std::uint16_t year;
  std::uint16_t month;
  std::uint16_t dayOfWeek;  // 0 is Sunday
  std::uint16_t day;
  std::uint16_t hour;
  std::uint16_t minute;
  std::uint16_t second;
  std::uint16_t milliseconds;
};
static_assert(sizeof(LocalTime) == 16, "SYSTEMTIME is 16 bytes");

// What the IP layer delivered with one datagram, for a receiver that
// measures the path. A field the platform cannot tell is -1: 0 is a real
// DS field and a real (if odd) TTL.
struct Arrival {
  SocketAddress from;  // the sender's address and port
  int tos = -1;        // the whole DS byte (IPv6: the traffic class)
  int ttl = -1;
  // When it arrived: the kernel's receive stamp where there is one, else
  // the clock read when the receive returned; in local calendar time, and
  // as nanoseconds since 1970 in universal time.
  LocalTime local{};
  std::int64_t utcNanoseconds = 0;
  // The same instant on the steady clock of SystemClock::steadyNanoseconds(),
  // which the interval reports count on; 0 when the platform cannot tell.
  std::int64_t steadyNanoseconds = 0;
  // The datagram's full length in bytes, also when only its head fitted
  // the slot; 0 when the platform cannot tell (the length kept serves).
  int size = 0;
};

// Calls whose failure may mean that the process lacks rights, and what it
// lacks: Windows an elevated prompt, Linux a capability (or root).
enum class RightsArea { TrafficControl, Qos, Clock };
enum class MissingRight { None, Elevation, SysTime, NetAdmin };

// Which arrival fields the socket layer refused to deliver: the error of
// the refusal, or 0 when the field is delivered.
struct ArrivalRefusals {
  int tosError = 0;
  int ttlError = 0;
  // The switch that asks for the hop limit, as the system names it.
  const char* hopLimitOption = "IPV6_RECVHOPLIMIT";
};

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_TYPES_H_
