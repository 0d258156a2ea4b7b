// Plain records that cross the platform boundary. They copy the layouts of
// the socket layer's and the clock's own records, so that a backend can hand
// them over unchanged, and they include no operating-system header.
#ifndef STAMPCAST_PLATFORM_TYPES_H_
#define STAMPCAST_PLATFORM_TYPES_H_

#include <cstdint>

namespace stampcast {

// A socket as the socket layer names it (SOCKET is pointer-sized on Windows).
using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};

// What the socket calls return on failure.
inline constexpr int kSocketError = -1;

inline constexpr std::uint16_t kAddressFamilyInet = 2;
inline constexpr int kShutdownBoth = 2;
// The do-not-route send flag as the program passes it.
inline constexpr int kSendDontRoute = 4;

// An IPv4 socket address (sockaddr_in): port and address in network order.
struct SocketAddress {
  std::uint16_t family;
  std::uint16_t port;
  std::uint32_t address;
  std::uint8_t zero[8];
};
static_assert(sizeof(SocketAddress) == 16, "sockaddr_in is 16 bytes");

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

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_TYPES_H_
