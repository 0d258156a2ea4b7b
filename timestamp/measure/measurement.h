// What a measuring receiver learns of one datagram: the fields its line
// shows beside the time, and the delay worked out from the time it carries.
#ifndef STAMPCAST_TIMESTAMP_MEASURE_MEASUREMENT_H_
#define STAMPCAST_TIMESTAMP_MEASURE_MEASUREMENT_H_

#include <cstdint>

#include "platform/types.h"
#include "timestamp/measure/streams.h"

namespace stampcast {

struct MeasuredFields {
  SocketAddress from;
  int dscp = -1;  // -1: the platform cannot tell
  int ttl = -1;
  bool hasDelay = false;  // false: the datagram holds no calendar time
  // In microseconds: whole milliseconds from the 16-byte time, finer from
  // a trailer's send time, which the line then shows to the microsecond.
  std::int64_t delayMicroseconds = 0;
  bool fineDelay = false;
  // A measuring sender's trailer: its number, and how it stands to the
  // numbers of its stream before it (set when the datagram is counted).
  bool hasSent = false;
  std::uint64_t sent = 0;
  Order order = Order::kNext;
  std::uint64_t run = 0;  // the trailer's run identifier
  // A version 2 trailer's load, for the stream's figures: the send time,
  // the code point asked for and the run's last number; the datagram's
  // bytes as they came (uncut) and its arrival on the steady clock.
  bool hasLoad = false;
  std::int64_t sentNanoseconds = 0;
  int askedDscp = 0;
  bool hasLast = false;
  std::uint64_t last = 0;
  std::uint64_t bytes = 0;
  std::int64_t steadyNanoseconds = 0;  // set by the receive loop
};

// From one instant to another in nanoseconds, as microseconds, halves
// rounded away from zero; at the ends of the 64-bit range it holds there.
std::int64_t microsecondsBetween(std::int64_t from, std::int64_t to);

// What the line and the summary tell of one datagram of `length` bytes
// carrying `time`, `whole` when it held a valid calendar time.
MeasuredFields measure(const Arrival& arrival, const std::uint8_t* datagram,
                       int length, const LocalTime& time, bool whole);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_MEASUREMENT_H_
