#include "timestamp/report_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fake_platform.h"

namespace stampcast {
namespace {

// The counts are 64-bit so that a long run never wraps; no loop reaches
// these limits in a test. Other values are the datagram fuzz target's.
TEST(ReportLine, CountsBeyond32Bits) {
  char received[kReceivedLineCapacity];
  EXPECT_EQ(
      std::string(received,
                  formatReceivedLine(received, kExampleTime, INT64_MAX)),
      "Received Time 14:05:30:250 on 03-17-2008 seq:9223372036854775807\n");
  const std::string tail = sentLineTail(RunConfig{});
  std::vector<char> sent(sentLineCapacity(tail));
  EXPECT_EQ(std::string(sent.data(), formatSentLine(sent.data(), kExampleTime,
                                                    tail, INT64_MIN)),
            "Sent Time 14:05:30:250 on 03-17-2008 to: 239.1.1.1:1234 tos:32 "
            "ttl:1 seq:-9223372036854775808\n");
}

}  // namespace
}  // namespace stampcast
