#include "timestamp/measure/measurement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "timestamp/measure/statistics.h"
#include "timestamp/report/text.h"

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
    stats.senders.insert(SenderKey{0, 0, i * buckets});
  }
  std::size_t fullest = 0;
  for (std::size_t b = 0; b < buckets; ++b) {
    fullest = std::max(fullest, stats.senders.bucket_size(b));
  }
  EXPECT_LE(fullest, 8u);
  EXPECT_NE(SeededHash(1)(buckets), SeededHash(2)(buckets));
  EXPECT_NE(SeededHash(1)(42, buckets), SeededHash(2)(42, buckets));
}

// The sender as a line shows it: IPv6 in brackets, zeros cut as RFC 5952
// cuts them, a link-local one's zone by its index, and IPv4 as before.
TEST(Measurement, AddressTexts) {
  const struct { std::uint16_t family; std::vector<std::uint8_t> bytes; std::uint32_t scope; const char* text; } cases[] = {
      {23, {0xfd, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}, 7, "[fd00:1:0:1::1]:40000"},  // no zone but link-local
      {23, {0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0x0a, 0xbc}, 0, "[1::1:0:0:1:abc]:40000"},  // the first of equal runs
      {23, {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 4294967295u, "[fe80::1%4294967295]:40000"},
      {23, {0xfe, 0xbf, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 2, "[febf::%2]:40000"},
      {23, std::vector<std::uint8_t>(16, 0), 0, "[::]:40000"},
      {23, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0, "[::1]:40000"},
      {23, {0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0}, 0, "[1:0:1:0:1:0:1:0]:40000"},  // one zero is no run
      {2, {10, 73, 0, 1}, 0, "10.73.0.1:40000"}};
  for (const auto& test : cases) {
    SocketAddress address{};
    address.family = test.family;
    address.port = 0x409C;  // 40000 in network order
    std::copy(test.bytes.begin(), test.bytes.end(), address.address);
    address.scope = test.scope;
    char text[kAddressTextMax + 1];
    EXPECT_EQ(std::string(text, writeAddress(text, address)), test.text);
  }
}

}  // namespace
}  // namespace stampcast
