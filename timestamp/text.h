// The program's text helpers: printf-style formatting to the console and to
// a string, and the digit and address writers of the per-datagram lines.
#ifndef STAMPCAST_TIMESTAMP_TEXT_H_
#define STAMPCAST_TIMESTAMP_TEXT_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace stampcast {

// Formats like printf and hands the whole text to the console in one write.
void print(Platform& platform, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The same, as one error record under -o json: a failure that ends the run.
void printError(Platform& platform, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// -o json: from the end of the option scan, print() writes each line it
// makes as a message record and printError() as an error record.
void setJsonOutput(bool on);
bool jsonOutput();

// Appends the text that format makes, as printf would, at any length.
void appendFormat(std::string& text, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Writes value in decimal, zero-padded to at least minDigits (at most 20);
// returns the end of what it wrote.
char* writeDecimal(char* out, std::uint64_t value, int minDigits);

// "a.b.c.d:port" of an address in network order; at most 21 bytes.
char* writeAddress(char* out, const SocketAddress& address);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_TEXT_H_
