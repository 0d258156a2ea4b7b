#include "timestamp/sender.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/fake_platform.h"
#include "timestamp/datagram.h"

namespace stampcast {
namespace {

std::string settingsAnd(int port, int wait) {
  return "\ndestAddress = 239.1.1.1\ndestPort    = " + std::to_string(port) +
         "\ndscpValue   = 32\nttlValue    = 1\nwaitValue   = " +
         std::to_string(wait) + " ms\n\nSending...\n";
}

std::vector<std::uint8_t> bytesOf(const LocalTime& time) {
  const TimestampDatagram datagram = encodeTimestamp(time);
  return std::vector<std::uint8_t>(datagram.bytes, datagram.bytes + 16);
}

TEST(Sender, SendsReportsAndPausesUntilASendFails) {
  FakePlatform platform;
  platform.sendsBeforeFailure = 2;
  platform.sendError = 10051;
  // Each line must show the time of the datagram sent just before it.
  LocalTime second = platform.now;
  second.milliseconds = 750;
  platform.times = {platform.now, second};
  RunConfig config;
  config.destPort = 65536 + 1234;  // cut to 16 bits on the wire only

  EXPECT_EQ(runSender(config, platform, 7), -1);

  EXPECT_EQ(platform.output,
            settingsAnd(66770, 500) +
                "Sent Time 14:05:30:250 on 03-17-2008 to: 239.1.1.1:66770 "
                "tos:32 ttl:1 seq:0\n"
                "Sent Time 14:05:30:750 on 03-17-2008 to: 239.1.1.1:66770 "
                "tos:32 ttl:1 seq:1\n"
                "\nError in Sending data on the socket - 10051");
  EXPECT_EQ(platform.ttlSet, 1);
  EXPECT_EQ(platform.sent, (std::vector<std::vector<std::uint8_t>>{
                               bytesOf(platform.now), bytesOf(second)}));
  const SocketAddress group{kAddressFamilyInet, hostToNetwork16(1234),
                            inetAddr("239.1.1.1"), {}};
  EXPECT_EQ(std::memcmp(&platform.sentTo, &group, sizeof group), 0);
  EXPECT_EQ(platform.sendFlags, kSendDontRoute);
  EXPECT_EQ(platform.calls,
            (std::vector<std::string>{
                "setMulticastTtl", "getLocalTime", "sendTo",
                "sleepMilliseconds", "getLocalTime", "sendTo",
                "sleepMilliseconds", "getLocalTime", "sendTo", "cleanup"}));
}

TEST(Sender, WaitQuietAndFailuresShapeTheRun) {
  const struct {
    const char* name;
    int waitValue;
    bool verbose;
    int sends;  // before the failing one
    std::vector<std::uint32_t> sleeps;
  } cases[] = {
      {"default wait", 500, true, 3, {500, 500, 500}},
      {"no wait", 0, true, 3, {}},
      {"negative wait: no pause", -5, true, 3, {}},
      {"quiet", 500, false, 3, {}},
      {"first send fails", 500, true, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    platform.sendsBeforeFailure = c.sends;
    RunConfig config;
    config.waitValue = c.waitValue;
    config.verbose = c.verbose;
    EXPECT_EQ(runSender(config, platform, 7), -1);
    EXPECT_EQ(platform.sent.size(), static_cast<std::size_t>(c.sends));
    EXPECT_EQ(platform.sleeps, c.sleeps);
    std::string expected = settingsAnd(1234, c.waitValue);
    for (int seq = 0; c.verbose && seq < c.sends; ++seq) {
      expected += "Sent Time 14:05:30:250 on 03-17-2008 to: 239.1.1.1:1234 "
                  "tos:32 ttl:1 seq:" + std::to_string(seq) + "\n";
    }
    EXPECT_EQ(platform.output,
              expected + "\nError in Sending data on the socket - 10050");
  }
}

TEST(Sender, FailedTtlClosesTheSocketOnly) {
  FakePlatform platform;
  platform.failures["setMulticastTtl"] = 10022;
  RunConfig config;
  config.ttlValue = 300;
  EXPECT_EQ(runSender(config, platform, 7), -1);
  EXPECT_EQ(platform.ttlSet, 300);
  EXPECT_EQ(platform.output, "Error: Setting TTL value: error - 10022\n");
  EXPECT_EQ(platform.calls,
            (std::vector<std::string>{"setMulticastTtl", "closeSocket"}));
}

}  // namespace
}  // namespace stampcast
