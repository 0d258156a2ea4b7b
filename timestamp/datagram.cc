#include "timestamp/datagram.h"

namespace stampcast {
namespace {

// The fields in wire order; the day of the week travels but is never read.
constexpr int kFieldCount = 8;

void putField(std::uint8_t* out, std::uint16_t value) {
  out[0] = static_cast<std::uint8_t>(value & 0xFF);
  out[1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t getField(const std::uint8_t* in) {
  return static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}

}  // namespace

TimestampDatagram encodeTimestamp(const LocalTime& time) {
  const std::uint16_t fields[kFieldCount] = {
      time.year, time.month,  time.dayOfWeek, time.day,
      time.hour, time.minute, time.second,    time.milliseconds};
  TimestampDatagram datagram;
  for (int i = 0; i < kFieldCount; ++i) putField(datagram.bytes + 2 * i, fields[i]);
  return datagram;
}

LocalTime decodeTimestamp(const std::uint8_t* bytes) {
  LocalTime time;
  time.year = getField(bytes);
  time.month = getField(bytes + 2);
  time.dayOfWeek = getField(bytes + 4);
  time.day = getField(bytes + 6);
  time.hour = getField(bytes + 8);
  time.minute = getField(bytes + 10);
  time.second = getField(bytes + 12);
  time.milliseconds = getField(bytes + 14);
  return time;
}

}  // namespace stampcast
