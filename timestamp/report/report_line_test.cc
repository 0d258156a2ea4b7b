#include "timestamp/report/report_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using namespace stampcast;

static constexpr LocalTime kWidest{65535, 65535, 65535, 65535, 65535, 65535, 65535, 65535};
static const SocketAddress kFrom = ipv4SocketAddress(0x0100010a, 0x409c);  // 10.1.0.1:40000
static const SocketAddress kWidestFrom = ipv4SocketAddress(0xffffffff, 0xffff);

// What a measuring receiver tells of a datagram, and its text between the
// date and " seq:": an unknown field as "-", a delay from a trailer to the
// microsecond, one from the 16-byte time in whole milliseconds; the widest
// values of each field last.
static const std::pair<MeasuredFields, std::string> kMeasured[] = {
    {{kFrom, 46, 9, true, 1000}, " from: 10.1.0.1:40000 tos:46 ttl:9 delay:1ms"},
    {{kFrom, -1, -1, false}, " from: 10.1.0.1:40000 tos:- ttl:- delay:-"},
    {{kFrom, 0, 1, true, -5, true, true, 0, Order::kDuplicate},
     " from: 10.1.0.1:40000 tos:0 ttl:1 delay:-0.005ms sent:0 (duplicate)"},
    {{kWidestFrom, INT_MAX, INT_MAX, true, INT64_MIN, true, true, UINT64_MAX, Order::kLate},
     " from: 255.255.255.255:65535 tos:2147483647 ttl:2147483647"
     " delay:-9223372036854775.808ms sent:18446744073709551615 (out of order)"},
};

// Each line, with the widest date and count, goes into a buffer of just the
// size promised for it, where the sanitizer build sees any byte written past
// the end.
TEST(ReportLine, ReceivedLines) {
  std::vector<char> line(kReceivedLineCapacity);
  for (const auto& [measured, text] : kMeasured) {
    const std::size_t length = formatReceivedLine(line.data(), kWidest, INT64_MIN, &measured);
    EXPECT_EQ(std::string(line.data(), length),
              "Received Time 65535:65535:65535:65535 on 65535-65535-65535" + text +
                  " seq:-9223372036854775808\n");
  }
}
