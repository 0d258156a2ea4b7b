// The trailer a measuring sender (-m) appends to the 16-byte timestamp, so
// that receivers can tell lost, repeated and reordered datagrams, and the
// delay to the microsecond. A receiver that knows nothing of it reads the
// first 16 bytes as always. Little-endian, 32 bytes from offset 16:
//   16  marker "SCTR" (0x53 0x43 0x54 0x52)
//   20  version, 16 bits: 1
//   22  trailer length in bytes, 16 bits: 32
//   24  run identifier, 64 bits, drawn at random when the sender starts
//   32  sequence number, 64 bits, 0 for the run's first datagram
//   40  send time, signed 64 bits: nanoseconds since 1970-01-01 00:00 UTC
// A datagram that is too short for it, or whose marker, version or length
// differ, carries no trailer.
#ifndef STAMPCAST_TIMESTAMP_WIRE_TRAILER_H_
#define STAMPCAST_TIMESTAMP_WIRE_TRAILER_H_

#include <cstddef>
#include <cstdint>

#include "timestamp/wire/datagram.h"

namespace stampcast {

inline constexpr std::size_t kTrailerSize = 32;
inline constexpr std::size_t kMeasuredDatagramSize =
    kTimestampDatagramSize + kTrailerSize;

struct Trailer {
  std::uint64_t run = 0;
  std::uint64_t number = 0;
  std::int64_t sentUtcNanoseconds = 0;
};

// Writes the trailer's 32 bytes at out.
void encodeTrailer(const Trailer& trailer, std::uint8_t* out);

// Reads the trailer of a datagram of `length` bytes (the bytes that
// arrived, from its start); false when it carries none.
bool decodeTrailer(const std::uint8_t* datagram, int length,
                   Trailer* trailer);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_WIRE_TRAILER_H_
