// The Linux receiver under a flood of hostile datagrams from the peer:
// random sizes up to the largest UDP payload, random content, timestamps
// cut short or a field past the calendar's edge. It must keep running,
// report every datagram the kernel delivered with the fields of its first
// 16 bytes, keep its memory flat, and with -u (only ever inside a user
// namespace, where setting the clock fails) try the clock only for whole,
// valid timestamps. STAMPCAST_HOSTILE_SEED replays another seed.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/netns.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {
namespace {

constexpr int kDatagrams = 20000;
// The receiver allocates nothing per datagram. The room is for a sanitizer
// build with -u, whose quarantine holds what the C library takes and frees
// while the clock is set (about 200 kB).
constexpr long kRssSlackKb = 512;

std::string seed() {
  const char* chosen = std::getenv("STAMPCAST_HOSTILE_SEED");
  return chosen != nullptr && *chosen != '\0' ? chosen : "20240917";
}

// Datagrams the UDP layer of `netns` delivered to a socket.
long long delivered(const std::string& netns) {
  const std::vector<std::string> rows =
      linesStartingWith(run({{"cat", "/proc/net/snmp"}, netns}).output, "Udp: ");
  if (rows.size() != 2) return -1;
  std::istringstream names(rows[0]), values(rows[1]);
  std::string name;
  names >> name, values >> name;  // "Udp:"
  for (long long value; names >> name && values >> value;) {
    if (name == "InDatagrams") return value;
  }
  return -1;
}

long residentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// The peer logs "<size> <V|I> h m s ms month day year" per datagram; each
// must come out as its report line and, with -u, the clock's verdict.
void expectReports(const std::string& log, const std::string& output, bool update) {
  std::istringstream sent(log), heard(output.substr(output.find("\nReceiving...\n") + 14));
  std::string line, report, verdict;
  int i = 0;
  for (; std::getline(sent, line); ++i) {
    std::size_t size;
    char kind;
    unsigned hour, minute, second, ms, month, day, year;
    ASSERT_EQ(std::sscanf(line.c_str(), "%zu %c %u %u %u %u %u %u %u", &size, &kind, &hour,
                          &minute, &second, &ms, &month, &day, &year), 9);
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "Received Time %02u:%02u:%02u:%03u on %02u-%02u-%u seq:%d", hour, minute,
                  second, ms, month, day, year, i);
    const std::string where = "seed " + seed() + ", datagram " + std::to_string(i) + " of " +
                              std::to_string(size) + " bytes";
    ASSERT_TRUE(std::getline(heard, report)) << where;
    ASSERT_EQ(report, expected) << where;
    if (!update) continue;
    ASSERT_TRUE(std::getline(heard, verdict)) << where;
    if (kind == 'V') {
      ASSERT_EQ(verdict.rfind("Error: Setting local time - ", 0), 0u) << where << ": " << verdict;
    } else {
      ASSERT_EQ(verdict, "Time not updated: invalid timestamp") << where;
    }
  }
  EXPECT_EQ(i, kDatagrams);
  EXPECT_FALSE(std::getline(heard, line)) << "more reports than datagrams: " << line;
}

void floodAndCheck(Background& receiver, const std::string& netns, bool update) {
  ASSERT_TRUE(receiver.waitForOutput("\nReceiving...\n", Milliseconds(5000))) << receiver.output();
  std::printf("hostile: seed %s, %d datagrams\n", seed().c_str(), kDatagrams);
  const long long before = delivered(netns);
  ASSERT_GE(before, 0);
  Background flood(Command(peer({"flood", "-n", std::to_string(kDatagrams), "-r", "6000", seed(),
                          "239.1.1.1", "1234"}),
                    netns, Milliseconds(50000)));
  // Memory is sampled once the receiver has settled into its loop.
  ASSERT_TRUE(receiver.waitForOutput(" seq:999\n", Milliseconds(20000))) << flood.stop().errors;
  const long rssStart = residentKb(receiver.pid());
  const Outcome peerEnd = flood.wait(Milliseconds(50000));
  ASSERT_EQ(peerEnd.status, 0) << peerEnd.errors;
  // The peer waited for the receiver's queue to drain: this is the last
  // line's way to the output.
  EXPECT_TRUE(receiver.waitForOutput(" seq:" + std::to_string(kDatagrams - 1) + "\n",
                                     Milliseconds(5000)));
  const long rssEnd = residentKb(receiver.pid());
  const long long after = delivered(netns);  // gone with a user namespace's receiver
  const Outcome heard = receiver.stop();
  std::printf("hostile: receiver VmRSS %ld kB after 1000, %ld kB at the end\n", rssStart, rssEnd);
  EXPECT_EQ(heard.signal, SIGINT) << "the receiver ended by itself";
  EXPECT_EQ(after - before, kDatagrams) << "datagrams the receiver took from its socket";
  EXPECT_GT(rssStart, 0);
  EXPECT_LE(rssEnd - rssStart, kRssSlackKb);
  expectReports(peerEnd.output, heard.output, update);
  EXPECT_EQ(heard.output.find("Time updated.."), std::string::npos);
}

TEST(Hostile, AFloodIsReportedInFullWithFlatMemory) {
  Netns ns("hostile");
  ASSERT_TRUE(ns.ready());
  Background receiver(ns.command(stampcast({"-r"}), Milliseconds(60000)));
  floodAndCheck(receiver, ns.name(), false);
}

TEST(Hostile, AFloodWithClockUpdateTriesTheClockOnlyForValidTimestamps) {
  Background receiver(Command(inUserNamespace(stampcast({"-u", "-r"})), "", Milliseconds(60000)));
  floodAndCheck(receiver, netnsOf(receiver.pid()), true);
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
