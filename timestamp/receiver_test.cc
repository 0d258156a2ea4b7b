#include "timestamp/receiver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/fake_platform.h"
#include "timestamp/datagram.h"

namespace stampcast {
namespace {

const LocalTime kExample{2008, 3, 1, 17, 14, 5, 30, 250};
const char kBound[] =
    "\nSuccess: Binding the socket - 0"
    "\nSuccess: Joining Multicast Group - 0\n"
    "\ndestAddress = 239.1.1.1\n";

std::vector<std::uint8_t> datagramOf(const LocalTime& time,
                                     std::size_t size = 16) {
  const TimestampDatagram datagram = encodeTimestamp(time);
  std::vector<std::uint8_t> bytes(datagram.bytes, datagram.bytes + 16);
  bytes.resize(size, 0xAB);
  return bytes;
}

TEST(Receiver, BindsJoinsAndReportsUntilAReceiveFails) {
  FakePlatform platform;
  platform.datagrams = {datagramOf(kExample), datagramOf(kExample)};
  RunConfig config;
  config.destPort = 65536 + 9999;  // cut to 16 bits on the wire only

  EXPECT_EQ(runReceiver(config, platform, 7), -1);

  EXPECT_EQ(platform.output,
            std::string(kBound) + "destPort    = 75535\nUpdate      = FALSE\n"
            "\nReceiving...\n"
            "Received Time 14:05:30:250 on 03-17-2008 seq:0\n"
            "Received Time 14:05:30:250 on 03-17-2008 seq:1\n"
            "\nrecvfrom failed: 10004");
  const SocketAddress any{kAddressFamilyInet, hostToNetwork16(9999), 0, {}};
  EXPECT_EQ(std::memcmp(&platform.bound, &any, sizeof any), 0);
  EXPECT_EQ(platform.joined.group, inetAddr("239.1.1.1"));
  EXPECT_EQ(platform.joined.interfaceAddress, 0u);
  EXPECT_EQ(platform.calls.back(), "cleanup");
  EXPECT_TRUE(platform.clockSets.empty());
}

TEST(Receiver, BindOrJoinFailureIsReportedAndEndsTheRun) {
  for (const std::string failing : {"bindSocket", "joinGroup"}) {
    FakePlatform platform;
    platform.failures[failing] = 10048;
    platform.datagrams = {datagramOf(kExample)};
    EXPECT_EQ(runReceiver(RunConfig{}, platform, 7), -1);
    EXPECT_EQ(platform.output,
              failing == "bindSocket"
                  ? "\nError: Binding the socket - 10048"
                  : "\nSuccess: Binding the socket - 0"
                    "\nError: Joining Multicast Group - 10048");
    EXPECT_EQ(platform.calls.back(), "cleanup");
    EXPECT_EQ(platform.datagrams.size(), 1u);  // nothing was received
  }
}

TEST(Receiver, ClockIsSetOnlyFromAWholePlausibleTimestamp) {
  LocalTime month13 = kExample, february30 = kExample, first = kExample;
  month13.month = 13;
  february30.month = 2;
  february30.day = 30;
  first.hour = 9;
  const std::string kUpdated = "Time updated..\n";
  const std::string kInvalid = "Time not updated: invalid timestamp\n";
  const std::string kRefused = "Error: Setting local time - 1314\n";
  const struct {
    const char* name;
    std::vector<std::uint8_t> datagram;
    int setResult;
    std::string lines;  // the report of this datagram
  } cases[] = {
      {"whole", datagramOf(kExample), 0,
       "Received Time 14:05:30:250 on 03-17-2008 seq:1\n" + kUpdated},
      {"refused by the clock", datagramOf(kExample), 1314,
       "Received Time 14:05:30:250 on 03-17-2008 seq:1\n" + kRefused},
      {"first 16 of 1000 bytes", datagramOf(kExample, 1000), 0,
       "Received Time 14:05:30:250 on 03-17-2008 seq:1\n" + kUpdated},
      // The missing fields read as 0, not as the datagram before left them.
      {"8 bytes", datagramOf(kExample, 8), 0,
       "Received Time 00:00:00:000 on 03-17-2008 seq:1\n" + kInvalid},
      {"empty", {}, 0,
       "Received Time 00:00:00:000 on 00-00-0 seq:1\n" + kInvalid},
      {"month 13", datagramOf(month13), 0,
       "Received Time 14:05:30:250 on 13-17-2008 seq:1\n" + kInvalid},
      {"30 February", datagramOf(february30), 0,
       "Received Time 14:05:30:250 on 02-30-2008 seq:1\n" + kInvalid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    // A first datagram that fills the buffer; then the case; then another
    // to show that a refused clock does not end the run.
    platform.datagrams = {datagramOf(first, 100), c.datagram,
                          datagramOf(kExample)};
    if (c.setResult != 0) platform.failures["setLocalTime"] = c.setResult;
    RunConfig config;
    config.update = true;

    EXPECT_EQ(runReceiver(config, platform, 7), -1);

    const std::string& report = c.setResult == 0 ? kUpdated : kRefused;
    EXPECT_EQ(platform.output,
              kBound + std::string("destPort    = 1234\nUpdate      = TRUE\n") +
                  "\nReceiving...\n"
                  "Received Time 09:05:30:250 on 03-17-2008 seq:0\n" + report +
                  c.lines + "Received Time 14:05:30:250 on 03-17-2008 seq:2\n" +
                  report + "\nrecvfrom failed: 10004");
    std::vector<int> hours;  // of the times the clock was given
    for (const LocalTime& time : platform.clockSets) hours.push_back(time.hour);
    EXPECT_EQ(hours, c.lines.find(kInvalid) == std::string::npos
                         ? std::vector<int>({9, 14, 14})
                         : std::vector<int>({9, 14}));
  }
}

}  // namespace
}  // namespace stampcast
