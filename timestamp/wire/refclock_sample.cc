#include "timestamp/wire/refclock_sample.h"

namespace stampcast {

ClockSample refclockSample(std::int64_t arrivalUtcNanoseconds,
                           std::int64_t offsetNanoseconds) {
  constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
  std::int64_t seconds = arrivalUtcNanoseconds / kNanosecondsPerSecond;
  std::int64_t rest = arrivalUtcNanoseconds % kNanosecondsPerSecond;
  if (rest < 0) {  // before 1970: the microseconds stay from 0 to 999999
    seconds -= 1;
    rest += kNanosecondsPerSecond;
  }
  ClockSample sample;
  sample.seconds = seconds;
  sample.microseconds = rest / 1000;
  sample.offset = static_cast<double>(offsetNanoseconds) / 1e9;
  return sample;
}

}  // namespace stampcast
