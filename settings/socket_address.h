// A socket address of either family, the one record that both the run's
// plan (run_plan.h) and the platform boundary (platform/types.h) carry.
// A leaf: it needs nothing of the project.
#ifndef STAMPCAST_SETTINGS_SOCKET_ADDRESS_H_
#define STAMPCAST_SETTINGS_SOCKET_ADDRESS_H_

#include <cstdint>
#include <cstring>

namespace stampcast {

// The address families as the Windows socket layer numbers them.
inline constexpr std::uint16_t kAddressFamilyInet = 2;
inline constexpr std::uint16_t kAddressFamilyInet6 = 23;

// A socket address of either family, laid out as sockaddr_in6: port and
// address in network order. An IPv4 address (kAddressFamilyInet) takes the
// first four address bytes and leaves the rest 0; the backends hand it to
// the system as a sockaddr_in.
struct SocketAddress {
  std::uint16_t family;
  std::uint16_t port;
  std::uint32_t flowInfo;
  std::uint8_t address[16];
  std::uint32_t scope;  // the interface index of a link-local address
};
static_assert(sizeof(SocketAddress) == 28, "sockaddr_in6 is 28 bytes");

// An IPv4 socket address from an address and a port, both network order.
inline SocketAddress ipv4SocketAddress(std::uint32_t address,
                                       std::uint16_t port) {
  SocketAddress result{};
  result.family = kAddressFamilyInet;
  result.port = port;
  std::memcpy(result.address, &address, sizeof address);
  return result;
}
// The IPv4 address (network order) that such a record holds.
inline std::uint32_t ipv4Of(const SocketAddress& address) {
  std::uint32_t result;
  std::memcpy(&result, address.address, sizeof result);
  return result;
}

}  // namespace stampcast

#endif  // STAMPCAST_SETTINGS_SOCKET_ADDRESS_H_
