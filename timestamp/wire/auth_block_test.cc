#include "timestamp/wire/auth_block.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "platform/keyed_hash.h"

namespace stampcast {
namespace {

std::string hex(const std::uint8_t* bytes, std::size_t n) {
  char text[2 * kSha256Length + 1] = "";
  for (std::size_t i = 0; i < n; ++i) std::snprintf(text + 2 * i, 3, "%02x", bytes[i]);
  return text;
}

// RFC 4231's HMAC-SHA-256 test cases 1 and 6, from the system's library;
// each twice in a row, then the first again: a key kept, and one changed.
TEST(KeyedHash, GivesTheStandardTestVectors) {
  const struct {
    std::string key, data, mac;
  } cases[] = {
      {std::string(20, '\x0b'), "Hi There",
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
  };
  for (const int i : {0, 0, 1, 1, 0}) {
    const auto& c = cases[i];
    std::uint8_t mac[kSha256Length];
    const auto* key = reinterpret_cast<const std::uint8_t*>(c.key.data());
    const auto* data = reinterpret_cast<const std::uint8_t*>(c.data.data());
    ASSERT_TRUE(hmacSha256(key, c.key.size(), data, c.data.size(), mac));
    EXPECT_EQ(hex(mac, sizeof mac), c.mac) << c.data;
  }
}

// A measured datagram (time, trailer) with key 2's block.
TEST(AuthBlock, OnlyTheUnalteredDatagramUnderAKeyHeldIsValid) {
  const Key one{1, std::vector<std::uint8_t>(16, 0x11)};
  const Key two{2, std::vector<std::uint8_t>(32, 0x22)};
  const struct {
    int length, flip, bits;  // flip: the byte whose bits change, or -1
    std::vector<Key> keys;  // the receiver's
    AuthOutcome outcome;
  } cases[] = {
      {68, -1, 0, {one, two}, AuthOutcome::kValid},
      {68, -1, 0, {one}, AuthOutcome::kUnknownKey},
      {68, 0, 1, {one, two}, AuthOutcome::kWrongTag},     // the time
      {68, 40, 1, {one, two}, AuthOutcome::kWrongTag},    // the trailer
      {68, 67, 0x80, {one, two}, AuthOutcome::kWrongTag},  // the tag
      {68, 51, 3, {one, two}, AuthOutcome::kWrongTag},    // key 1's ID, key 2's tag
      {67, -1, 0, {one, two}, AuthOutcome::kUnknownKey},  // cut in the tag
      {35, -1, 0, {one, two}, AuthOutcome::kShortBlock},
      {16, -1, 0, {one, two}, AuthOutcome::kNoBlock},
  };
  for (const auto& c : cases) {
    std::uint8_t datagram[68];
    for (std::size_t i = 0; i < 48; ++i) datagram[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(writeAuthBlock(datagram, 48, two));
    // The ID, and HMAC-SHA-256 over the bytes before the tag, cut to 16 bytes.
    EXPECT_EQ(hex(datagram + 48, 20), "00000002931f3096588ed4c4995920d567b99bc6");
    if (c.flip >= 0) datagram[c.flip] ^= static_cast<std::uint8_t>(c.bits);
    EXPECT_EQ(verifyAuthBlock(datagram, c.length, c.keys), c.outcome) << c.flip;
  }
}

}  // namespace
}  // namespace stampcast
