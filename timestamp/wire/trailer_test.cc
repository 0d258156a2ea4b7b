#include "timestamp/wire/trailer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace stampcast;

static const Trailer kSent[] = {
    {0x0102030405060708, UINT64_MAX, INT64_MIN + 1},
    {0x0102030405060708, UINT64_MAX, INT64_MIN + 1, 2, 0x1112131415161718, true,
     0x2122232425262728, 63, 1024},
};

// A trailer of `version` in a datagram of `length` bytes with its byte at
// `offset` set to `value` (offset 0 changes nothing): whether it reads as
// carrying the trailer, whose marker "SCTR", version and length start at
// byte 16.
struct Variant {
  int version;
  int length;
  int offset;
  int value;
  bool carries;
};
static const Variant kVariants[] = {
    {1, 48, 0, 0, true},      // the trailer and nothing more
    {1, 100, 0, 0, true},     // bytes after it: still version 1
    {1, 47, 0, 0, false},     // one byte short
    {1, 48, 16, 's', false},  // the marker's first byte
    {1, 48, 19, 'Q', false},  // its last
    {1, 48, 20, 2, false},    // version 2 with version 1's length
    {1, 48, 20, 3, false},    // an unknown version
    {1, 48, 21, 1, false},    // the version's high byte
    {1, 48, 22, 48, false},   // length 48
    {1, 48, 23, 1, false},    // the length's high byte
    {2, 72, 0, 0, true},      // version 2 and nothing more
    {2, 71, 0, 0, false},     // cut by one byte
    {2, 48, 0, 0, false},     // cut to version 1's size
    {2, 72, 22, 32, false},   // version 1's length
    {2, 72, 20, 1, false},    // version 1 with version 2's length
};

// Whatever reads as a trailer writes again the bytes it was read from.
TEST(Trailer, RoundTripsAndOnlyItsLayoutReadsAsOne) {
  for (const Variant& v : kVariants) {
    std::uint8_t datagram[100] = {};
    std::uint8_t again[100] = {};
    const std::size_t size = encodeTrailer(kSent[v.version - 1], datagram + 16);
    EXPECT_EQ(size, v.version == 1 ? 32u : 56u);
    datagram[v.offset] = std::uint8_t(v.value);
    Trailer got{};
    EXPECT_EQ(decodeTrailer(datagram, v.length, &got), v.carries)
        << "version " << v.version << ", " << v.length << " bytes, byte " << v.offset;
    std::memcpy(again, datagram, 16);
    EXPECT_EQ(encodeTrailer(got, again + 16) == size && !std::memcmp(datagram, again, 16 + size),
              v.carries);
  }
}

TEST(Trailer, VersionTwoFieldsInPlace) {
  std::uint8_t out[56] = {};
  encodeTrailer(kSent[1], out);
  EXPECT_EQ(std::vector<std::uint8_t>(out + 4, out + 8), (std::vector<std::uint8_t>{2, 0, 56, 0}));
  EXPECT_EQ(std::vector<std::uint8_t>(out + 32, out + 56),
            (std::vector<std::uint8_t>{0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11,
                                       0x28, 0x27, 0x26, 0x25, 0x24, 0x23, 0x22, 0x21,
                                       63,   1,    0x00, 0x04, 0,    0,    0,    0}));
}
