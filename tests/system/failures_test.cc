// Failures of the socket layer provoked for real inside throw-away
// namespaces: each is reported with the system's own error code and ends
// the run with status 255.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/netns.h"
#include "tests/support/paths.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {
namespace {

TEST(SocketFailures, EachEndsTheRunWithItsReportAndStatus255) {
  struct Case {
    const char* name;
    bool groupRoute;  // false: the namespace has no route to any group
    std::vector<std::string> words;
    std::string output;
  };
  const Case cases[] = {
      // Linux takes a multicast time-to-live of 0..255 only.
      {"ttl", true, {"-l", "300", "-s"}, "Error: Setting TTL value: error - 22\n"},
      // No route for the group: the send fails, the first datagram with it.
      {"noroute", false, {"-s"}, "\nError in Sending data on the socket - 101"},
      // Nowhere to join the group without a route to it.
      {"nojoin", false, {"-r"}, "\nError: Joining Multicast Group - 19"},
      // An address that does not convert gives the broadcast address,
      // which is no group.
      {"badgroup", true, {"-d", "bogus", "-r"}, "\nError: Joining Multicast Group - 22"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Netns ns(c.name);
    ASSERT_TRUE(ns.ready());
    if (!c.groupRoute) {
      ASSERT_TRUE(ns.ip({"route", "del", "224.0.0.0/4"}));
    }
    std::vector<std::string> argv = {stampcastBinary()};
    argv.insert(argv.end(), c.words.begin(), c.words.end());
    const Outcome outcome = run(ns.command(argv, Milliseconds(3000)));
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.status, 255);
    ASSERT_GE(outcome.output.size(), c.output.size()) << outcome.output;
    EXPECT_EQ(outcome.output.substr(outcome.output.size() - c.output.size()),
              c.output);
  }
}

TEST(SocketFailures, SocketCreationOutOfDescriptorsReportsTheSystemError) {
  Netns ns("nofile");
  ASSERT_TRUE(ns.ready());
  // The receiver registers nothing with traffic control, so its socket is
  // the first one the program makes; descriptors 0..2 fill the limit.
  Command command = ns.command({stampcastBinary(), "-r"}, Milliseconds(3000));
  command.limitDescriptorsAtFirstSocket = 3;
  const Outcome outcome = run(command);
  EXPECT_EQ(outcome.output, "\"Socket\" failed with error 24\n");
  EXPECT_EQ(outcome.status, 255) << outcome.errors;
}

TEST(SocketFailures, APortAlreadyBoundEndsTheReceiver) {
  Netns ns("bound");
  ASSERT_TRUE(ns.ready());
  Background holder(ns.command(
      {tool("tos_probe"), "-t", "5000", "239.1.1.1", "1234"}));
  ASSERT_TRUE(holder.waitForOutput("ready\n", Milliseconds(2000)));
  const Outcome outcome =
      run(ns.command({stampcastBinary(), "-r"}, Milliseconds(3000)));
  EXPECT_EQ(outcome.output, "\nError: Binding the socket - 98");
  EXPECT_EQ(outcome.status, 255);
}

// A host whose only route is a default route through its neighbour, as an
// ordinary LAN host: the do-not-route flag must not keep the datagrams in.
TEST(DoNotRoute, DatagramsLeaveThroughTheDefaultRoute) {
  Netns sending("dnrtx", false);
  Netns peer("dnrrx", false);
  ASSERT_TRUE(sending.ready() && peer.ready());
  Veth link(sending, "10.61.0.1/32", peer, "10.61.0.2/24");
  ASSERT_TRUE(link.ready());
  ASSERT_TRUE(sending.ip({"route", "add", "default", "via", "10.61.0.2", "dev",
                          link.nameA(), "onlink"}));
  Background probe(peer.command(
      {tool("tos_probe"), "-i", "10.61.0.2", "-n", "2", "-t", "4000",
       "239.1.1.1", "1234"}));
  ASSERT_TRUE(probe.waitForOutput("ready\n", Milliseconds(2000)));

  Background sender(sending.command({stampcastBinary(), "-w", "100", "-s"}));
  const bool arrived = probe.waitForOutput("received 2\n", Milliseconds(4000));
  const Outcome sent = sender.stop();
  const Outcome heard = probe.wait(Milliseconds(1000));
  ASSERT_TRUE(arrived) << sent.output << heard.output;
  EXPECT_EQ(heard.status, 0);
  EXPECT_EQ(sent.signal, SIGINT) << sent.output;  // still sending when stopped
  EXPECT_EQ(sent.output.find("Error"), std::string::npos) << sent.output;

  // The first datagram that arrived is the first one sent.
  const std::vector<std::string> sentLines =
      linesStartingWith(sent.output, "Sent Time ");
  const std::vector<std::string> heardLines =
      linesStartingWith(heard.output, "len=");
  ASSERT_FALSE(sentLines.empty());
  ASSERT_EQ(heardLines.size(), 2u);
  EXPECT_EQ(heardLines[0].substr(0, 7), "len=16 ");
  // Sent Time hh:mm:ss:mmm on MM-DD-YYYY ...
  const std::string& line = sentLines[0];
  const std::string expected = "time=" + line.substr(32, 4) + "-" +
                               line.substr(26, 2) + "-" + line.substr(29, 2) +
                               " " + line.substr(10, 8) + "." +
                               line.substr(19, 3);
  EXPECT_NE(heardLines[0].find(expected), std::string::npos)
      << heardLines[0] << " / " << line;
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
