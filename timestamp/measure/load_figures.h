// What a receiver reports of a stream under load, beside its losses: the
// code points that changed on the way (the one the sender asked for, from
// its version 2 trailer, against the one that arrived) and the rate that
// came.
#ifndef STAMPCAST_TIMESTAMP_MEASURE_LOAD_FIGURES_H_
#define STAMPCAST_TIMESTAMP_MEASURE_LOAD_FIGURES_H_

#include <cstdint>
#include <vector>

namespace stampcast {

struct RemarkPair {
  int sent = 0;
  int received = 0;
  std::uint64_t count = 0;
};

// Counts of (asked, arrived) pairs that differ. At most 64 x 63 of them,
// kept in ascending order of the asked code point, then the arrived one.
class RemarkPairs {
 public:
  // One datagram; code points outside 0-63 (unknown, forged) are not
  // counted.
  void add(int sent, int received);
  const std::vector<RemarkPair>& list() const { return pairs_; }

 private:
  std::vector<RemarkPair> pairs_;
};

// The pairs counted since `before` was taken: each of `now`'s counts less
// the same pair's in `before`, the pairs that did not grow left out.
std::vector<RemarkPair> remarkedSince(const RemarkPairs& now, const RemarkPairs& before);

struct ReceivedRate {
  double datagramsPerSecond = 0;
  double mbitPerSecond = 0;  // of UDP payload
};

// The rate of `datagrams` of `bytes` in all over `spanNanoseconds`; none
// over a span of no time.
ReceivedRate receivedRate(std::uint64_t datagrams, std::uint64_t bytes,
                          std::int64_t spanNanoseconds);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_LOAD_FIGURES_H_
