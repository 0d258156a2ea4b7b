#include "timestamp/measure/measurement.h"

#include "timestamp/wire/calendar.h"
#include "timestamp/wire/trailer.h"

namespace stampcast {

// A trailer may carry any send time: the difference saturates instead of
// overflowing.
std::int64_t microsecondsBetween(std::int64_t from, std::int64_t to) {
  std::int64_t nanoseconds;
  if (from < 0 && to > INT64_MAX + from) {
    nanoseconds = INT64_MAX;
  } else if (from > 0 && to < INT64_MIN + from) {
    nanoseconds = INT64_MIN;
  } else {
    nanoseconds = to - from;
  }
  const std::int64_t remainder = nanoseconds % 1000;
  return nanoseconds / 1000 + (remainder >= 500) - (remainder <= -500);
}

// The delay is the local time at arrival less the time the datagram
// carries, on the full date, so that midnight and the ends of months and
// years fall out right; a measuring sender's trailer gives it finer, from
// universal time at both ends.
MeasuredFields measure(const Arrival& arrival, const std::uint8_t* datagram,
                       int length, const LocalTime& time, bool whole) {
  MeasuredFields measured;
  measured.from = arrival.from;
  measured.dscp = arrival.tos < 0 ? -1 : arrival.tos >> 2;
  measured.ttl = arrival.ttl;
  measured.hasDelay = whole;
  Trailer trailer;
  measured.hasSent = decodeTrailer(datagram, length, &trailer);
  if (measured.hasSent) {
    measured.sent = trailer.number;
    measured.run = trailer.run;
    measured.hasLoad = trailer.version >= 2;
    measured.sentNanoseconds = trailer.sentUtcNanoseconds;
    measured.askedDscp = trailer.dscp;
    measured.hasLast = trailer.hasLast;
    measured.last = trailer.last;
  }
  // A platform that cannot tell the full length gives what it kept.
  measured.bytes = static_cast<std::uint64_t>(arrival.size > length ? arrival.size : length);
  if (!whole) return measured;
  if (measured.hasSent) {
    measured.delayMicroseconds =
        microsecondsBetween(trailer.sentUtcNanoseconds, arrival.utcNanoseconds);
    measured.fineDelay = true;
  } else {
    measured.delayMicroseconds =
        (calendarMilliseconds(arrival.local) - calendarMilliseconds(time)) *
        1000;
  }
  return measured;
}

}  // namespace stampcast
