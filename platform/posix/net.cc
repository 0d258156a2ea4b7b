// The socket layer's pure conversions. They touch no socket, so they stand
// apart from the rest of the backend and the fuzz targets can use them too.
#include <arpa/inet.h>

#include "platform/platform.h"

namespace stampcast {

std::uint32_t inetAddr(const char* dotted) { return ::inet_addr(dotted); }
std::uint16_t hostToNetwork16(std::uint16_t value) { return htons(value); }
std::uint32_t hostToNetwork32(std::uint32_t value) { return htonl(value); }

}  // namespace stampcast
