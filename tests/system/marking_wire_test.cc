// The marking seen from outside the Linux binary: the DS field its
// datagrams carry when they arrive, and the reports of a marking setup that
// traffic control refuses. Every run happens inside namespaces made here;
// their interfaces go with them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/netns.h"
#include "tests/support/paths.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {
namespace {

std::vector<std::string> stampcast(const std::vector<std::string>& words) {
  std::vector<std::string> argv = {stampcastBinary()};
  argv.insert(argv.end(), words.begin(), words.end());
  return argv;
}

// "tos=0xb8 dscp=46": the whole TOS byte, so that stray ECN bits show too.
std::string tosField(int dscp) {
  char text[32];
  std::snprintf(text, sizeof text, "tos=0x%02x dscp=%d ", dscp << 2, dscp);
  return text;
}

// A probe that hears nothing for `limit`: proof that nothing was sent.
Background silentProbe(const Netns& ns, const std::string& group,
                       const std::string& port, Milliseconds limit) {
  return Background(ns.command({tool("tos_probe"), "-n", "1", "-t",
                                std::to_string(limit.count()), group, port}));
}

TEST(MarkingOnTheWire, EveryDatagramCarriesTheFlowsDsClass) {
  struct Case {
    const char* name;
    std::vector<std::string> words;
    std::string group, port;
    int dscp;
    bool acrossVeth;  // else sender and probe share one loopback
  };
  const Case cases[] = {
      {"defaults", {"-s"}, "239.1.1.1", "1234", 32, false},
      {"ef", {"-t", "46", "-s"}, "239.1.1.1", "1234", 46, false},
      {"highest", {"-t", "63", "-s"}, "239.1.1.1", "1234", 63, false},
      // The filter follows the group that was typed, not the default one.
      {"othergroup", {"-d", "239.5.6.7", "-p", "5000", "-t", "10", "-s"},
       "239.5.6.7", "5000", 10, false},
      {"veth", {"-t", "46", "-s"}, "239.1.1.1", "1234", 46, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Netns sending(std::string("wiretx") + c.name, !c.acrossVeth);
    Netns receiving(std::string("wirerx") + c.name, !c.acrossVeth);
    ASSERT_TRUE(sending.ready() && receiving.ready());
    const Netns& probing = c.acrossVeth ? receiving : sending;
    std::vector<std::string> probe = {tool("tos_probe"), "-n", "3", "-t",
                                      "4000"};
    // Only the veth case needs the link; otherwise it stays unmade.
    std::unique_ptr<Veth> link;
    if (c.acrossVeth) {
      link.reset(new Veth(sending, "10.66.0.1/32", receiving, "10.66.0.2/24"));
      ASSERT_TRUE(link->ready());
      // An ordinary LAN host: its one route leads through the neighbour.
      ASSERT_TRUE(sending.ip({"route", "add", "default", "via", "10.66.0.2",
                              "dev", link->nameA(), "onlink"}));
      probe.insert(probe.end(), {"-i", "10.66.0.2"});
    }
    probe.insert(probe.end(), {c.group, c.port});
    Background prober(probing.command(probe));
    ASSERT_TRUE(prober.waitForOutput("ready\n", Milliseconds(2000)));

    std::vector<std::string> words = {"-w", "50"};
    words.insert(words.end(), c.words.begin(), c.words.end());
    Background sender(sending.command(stampcast(words)));
    const bool heard = prober.waitForOutput("received 3\n", Milliseconds(4000));
    const Outcome sent = sender.stop();
    const Outcome probed = prober.wait(Milliseconds(1000));
    ASSERT_TRUE(heard) << sent.output << probed.output << probed.errors;

    EXPECT_NE(sent.output.find("dscpValue   = " + std::to_string(c.dscp) + "\n"),
              std::string::npos)
        << sent.output;
    const std::vector<std::string> lines = linesStartingWith(probed.output, "len=");
    ASSERT_EQ(lines.size(), 3u) << probed.output;
    for (const std::string& line : lines) {
      EXPECT_EQ(line.rfind("len=16 " + tosField(c.dscp), 0), 0u) << line;
    }
  }
}

// The layer refuses a DS field outside 0..63; the run reports it as a
// failed flow and ends before its socket exists.
TEST(MarkingSetupFailures, AnInvalidDsClassIsReportedAndNothingIsSent) {
  Netns ns("wirebadclass");
  ASSERT_TRUE(ns.ready());
  Background prober = silentProbe(ns, "239.1.1.1", "1234", Milliseconds(1500));
  ASSERT_TRUE(prober.waitForOutput("ready\n", Milliseconds(2000)));
  // "-t:-1": a separate word "-1" would be read as an option of its own.
  for (const char* option : {"-t:64", "-t:99", "-t:-1"}) {
    SCOPED_TRACE(option);
    const Outcome outcome =
        run(ns.command(stampcast({option, "-s"}), Milliseconds(3000)));
    EXPECT_EQ(outcome.status, 255);
    const std::string head =
        "The QOS_DS_CLASS is invalid.\nTcAddFlow: ERROR: 7520\nHandle was ";
    ASSERT_EQ(outcome.output.compare(0, head.size(), head), 0) << outcome.output;
    const std::string handle = outcome.output.substr(head.size());
    ASSERT_GE(handle.size(), 2u) << outcome.output;
    EXPECT_EQ(handle.back(), '\n');
    EXPECT_EQ(handle.find_first_not_of("-0123456789"), handle.size() - 1)
        << outcome.output;
  }
  const Outcome probed = prober.wait(Milliseconds(3000));
  EXPECT_EQ(probed.output, "ready\nreceived 0\n");
}

// Interfaces are brought up one at a time until their descriptors no
// longer fit the 336-byte list: every run before succeeds silently, the
// first one after reports the size it would have needed.
TEST(MarkingSetupFailures, MoreInterfacesThanTheListHoldsEndTheRunWith122) {
  Netns ns("wiremany");
  ASSERT_TRUE(ns.ready());  // lo carries multicast: the first interface
  // The dummy driver is not at hand, so veth ends stand in; both ends of
  // each pair stay in this namespace and go with it.
  std::vector<std::string> ends;
  const std::string stem = "wr" + std::to_string(::getpid()) + "x";
  for (int pair = 0; pair < 4; ++pair) {
    const std::string a = stem + std::to_string(pair) + "a";
    const std::string b = stem + std::to_string(pair) + "b";
    ASSERT_TRUE(ns.ip({"link", "add", a, "type", "veth", "peer", "name", b}));
    ends.insert(ends.end(), {a, b});
  }
  const std::string report =
      "The buffer is too small to enumerate all interfaces. If this error is "
      "returned, the correct (required) size of the buffer is passed back in "
      "pBufferSize.\nSize required: ";
  int fitted = 1;  // lo alone
  std::string overflow;
  for (const std::string& end : ends) {
    ASSERT_TRUE(ns.ip({"link", "set", end, "up"}));
    const Outcome outcome =
        run(ns.command(stampcast({"-t", "46"}), Milliseconds(3000)));
    if (outcome.status == 0) {
      ASSERT_EQ(outcome.output, "");
      ++fitted;
      continue;
    }
    overflow = outcome.output;
    EXPECT_EQ(outcome.status, 255);
    break;
  }
  ASSERT_FALSE(overflow.empty()) << "all " << fitted << " interfaces fitted";
  // Several interfaces fit before the list overflows.
  EXPECT_GE(fitted, 3);
  ASSERT_EQ(overflow.compare(0, report.size(), report), 0) << overflow;
  const std::string tail = "\nTcEnumerateInterfaces returned 0x7a\n";
  ASSERT_GE(overflow.size(), report.size() + tail.size());
  EXPECT_EQ(overflow.substr(overflow.size() - tail.size()), tail) << overflow;
  const std::string size = overflow.substr(
      report.size(), overflow.size() - tail.size() - report.size());
  ASSERT_EQ(size.find_first_not_of("0123456789"), std::string::npos) << size;
  EXPECT_GT(std::atoi(size.c_str()), 336) << overflow;

  // A sender meets the same list and ends the same way, before it sends.
  const Outcome sender = run(ns.command(stampcast({"-s"}), Milliseconds(3000)));
  EXPECT_EQ(sender.status, 255);
  EXPECT_EQ(sender.output, overflow);
}

// An interface counts only when it is up and carries multicast: without
// one the list is empty, which is reported and then fails the open.
TEST(MarkingSetupFailures, NoMulticastInterfaceLeavesNothingToOpen) {
  struct Case {
    const char* name;
    std::vector<std::vector<std::string>> steps;  // `ip` commands
  };
  const std::string a = "wr" + std::to_string(::getpid()) + "na";
  const std::string b = "wr" + std::to_string(::getpid()) + "nb";
  const Case cases[] = {
      {"lodown", {}},
      {"lonomulticast",
       {{"link", "set", "lo", "up"}, {"link", "set", "lo", "multicast", "off"}}},
      // One end up without multicast, the other with multicast but down.
      {"vethhalf",
       {{"link", "set", "lo", "up"},
        {"link", "set", "lo", "multicast", "off"},
        {"link", "add", a, "type", "veth", "peer", "name", b},
        {"link", "set", a, "multicast", "off"},
        {"link", "set", a, "up"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Netns ns(std::string("wirenone") + c.name, false);
    ASSERT_TRUE(ns.ready());
    for (const std::vector<std::string>& step : c.steps) {
      ASSERT_TRUE(ns.ip(step));
    }
    const Outcome outcome =
        run(ns.command(stampcast({"-s"}), Milliseconds(3000)));
    EXPECT_EQ(outcome.output,
              "no traffic control interfaces are available\n"
              "TcOpenInterface returned 0x490\n");
    EXPECT_EQ(outcome.status, 255);
  }
}

TEST(MarkingWithoutAMode, SetsUpAndRemovesSilentlyAndSendsNothing) {
  Netns ns("wirenomode");
  ASSERT_TRUE(ns.ready());
  Background prober = silentProbe(ns, "239.1.1.1", "1234", Milliseconds(1000));
  ASSERT_TRUE(prober.waitForOutput("ready\n", Milliseconds(2000)));
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"-t", "46"}, {"-d", "239.1.1.1", "-q"}}) {
    SCOPED_TRACE(words.front());
    const Outcome outcome = run(ns.command(stampcast(words), Milliseconds(3000)));
    EXPECT_EQ(outcome.output, "");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_FALSE(outcome.timedOut);
  }
  const Outcome probed = prober.wait(Milliseconds(3000));
  EXPECT_EQ(probed.output, "ready\nreceived 0\n");
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
