#include "timestamp/wire/trailer.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace stampcast;

static Trailer sent(int version) {
  Trailer trailer{0x0102030405060708, UINT64_MAX, INT64_MIN + 1};
  if (version == 2) {
    trailer.version = 2;
    trailer.periodNanoseconds = 0x1112131415161718;
    trailer.hasLast = true;
    trailer.last = 0x2122232425262728;
    trailer.dscp = 63;
    trailer.burst = 1024;
  }
  return trailer;
}

static bool same(const Trailer& a, const Trailer& b) {
  return a.run == b.run && a.number == b.number &&
         a.sentUtcNanoseconds == b.sentUtcNanoseconds && a.version == b.version &&
         a.periodNanoseconds == b.periodNanoseconds && a.hasLast == b.hasLast &&
         a.last == b.last && a.dscp == b.dscp && a.burst == b.burst;
}

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
    {1, 0, 0, 0, false},      // empty
    {1, 48, 16, 's', false},  // the marker's first byte
    {1, 48, 19, 'Q', false},  // its last
    {1, 48, 20, 2, false},    // version 2 with version 1's length
    {1, 48, 20, 3, false},    // an unknown version
    {1, 48, 21, 1, false},    // the version's high byte
    {1, 48, 22, 48, false},   // length 48
    {1, 48, 23, 1, false},    // the length's high byte
    {2, 72, 0, 0, true},      // version 2 and nothing more
    {2, 100, 0, 0, true},     // bytes after it
    {2, 71, 0, 0, false},     // cut by one byte
    {2, 48, 0, 0, false},     // cut to version 1's size
    {2, 72, 22, 32, false},   // version 1's length
    {2, 72, 22, 57, false},   // a length past its own
    {2, 72, 20, 1, false},    // version 1 with version 2's length
};

TEST(Trailer, RoundTripsAndOnlyItsLayoutReadsAsOne) {
  for (const Variant& v : kVariants) {
    std::uint8_t datagram[100] = {};
    EXPECT_EQ(encodeTrailer(sent(v.version), datagram + 16), v.version == 1 ? 32u : 56u);
    datagram[v.offset] = std::uint8_t(v.value);
    Trailer got{};
    EXPECT_EQ(decodeTrailer(datagram, v.length, &got), v.carries)
        << "version " << v.version << ", " << v.length << " bytes, byte " << v.offset;
    EXPECT_EQ(same(got, sent(v.version)), v.carries);
  }
}

// Version 2's fields, byte by byte; without its flag the last number is
// neither written nor read.
TEST(Trailer, VersionTwoLayout) {
  std::uint8_t datagram[72] = {};
  Trailer trailer = sent(2);
  encodeTrailer(trailer, datagram + 16);
  const std::uint8_t tail[] = {0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11,
                               0x28, 0x27, 0x26, 0x25, 0x24, 0x23, 0x22, 0x21,
                               63,   1,    0x00, 0x04, 0,    0,    0,    0};
  EXPECT_EQ(datagram[20], 2);
  EXPECT_EQ(datagram[22], 56);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(datagram[48 + i], tail[i]) << "byte " << 48 + i;
  trailer.hasLast = false;
  encodeTrailer(trailer, datagram + 16);
  EXPECT_EQ(datagram[56], 0);
  EXPECT_EQ(datagram[65], 0);
  datagram[56] = 9;
  Trailer got{};
  ASSERT_TRUE(decodeTrailer(datagram, 72, &got));
  EXPECT_FALSE(got.hasLast);
  EXPECT_EQ(got.last, 0u);
}
