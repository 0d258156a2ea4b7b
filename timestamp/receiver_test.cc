#include "timestamp/receiver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fake_platform.h"
#include "timestamp/datagram.h"

namespace stampcast {
namespace {

const LocalTime kExample{2008, 3, 1, 17, 14, 5, 30, 250};
const char kHeader[] =
    "\nSuccess: Binding the socket - 0"
    "\nSuccess: Joining Multicast Group - 0\n"
    "\ndestAddress = 239.1.1.1\n"
    "destPort    = 1234\n";
const char kEnd[] = "\nrecvfrom failed: 10004";

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
  config.destPort = 65536 + 9999;

  EXPECT_EQ(runReceiver(config, platform, 7), -1);

  EXPECT_EQ(platform.output,
            "\nSuccess: Binding the socket - 0"
            "\nSuccess: Joining Multicast Group - 0\n"
            "\ndestAddress = 239.1.1.1\n"
            "destPort    = 75535\n"
            "Update      = FALSE\n"
            "\nReceiving...\n"
            "Received Time 14:05:30:250 on 03-17-2008 seq:0\n"
            "Received Time 14:05:30:250 on 03-17-2008 seq:1\n" +
                std::string(kEnd));
  EXPECT_EQ(platform.bound.family, kAddressFamilyInet);
  EXPECT_EQ(platform.bound.port, hostToNetwork16(9999));
  EXPECT_EQ(platform.bound.address, 0u);
  EXPECT_EQ(platform.joined.group, inetAddr("239.1.1.1"));
  EXPECT_EQ(platform.joined.interfaceAddress, 0u);
  EXPECT_EQ(platform.calls,
            (std::vector<std::string>{"bindSocket", "joinGroup",
                                      "receiveFrom", "receiveFrom",
                                      "receiveFrom", "cleanup"}));
  EXPECT_TRUE(platform.clockSets.empty());
}

TEST(Receiver, BindOrJoinFailureIsReportedAndEndsTheRun) {
  const struct {
    const char* failing;
    const char* output;
    std::vector<std::string> calls;
  } cases[] = {
      {"bindSocket", "\nError: Binding the socket - 10048",
       {"bindSocket", "cleanup"}},
      {"joinGroup",
       "\nSuccess: Binding the socket - 0"
       "\nError: Joining Multicast Group - 10048",
       {"bindSocket", "joinGroup", "cleanup"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing);
    FakePlatform platform;
    platform.failures[c.failing] = 10048;
    platform.datagrams = {datagramOf(kExample)};
    EXPECT_EQ(runReceiver(RunConfig{}, platform, 7), -1);
    EXPECT_EQ(platform.output, c.output);
    EXPECT_EQ(platform.calls, c.calls);
  }
}

TEST(Receiver, ClockIsSetOnlyFromAWholePlausibleTimestamp) {
  LocalTime month13 = kExample;
  month13.month = 13;
  LocalTime february30 = kExample;
  february30.month = 2;
  february30.day = 30;
  const char kUpdated[] = "Time updated..\n";
  const char kInvalid[] = "Time not updated: invalid timestamp\n";
  const struct {
    const char* name;
    std::vector<std::uint8_t> datagram;
    int setResult;
    const char* line;
    std::string clockReport;
    bool clockSet;
  } cases[] = {
      {"whole", datagramOf(kExample), 0,
       "Received Time 14:05:30:250 on 03-17-2008 seq:1\n", kUpdated, true},
      {"refused by the clock", datagramOf(kExample), 1314,
       "Received Time 14:05:30:250 on 03-17-2008 seq:1\n",
       "Error: Setting local time - 1314\n", true},
      {"first 16 of 1000 bytes", datagramOf(kExample, 1000), 0,
       "Received Time 14:05:30:250 on 03-17-2008 seq:1\n", kUpdated, true},
      // The missing fields read as 0, not as the datagram before left them.
      {"8 bytes", datagramOf(kExample, 8), 0,
       "Received Time 00:00:00:000 on 03-17-2008 seq:1\n", kInvalid, false},
      {"empty", {}, 0, "Received Time 00:00:00:000 on 00-00-0 seq:1\n",
       kInvalid, false},
      {"month 13", datagramOf(month13), 0,
       "Received Time 14:05:30:250 on 13-17-2008 seq:1\n", kInvalid, false},
      {"30 February", datagramOf(february30), 0,
       "Received Time 14:05:30:250 on 02-30-2008 seq:1\n", kInvalid, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    LocalTime first = kExample;
    first.hour = 9;
    // A first datagram that fills the buffer; then the case; then another
    // to show that a refused clock does not end the run.
    platform.datagrams = {datagramOf(first, 100), c.datagram,
                          datagramOf(kExample)};
    platform.setLocalTimeResult = c.setResult;
    RunConfig config;
    config.update = true;

    EXPECT_EQ(runReceiver(config, platform, 7), -1);

    const std::string clockReport =
        c.setResult == 0 ? kUpdated : "Error: Setting local time - 1314\n";
    EXPECT_EQ(platform.output,
              std::string(kHeader) + "Update      = TRUE\n\nReceiving...\n" +
                  "Received Time 09:05:30:250 on 03-17-2008 seq:0\n" +
                  clockReport + c.line + c.clockReport +
                  "Received Time 14:05:30:250 on 03-17-2008 seq:2\n" +
                  clockReport + kEnd);
    EXPECT_EQ(platform.clockSets.size(), c.clockSet ? 3u : 2u);
    if (c.clockSet) {
      EXPECT_EQ(platform.clockSets[1].hour, 14);
      EXPECT_EQ(platform.clockSets[1].milliseconds, 250);
    }
  }
}

}  // namespace
}  // namespace stampcast
