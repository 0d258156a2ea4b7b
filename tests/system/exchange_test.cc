// Sender and receiver of the Linux binary exchanging timestamps, within one
// namespace, across a veth link, and with a test peer sending odd
// datagrams. The clock is only ever set from inside a user namespace,
// where the attempt fails.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/netns.h"
#include "tests/support/paths.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {
namespace {

// A moment for datagrams already on their way to be reported.
void drain() { std::this_thread::sleep_for(Milliseconds(200)); }

// "hh:mm:ss:mmm on MM-DD-YYYY" of a Sent Time or Received Time line.
std::string timeOf(const std::string& line) {
  const std::size_t start = line.find("Time ") + 5;
  const std::size_t end = line.find(' ', line.find(" on ", start) + 4);
  return line.substr(start, end - start);
}

// Stops the sender first, so that the receiver has heard all it sent.
void expectSameTimes(Background& sender, Background& receiver) {
  ASSERT_TRUE(receiver.waitForOutput("Received Time ", Milliseconds(4000), 3))
      << sender.output() << receiver.output();
  const Outcome sent = sender.stop();
  drain();
  const Outcome heard = receiver.stop();
  const std::vector<std::string> sentLines =
      linesStartingWith(sent.output, "Sent Time ");
  const std::vector<std::string> heardLines =
      linesStartingWith(heard.output, "Received Time ");
  // A datagram may be stopped between its send and its line, or between
  // its arrival and its report: never more than one.
  ASSERT_LE(heardLines.size(), sentLines.size() + 1) << heard.output;
  ASSERT_LE(sentLines.size(), heardLines.size() + 1) << sent.output;
  for (std::size_t i = 0; i < heardLines.size() && i < sentLines.size(); ++i) {
    EXPECT_EQ(timeOf(heardLines[i]), timeOf(sentLines[i]));
    EXPECT_EQ(heardLines[i].substr(heardLines[i].rfind(" seq:")),
              " seq:" + std::to_string(i));
  }
}

TEST(Exchange, DefaultsInOneNamespaceEveryLineCarriesTheSentTime) {
  Netns ns("xdefault");
  ASSERT_TRUE(ns.ready());
  Background receiver(ns.command({stampcastBinary(), "-r"}));
  ASSERT_TRUE(receiver.waitForOutput("Receiving...\n", Milliseconds(2000)));
  Background sender(ns.command({stampcastBinary(), "-s"}));
  expectSameTimes(sender, receiver);
}

TEST(Exchange, AcrossAVethLinkTheSenderUsesItsDefaultRoute) {
  Netns sending("xtx", false);
  Netns receiving("xrx", false);
  ASSERT_TRUE(sending.ready() && receiving.ready());
  Veth link(sending, "10.62.0.1/32", receiving, "10.62.0.2/24");
  ASSERT_TRUE(link.ready());
  ASSERT_TRUE(sending.ip({"route", "add", "default", "via", "10.62.0.2", "dev",
                          link.nameA(), "onlink"}));
  // The receiving host joins the group on its link to the sender.
  ASSERT_TRUE(receiving.ip({"route", "add", "224.0.0.0/4", "dev", link.nameB()}));
  Background receiver(receiving.command({stampcastBinary(), "-r"}));
  ASSERT_TRUE(receiver.waitForOutput("Receiving...\n", Milliseconds(2000)));
  Background sender(sending.command({stampcastBinary(), "-w", "200", "-s"}));
  expectSameTimes(sender, receiver);
}

TEST(Exchange, OddSizedDatagramsAreReportedAndShortFieldsReadAsZero) {
  Netns ns("xodd");
  ASSERT_TRUE(ns.ready());
  Background receiver(ns.command({stampcastBinary(), "-r"}));
  ASSERT_TRUE(receiver.waitForOutput("Receiving...\n", Milliseconds(2000)));
  // Longer than the 100-byte receive buffer: cut, read by its first bytes.
  const Outcome peer = run(ns.command(
      {tool("peer_send"), "-w", "20", "239.1.1.1", "1234", "zeros:8",
       "time:2008-3-17,14:5:30.250/1000", "time:2009-4-18,9:8:7.6/8",
       "time:2010-5-19,10:11:12.13"}));
  ASSERT_EQ(peer.status, 0) << peer.errors;
  receiver.waitForOutput("Received Time ", Milliseconds(2000), 4);
  const Outcome heard = receiver.stop();
  EXPECT_EQ(linesStartingWith(heard.output, "Received Time "),
            (std::vector<std::string>{
                "Received Time 00:00:00:000 on 00-00-0 seq:0",
                "Received Time 14:05:30:250 on 03-17-2008 seq:1",
                "Received Time 00:00:00:000 on 04-18-2009 seq:2",
                "Received Time 10:11:12:013 on 05-19-2010 seq:3"}))
      << heard.output;
  EXPECT_EQ(heard.output.find("Time updated"), std::string::npos);
  EXPECT_EQ(heard.signal, SIGINT);  // still receiving when stopped
}

TEST(Exchange, ReceiverHearsItsOwnGroupOnly) {
  Netns ns("xgroup");
  ASSERT_TRUE(ns.ready());
  // Another socket makes the host a member of a second group.
  Background other(ns.command(
      {tool("tos_probe"), "-t", "5000", "239.2.2.2", "1235"}));
  ASSERT_TRUE(other.waitForOutput("ready\n", Milliseconds(2000)));
  Background receiver(ns.command({stampcastBinary(), "-r"}));
  ASSERT_TRUE(receiver.waitForOutput("Receiving...\n", Milliseconds(2000)));
  for (const char* group : {"239.2.2.2", "239.1.1.1"}) {
    const std::string time = group[4] == '2' ? "time:2001-1-1,1:1:1.1"
                                             : "time:2008-3-17,14:5:30.250";
    ASSERT_EQ(run(ns.command({tool("peer_send"), group, "1234", time})).status, 0);
  }
  receiver.waitForOutput("Received Time ", Milliseconds(2000));
  drain();
  EXPECT_EQ(linesStartingWith(receiver.stop().output, "Received Time "),
            std::vector<std::string>{
                "Received Time 14:05:30:250 on 03-17-2008 seq:0"});
}

// Setting the clock fails for real inside a user namespace: the failure is
// reported and the receiver goes on. The peer sends the time it is now, so
// even a clock that took it would keep its time.
TEST(Exchange, ClockUpdateRefusedByTheSystemIsReportedAndTheReceiverGoesOn) {
  Command command;
  command.argv = inUserNamespace({stampcastBinary(), "-u", "-r"});
  Background receiver(command);
  ASSERT_TRUE(receiver.waitForOutput("Receiving...\n", Milliseconds(3000)))
      << receiver.output();
  EXPECT_NE(receiver.output().find("Update      = TRUE\n"), std::string::npos);
  Command peer;
  peer.argv = {tool("peer_send"), "-w", "20", "239.1.1.1", "1234", "now",
               "zeros:8", "now"};
  peer.netns = netnsOf(receiver.pid());
  const Outcome sent = run(peer);
  ASSERT_EQ(sent.status, 0) << sent.errors;
  receiver.waitForOutput("Received Time ", Milliseconds(2000), 3);
  drain();
  const Outcome heard = receiver.stop();
  const std::string tail = heard.output.substr(heard.output.find("Receiving"));
  EXPECT_EQ(countOf(tail, "Error: Setting local time - 1\n"), 2) << tail;
  EXPECT_EQ(countOf(tail, "Time not updated: invalid timestamp\n"), 1) << tail;
  EXPECT_EQ(countOf(tail, "Time updated.."), 0) << tail;
  EXPECT_EQ(countOf(tail, " seq:2\n"), 1) << tail;  // it kept going
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
