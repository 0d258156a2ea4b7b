#include "timestamp/receiver.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fake_platform.h"
#include "timestamp/datagram.h"

namespace stampcast {
namespace {

Bytes datagramOf(const LocalTime& time, std::size_t size = 16) {
  Bytes bytes = bytesOf(encodeTimestamp(time));
  bytes.resize(size, 0xAB);
  return bytes;
}

// Only a whole timestamp that forms a calendar time reaches the clock; each
// outcome of the clock's setting has its report, and the receiver goes on.
TEST(Receiver, ClockIsSetOnlyFromAWholePlausibleTimestamp) {
  LocalTime month13 = kExampleTime, february30 = kExampleTime;
  month13.month = 13;
  february30.month = 2;
  february30.day = 30;
  const LocalTime first{2008, 3, 1, 17, 9, 5, 30, 250};
  const std::string kLine = "Received Time 14:05:30:250 on 03-17-2008 seq:1\n";
  const std::string kUpdated = "Time updated..\n";
  const std::string kInvalid = "Time not updated: invalid timestamp\n";
  const struct {
    Bytes datagram;
    std::uint32_t setResult;
    bool setsClock;
    std::string report;
  } cases[] = {
      {datagramOf(kExampleTime), 0, true, kLine + kUpdated},
      {datagramOf(kExampleTime, 1000), 0, true, kLine + kUpdated},
      {datagramOf(kExampleTime), 1314, false,
       kLine + "Error: Setting local time - 1314\n"},
      // The missing fields read as 0, not as the datagram before left them.
      {datagramOf(kExampleTime, 8), 0, false,
       "Received Time 00:00:00:000 on 03-17-2008 seq:1\n" + kInvalid},
      {datagramOf(month13), 0, false,
       "Received Time 14:05:30:250 on 13-17-2008 seq:1\n" + kInvalid},
      {datagramOf(february30), 0, false,
       "Received Time 14:05:30:250 on 02-30-2008 seq:1\n" + kInvalid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.report);
    FakePlatform platform;
    // A first datagram that fills the buffer, then the case.
    platform.datagrams = {datagramOf(first, 100), c.datagram};
    platform.failures["setLocalTime"] = c.setResult;
    RunConfig config;
    config.update = true;
    EXPECT_EQ(runReceiver(config, platform, 7), -1);
    const std::string head = "Received Time 09:05:30:250 on 03-17-2008 seq:0\n";
    const std::size_t at = platform.output.find(head);
    ASSERT_NE(at, std::string::npos);
    const std::string firstReport =
        c.setResult == 0 ? kUpdated : "Error: Setting local time - 1314\n";
    EXPECT_EQ(platform.output.substr(at),
              head + firstReport + c.report + "\nrecvfrom failed: 10004");
    Bytes set = c.setResult == 0 ? bytesOf(first) : Bytes{};
    if (c.setsClock) {
      const Bytes example = bytesOf(kExampleTime);
      set.insert(set.end(), example.begin(), example.end());
    }
    EXPECT_EQ(platform.given["setLocalTime"], set);
  }
}

}  // namespace
}  // namespace stampcast
