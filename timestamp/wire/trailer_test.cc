#include "timestamp/wire/trailer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

using namespace stampcast;

static const Trailer kSent{0x0102030405060708, UINT64_MAX, INT64_MIN + 1};

// A datagram of `length` bytes with its byte at `offset` set to `value`
// (offset 0 changes nothing): whether it reads as carrying the trailer,
// whose marker "SCTR", version 1 and length 32 start at byte 16.
static const std::tuple<int, int, int, bool> kVariants[] = {
    {48, 0, 0, true},      // the trailer and nothing more
    {100, 0, 0, true},     // bytes after it
    {47, 0, 0, false},     // one byte short
    {0, 0, 0, false},      // empty
    {48, 16, 's', false},  // the marker's first byte
    {48, 19, 'Q', false},  // its last
    {48, 20, 2, false},    // version 2
    {48, 21, 1, false},    // the version's high byte
    {48, 22, 48, false},   // length 48
    {48, 23, 1, false},    // the length's high byte
};

TEST(Trailer, RoundTripsAndOnlyItsLayoutReadsAsOne) {
  for (const auto& [length, offset, value, carries] : kVariants) {
    std::uint8_t datagram[100] = {};
    encodeTrailer(kSent, datagram + 16);
    datagram[offset] = std::uint8_t(value);
    Trailer got{};
    EXPECT_EQ(decodeTrailer(datagram, length, &got), carries)
        << length << " bytes, byte " << offset;
    const bool same = got.run == kSent.run && got.number == kSent.number &&
                      got.sentUtcNanoseconds == kSent.sentUtcNanoseconds;
    EXPECT_EQ(same, carries);
  }
}
