#include "timestamp/report_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace stampcast {
namespace {

TEST(ReportLine, DecimalMatchesPrintf) {
  const std::uint64_t values[] = {0,          7,          10,
                                  999,        65535,      2147483647ULL,
                                  2147483648ULL, 4294967296ULL,
                                  std::numeric_limits<std::uint64_t>::max()};
  for (const std::uint64_t value : values) {
    for (const int width : {1, 2, 3}) {
      char expected[32];
      std::snprintf(expected, sizeof expected, "%0*llu", width,
                    static_cast<unsigned long long>(value));
      char out[32];
      const char* end = writeDecimal(out, value, width);
      const char* begin = out;
      EXPECT_EQ(std::string(begin, end), expected) << value << " " << width;
    }
  }
}

TEST(ReportLine, ReceivedLineWithCountsPast32Bits) {
  const LocalTime time{2008, 3, 1, 17, 14, 5, 30, 250};
  const struct {
    std::int64_t seq;
    const char* expected;
  } cases[] = {
      {0, "Received Time 14:05:30:250 on 03-17-2008 seq:0\n"},
      {2147483648LL, "Received Time 14:05:30:250 on 03-17-2008 seq:2147483648\n"},
      {std::numeric_limits<std::int64_t>::max(),
       "Received Time 14:05:30:250 on 03-17-2008 seq:9223372036854775807\n"},
  };
  for (const auto& c : cases) {
    char line[kReceivedLineCapacity];
    EXPECT_EQ(std::string(line, formatReceivedLine(line, time, c.seq)),
              c.expected);
  }
}

TEST(ReportLine, ReceivedYearHasNoMinimumWidthAndLargestFieldsFit) {
  char line[kReceivedLineCapacity];
  const LocalTime early{5, 1, 0, 2, 3, 4, 5, 6};
  EXPECT_EQ(std::string(line, formatReceivedLine(line, early, 1)),
            "Received Time 03:04:05:006 on 01-02-5 seq:1\n");
  const LocalTime most{65535, 65535, 65535, 65535,
                       65535, 65535, 65535, 65535};
  EXPECT_EQ(std::string(line, formatReceivedLine(line, most, -1)),
            "Received Time 65535:65535:65535:65535 on 65535-65535-65535 "
            "seq:-1\n");
}

TEST(ReportLine, SentLineWithAnyAddressFitsItsCapacity) {
  RunConfig config;
  const std::string longAddress(300, 'x');
  for (const char* address : {"239.1.1.1", "", longAddress.c_str()}) {
    config.destAddress = address;
    const std::string tail = sentLineTail(config);
    const LocalTime most{65535, 65535, 65535, 65535,
                         65535, 65535, 65535, 65535};
    std::vector<char> line(sentLineCapacity(tail));
    const std::size_t length = formatSentLine(
        line.data(), most, tail, std::numeric_limits<std::int64_t>::min());
    EXPECT_LE(length, line.size());
    EXPECT_EQ(std::string(line.data(), length),
              "Sent Time 65535:65535:65535:65535 on 65535-65535-65535 to: " +
                  std::string(address) +
                  ":1234 tos:32 ttl:1 seq:-9223372036854775808\n");
  }
  const LocalTime early{5, 1, 0, 2, 3, 4, 5, 6};
  config.destAddress = "239.1.1.1";
  std::vector<char> line(sentLineCapacity(sentLineTail(config)));
  EXPECT_EQ(std::string(line.data(), formatSentLine(line.data(), early,
                                                    sentLineTail(config), 0)),
            "Sent Time 03:04:05:006 on 01-02-05 to: 239.1.1.1:1234 tos:32 "
            "ttl:1 seq:0\n");
}

}  // namespace
}  // namespace stampcast
