#include "timestamp/measurement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "timestamp/statistics.h"

namespace stampcast {
namespace {

// Forged trailers: stream `run` brings numbers 0 and highest[run], so loses
// highest - 1, and the losses may sum past 2^64: any loss still fails the run.
TEST(Measurement, LossesThatSumPastTheRangeStillFailTheRun) {
  const std::uint64_t half = std::uint64_t{1} << 63;
  const struct {
    std::vector<std::uint64_t> highest;
    std::uint64_t lost;
    int status;
  } cases[] = {
      {{1, 1}, 0, 0},
      {{half, 2}, half, 2},
      {{half, half + 2}, UINT64_MAX, 2},
      {{UINT64_MAX, UINT64_MAX, 3}, UINT64_MAX, 2},
  };
  for (const auto& test : cases) {
    ReceiverStatistics stats;
    MeasuredFields measured;
    measured.hasSent = true;
    for (measured.run = 0; measured.run < test.highest.size(); ++measured.run) {
      for (const std::uint64_t number : {std::uint64_t{0}, test.highest[measured.run]}) {
        measured.sent = number;
        countDatagram(stats, RunConfig{}, measured);
      }
    }
    EXPECT_EQ(stats.streams.lost(), test.lost) << test.highest[1];
    EXPECT_EQ(summaryStatus(stats), test.status) << test.highest[1];
  }
}

// Keys a multiple of the bucket count apart, all in one bucket of a plain
// hash, spread over the senders set; and a key (as the stream table hashes
// it too, with its run) hashes otherwise under another seed.
TEST(Measurement, ForgedKeysSpreadOverTheBuckets) {
  ReceiverStatistics stats;
  stats.senders.reserve(4096);
  const std::size_t buckets = stats.senders.bucket_count();
  for (std::uint64_t i = 0; i < 1000; ++i) {
    stats.senders.insert(i * buckets);
  }
  std::size_t fullest = 0;
  for (std::size_t b = 0; b < buckets; ++b) {
    fullest = std::max(fullest, stats.senders.bucket_size(b));
  }
  EXPECT_LE(fullest, 8u);
  EXPECT_NE(SeededHash(1)(buckets), SeededHash(2)(buckets));
  EXPECT_NE(SeededHash(1)(42, buckets), SeededHash(2)(42, buckets));
}

}  // namespace
}  // namespace stampcast
