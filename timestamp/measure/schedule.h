// When a sender with a rate (-b) sends: burst k is due at start + k x
// period on the steady clock, so that the rate does not drift with the
// time each burst takes. A sender that falls more than one burst behind
// does not catch up in a rush: it moves its schedule on and counts a slip.
#ifndef STAMPCAST_TIMESTAMP_MEASURE_SCHEDULE_H_
#define STAMPCAST_TIMESTAMP_MEASURE_SCHEDULE_H_

#include <cstdint>

namespace stampcast {

struct BurstSchedule {
  std::int64_t start = 0;      // steady nanoseconds of burst 0
  std::uint64_t period = 0;    // nanoseconds, at least 1
  std::uint64_t next = 0;      // the index of the burst due next
  std::uint64_t slips = 0;     // times the schedule moved on
};

// The steady time burst `next` is due.
std::int64_t dueTime(const BurstSchedule& schedule);

// After a burst has left at `now`: the next burst is the one after it;
// when its due time is already a whole period or more behind now, the
// schedule moves on to the last burst due at or before now (sent at once,
// then on time again) and counts one slip. Returns whether it slipped.
bool advanceSchedule(BurstSchedule& schedule, std::int64_t now);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_SCHEDULE_H_
