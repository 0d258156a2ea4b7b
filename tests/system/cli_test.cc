// The Linux binary's texts and statuses, byte for byte, and a run without a
// mode, which sets up the marking, removes it and sends nothing.
#include <gtest/gtest.h>

#include "tests/support/netns.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {
namespace {

const char kUsage[] =
    "usage: stampcast [-d destaddress] [-p port] [-t tos] [-l ttl]\n"
    "              [-w wait (ms)] [-s sender] [-r receiver] [-u update time]\n"
    "\n"
    "example sender: stampcast -d 239.1.1.1 -p 9999 -t 46 -l 10 -w 2000 -s\n"
    "example receiver: stampcast -d 239.1.1.1 -p 9999 -u -r\n"
    "default values: stampcast -s (sender) or stampcast -r (receiver)\n";

// These runs end in the option scan: they send and join nothing.
TEST(Texts, UsageVersionAndUnknownFlagEndTheRunWithStatus255) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, kUsage},
      {{"-h"}, kUsage},
      {{"-v"}, "stampcast version: 1.0\n"},
      {{"-x"}, "Unknown options flag -x\n"},
  };
  for (const auto& [words, expected] : cases) {
    SCOPED_TRACE(words.empty() ? "(none)" : words[0]);
    const Outcome outcome = run({stampcast(words)});
    EXPECT_EQ(outcome.status, 255);
    EXPECT_EQ(outcome.errors, "");
    if (expected != kUsage) {
      EXPECT_EQ(outcome.output, expected);
      continue;
    }
    // The banner line, then the usage text.
    EXPECT_EQ(outcome.output.rfind("-- version 1.0", 0), 0u) << outcome.output;
    EXPECT_EQ(outcome.output.substr(outcome.output.find('\n') + 1), expected);
  }
}

TEST(NoMode, RunsSilentlyWithStatus0AndSendsNothing) {
  Netns ns("nomode");
  ASSERT_TRUE(ns.ready());
  Background probe(ns.command(peer({"probe", "-t", "1000", "239.1.1.1", "1234"})));
  ASSERT_TRUE(probe.waitForOutput("ready\n", Milliseconds(2000)));
  for (const std::vector<std::string>& words : {std::vector<std::string>{"hello"}, {"-t", "46"}}) {
    SCOPED_TRACE(words[0]);
    const Outcome outcome = run(ns.command(stampcast(words)));
    EXPECT_EQ(outcome.output, "");
    EXPECT_EQ(outcome.status, 0);
  }
  EXPECT_EQ(probe.wait(Milliseconds(3000)).output, "ready\nreceived 0\n");
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
