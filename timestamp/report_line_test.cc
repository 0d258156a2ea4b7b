#include "timestamp/report_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace stampcast {
namespace {

// The widest fields and the 64-bit count limits, which no loop reaches in a
// test, each written into exactly the room its writer asks for.
TEST(ReportLine, WidestFieldsAndCountsBeyond32BitsFit) {
  const LocalTime most{65535, 65535, 65535, 65535, 65535, 65535, 65535, 65535};
  char received[kReceivedLineCapacity];
  EXPECT_EQ(std::string(received,
                        formatReceivedLine(
                            received, most,
                            std::numeric_limits<std::int64_t>::max())),
            "Received Time 65535:65535:65535:65535 on 65535-65535-65535 "
            "seq:9223372036854775807\n");

  const std::string address(300, 'x');
  RunConfig config;
  config.destAddress = address.c_str();
  config.destPort = config.dscpValue = config.ttlValue =
      std::numeric_limits<int>::min();
  const std::string tail = sentLineTail(config);
  std::vector<char> sent(sentLineCapacity(tail));
  const std::size_t length = formatSentLine(
      sent.data(), most, tail, std::numeric_limits<std::int64_t>::min());
  ASSERT_LE(length, sent.size());
  EXPECT_EQ(std::string(sent.data(), length),
            "Sent Time 65535:65535:65535:65535 on 65535-65535-65535 to: " +
                address +
                ":-2147483648 tos:-2147483648 ttl:-2147483648 "
                "seq:-9223372036854775808\n");
}

}  // namespace
}  // namespace stampcast
