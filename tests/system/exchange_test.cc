// Sender and receiver of the Linux binary exchanging timestamps, and the
// receiver meeting a peer's odd datagrams, other groups and a clock it may
// not set (only ever tried inside a user namespace, where it fails).
#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "tests/support/netns.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {
namespace {

// "hh:mm:ss:mmm on MM-DD-YYYY" of each Sent Time or Received Time line.
std::vector<std::string> timesOf(const std::string& output, const std::string& prefix) {
  std::vector<std::string> times;
  for (const std::string& line : linesStartingWith(output, prefix)) {
    const std::size_t end = line.find(' ', line.find(" on ") + 4);
    times.push_back(line.substr(prefix.size(), end - prefix.size()));
  }
  return times;
}

// An ordinary LAN host, whose only route is a default route through its
// neighbour: the do-not-route flag must not keep its datagrams in.
TEST(Exchange, AtTheDefaultsAcrossALinkEveryReceivedTimeIsTheSentOne) {
  Netns sending("exchangetx", false), receiving("exchangerx", false);
  const auto [tx, rx] = sending.veth(receiving, "10.62.0.1/32", "10.62.0.2/24");
  ASSERT_FALSE(tx.empty());
  ASSERT_TRUE(sending.ip({"route", "add", "default", "via", "10.62.0.2", "dev", tx, "onlink"}));
  ASSERT_TRUE(receiving.ip({"route", "add", "224.0.0.0/4", "dev", rx}));
  Background receiver(receiving.command(stampcast({"-r"})));
  ASSERT_TRUE(receiver.waitForOutput("Receiving...\n", Milliseconds(2000)));
  Background sender(sending.command(stampcast({"-s"})));
  ASSERT_TRUE(receiver.waitForOutput("Received Time ", Milliseconds(4000), 3))
      << sender.output() << receiver.output();
  // The sender first, and a moment for what is on its way.
  const Outcome sent = sender.stop();
  std::this_thread::sleep_for(Milliseconds(200));
  const Outcome heard = receiver.stop();
  EXPECT_EQ(sent.signal, SIGINT) << sent.output;  // still sending
  std::vector<std::string> sentTimes = timesOf(sent.output, "Sent Time ");
  const std::vector<std::string> heardTimes = timesOf(heard.output, "Received Time ");
  // The last one may be stopped between its send and its line.
  if (heardTimes.size() == sentTimes.size() + 1) sentTimes.push_back(heardTimes.back());
  EXPECT_EQ(heardTimes, sentTimes) << heard.output;
}

// The receiving buffer holds 100 bytes: a longer datagram is cut, a shorter
// one shows zeros for the fields it lacks. Another group's datagram to the
// same port, which another socket of the host joined, is not heard.
TEST(Exchange, OddSizesAreReportedAndOnlyTheOwnGroupIsHeard) {
  Netns ns("exchangeodd");
  ASSERT_TRUE(ns.ready());
  Background other(ns.command(peer({"probe", "-t", "5000", "239.2.2.2", "1235"})));
  ASSERT_TRUE(other.waitForOutput("ready\n", Milliseconds(2000)));
  Background receiver(ns.command(stampcast({"-r"})));
  ASSERT_TRUE(receiver.waitForOutput("Receiving...\n", Milliseconds(2000)));
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"239.2.2.2", "1234", "time:2001-1-1,1:1:1.1"},
        {"239.1.1.1", "1234", "time:2009-4-18,9:8:7.6/8", "time:2008-3-17,14:5:30.250/1000"}}) {
    std::vector<std::string> argv = {"send", "-w", "20"};
    argv.insert(argv.end(), words.begin(), words.end());
    const Outcome sent = run(ns.command(peer(argv)));
    ASSERT_EQ(sent.status, 0) << sent.errors;
  }
  receiver.waitForOutput("Received Time ", Milliseconds(2000), 2);
  std::this_thread::sleep_for(Milliseconds(200));
  const Outcome heard = receiver.stop();
  EXPECT_EQ(linesStartingWith(heard.output, "Received Time "),
            (std::vector<std::string>{"Received Time 00:00:00:000 on 04-18-2009 seq:0",
                                      "Received Time 14:05:30:250 on 03-17-2008 seq:1"}));
  EXPECT_EQ(heard.signal, SIGINT);  // still receiving
}

// Between two whole timestamps of the time now, a datagram cut to 8 bytes
// whose date alone reads as a valid time: short, it must not reach the clock.
TEST(Exchange, AClockUpdateTheSystemRefusesIsReportedAndTheReceiverGoesOn) {
  Background receiver(inUserNamespace(stampcast({"-u", "-r"})));
  ASSERT_TRUE(receiver.waitForOutput("Update      = TRUE\n\nReceiving...\n", Milliseconds(3000)))
      << receiver.output();
  const Outcome sent = run({peer({"send", "-w", "20", "239.1.1.1", "1234", "now",
                                  "time:2008-3-17,14:5:30.250/8", "now"}),
                            netnsOf(receiver.pid())});
  ASSERT_EQ(sent.status, 0) << sent.errors;
  receiver.waitForOutput(" seq:2\n", Milliseconds(2000));
  std::this_thread::sleep_for(Milliseconds(200));
  const std::string output = receiver.stop().output;
  const std::string tail = output.substr(output.find("Receiving"));
  EXPECT_EQ(countOf(tail, "Error: Setting local time - 1\n"), 2) << tail;
  EXPECT_EQ(countOf(tail, "Time not updated: invalid timestamp\n"), 1) << tail;
  EXPECT_EQ(countOf(tail, "Time updated.."), 0) << tail;
  EXPECT_EQ(countOf(tail, " seq:2\n"), 1) << tail;
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
