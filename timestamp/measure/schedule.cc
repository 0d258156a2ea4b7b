#include "timestamp/measure/schedule.h"

namespace stampcast {

std::int64_t dueTime(const BurstSchedule& schedule) {
  // In unsigned arithmetic, which wraps where signed would overflow.
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(schedule.start) +
                                   schedule.next * schedule.period);
}

bool advanceSchedule(BurstSchedule& schedule, std::int64_t now) {
  ++schedule.next;
  const std::int64_t due = dueTime(schedule);
  if (now <= due || schedule.period == 0 ||
      static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(due) <
          schedule.period) {
    return false;
  }
  const std::uint64_t elapsed =
      static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(schedule.start);
  schedule.next = elapsed / schedule.period;
  ++schedule.slips;
  return true;
}

}  // namespace stampcast
