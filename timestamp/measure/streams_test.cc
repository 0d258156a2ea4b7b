#include "timestamp/measure/streams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>

#include "timestamp/report/text_report.h"

using namespace stampcast;

// 10.1.0.1:40000, address and port in network order.
static const SocketAddress kFrom = ipv4SocketAddress(0x0100010a, 0x409c);

// A stream's numbers as they came ("d" marks a duplicate, "o" one out of
// order) and its line. The window holds the last 4096 numbers:
// an older one, or one below the first heard, is late only, and a place the
// window moved past holds no number.
static const std::pair<const char*, const char*> kRuns[] = {
    {"0 1 3 6", "4 received, 3 lost (42.86%), 0 duplicates, 0 out of order"},
    {"0 2 1o 3 3d 3d", "6 received, 0 lost (0.00%), 2 duplicates, 1 out of order"},
    {"5 6 4o", "3 received, 0 lost (0.00%), 0 duplicates, 1 out of order"},
    {"0 63 4158 63d 62o", "5 received, 4156 lost (99.93%), 1 duplicate, 1 out of order"},
    {"0 5000 1o 5000d 904o 905o", "6 received, 4998 lost (99.94%), 1 duplicate, 3 out of order"},
};

TEST(StreamTable, CountsGapsDuplicatesAndReorderingInItsWindow) {
  for (const auto& [numbers, line] : kRuns) {
    ReceiverStatistics stats;
    StreamTable& table = stats.streams;
    std::istringstream words(numbers);
    for (std::string n; words >> n;) {
      Order order = Order::kNext;
      if (n.back() == 'd') order = Order::kDuplicate;
      if (n.back() == 'o') order = Order::kLate;
      EXPECT_EQ(table.count(kFrom, 1, std::stoull(n)), order) << numbers << ": " << n;
    }
    const std::string text = summaryText(stats, RunConfig{});
    EXPECT_EQ(text.substr(text.find("\nfrom ") + 1), "from 10.1.0.1:40000: " + std::string(line) + ", jitter 0.000 ms\n");
  }
}

// A sender started again draws a new run: a stream of its own, each in its
// order, the others' numbers no duplicates of its own. Past 1024 streams a
// new one is not followed, and those followed go on.
TEST(StreamTable, ARestartIsANewStreamAndTheTableStaysBounded) {
  StreamTable table;
  for (std::uint64_t run = 0; run < StreamTable::kMaxStreams; ++run) {
    EXPECT_EQ(table.count(kFrom, run, run), Order::kNext);
  }
  EXPECT_EQ(table.count(kFrom, 1, 1), Order::kDuplicate);
  EXPECT_EQ(table.count(kFrom, StreamTable::kMaxStreams, 0), Order::kUntracked);
  EXPECT_EQ(table.count(kFrom, 1023, 1025), Order::kNext);
  EXPECT_EQ(table.lost(), 1u);
}

// A stream longer than the window: each place has held an older number,
// which the window forgets as it moves on, so a late datagram after the
// wrap reads as out of order, never as a repeat of that older number.
TEST(StreamTable, ALateDatagramAfterTheWindowWrapsIsOutOfOrder) {
  StreamTable table;
  for (std::uint64_t number = 0; number < 3 * StreamTable::kWindow; ++number) {
    if (number % 1000 != 999) table.count(kFrom, 1, number);
  }
  for (std::uint64_t number = 8999; number < 3 * StreamTable::kWindow; number += 1000) {
    EXPECT_EQ(table.count(kFrom, 1, number), Order::kLate) << number;  // 8999 to 11999
  }
}
