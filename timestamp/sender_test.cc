#include "timestamp/sender.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fake_platform.h"
#include "timestamp/datagram.h"

namespace stampcast {
namespace {

std::string settings(const std::string& port, int wait) {
  return "\ndestAddress = 239.1.1.1\ndestPort    = " + port +
         "\ndscpValue   = 32\nttlValue    = 1\nwaitValue   = " +
         std::to_string(wait) + " ms\n\nSending...\n";
}

TEST(Sender, EachLineReportsTheDatagramSentJustBeforeIt) {
  FakePlatform platform;
  platform.sendsBeforeFailure = 2;
  LocalTime later = kExampleTime;
  later.milliseconds = 750;
  platform.times = {kExampleTime, later};
  RunConfig config;
  config.destPort = 65536 + 1234;  // cut to 16 bits on the wire only

  EXPECT_EQ(runSender(config, platform, 7), -1);

  EXPECT_EQ(platform.output,
            settings("66770", 500) +
                "Sent Time 14:05:30:250 on 03-17-2008 to: 239.1.1.1:66770 "
                "tos:32 ttl:1 seq:0\n"
                "Sent Time 14:05:30:750 on 03-17-2008 to: 239.1.1.1:66770 "
                "tos:32 ttl:1 seq:1\n"
                "\nError in Sending data on the socket - 10050");
  const SocketAddress group{kAddressFamilyInet, hostToNetwork16(1234),
                            inetAddr("239.1.1.1"), {}};
  const struct {
    SocketAddress to;
    TimestampDatagram datagram;
  } sent[] = {{group, encodeTimestamp(kExampleTime)},
              {group, encodeTimestamp(later)}};
  EXPECT_EQ(platform.given["sendTo"], bytesOf(sent));
}

TEST(Sender, WaitAndQuietShapeTheLoop) {
  const struct {
    int wait;
    bool verbose;
    std::string callsPerDatagram;
  } cases[] = {
      {500, true, "sendTo:4 sleepMilliseconds:500 "},
      {0, true, "sendTo:4 "},
      {-5, true, "sendTo:4 "},  // no pause rather than one of some 49 days
      {500, false, "sendTo:4 "},  // neither lines nor pauses
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.wait) + (c.verbose ? "" : " quiet"));
    FakePlatform platform;
    RunConfig config;
    config.waitValue = c.wait;
    config.verbose = c.verbose;
    EXPECT_EQ(runSender(config, platform, 7), -1);
    std::string calls = "setMulticastTtl:1 ";
    for (int sent = 0; sent < 3; ++sent) calls += c.callsPerDatagram;
    EXPECT_EQ(platform.calls, calls + "sendTo:4 cleanup ");
    // The settings come first in any case; the lines, when they come, count.
    EXPECT_EQ(platform.output.rfind(settings("1234", c.wait), 0), 0u);
    EXPECT_EQ(platform.output.find("Sent Time") != std::string::npos,
              c.verbose);
    EXPECT_EQ(platform.output.find("seq:2\n") != std::string::npos, c.verbose);
  }
}

TEST(Sender, FailedTtlClosesTheSocketOnly) {
  FakePlatform platform;
  platform.failures["setMulticastTtl"] = 10022;
  RunConfig config;
  config.ttlValue = 300;
  EXPECT_EQ(runSender(config, platform, 7), -1);
  EXPECT_EQ(platform.output, "Error: Setting TTL value: error - 10022\n");
  EXPECT_EQ(platform.calls, "setMulticastTtl:300 closeSocket ");
}

}  // namespace
}  // namespace stampcast
