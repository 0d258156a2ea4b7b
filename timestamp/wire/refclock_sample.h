// The sample a receiver hands a time service for one timestamp: taken at
// the datagram's arrival, by the local clock, with the offset of the
// sender's time from it (sender's time - arrival time: positive when the
// sender is ahead of this host).
#ifndef STAMPCAST_TIMESTAMP_WIRE_REFCLOCK_SAMPLE_H_
#define STAMPCAST_TIMESTAMP_WIRE_REFCLOCK_SAMPLE_H_

#include <cstdint>

#include "platform/clock_sample.h"

namespace stampcast {

// Arrival and offset in nanoseconds, the arrival since 1970 UTC; the
// sample's time in microseconds (rounded down), its offset in seconds.
ClockSample refclockSample(std::int64_t arrivalUtcNanoseconds,
                           std::int64_t offsetNanoseconds);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_WIRE_REFCLOCK_SAMPLE_H_
