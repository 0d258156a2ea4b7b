// The interarrival jitter of one stream as RTP receivers reckon it
// (RFC 3550, 6.4.1): a running mean of how much each datagram's transit
// differs from the one before, in arrival order, duplicates and late ones
// included. The offset between the two hosts' clocks is in every transit
// alike and drops out of each difference.
#ifndef STAMPCAST_TIMESTAMP_MEASURE_JITTER_H_
#define STAMPCAST_TIMESTAMP_MEASURE_JITTER_H_

#include <cmath>
#include <cstdint>

namespace stampcast {

struct Jitter {
  bool started = false;
  std::int64_t lastTransit = 0;  // microseconds
  double microseconds = 0;

  // One datagram's transit: its arrival less its send time.
  void add(std::int64_t transit) {
    if (started) {
      // In floating point: forged send times may differ by more than
      // 64 bits hold.
      const double difference =
          static_cast<double>(transit) - static_cast<double>(lastTransit);
      microseconds += (std::fabs(difference) - microseconds) / 16;
    }
    started = true;
    lastTransit = transit;
  }
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_JITTER_H_
