#include "timestamp/measure/trust.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "timestamp/wire/auth_block.h"
#include "timestamp/wire/trailer.h"

namespace stampcast {
namespace {

// A signed datagram of run 7 sent at `sent` (nanoseconds), numbered `number`.
std::vector<std::uint8_t> signedDatagram(const Key& key, std::int64_t sent,
                                         std::uint64_t number) {
  std::vector<std::uint8_t> datagram(kMeasuredV2DatagramSize + kAuthBlockLength);
  Trailer trailer;
  trailer.version = 2;
  trailer.run = 7;
  trailer.number = number;
  trailer.sentUtcNanoseconds = sent;
  encodeTrailer(trailer, datagram.data() + kTimestampDatagramSize);
  EXPECT_TRUE(writeAuthBlock(datagram.data(), kMeasuredV2DatagramSize, key));
  return datagram;
}

TEST(TrustGuard, TakesOnlyValidTagsWithNewerSendTimes) {
  const std::vector<Key> keys = {{1, std::vector<std::uint8_t>(16, 0x11)}};
  const Key foreign{1, std::vector<std::uint8_t>(16, 0x12)};
  struct Row {
    std::int64_t sent;
    std::uint64_t number;
    bool foreign;
    Trust trust;
  };
  const Row rows[] = {
      {100, 0, false, Trust::kValid},
      {500, 1, true, Trust::kUnauthenticated},  // moves the newest time on no further
      {200, 1, false, Trust::kValid},
      {200, 1, false, Trust::kReplayed},  // the same again
      {150, 9, false, Trust::kReplayed},  // an older one, a new number
      {201, 2, false, Trust::kValid},
  };
  TrustGuard guard(keys);
  for (const Row& row : rows) {
    const auto datagram = signedDatagram(row.foreign ? foreign : keys[0], row.sent, row.number);
    EXPECT_EQ(guard.judge(datagram.data(), static_cast<int>(datagram.size())), row.trust)
        << row.sent;
  }
  // Without keys every datagram goes as before.
  const std::vector<Key> none;
  TrustGuard open(none);
  EXPECT_EQ(open.judge(nullptr, 0), Trust::kUnchecked);
}

}  // namespace
}  // namespace stampcast
