// Setups that the system or traffic control refuse, provoked for real inside
// throw-away namespaces: each ends the run with its report and status 255,
// and nothing reaches the group.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "tests/support/netns.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {
namespace {

TEST(Refused, EachSetupEndsTheRunWithItsReportAndStatus255) {
  struct Case {
    std::vector<std::string> words;
    const char* output;  // a regular expression
    int descriptors;     // the limit at the first socket() call, or -1
  };
  const Case cases[] = {
      // Linux takes a multicast time-to-live of 0..255 only.
      {{"-l", "300", "-s"}, "Error: Setting TTL value: error - 22\n", -1},
      // Traffic control refuses a DS class past 63, before any socket.
      {{"-t", "99", "-s"},
       "The QOS_DS_CLASS is invalid\\.\nTcAddFlow: ERROR: 7520\nHandle was -?[0-9]+\n", -1},
      {{"-r"}, "\nError: Binding the socket - 98", -1},  // the probe holds the port
      // A receiver registers nothing, so its socket is the program's first:
      // descriptors 0..2 fill the limit.
      {{"-r"}, "\"Socket\" failed with error 24\n", 3},
  };
  Netns ns("refused");
  ASSERT_TRUE(ns.ready());
  Background probe(ns.command(peer({"probe", "-t", "2000", "239.1.1.1", "1234"})));
  ASSERT_TRUE(probe.waitForOutput("ready\n", Milliseconds(2000)));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    Command command = ns.command(stampcast(c.words));
    command.limitDescriptorsAtFirstSocket = c.descriptors;
    const Outcome outcome = run(command);
    EXPECT_TRUE(std::regex_match(outcome.output, std::regex(c.output))) << outcome.output;
    EXPECT_EQ(outcome.status, 255) << outcome.errors;
  }
  EXPECT_EQ(probe.wait(Milliseconds(3000)).output, "ready\nreceived 0\n");
}

// Only interfaces that are up and carry multicast count: without one the
// list is empty, which is reported, and opening its first entry fails.
TEST(Refused, NoMulticastInterfaceLeavesNothingToOpen) {
  Netns ns("nomulticast", false);
  const std::string a = "sc" + std::to_string(::getpid()) + "nma", b = a + "b";
  ASSERT_TRUE(ns.ready() && ns.ip({"link", "set", "lo", "multicast", "off"}) &&
              ns.ip({"link", "set", "lo", "up"}) &&
              ns.ip({"link", "add", a, "type", "veth", "peer", "name", b}) &&
              ns.ip({"link", "set", a, "multicast", "off"}) && ns.ip({"link", "set", a, "up"}));
  const Outcome outcome = run(ns.command(stampcast({"-s"})));
  EXPECT_EQ(outcome.output,
            "no traffic control interfaces are available\nTcOpenInterface returned 0x490\n");
  EXPECT_EQ(outcome.status, 255);
}

// Interface descriptors past the 336-byte list: the list is asked for again
// at the size it needs, and the marking is set up.
TEST(Refused, MoreInterfacesThanTheFirstListHoldsAreListedAgain) {
  Netns ns("manyinterfaces");  // lo carries multicast: the first interface
  ASSERT_TRUE(ns.ready());
  const std::string stem = "sc" + std::to_string(::getpid()) + "m";
  for (int pair = 0; pair < 4; ++pair) {
    const std::string a = stem + std::to_string(pair) + "a", b = stem + std::to_string(pair) + "b";
    ASSERT_TRUE(ns.ip({"link", "add", a, "type", "veth", "peer", "name", b}) &&
                ns.ip({"link", "set", a, "up"}) && ns.ip({"link", "set", b, "up"}));
  }
  const Outcome outcome = run(ns.command(stampcast({"-t", "46"})));
  EXPECT_EQ(outcome.output, "");
  EXPECT_EQ(outcome.status, 0);
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
