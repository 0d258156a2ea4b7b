// Delays in buckets of logarithmic width, for their percentiles: each
// bucket is 2 % wide, so any value read back is within 1 % of a delay that
// fell in it, and the memory is the same whatever the run's length. Delays
// below zero (a receiver whose clock is behind the sender's) have buckets
// of their own, mirrored.
#ifndef STAMPCAST_TIMESTAMP_MEASURE_HISTOGRAM_H_
#define STAMPCAST_TIMESTAMP_MEASURE_HISTOGRAM_H_

#include <cstdint>
#include <vector>

namespace stampcast {

class DelayHistogram {
 public:
  // Every magnitude a 64-bit delay can have (up to 2^63 microseconds) has
  // its bucket: 1.02^2205 is just above 2^63.
  static constexpr int kBuckets = 2206;

  void add(std::int64_t microseconds);
  void clear();
  std::uint64_t count() const { return count_; }

  // The nearest-rank percentile (the smallest delay that at least `percent`
  // of them do not exceed), held to the extremes seen; 0 without delays.
  double percentile(double percent) const;

 private:
  // From the most negative bucket up: kBuckets below zero, zero, kBuckets
  // above; made at the first delay.
  std::vector<std::uint64_t> buckets_;
  std::uint64_t count_ = 0;
  std::int64_t min_ = 0;
  std::int64_t max_ = 0;
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_HISTOGRAM_H_
