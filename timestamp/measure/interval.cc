#include "timestamp/measure/interval.h"

namespace stampcast {

IntervalClock::IntervalClock(std::int64_t start, int seconds)
    : start_(start),
      period_(seconds > 0 ? std::int64_t{seconds} * 1000000000 : 0) {}

std::int64_t IntervalClock::elapsed(std::int64_t now) const {
  return (now - start_) / 1000;
}

bool IntervalClock::take(std::int64_t now, IntervalSpan* span) {
  if (!on() || now < deadline()) return false;
  span->from = (next_ - 1) * period_ / 1000;
  span->to = next_ * period_ / 1000;
  ++next_;
  return true;
}

bool IntervalClock::rest(std::int64_t now, IntervalSpan* span) const {
  span->from = (next_ - 1) * period_ / 1000;
  span->to = elapsed(now);
  return on() && span->to > span->from;
}

}  // namespace stampcast
