#include "timestamp/datagram.h"

#include <gtest/gtest.h>

#include <vector>

namespace stampcast {
namespace {

// 17 March 2008 (a Monday), 14:05:30.250.
const LocalTime kExample{2008, 3, 1, 17, 14, 5, 30, 250};
const std::vector<std::uint8_t> kExampleBytes{
    0xD8, 0x07, 3, 0, 1, 0, 17, 0, 14, 0, 5, 0, 30, 0, 0xFA, 0};

void expectSameTime(const LocalTime& a, const LocalTime& b) {
  EXPECT_EQ(a.year, b.year);
  EXPECT_EQ(a.month, b.month);
  EXPECT_EQ(a.dayOfWeek, b.dayOfWeek);
  EXPECT_EQ(a.day, b.day);
  EXPECT_EQ(a.hour, b.hour);
  EXPECT_EQ(a.minute, b.minute);
  EXPECT_EQ(a.second, b.second);
  EXPECT_EQ(a.milliseconds, b.milliseconds);
}

TEST(TimestampDatagram, EncodesTheExampleLittleEndian) {
  const TimestampDatagram datagram = encodeTimestamp(kExample);
  EXPECT_EQ(std::vector<std::uint8_t>(datagram.bytes, datagram.bytes + 16),
            kExampleBytes);
}

TEST(TimestampDatagram, DecodesTheExample) {
  expectSameTime(decodeTimestamp(kExampleBytes.data()), kExample);
}

TEST(TimestampDatagram, EveryFieldKeepsItsPlaceAndBothBytes) {
  // Distinct high and low bytes per field catch swapped fields and bytes.
  const LocalTime wide{0x0102, 0x0304, 0x0506, 0x0708,
                       0x090A, 0x0B0C, 0x0D0E, 0xFFEE};
  const TimestampDatagram datagram = encodeTimestamp(wide);
  const std::vector<std::uint8_t> expected{2,   1,   4,   3,   6,    5,
                                           8,   7,   0xA, 9,   0xC,  0xB,
                                           0xE, 0xD, 0xEE, 0xFF};
  EXPECT_EQ(std::vector<std::uint8_t>(datagram.bytes, datagram.bytes + 16),
            expected);
  expectSameTime(decodeTimestamp(datagram.bytes), wide);
}

}  // namespace
}  // namespace stampcast
