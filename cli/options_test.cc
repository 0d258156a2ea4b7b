#include "cli/options.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "tests/fake_platform.h"

namespace stampcast {
namespace {

struct Scan {
  ParsedOptions parsed;
  std::string output;
};

Scan scan(std::vector<std::string> words) {
  static std::vector<std::string> kept;  // the config refers to these words
  kept = std::move(words);
  kept.insert(kept.begin(), "stampcast");
  std::vector<char*> argv;
  for (std::string& word : kept) argv.push_back(&word[0]);
  FakePlatform platform;
  Scan result{parseOptions(static_cast<int>(argv.size()), argv.data(), platform),
              platform.output};
  return result;
}

struct ValueCase {
  std::vector<std::string> words;
  std::string address;
  int port, dscp, ttl, wait;
  RunMode mode;
};

TEST(ParseOptions, TakesValuesByTheWordScanRules) {
  const ValueCase cases[] = {
      {{"-d", "239.2.2.2", "-s"}, "239.2.2.2", 1234, 32, 1, 500, RunMode::Sender},
      {{"-d:239.2.2.2"}, "239.2.2.2", 1234, 32, 1, 500, RunMode::None},
      {{"-d=239.2.2.2"}, "239.2.2.2", 1234, 32, 1, 500, RunMode::None},
      {{"-P", "9999"}, "239.1.1.1", 9999, 32, 1, 500, RunMode::None},
      {{"/p", "9999"}, "239.1.1.1", 9999, 32, 1, 500, RunMode::None},
      {{"-p9999"}, "239.1.1.1", 999, 32, 1, 500, RunMode::None},
      {{"-port", "9999"}, "239.1.1.1", 0, 32, 1, 500, RunMode::None},
      {{"-p", "-s"}, "239.1.1.1", 0, 32, 1, 500, RunMode::Sender},
      {{"-p:"}, "239.1.1.1", 0, 32, 1, 500, RunMode::None},
      {{"-w"}, "239.1.1.1", 1234, 32, 1, 0, RunMode::None},  // bare, last
      {{"-d"}, "", 1234, 32, 1, 500, RunMode::None},
      {{"-t", " +46abc"}, "239.1.1.1", 1234, 46, 1, 500, RunMode::None},
      {{"-t", "x46"}, "239.1.1.1", 1234, 0, 1, 500, RunMode::None},
      {{"-w", "99999999999999999999"}, "239.1.1.1", 1234, 32, 1, INT_MAX, RunMode::None},
      {{"-w:-2147483649"}, "239.1.1.1", 1234, 32, 1, INT_MIN, RunMode::None},
      {{"-w=-2147483648"}, "239.1.1.1", 1234, 32, 1, INT_MIN, RunMode::None},
      {{"-p", "1", "-p", "2"}, "239.1.1.1", 2, 32, 1, 500, RunMode::None},
      {{"-s", "-r"}, "239.1.1.1", 1234, 32, 1, 500, RunMode::Receiver},
      {{"-receive", "-send"}, "239.1.1.1", 1234, 32, 1, 500, RunMode::Sender},
      {{"-Dest:10.0.0.1", "-L", "7"}, "st:10.0.0.1", 1234, 32, 7, 500, RunMode::None},
      {{"hello"}, "239.1.1.1", 1234, 32, 1, 500, RunMode::None},
  };
  for (const ValueCase& c : cases) {
    const Scan result = scan(c.words);
    const std::string context = ::testing::PrintToString(c.words);
    ASSERT_FALSE(result.parsed.endRun) << context;
    const RunConfig& config = result.parsed.config;
    EXPECT_EQ(config.destAddress, c.address) << context;
    EXPECT_EQ(config.destPort, c.port) << context;
    EXPECT_EQ(config.dscpValue, c.dscp) << context;
    EXPECT_EQ(config.ttlValue, c.ttl) << context;
    EXPECT_EQ(config.waitValue, c.wait) << context;
    EXPECT_EQ(config.mode, c.mode) << context;
    EXPECT_EQ(result.output, "") << context;
  }
}

TEST(ParseOptions, FlagsAndDefaults) {
  const Scan none = scan({"hello"});
  EXPECT_FALSE(none.parsed.config.update);
  EXPECT_TRUE(none.parsed.config.verbose);
  const Scan flags = scan({"-U", "/quiet"});
  EXPECT_TRUE(flags.parsed.config.update);
  EXPECT_FALSE(flags.parsed.config.verbose);
}

const char kUsage[] =
    "-- version 1.0 -- multicast timestamps with DiffServ marking\n"
    "usage: stampcast [-d destaddress] [-p port] [-t tos] [-l ttl]\n"
    "              [-w wait (ms)] [-s sender] [-r receiver] [-u update time]\n"
    "\n"
    "example sender: stampcast -d 239.1.1.1 -p 9999 -t 46 -l 10 -w 2000 -s\n"
    "example receiver: stampcast -d 239.1.1.1 -p 9999 -u -r\n"
    "default values: stampcast -s (sender) or stampcast -r (receiver)\n";

TEST(ParseOptions, EndsTheRunWithItsTexts) {
  const struct {
    std::vector<std::string> words;
    std::string output;
  } cases[] = {
      {{}, kUsage},
      {{"-s", "-h", "-x"}, kUsage},
      {{"/H"}, kUsage},
      {{"-v", "-h"}, "stampcast version: 1.0\n"},
      {{"-x"}, "Unknown options flag -x\n"},
      {{"-s", "-p", "9", "-xyz", "-v"}, "Unknown options flag -xyz\n"},
      {{"-"}, "Unknown options flag -\n"},
      {{"/"}, "Unknown options flag /\n"},
      // The value -1 is taken, then the word is examined as an option.
      {{"-l", "-1"}, "Unknown options flag -1\n"},
  };
  for (const auto& c : cases) {
    const Scan result = scan(c.words);
    const std::string context = ::testing::PrintToString(c.words);
    EXPECT_TRUE(result.parsed.endRun) << context;
    EXPECT_EQ(result.parsed.exitStatus, -1) << context;
    EXPECT_EQ(result.output, c.output) << context;
  }
}

TEST(ParseOptions, ReportsAnOversizedWordWhole) {
  const std::string word = "-z" + std::string(5000, 'y');
  EXPECT_EQ(scan({word}).output, "Unknown options flag " + word + "\n");
}

}  // namespace
}  // namespace stampcast
