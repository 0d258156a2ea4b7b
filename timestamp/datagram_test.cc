#include "timestamp/datagram.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace stampcast {
namespace {

TEST(TimestampDatagram, FieldsTravelLittleEndianInTheirPlaces) {
  const struct {
    LocalTime time;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      // 17 March 2008 (a Monday), 14:05:30.250.
      {{2008, 3, 1, 17, 14, 5, 30, 250},
       {0xD8, 0x07, 3, 0, 1, 0, 17, 0, 14, 0, 5, 0, 30, 0, 0xFA, 0}},
      // Distinct high and low bytes catch swapped fields and bytes.
      {{0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C, 0x0D0E, 0xFFEE},
       {2, 1, 4, 3, 6, 5, 8, 7, 0xA, 9, 0xC, 0xB, 0xE, 0xD, 0xEE, 0xFF}},
  };
  for (const auto& c : cases) {
    const TimestampDatagram encoded = encodeTimestamp(c.time);
    EXPECT_EQ(std::vector<std::uint8_t>(encoded.bytes, encoded.bytes + 16),
              c.bytes);
    const LocalTime decoded = decodeTimestamp(c.bytes.data());
    EXPECT_EQ(std::memcmp(&decoded, &c.time, sizeof decoded), 0);
  }
}

}  // namespace
}  // namespace stampcast
