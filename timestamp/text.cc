#include "timestamp/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace stampcast {
namespace {

// Formats into `line` when the text fits its `capacity` bytes, else into
// `big`; returns the text and sets `length`, or nullptr on a format error.
const char* formatText(char* line, std::size_t capacity, std::string& big,
                       std::size_t* length, const char* format,
                       va_list args) {
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(line, capacity, format, args);
  if (needed < 0) {
    va_end(again);
    return nullptr;
  }
  *length = static_cast<std::size_t>(needed);
  if (*length < capacity) {
    va_end(again);
    return line;
  }
  // Only an oversized word from the command line takes this path.
  big.assign(*length + 1, '\0');
  std::vsnprintf(&big[0], big.size(), format, again);
  va_end(again);
  return big.data();
}

}  // namespace

void print(Platform& platform, const char* format, ...) {
  char line[256];
  std::string big;
  std::size_t length = 0;
  va_list args;
  va_start(args, format);
  const char* text = formatText(line, sizeof line, big, &length, format, args);
  va_end(args);
  if (text != nullptr) platform.writeOutput(text, length);
}

void appendFormat(std::string& text, const char* format, ...) {
  char line[256];
  std::string big;
  std::size_t length = 0;
  va_list args;
  va_start(args, format);
  const char* made = formatText(line, sizeof line, big, &length, format, args);
  va_end(args);
  if (made != nullptr) text.append(made, length);
}

char* writeDecimal(char* out, std::uint64_t value, int minDigits) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count < minDigits && count < 20) digits[count++] = '0';
  while (count > 0) *out++ = digits[--count];
  return out;
}

namespace {

// The address bytes as RFC 5952 writes them: lower-case groups without
// leading zeros, the longest run of two or more zero groups (the first of
// equal runs) as "::".
char* writeIpv6(char* out, const std::uint8_t* bytes) {
  int groups[8];
  for (int i = 0; i < 8; ++i) groups[i] = bytes[2 * i] << 8 | bytes[2 * i + 1];
  int bestStart = -1;
  int bestLength = 1;
  for (int i = 0; i < 8;) {
    int end = i;
    while (end < 8 && groups[end] == 0) ++end;
    if (end - i > bestLength) {
      bestStart = i;
      bestLength = end - i;
    }
    i = end == i ? i + 1 : end;
  }
  for (int i = 0; i < 8; ++i) {
    if (i == bestStart) {
      *out++ = ':';
      if (i == 0) *out++ = ':';
      i += bestLength - 1;
      continue;
    }
    char digits[4];
    int count = 0;
    int group = groups[i];
    do {
      digits[count++] = "0123456789abcdef"[group & 0xF];
      group >>= 4;
    } while (group != 0);
    while (count > 0) *out++ = digits[--count];
    if (i < 7) *out++ = ':';
  }
  return out;
}

}  // namespace

bool isIpv6Text(const char* text) { return std::strchr(text, ':') != nullptr; }

char* writeAddress(char* out, const SocketAddress& address) {
  if (address.family == kAddressFamilyInet6) {
    *out++ = '[';
    out = writeIpv6(out, address.address);
    // The zone of a link-local address, by its interface index.
    const bool linkLocal =
        address.address[0] == 0xFE && (address.address[1] & 0xC0) == 0x80;
    if (linkLocal && address.scope != 0) {
      *out++ = '%';
      out = writeDecimal(out, address.scope, 1);
    }
    *out++ = ']';
  } else {
    // Network order: the first byte in memory is the first of the text.
    for (int i = 0; i < 4; ++i) {
      if (i > 0) *out++ = '.';
      out = writeDecimal(out, address.address[i], 1);
    }
  }
  *out++ = ':';
  std::uint8_t port[2];
  std::memcpy(port, &address.port, sizeof port);
  return writeDecimal(out, static_cast<std::uint64_t>(port[0] << 8 | port[1]), 1);
}

}  // namespace stampcast
