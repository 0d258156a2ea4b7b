// The trailer a measuring sender (-m) appends to the 16-byte timestamp, so
// that receivers can tell lost, repeated and reordered datagrams, and the
// delay to the microsecond. A receiver that knows nothing of it reads the
// first 16 bytes as always. Little-endian, from offset 16 (docs/wire-format.md):
//   16  marker "SCTR" (0x53 0x43 0x54 0x52)
//   20  version, 16 bits: 1 or 2
//   22  trailer length in bytes, 16 bits: 32 (version 1) or 56 (version 2)
//   24  run identifier, 64 bits, drawn at random when the sender starts
//   32  sequence number, 64 bits, 0 for the run's first datagram
//   40  send time, signed 64 bits: nanoseconds since 1970-01-01 00:00 UTC
// Version 2 goes on with the sender's load:
//   48  period between bursts in nanoseconds, 64 bits (0: no schedule)
//   56  the run's last sequence number, 64 bits (when flag bit 0 is set)
//   64  the code point the sender asked for, 8 bits (0-63)
//   65  flags, 8 bits: bit 0, the last number is present; others 0
//   66  burst size, 16 bits (1-1024)
//   68  reserved, 4 bytes of 0
// A datagram that is too short for its version, or whose marker, version
// or length differ, carries no trailer.
#ifndef STAMPCAST_TIMESTAMP_WIRE_TRAILER_H_
#define STAMPCAST_TIMESTAMP_WIRE_TRAILER_H_

#include <cstddef>
#include <cstdint>

#include "timestamp/wire/datagram.h"

namespace stampcast {

inline constexpr std::size_t kTrailerSize = 32;
inline constexpr std::size_t kTrailerV2Size = 56;
inline constexpr std::size_t kMeasuredDatagramSize =
    kTimestampDatagramSize + kTrailerSize;
inline constexpr std::size_t kMeasuredV2DatagramSize =
    kTimestampDatagramSize + kTrailerV2Size;

struct Trailer {
  std::uint64_t run = 0;
  std::uint64_t number = 0;
  std::int64_t sentUtcNanoseconds = 0;
  // 1 or 2; the fields below travel in version 2 only.
  std::uint16_t version = 1;
  std::uint64_t periodNanoseconds = 0;
  bool hasLast = false;
  std::uint64_t last = 0;  // read only when hasLast
  std::uint8_t dscp = 0;
  std::uint16_t burst = 1;
};

// The trailer's size in bytes for its version: 32 or 56.
std::size_t trailerSize(const Trailer& trailer);

// Writes the trailer in the version it says at out; returns its size.
std::size_t encodeTrailer(const Trailer& trailer, std::uint8_t* out);

// Reads the trailer, version 1 or 2, of a datagram of `length` bytes (the
// bytes that arrived, from its start); false when it carries none.
bool decodeTrailer(const std::uint8_t* datagram, int length,
                   Trailer* trailer);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_WIRE_TRAILER_H_
