// The program's text helpers: printf-style formatting to a string, and the
// digit and address writers of the per-datagram lines.
#ifndef STAMPCAST_TIMESTAMP_REPORT_TEXT_H_
#define STAMPCAST_TIMESTAMP_REPORT_TEXT_H_

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace stampcast {

// Appends the text that format makes, as printf would, at any length.
void appendFormat(std::string& text, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The same, of a list of arguments.
void appendFormatList(std::string& text, const char* format, va_list args);

// Writes value in decimal, zero-padded to at least minDigits (at most 20);
// returns the end of what it wrote.
char* writeDecimal(char* out, std::uint64_t value, int minDigits);

// "a.b.c.d:port" of an IPv4 address, "[ff15::81]:port" of an IPv6 one (a
// link-local one with its zone: "[fe80::1%2]:port"); at most
// kAddressTextMax bytes.
inline constexpr std::size_t kAddressTextMax = 1 + 39 + 1 + 10 + 2 + 5;
char* writeAddress(char* out, const SocketAddress& address);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_REPORT_TEXT_H_
