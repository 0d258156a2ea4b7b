// The receiver's interval reports (-a): where each interval begins and
// ends on the steady clock, counted from "Receiving...".
#ifndef STAMPCAST_TIMESTAMP_MEASURE_INTERVAL_H_
#define STAMPCAST_TIMESTAMP_MEASURE_INTERVAL_H_

#include <cstdint>

namespace stampcast {

// An interval's bounds, in microseconds since the start.
struct IntervalSpan {
  std::int64_t from = 0;
  std::int64_t to = 0;
  std::int64_t late = 0;  // how long after `to` its report is written
};

class IntervalClock {
 public:
  // `start` on the steady clock in nanoseconds; no reports when `seconds`
  // is 0 or less.
  IntervalClock(std::int64_t start, int seconds);

  bool on() const { return period_ > 0; }
  // The steady-clock instant the interval under way ends at.
  std::int64_t deadline() const { return start_ + next_ * period_; }
  // Microseconds from the start to `now`.
  std::int64_t elapsed(std::int64_t now) const;
  // When `now` has reached the end of the interval under way, ends it and
  // gives its bounds; an interval that nothing ended yet is not due.
  bool take(std::int64_t now, IntervalSpan* span);
  // The last, shorter interval, from the last end up to `now`; false when
  // it would be empty.
  bool rest(std::int64_t now, IntervalSpan* span) const;

 private:
  std::int64_t start_;
  std::int64_t period_;  // nanoseconds
  std::int64_t next_ = 1;
};

// A datagram's arrival on the steady clock: the platform's stamp (0: none,
// and now serves), held between the arrival before it and now, so that a
// step of the clock between a stamp and its reading moves no datagram
// into the future or before the one that came first.
inline std::int64_t placeArrival(std::int64_t stamp, std::int64_t previous,
                                 std::int64_t now) {
  if (stamp == 0 || stamp > now) return now;
  return stamp < previous ? previous : stamp;
}

// How a count moved over an interval: negative when it fell, as a stream's
// losses do when late datagrams fill a gap counted before.
inline std::int64_t change(std::uint64_t before, std::uint64_t now) {
  return static_cast<std::int64_t>(now - before);
}

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_INTERVAL_H_
