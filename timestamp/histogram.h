// Delays in buckets of logarithmic width, for their percentiles: each
// bucket is 2 % wide, so any value read back is within 1 % of a delay that
// fell in it, and the memory is the same whatever the run's length. Delays
// below zero (a receiver whose clock is behind the sender's) have buckets
// of their own, mirrored.
#ifndef STAMPCAST_TIMESTAMP_HISTOGRAM_H_
#define STAMPCAST_TIMESTAMP_HISTOGRAM_H_

#include <cstdint>
#include <vector>

namespace stampcast {

class DelayHistogram {
 public:
  // Magnitudes up to 2^40 microseconds (some 12 days) have buckets; a
  // larger one falls in the last, and reads back within the extremes.
  static constexpr int kBuckets = 1401;

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

#endif  // STAMPCAST_TIMESTAMP_HISTOGRAM_H_
