// The Linux receiver under a long flood of hostile datagrams: random sizes
// up to the largest UDP payload, random content, timestamps cut short or a
// field past the calendar's edge. It must keep running, report every
// datagram the kernel handed it with the fields of its first 16 bytes, keep
// its memory flat, and with -u touch the clock only for whole, valid
// timestamps. The receiver runs with -u only inside a user namespace, where
// every attempt to set the clock fails.
//
// The seed is fixed and printed; STAMPCAST_HOSTILE_SEED replays another.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/netns.h"
#include "tests/support/paths.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {
namespace {

// Enough to cover every kind of datagram the peer makes many times over
// while keeping a sanitizer build well inside a minute for both tests.
constexpr int kDatagrams = 30000;
constexpr char kRate[] = "6000";  // at most, per second
// The receiver allocates nothing per datagram. The room is for a sanitizer
// build with -u, where the blocks the C library takes and frees while the
// clock is set wait in the sanitizer's quarantine (about 200 kB here).
constexpr long kRssSlackKb = 512;

std::string seed() {
  const char* chosen = std::getenv("STAMPCAST_HOSTILE_SEED");
  return chosen != nullptr && *chosen != '\0' ? chosen : "20240917";
}

struct Sent {
  std::size_t size;
  bool valid;            // whole and a calendar time the clock takes
  std::string received;  // the report line expected for it, without seq
};

std::vector<Sent> parsePeerLog(const std::string& log) {
  std::vector<Sent> sent;
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    std::size_t size;
    char kind;
    unsigned hour, minute, second, ms, month, day, year;
    if (std::sscanf(line.c_str(), "%zu %c %u %u %u %u %u %u %u", &size, &kind,
                    &hour, &minute, &second, &ms, &month, &day, &year) != 9) {
      return {};
    }
    char text[96];
    std::snprintf(text, sizeof text,
                  "Received Time %02u:%02u:%02u:%03u on %02u-%02u-%u", hour,
                  minute, second, ms, month, day, year);
    sent.push_back({size, kind == 'V', text});
  }
  return sent;
}

struct UdpCounters {
  long long inDatagrams = -1, inErrors = -1, rcvbufErrors = -1;
};

// The Udp line of /proc/net/snmp as seen inside `netns`.
UdpCounters udpCounters(const std::string& netns) {
  Command cat;
  cat.argv = {"cat", "/proc/net/snmp"};
  cat.netns = netns;
  const std::vector<std::string> rows =
      linesStartingWith(run(cat).output, "Udp: ");
  UdpCounters counters;
  if (rows.size() < 2) return counters;
  std::istringstream names(rows[0]), values(rows[1]);
  std::string name, value;
  while (names >> name && values >> value) {
    if (name == "InDatagrams") counters.inDatagrams = std::stoll(value);
    if (name == "InErrors") counters.inErrors = std::stoll(value);
    if (name == "RcvbufErrors") counters.rcvbufErrors = std::stoll(value);
  }
  return counters;
}

long residentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// The receiver's lines after "Receiving...", without their newlines.
std::vector<std::string> reportLines(const std::string& output) {
  const std::size_t start = output.find("\nReceiving...\n");
  std::vector<std::string> lines;
  if (start == std::string::npos) return lines;
  std::istringstream rest(output.substr(start + 14));
  for (std::string line; std::getline(rest, line);) lines.push_back(line);
  return lines;
}

// What the receiver must print for the datagrams in order: its report line
// with its own count, and with -u the verdict on the clock.
void expectReports(const std::vector<std::string>& lines,
                   const std::vector<Sent>& sent, bool update) {
  const std::size_t perDatagram = update ? 2 : 1;
  ASSERT_EQ(lines.size(), sent.size() * perDatagram)
      << "seed " << seed() << ": one report per datagram delivered";
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const std::string& report = lines[i * perDatagram];
    const std::string expected = sent[i].received + " seq:" + std::to_string(i);
    ASSERT_EQ(report, expected)
        << "seed " << seed() << ", datagram " << i << " of " << sent[i].size
        << " bytes";
    if (!update) continue;
    const std::string& verdict = lines[i * perDatagram + 1];
    if (sent[i].valid) {
      // Refused by the system: a user namespace cannot set the clock.
      ASSERT_EQ(verdict.rfind("Error: Setting local time - ", 0), 0u)
          << "seed " << seed() << ", datagram " << i << " (" << report
          << "): " << verdict;
    } else {
      ASSERT_EQ(verdict, "Time not updated: invalid timestamp")
          << "seed " << seed() << ", datagram " << i << " of " << sent[i].size
          << " bytes (" << report << ")";
    }
  }
}

// Floods the receiver running in `netns` and checks all it said and did.
void floodAndCheck(Background& receiver, const std::string& netns,
                   bool update) {
  ASSERT_TRUE(receiver.waitForOutput("\nReceiving...\n", Milliseconds(5000)))
      << receiver.output();
  std::printf("hostile: seed %s, %d datagrams\n", seed().c_str(), kDatagrams);
  const UdpCounters before = udpCounters(netns);
  ASSERT_GE(before.inDatagrams, 0);

  Command flood;
  flood.argv = {tool("hostile_peer"), "-n", std::to_string(kDatagrams), "-r",
                kRate, "-t", "25", seed(), "239.1.1.1", "1234"};
  flood.netns = netns;
  flood.timeout = Milliseconds(50000);
  Background peer(flood);
  ASSERT_TRUE(peer.started());
  // Sampled once the receiver has settled into its loop. The peer's log
  // comes in blocks; a peer that fails ends the wait at once.
  ASSERT_TRUE(peer.waitForOutput("\n", Milliseconds(20000), 1000))
      << peer.stop().errors;
  ASSERT_TRUE(receiver.waitForOutput(" seq:999\n", Milliseconds(5000)));
  const long rssStart = residentKb(receiver.pid());

  const Outcome peerEnd = peer.wait(Milliseconds(50000));
  ASSERT_EQ(peerEnd.status, 0) << peerEnd.errors;
  const std::vector<Sent> sent = parsePeerLog(peerEnd.output);
  ASSERT_EQ(sent.size(), static_cast<std::size_t>(kDatagrams));
  // The peer waits for the receiver to drain its queue; this is the last
  // line's way to the output.
  const std::string last = " seq:" + std::to_string(kDatagrams - 1) + "\n";
  EXPECT_TRUE(receiver.waitForOutput(last, Milliseconds(5000)));
  const long rssEnd = residentKb(receiver.pid());
  const UdpCounters after = udpCounters(netns);  // gone with a user namespace
  const Outcome heard = receiver.stop();
  std::printf("hostile: receiver VmRSS %ld kB after 1000, %ld kB at the end\n",
              rssStart, rssEnd);

  EXPECT_EQ(heard.signal, SIGINT) << "the receiver ended by itself";
  EXPECT_EQ(after.inDatagrams - before.inDatagrams, kDatagrams)
      << "datagrams the receiver took from its socket";
  EXPECT_EQ(after.rcvbufErrors - before.rcvbufErrors, 0)
      << "the peer overran the receiver: slow its rate";
  EXPECT_EQ(after.inErrors - before.inErrors, 0);
  EXPECT_GT(rssStart, 0);
  EXPECT_LE(rssEnd - rssStart, kRssSlackKb)
      << "resident memory grew from " << rssStart << " kB to " << rssEnd
      << " kB";
  expectReports(reportLines(heard.output), sent, update);
  EXPECT_EQ(heard.output.find("Time updated.."), std::string::npos);
}

TEST(Hostile, FloodOfRandomDatagramsIsReportedInFullWithFlatMemory) {
  Netns ns("hostile");
  ASSERT_TRUE(ns.ready());
  Background receiver(
      ns.command({stampcastBinary(), "-r"}, Milliseconds(60000)));
  floodAndCheck(receiver, ns.name(), false);
}

TEST(Hostile, FloodWithClockUpdateTouchesTheClockOnlyForValidTimestamps) {
  Command command;
  command.argv = inUserNamespace({stampcastBinary(), "-u", "-r"});
  command.timeout = Milliseconds(60000);
  Background receiver(command);
  ASSERT_TRUE(receiver.started());
  floodAndCheck(receiver, netnsOf(receiver.pid()), true);
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
