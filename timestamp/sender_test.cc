#include "timestamp/sender.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fake_platform.h"
#include "timestamp/datagram.h"

namespace stampcast {
namespace {

const char kSettings[] =
    "\ndestAddress = 239.1.1.1\n"
    "destPort    = 1234\n"
    "dscpValue   = 32\n"
    "ttlValue    = 1\n"
    "waitValue   = 500 ms\n"
    "\nSending...\n";
const char kLine[] =
    "Sent Time 14:05:30:250 on 03-17-2008 to: 239.1.1.1:1234 tos:32 ttl:1 "
    "seq:";

std::vector<std::uint8_t> bytesOf(const LocalTime& time) {
  const TimestampDatagram datagram = encodeTimestamp(time);
  return std::vector<std::uint8_t>(datagram.bytes, datagram.bytes + 16);
}

TEST(Sender, SendsReportsAndPausesUntilASendFails) {
  FakePlatform platform;
  platform.sendsBeforeFailure = 2;
  platform.failures["sendTo"] = 10051;
  // Each line must show the time of the datagram sent just before it.
  LocalTime second = platform.now;
  second.milliseconds = 750;
  platform.times = {platform.now, second};
  const RunConfig config;

  EXPECT_EQ(runSender(config, platform, 7), -1);

  EXPECT_EQ(platform.output,
            std::string(kSettings) + kLine + "0\n" +
                "Sent Time 14:05:30:750 on 03-17-2008 to: 239.1.1.1:1234 "
                "tos:32 ttl:1 seq:1\n" +
                "\nError in Sending data on the socket - 10051");
  EXPECT_EQ(platform.ttlSet, 1);
  EXPECT_EQ(platform.sent, (std::vector<std::vector<std::uint8_t>>{
                               bytesOf(platform.now), bytesOf(second)}));
  EXPECT_EQ(platform.sentTo.family, kAddressFamilyInet);
  EXPECT_EQ(platform.sentTo.port, hostToNetwork16(1234));
  EXPECT_EQ(platform.sentTo.address, inetAddr("239.1.1.1"));
  EXPECT_EQ(std::string(platform.sentTo.zero, platform.sentTo.zero + 8),
            std::string(8, '\0'));
  EXPECT_EQ(platform.sendFlags, kSendDontRoute);
  EXPECT_EQ(platform.calls,
            (std::vector<std::string>{
                "setMulticastTtl", "getLocalTime", "sendTo",
                "sleepMilliseconds", "getLocalTime", "sendTo",
                "sleepMilliseconds", "getLocalTime", "sendTo", "cleanup"}));
  EXPECT_EQ(platform.sleeps, (std::vector<std::uint32_t>{500, 500}));
}

TEST(Sender, NothingIsReportedBeforeTheSend) {
  FakePlatform platform;
  platform.sendsBeforeFailure = 0;
  platform.failures["sendTo"] = 10065;
  EXPECT_EQ(runSender(RunConfig{}, platform, 7), -1);
  EXPECT_EQ(platform.output, std::string(kSettings) +
                                 "\nError in Sending data on the socket - "
                                 "10065");
}

TEST(Sender, WaitAndQuietShapeTheLoop) {
  const struct {
    const char* name;
    int waitValue;
    bool verbose;
    int lines;  // of three datagrams sent
    std::vector<std::uint32_t> sleeps;
  } cases[] = {
      {"default wait", 500, true, 3, {500, 500, 500}},
      {"no wait", 0, true, 3, {}},
      {"negative wait", -5, true, 3, {}},
      {"quiet", 500, false, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    platform.sendsBeforeFailure = 3;
    RunConfig config;
    config.waitValue = c.waitValue;
    config.verbose = c.verbose;
    EXPECT_EQ(runSender(config, platform, 7), -1);
    EXPECT_EQ(platform.sent.size(), 3u);
    EXPECT_EQ(platform.sleeps, c.sleeps);
    std::string lines;
    for (int seq = 0; seq < c.lines; ++seq) {
      lines += std::string(kLine) + std::to_string(seq) + "\n";
    }
    std::string settings = kSettings;
    settings.replace(settings.find("500"), 3, std::to_string(c.waitValue));
    EXPECT_EQ(platform.output, settings + lines +
                                   "\nError in Sending data on the socket - "
                                   "10050");
  }
}

TEST(Sender, PortIsCutTo16Bits) {
  FakePlatform platform;
  platform.sendsBeforeFailure = 0;
  RunConfig config;
  config.destPort = 65536 + 1234;
  runSender(config, platform, 7);
  EXPECT_EQ(platform.sentTo.port, hostToNetwork16(1234));
  EXPECT_NE(platform.output.find("destPort    = 66770\n"), std::string::npos);
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
