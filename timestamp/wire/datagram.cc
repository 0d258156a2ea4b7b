#include "timestamp/wire/datagram.h"

namespace stampcast {
namespace {

// The fields in wire order, two bytes each; the day of the week travels but
// is never read.
constexpr std::uint16_t LocalTime::*kFields[] = {
    &LocalTime::year,   &LocalTime::month,  &LocalTime::dayOfWeek,
    &LocalTime::day,    &LocalTime::hour,   &LocalTime::minute,
    &LocalTime::second, &LocalTime::milliseconds};
static_assert(sizeof kFields / sizeof kFields[0] * 2 == kTimestampDatagramSize,
              "every byte of the datagram belongs to a field");

}  // namespace

TimestampDatagram encodeTimestamp(const LocalTime& time) {
  TimestampDatagram datagram;
  std::uint8_t* out = datagram.bytes;
  for (const auto field : kFields) {
    *out++ = static_cast<std::uint8_t>(time.*field & 0xFF);
    *out++ = static_cast<std::uint8_t>(time.*field >> 8);
  }
  return datagram;
}

LocalTime decodeTimestamp(const std::uint8_t* bytes) {
  LocalTime time;
  for (const auto field : kFields) {
    time.*field = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
    bytes += 2;
  }
  return time;
}

}  // namespace stampcast
