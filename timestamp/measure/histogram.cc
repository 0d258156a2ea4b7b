#include "timestamp/measure/histogram.h"

#include <algorithm>
#include <cmath>

namespace stampcast {
namespace {

// Each bucket spans [g^k, g^(k+1)) microseconds; read back at 2g^(k+1)/(1+g),
// where the error is largest at either end and (g-1)/(g+1) < 1 % there.
constexpr double kGrowth = 1.02;

int magnitudeBucket(std::uint64_t magnitude) {
  const double k = std::floor(std::log(static_cast<double>(magnitude)) /
                              std::log(kGrowth));
  return static_cast<int>(std::min(k, double{DelayHistogram::kBuckets - 1}));
}

double magnitudeOf(int bucket) {
  return 2 * std::pow(kGrowth, bucket + 1) / (1 + kGrowth);
}

}  // namespace

void DelayHistogram::add(std::int64_t microseconds) {
  if (buckets_.empty()) buckets_.assign(2 * kBuckets + 1, 0);
  int index = kBuckets;
  if (microseconds > 0) {
    index = kBuckets + 1 +
            magnitudeBucket(static_cast<std::uint64_t>(microseconds));
  } else if (microseconds < 0) {
    index = kBuckets - 1 -
            magnitudeBucket(0 - static_cast<std::uint64_t>(microseconds));
  }
  ++buckets_[static_cast<std::size_t>(index)];
  if (count_ == 0 || microseconds < min_) min_ = microseconds;
  if (count_ == 0 || microseconds > max_) max_ = microseconds;
  ++count_;
}

void DelayHistogram::clear() {
  std::fill(buckets_.begin(), buckets_.end(), 0);
  count_ = 0;
}

double DelayHistogram::percentile(double percent) const {
  if (count_ == 0) return 0;
  const double wanted = std::ceil(percent / 100 * static_cast<double>(count_));
  const std::uint64_t rank =
      wanted < 1 ? 1 : static_cast<std::uint64_t>(std::min(wanted, static_cast<double>(count_)));
  std::uint64_t seen = 0;
  int index = 0;
  for (; index < 2 * kBuckets; ++index) {
    seen += buckets_[static_cast<std::size_t>(index)];
    if (seen >= rank) break;
  }
  // The outermost buckets hold all beyond them: the extremes stand for them.
  if (index == 0) return static_cast<double>(min_);
  if (index == 2 * kBuckets) return static_cast<double>(max_);
  double value = 0;
  if (index > kBuckets) value = magnitudeOf(index - kBuckets - 1);
  if (index < kBuckets) value = -magnitudeOf(kBuckets - 1 - index);
  return std::clamp(value, static_cast<double>(min_), static_cast<double>(max_));
}

}  // namespace stampcast
