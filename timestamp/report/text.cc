#include "timestamp/report/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace stampcast {

// A format error appends nothing.
void appendFormatList(std::string& text, const char* format, va_list args) {
  char line[256];
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(line, sizeof line, format, args);
  if (needed >= 0 && static_cast<std::size_t>(needed) < sizeof line) {
    text.append(line, static_cast<std::size_t>(needed));
  } else if (needed >= 0) {
    // Only an oversized word from the command line takes this path.
    const std::size_t start = text.size();
    text.resize(start + static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(&text[start], static_cast<std::size_t>(needed) + 1,
                   format, again);
    text.pop_back();  // the terminator vsnprintf wrote
  }
  va_end(again);
}

void appendFormat(std::string& text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  appendFormatList(text, format, args);
  va_end(args);
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
