// The one wire format: 16 bytes, eight little-endian 16-bit fields holding
// the sender's local calendar time.
#ifndef STAMPCAST_TIMESTAMP_WIRE_DATAGRAM_H_
#define STAMPCAST_TIMESTAMP_WIRE_DATAGRAM_H_

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

namespace stampcast {

inline constexpr std::size_t kTimestampDatagramSize = 16;

struct TimestampDatagram {
  std::uint8_t bytes[kTimestampDatagramSize];
};

// Field by field, little-endian whatever the host's byte order.
TimestampDatagram encodeTimestamp(const LocalTime& time);
LocalTime decodeTimestamp(const std::uint8_t* bytes);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_WIRE_DATAGRAM_H_
