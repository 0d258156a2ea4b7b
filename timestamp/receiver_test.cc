#include "timestamp/receiver.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fake_platform.h"
#include "timestamp/datagram.h"

namespace stampcast {
namespace {

const std::string kBound =
    "\nSuccess: Binding the socket - 0"
    "\nSuccess: Joining Multicast Group - 0\n"
    "\ndestAddress = 239.1.1.1\n";
const std::string kExampleLine =
    "Received Time 14:05:30:250 on 03-17-2008 seq:";

Bytes datagramOf(const LocalTime& time, std::size_t size = 16) {
  Bytes bytes = bytesOf(encodeTimestamp(time));
  bytes.resize(size, 0xAB);
  return bytes;
}

TEST(Receiver, BindsJoinsAndReportsUntilAReceiveFails) {
  FakePlatform platform;
  platform.datagrams = {datagramOf(kExampleTime), datagramOf(kExampleTime)};
  RunConfig config;
  config.destPort = 65536 + 9999;  // cut to 16 bits on the wire only

  EXPECT_EQ(runReceiver(config, platform, 7), -1);

  EXPECT_EQ(platform.output, kBound +
                                 "destPort    = 75535\nUpdate      = FALSE\n"
                                 "\nReceiving...\n" +
                                 kExampleLine + "0\n" + kExampleLine +
                                 "1\n\nrecvfrom failed: 10004");
  const SocketAddress any{kAddressFamilyInet, hostToNetwork16(9999), 0, {}};
  EXPECT_EQ(platform.given["bindSocket"], bytesOf(any));
  EXPECT_EQ(platform.given["joinGroup"],
            bytesOf(MulticastMembership{inetAddr("239.1.1.1"), 0}));
  EXPECT_EQ(
      platform.calls,
      "bindSocket joinGroup receiveFrom receiveFrom receiveFrom cleanup ");
}

TEST(Receiver, BindOrJoinFailureIsReportedAndEndsTheRun) {
  for (const std::string failing : {"bindSocket", "joinGroup"}) {
    FakePlatform platform;
    platform.failures[failing] = 10048;
    EXPECT_EQ(runReceiver(RunConfig{}, platform, 7), -1);
    EXPECT_EQ(platform.output + platform.calls,
              failing == "bindSocket"
                  ? "\nError: Binding the socket - 10048bindSocket cleanup "
                  : "\nSuccess: Binding the socket - 0"
                    "\nError: Joining Multicast Group - 10048"
                    "bindSocket joinGroup cleanup ");
  }
}

// Which datagrams may reach the clock at all is also the receiver fuzz
// target's; these are the named cases and the reports.
TEST(Receiver, ClockIsSetOnlyFromAWholePlausibleTimestamp) {
  LocalTime month13 = kExampleTime;
  month13.month = 13;
  const LocalTime set[] = {{2008, 3, 1, 17, 9, 5, 30, 250}, kExampleTime};
  const std::string kUpdated = "Time updated..\n";
  const std::string kInvalid = "Time not updated: invalid timestamp\n";
  const std::string kRefused = "Error: Setting local time - 1314\n";
  const struct {
    Bytes datagram;
    std::uint32_t setResult;
    std::size_t clockSets;  // that succeeded
    std::string lines;      // the report of this datagram
  } cases[] = {
      {datagramOf(kExampleTime), 0, 2, kExampleLine + "1\n" + kUpdated},
      {datagramOf(kExampleTime), 1314, 0, kExampleLine + "1\n" + kRefused},
      {datagramOf(kExampleTime, 1000), 0, 2, kExampleLine + "1\n" + kUpdated},
      // The missing fields read as 0, not as the datagram before left them.
      {datagramOf(kExampleTime, 8), 0, 1,
       "Received Time 00:00:00:000 on 03-17-2008 seq:1\n" + kInvalid},
      {datagramOf(month13), 0, 1,
       "Received Time 14:05:30:250 on 13-17-2008 seq:1\n" + kInvalid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    FakePlatform platform;
    // A first datagram that fills the buffer, then the case.
    platform.datagrams = {datagramOf(set[0], 100), c.datagram};
    if (c.setResult != 0) platform.failures["setLocalTime"] = c.setResult;
    RunConfig config;
    config.update = true;

    EXPECT_EQ(runReceiver(config, platform, 7), -1);

    EXPECT_EQ(platform.output,
              kBound +
                  "destPort    = 1234\nUpdate      = TRUE\n\nReceiving...\n"
                  "Received Time 09:05:30:250 on 03-17-2008 seq:0\n" +
                  (c.setResult == 0 ? kUpdated : kRefused) + c.lines +
                  "\nrecvfrom failed: 10004");
    EXPECT_EQ(platform.given["setLocalTime"],
              bytesOf(set, c.clockSets * sizeof(LocalTime)));
  }
}

}  // namespace
}  // namespace stampcast
