// The socket layer's pure conversions.
#include "platform/platform.h"
#include "platform/windows/windows_headers.h"

namespace stampcast {

std::uint32_t inetAddr(const char* dotted) { return ::inet_addr(dotted); }
bool inetPton6(const char* text, std::uint8_t* address) {
  return ::inet_pton(AF_INET6, text, address) == 1;
}
std::uint16_t hostToNetwork16(std::uint16_t value) { return ::htons(value); }
std::uint32_t hostToNetwork32(std::uint32_t value) { return ::htonl(value); }

// Traffic control's registration fails with ERROR_OPEN_FAILED (0x6e) when
// it cannot open its device for the caller, ERROR_ACCESS_DENIED (5) where
// it says so; qWAVE with 5; the clock with ERROR_PRIVILEGE_NOT_HELD (1314).
MissingRight missingRight(RightsArea area, std::uint32_t code) {
  const bool refused =
      code == ERROR_ACCESS_DENIED ||
      (area == RightsArea::TrafficControl && code == ERROR_OPEN_FAILED) ||
      (area == RightsArea::Clock && code == ERROR_PRIVILEGE_NOT_HELD);
  return refused ? MissingRight::Elevation : MissingRight::None;
}

}  // namespace stampcast
