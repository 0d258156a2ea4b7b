#include "timestamp/datagram.h"

#include <gtest/gtest.h>

#include "tests/fake_platform.h"

namespace stampcast {
namespace {

// Every field differs, so a swapped field or byte shows; the round trip of
// any 16 bytes is the datagram fuzz target's.
TEST(TimestampDatagram, ExampleTravelsLittleEndianBothWays) {
  const Bytes bytes = {0xD8, 0x07, 3, 0, 1, 0, 17, 0,
                       14,   0,    5, 0, 30, 0, 0xFA, 0};
  EXPECT_EQ(bytesOf(encodeTimestamp(kExampleTime)), bytes);
  EXPECT_EQ(bytesOf(decodeTimestamp(bytes.data())), bytesOf(kExampleTime));
}

}  // namespace
}  // namespace stampcast
