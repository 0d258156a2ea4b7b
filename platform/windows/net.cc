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

}  // namespace stampcast
