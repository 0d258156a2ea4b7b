#include "fuzz/fuzz_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace stampcast {

void FuzzPlatform::writeOutput(const char* text, std::size_t length) {
  output.append(text, length);
}

int FuzzPlatform::receiveFrom(SocketHandle, void* buffer, int length, int,
                              SocketAddress* from, int* fromLength) {
  if (datagrams.empty()) return kSocketError;
  receiveLength = length;
  if (length <= 0 || fromLength == nullptr || *fromLength < 16) std::abort();
  // Touch both ends of the buffer the caller claims to have, so that the
  // address sanitizer sees a length larger than the buffer.
  auto* bytes = static_cast<volatile std::uint8_t*>(buffer);
  bytes[0] = bytes[0];
  bytes[length - 1] = bytes[length - 1];
  // A datagram longer than the buffer arrives cut to it, as on every
  // platform; bytes past what arrived stay as the caller left them.
  const std::vector<std::uint8_t> datagram = std::move(datagrams.front());
  datagrams.pop_front();
  const int copied = std::min(length, static_cast<int>(datagram.size()));
  if (copied > 0) std::memcpy(buffer, datagram.data(), copied);
  if (from != nullptr) {
    *from = SocketAddress{kAddressFamilyInet, 0x3930, 0x0100007f, {}};
  }
  *fromLength = 16;
  return copied;
}

int FuzzPlatform::setLocalTime(const LocalTime& time) {
  clockSets.push_back(time);
  return 0;
}

// The socket layer's pure conversions, without a backend.
std::uint16_t hostToNetwork16(std::uint16_t value) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value)};
  std::uint16_t out;
  std::memcpy(&out, bytes, sizeof out);
  return out;
}

std::uint32_t hostToNetwork32(std::uint32_t value) {
  const std::uint8_t bytes[4] = {
      static_cast<std::uint8_t>(value >> 24),
      static_cast<std::uint8_t>(value >> 16),
      static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  std::uint32_t out;
  std::memcpy(&out, bytes, sizeof out);
  return out;
}

// Only the shape matters here: the receiver hands the group on unexamined.
std::uint32_t inetAddr(const char* dotted) {
  return dotted != nullptr && *dotted != '\0' ? hostToNetwork32(0xEF010101)
                                              : 0xFFFFFFFF;
}

}  // namespace stampcast
