// The socket layer's pure conversions. They touch no socket, so they stand
// apart from the rest of the backend and the fuzz targets can use them too.
#include <arpa/inet.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/posix_platform.h"

namespace stampcast {

std::uint32_t inetAddr(const char* dotted) { return ::inet_addr(dotted); }
bool inetPton6(const char* text, std::uint8_t* address) {
  return ::inet_pton(AF_INET6, text, address) == 1;
}
std::uint16_t hostToNetwork16(std::uint16_t value) { return htons(value); }
std::uint32_t hostToNetwork32(std::uint32_t value) { return htonl(value); }

std::vector<std::string> commandLine(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

// Only the clock needs a right here: marking goes through the emulated
// traffic control, which sets the DS field as any user may.
MissingRight missingRight(RightsArea area, std::uint32_t code) {
  return area == RightsArea::Clock && code == EPERM ? MissingRight::SysTime
                                                    : MissingRight::None;
}

namespace posix {

socklen_t toSystem(const SocketAddress& address, sockaddr_storage* system) {
  std::memset(system, 0, sizeof *system);
  if (address.family == kAddressFamilyInet6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(system);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = address.port;
    in6->sin6_flowinfo = address.flowInfo;
    std::memcpy(&in6->sin6_addr, address.address, 16);
    in6->sin6_scope_id = address.scope;
    return sizeof *in6;
  }
  auto* in = reinterpret_cast<sockaddr_in*>(system);
  in->sin_family = address.family;
  in->sin_port = address.port;
  in->sin_addr.s_addr = ipv4Of(address);
  return sizeof *in;
}

SocketAddress fromSystem(const sockaddr_storage& system) {
  if (system.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(system);
    SocketAddress result{};
    result.family = kAddressFamilyInet6;
    result.port = in6.sin6_port;
    result.flowInfo = in6.sin6_flowinfo;
    std::memcpy(result.address, &in6.sin6_addr, 16);
    result.scope = in6.sin6_scope_id;
    return result;
  }
  const auto& in = reinterpret_cast<const sockaddr_in&>(system);
  SocketAddress result = ipv4SocketAddress(in.sin_addr.s_addr, in.sin_port);
  result.family = in.sin_family;
  return result;
}

}  // namespace posix
}  // namespace stampcast
