// The Linux binary's texts and option scan, seen from outside: exact
// output bytes and process statuses. Runs that send or join anything do so
// inside a namespace of their own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/netns.h"
#include "tests/support/paths.h"
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

Outcome runStampcast(std::vector<std::string> words) {
  Command command;
  command.argv = {stampcastBinary()};
  command.argv.insert(command.argv.end(), words.begin(), words.end());
  command.timeout = Milliseconds(3000);
  return run(command);
}

TEST(Texts, UsageIsTheBannerAndFiveLinesWithStatus255) {
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{}, {"-h"}, {"/H"}, {"-d", "239.9.9.9", "-help"}}) {
    SCOPED_TRACE(words.empty() ? "(no argument)" : words.back());
    const Outcome outcome = runStampcast(words);
    EXPECT_EQ(outcome.status, 255);
    const std::size_t bannerEnd = outcome.output.find('\n');
    ASSERT_NE(bannerEnd, std::string::npos);
    EXPECT_EQ(outcome.output.compare(0, 14, "-- version 1.0"), 0);
    EXPECT_EQ(outcome.output.substr(bannerEnd + 1), kUsage);
    EXPECT_EQ(outcome.errors, "");
  }
}

TEST(Texts, VersionAndUnknownFlagsEndTheRunWithStatus255) {
  struct Case {
    std::vector<std::string> words;
    std::string output;
  };
  const Case cases[] = {
      {{"-v"}, "stampcast version: 1.0\n"},
      {{"/V", "-x"}, "stampcast version: 1.0\n"},  // the scan stops at -v
      {{"-x"}, "Unknown options flag -x\n"},
      {{"-d", "239.1.1.1", "-p", "99", "-xyz", "-v"}, "Unknown options flag -xyz\n"},
      {{"-"}, "Unknown options flag -\n"},
      {{"/"}, "Unknown options flag /\n"},
      // The value -1 is taken, then examined as an option word itself.
      {{"-l", "-1", "-s"}, "Unknown options flag -1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words.front());
    const Outcome outcome = runStampcast(c.words);
    EXPECT_EQ(outcome.status, 255);
    EXPECT_EQ(outcome.output, c.output);
  }
}

TEST(Texts, OnlyNonOptionWordsRunWithoutAModeAndEndWithStatus0) {
  Netns ns("clihello");
  ASSERT_TRUE(ns.ready());
  const Outcome outcome = run(ns.command({stampcastBinary(), "hello"}));
  EXPECT_EQ(outcome.status, 0) << outcome.output;
  EXPECT_EQ(outcome.output.find("usage:"), std::string::npos);
  EXPECT_EQ(outcome.output.find("Sending"), std::string::npos);
  EXPECT_EQ(outcome.output.find("Receiving"), std::string::npos);
}

TEST(OptionScan, SenderSettingsShowEveryValueAsScanned) {
  Netns ns("clisend");
  ASSERT_TRUE(ns.ready());
  Background sender(ns.command({stampcastBinary(), "-p9999", "-t:46", "-l=10",
                                "-w", "2000", "-r", "-send"}));
  ASSERT_TRUE(sender.waitForOutput("\nSending...\n", Milliseconds(2000)))
      << sender.output();
  const Outcome outcome = sender.stop(SIGTERM);
  EXPECT_NE(outcome.output.find("\ndestAddress = 239.1.1.1\n"
                                "destPort    = 999\n"
                                "dscpValue   = 46\n"
                                "ttlValue    = 10\n"
                                "waitValue   = 2000 ms\n"
                                "\nSending...\n"),
            std::string::npos)
      << outcome.output;
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
