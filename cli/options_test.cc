#include "cli/options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/option_table.h"
#include "timestamp/report/text_report.h"
#include "cli/run.h"
#include "tests/fake_platform.h"

using namespace stampcast;

// What the scan ended with (its status and the first line it printed), or
// the settings it made: group:port, t, l, w, the mode (s, r or -), u q m
// (- when not given), the expected DSCP (-1 without -e) and the count, then
// -i, -f, -a, -o json and -x where given.
static std::string scan(std::vector<std::string> words) {
  words.insert(words.begin(), "stampcast");
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(&word[0]);
  }
  FakePlatform platform;
  TextReport report(platform, RunConfig{});
  const ParsedOptions parsed = parseOptions(int(argv.size()), argv.data(), report);
  if (parsed.endRun) {
    const std::string firstLine = platform.output.substr(0, platform.output.find('\n') + 1);
    return std::to_string(parsed.exitStatus) + " " + firstLine;
  }
  const RunConfig& c = parsed.config;
  char text[300];
  std::snprintf(text, sizeof text, "%s:%d t%d l%d w%d %c%c%c%c e%d c%d", c.destAddress, c.destPort,
                c.dscpValue, c.ttlValue, c.waitValue, "-sr"[int(c.mode)], c.update ? 'u' : '-',
                c.verbose ? '-' : 'q', c.measure ? 'm' : '-', c.expectDscp ? c.expectedDscp : -1,
                c.count);
  std::string settings = text;
  // The options beyond the classic ones, only where given.
  if (c.interfaceText != nullptr) settings += std::string(" i") + c.interfaceText;
  if (c.sourceText != nullptr) settings += std::string(" f") + c.sourceText;
  if (c.intervalSeconds != 0) settings += " a" + std::to_string(c.intervalSeconds);
  if (c.json) settings += " json";
  if (c.metricsPath != nullptr) settings += std::string(" x") + c.metricsPath;
  return settings;
}

// The rules of the README's Options section.
static const std::pair<std::vector<std::string>, std::string> kScans[] = {
    {{"-s", "/V", "-x"}, "-1 stampcast version: 1.0\n"},
    {{"-p", "99", "-jyz", "-v"}, "-1 Unknown options flag -jyz\n"},
    {{"-SEND", "hello", "-p9999", "-t", "46abc"}, "239.1.1.1:999 t46 l1 w500 s--- e-1 c0"},
    {{"-port", "9999", "-l", " +7", "-t:-99999999999", "-s", "/r"},
     "239.1.1.1:0 t-2147483648 l7 w500 r--- e-1 c0"},
    {{"-p:4321", "-t=46", "-l", "abc", "-w"}, "239.1.1.1:4321 t46 l0 w0 ---- e-1 c0"},
    {{"-p", "-s"}, "239.1.1.1:0 t32 l1 w500 s--- e-1 c0"},
    {{"-d", "239.9.9.9", "-p", "1", "/P", "3", "-w", "2147483648"},
     "239.9.9.9:3 t32 l1 w2147483647 ---- e-1 c0"},
    {{"-m", "-u", "/Q", "-c", "5"}, "239.1.1.1:1234 t32 l1 w500 -uqm e-1 c5"},
    {{"-c:-3", "-e", "46"}, "239.1.1.1:1234 t32 l1 w500 ---m e46 c-3"},
    // Text values are kept as typed, empty from a word of three characters.
    {{"/I", "eth 1", "-f:", "-a", "7x", "-o", "json", "-r"},
     "239.1.1.1:1234 t32 l1 w500 r--m e-1 c0 ieth 1 f a7 json"},
    {{"-o=JSON", "-s"}, "-1 Unknown output format JSON\n"},
    // A quiet receiver and one with intervals measure; a sender does not.
    {{"-r", "-q"}, "239.1.1.1:1234 t32 l1 w500 r-qm e-1 c0"},
    // A path is the next word even when it begins with '/'; it implies -m.
    {{"-r", "-x", "/var/s.prom", "-p", "5"}, "239.1.1.1:5 t32 l1 w500 r--m e-1 c0 x/var/s.prom"},
    {{"-a:0", "-r", "-o:json"}, "239.1.1.1:1234 t32 l1 w500 r--m e-1 c0 json"},
    {{"-s", "-a", "3", "-q"}, "239.1.1.1:1234 t32 l1 w500 s-q- e-1 c0 a3"},
    // --help is a word of its own, read in turn; other long words are not.
    {{"-s", "--help", "-x"}, "0 -- version 1.0 -- multicast timestamps with DiffServ marking\n"},
    {{"-j", "--help"}, "-1 Unknown options flag -j\n"},
    {{"--HELP"}, "-1 Unknown options flag --HELP\n"},
    {{"-", "-s"}, "-1 Unknown options flag -\n"},
};

TEST(OptionScan, FollowsTheDocumentedRules) {
  for (const auto& [words, settings] : kScans) {
    EXPECT_EQ(scan(words), settings) << testing::PrintToString(words);
  }
}

// --help: the usage of -h, then one line for each other option, each
// option named once.
TEST(OptionScan, HelpListsEveryOption) {
  FakePlatform usage;
  TextReport usageReport(usage, RunConfig{});
  char* bare[] = {const_cast<char*>("stampcast"), const_cast<char*>("-h")};
  parseOptions(2, bare, usageReport);
  FakePlatform help;
  TextReport helpReport(help, RunConfig{});
  char* words[] = {bare[0], const_cast<char*>("--help")};
  EXPECT_EQ(parseOptions(2, words, helpReport).exitStatus, 0);
  ASSERT_EQ(help.output.substr(0, usage.output.size()), usage.output);
  std::string seen;
  for (const OptionRow& row : optionRows()) {
    EXPECT_EQ(seen.find(row.letter), std::string::npos) << row.letter;
    seen += row.letter;
    const std::string inUsage = std::string("[-") + row.letter + " ";
    const std::string line = std::string("\n  -") + row.letter + " ";
    const std::string& where = row.help == nullptr ? usage.output : help.output;
    EXPECT_NE(where.find(row.help == nullptr ? inUsage : line), std::string::npos) << row.letter;
  }
}

// The sender shows what the scan made, with a group as typed that is longer
// than any line buffer (the address is read up to the blank).
TEST(OptionScan, TheSenderShowsItsSettings) {
  const std::string group = "239.1.1.1 " + std::string(300, 'x');
  std::string words[] = {"stampcast", "-d", group, "-t=46", "-l", "5", "-c", "1", "-s"};
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(&word[0]);
  }
  FakePlatform platform;
  EXPECT_EQ(runStampcast(int(argv.size()), argv.data(), platform), 0);
  EXPECT_EQ(platform.output,
            "\ndestAddress = " + group +
                "\ndestPort    = 1234\ndscpValue   = 46\nttlValue    = 5\nwaitValue   = 500 ms\n\n"
                "Sending...\nSent Time 14:05:30:250 on 03-17-2008 to: " +
                group + ":1234 tos:46 ttl:5 seq:0\n");
}
