#include "cli/options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/fake_platform.h"

namespace stampcast {
namespace {

// Every field of the resulting config in one line, or the status and the
// text of a run that the words end.
std::string scan(std::vector<std::string> words) {
  words.insert(words.begin(), "stampcast");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  FakePlatform platform;
  const ParsedOptions parsed =
      parseOptions(static_cast<int>(argv.size()), argv.data(), platform);
  const RunConfig& c = parsed.config;
  char line[200];
  std::snprintf(line, sizeof line, "%s p%d t%d l%d w%d %c%s%s", c.destAddress,
                c.destPort, c.dscpValue, c.ttlValue, c.waitValue,
                "NSR"[static_cast<int>(c.mode)], c.update ? " u" : "",
                c.verbose ? "" : " q");
  if (parsed.endRun) {
    return std::to_string(parsed.exitStatus) + ": " + platform.output;
  }
  return line + platform.output;
}

// Which words end the run, with which text, and the mode and switches are
// also checked by the option scan's fuzz target; the values are not.
TEST(ParseOptions, WordScanValuesAndTheTextsThatEndTheRun) {
  const std::string usage =
      "-1: -- version 1.0 -- multicast timestamps with DiffServ marking\n"
      "usage: stampcast [-d destaddress] [-p port] [-t tos] [-l ttl]\n"
      "              [-w wait (ms)] [-s sender] [-r receiver] [-u update "
      "time]\n\n"
      "example sender: stampcast -d 239.1.1.1 -p 9999 -t 46 -l 10 -w 2000 -s\n"
      "example receiver: stampcast -d 239.1.1.1 -p 9999 -u -r\n"
      "default values: stampcast -s (sender) or stampcast -r (receiver)\n";
  const struct {
    std::vector<std::string> words;
    std::string result;
  } cases[] = {
      {{"hello"}, "239.1.1.1 p1234 t32 l1 w500 N"},
      {{"-d", "239.2.2.2", "-s"}, "239.2.2.2 p1234 t32 l1 w500 S"},
      {{"-d:239.2.2.2", "-u"}, "239.2.2.2 p1234 t32 l1 w500 N u"},
      {{"-d=239.2.2.2", "-q"}, "239.2.2.2 p1234 t32 l1 w500 N q"},
      {{"-P", "9999", "-r"}, "239.1.1.1 p9999 t32 l1 w500 R"},
      {{"/p", "9999"}, "239.1.1.1 p9999 t32 l1 w500 N"},
      {{"-p9999"}, "239.1.1.1 p999 t32 l1 w500 N"},
      {{"-port", "9999"}, "239.1.1.1 p0 t32 l1 w500 N"},
      {{"-p", "-s"}, "239.1.1.1 p0 t32 l1 w500 S"},
      {{"-l:", "-w"}, "239.1.1.1 p1234 t32 l0 w0 N"},  // empty; bare, last
      {{"-t", " +46abc", "-p", "1", "-p", "2"}, "239.1.1.1 p2 t46 l1 w500 N"},
      {{"-w", "99999999999999999999"}, "239.1.1.1 p1234 t32 l1 w2147483647 N"},
      {{"-w:-2147483649"}, "239.1.1.1 p1234 t32 l1 w-2147483648 N"},
      {{}, usage},
      {{"-v", "-h"}, "-1: stampcast version: 1.0\n"},
      {{"-s", "-p", "9", "-x", "-v"}, "-1: Unknown options flag -x\n"},
      // The value -1 is taken, then the word is examined as an option.
      {{"-l", "-1"}, "-1: Unknown options flag -1\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(scan(c.words), c.result) << ::testing::PrintToString(c.words);
  }
}

}  // namespace
}  // namespace stampcast
