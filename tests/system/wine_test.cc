// The Windows build, seen from outside: its texts under Wine against the
// Linux build's, its imports and manifest, and its sender and receiver
// under Wine. Every Wine run happens in a WineSession, whose wineserver
// lives in the session's own network namespace.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/netns.h"
#include "tests/support/paths.h"
#include "tests/support/process.h"
#include "tests/support/wine.h"

namespace stampcast {
namespace systest {
namespace {

class WineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = windowsBinary();
    if (std::filesystem::exists(exe_)) return;
    if (windowsRequired()) FAIL() << exe_ << " is missing";
    GTEST_SKIP() << exe_ << " is missing; build the windows preset";
  }

  std::string exe_;
};

std::string objdump(const std::string& file) {
  Command command;
  command.argv = {"x86_64-w64-mingw32-objdump", "-p", file};
  command.timeout = Milliseconds(10000);
  const Outcome outcome = run(command);
  EXPECT_EQ(outcome.status, 0) << outcome.errors;
  return outcome.output;
}

// Every line feed of text-mode output comes with its carriage return.
bool everyLineEndsInCrLf(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return true;
}

TEST_F(WineTest, TextsThatEndTheRunMatchTheLinuxBuild) {
  WineSession wine("texts");
  ASSERT_TRUE(wine.ready()) << wine.failure();
  const char kUsageTail[] =
      "usage: stampcast [-d destaddress] [-p port] [-t tos] [-l ttl]\n"
      "              [-w wait (ms)] [-s sender] [-r receiver] [-u update "
      "time]\n\n"
      "example sender: stampcast -d 239.1.1.1 -p 9999 -t 46 -l 10 -w 2000 "
      "-s\n"
      "example receiver: stampcast -d 239.1.1.1 -p 9999 -u -r\n"
      "default values: stampcast -s (sender) or stampcast -r (receiver)\n";
  struct Case {
    std::vector<std::string> words;
    std::string expected;  // after the banner line, for the usage text
    bool usage;
  };
  const Case cases[] = {
      {{}, kUsageTail, true},
      {{"-h"}, kUsageTail, true},
      {{"-v"}, "stampcast version: 1.0\n", false},
      {{"-p", "99", "-x"}, "Unknown options flag -x\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words.empty() ? "(no argument)" : c.words.back());
    const Outcome windows = run(wine.command(exe_, c.words));
    ASSERT_FALSE(windows.timedOut);
    EXPECT_EQ(windows.status, 255);
    EXPECT_TRUE(everyLineEndsInCrLf(windows.output)) << windows.output;
    const std::string text = withoutCarriageReturns(windows.output);
    if (c.usage) {
      EXPECT_EQ(text.rfind("-- version 1.0", 0), 0u) << text;
      const std::size_t bannerEnd = text.find('\n');
      ASSERT_NE(bannerEnd, std::string::npos);
      EXPECT_EQ(text.substr(bannerEnd + 1), c.expected);
    } else {
      EXPECT_EQ(text, c.expected);
    }

    std::vector<std::string> linuxArgv = {stampcastBinary()};
    linuxArgv.insert(linuxArgv.end(), c.words.begin(), c.words.end());
    const Outcome linux = run(wine.netns().command(linuxArgv));
    EXPECT_EQ(linux.status, 255);
    EXPECT_EQ(text, linux.output);
  }
}

TEST_F(WineTest, ImportsOnlyWindowsOwnLibraries) {
  const std::string dump = objdump(exe_);
  std::set<std::string> dlls;
  const std::regex dllName(R"(DLL Name: (\S+))");
  for (std::sregex_iterator it(dump.begin(), dump.end(), dllName), end;
       it != end; ++it) {
    std::string name = (*it)[1];
    for (char& ch : name) ch = static_cast<char>(std::tolower(ch));
    dlls.insert(name);
  }
  EXPECT_EQ(dlls.count("ws2_32.dll"), 1u);
  EXPECT_EQ(dlls.count("traffic.dll"), 1u);
  for (const std::string& dll : dlls) {
    // libgcc_s_seh-1, libstdc++-6, libwinpthread-1: the mingw runtimes.
    EXPECT_NE(dll.rfind("lib", 0), 0u) << dll << " is not Windows' own";
  }
  for (const char* function :
       {"TcRegisterClient", "TcEnumerateInterfaces", "TcOpenInterfaceW",
        "TcAddFlow", "TcAddFilter", "TcDeleteFilter", "TcDeleteFlow",
        "TcCloseInterface", "TcDeregisterClient"}) {
    EXPECT_TRUE(std::regex_search(
        dump, std::regex(std::string(R"(\s)") + function + R"(\n)")))
        << function;
  }
}

TEST_F(WineTest, ManifestIsResourceOneAndAsksForTheCallersLevel) {
  // The resource directory: type 24 (RT_MANIFEST), whose first name is 1.
  EXPECT_TRUE(std::regex_search(
      objdump(exe_),
      std::regex(R"(Entry: ID: 0x000018,.*\n.*Name Table.*\n.*Entry: ID: 0x000001,)")));
  std::ifstream file(exe_, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)),
                          std::istreambuf_iterator<char>());
  EXPECT_NE(bytes.find(R"(<requestedExecutionLevel level="asInvoker" )"
                       R"(uiAccess="false"/>)"),
            std::string::npos);
}

TEST_F(WineTest, SenderEndsWhereWineHasNoTrafficControl) {
  WineSession wine("sender");
  ASSERT_TRUE(wine.ready()) << wine.failure();
  const Outcome sender = run(wine.command(exe_, {"-s", "-w", "100"}));
  ASSERT_FALSE(sender.timedOut);
  EXPECT_EQ(withoutCarriageReturns(sender.output),
            "TcRegisterClient returned 0x78\n");
  EXPECT_EQ(sender.status, 255);
}

// "Received Time 14:05:30:250 on 03-17-2008 seq:2" -> "14:05:30:250 on
// 03-17-2008", and the same part of a "Sent Time" line.
std::vector<std::string> timesOf(const std::string& output,
                                 const std::string& prefix) {
  std::vector<std::string> times;
  for (const std::string& line : linesStartingWith(output, prefix)) {
    times.push_back(line.substr(prefix.size(), 26));
  }
  return times;
}

TEST_F(WineTest, ReceiverTakesLinuxDatagramsAndSurvivesALongOne) {
  WineSession wine("receiver");
  ASSERT_TRUE(wine.ready()) << wine.failure();
  Background receiver(wine.command(exe_, {"-r"}, Milliseconds(60000)));
  ASSERT_TRUE(receiver.waitForOutput("Receiving...", Milliseconds(30000)))
      << receiver.output();
  Background sender(wine.netns().command({stampcastBinary(), "-s", "-w", "100"},
                                         Milliseconds(60000)));
  ASSERT_TRUE(receiver.waitForOutput("Received Time", Milliseconds(10000), 2))
      << receiver.output();

  // 200 bytes into a 100-byte buffer: a cut datagram, not the end.
  const Outcome peer = run(wine.netns().command(
      {tool("peer_send"), "239.1.1.1", "1234",
       "time:2008-03-17,14:05:30.250/200"}));
  ASSERT_EQ(peer.status, 0) << peer.errors;
  ASSERT_TRUE(receiver.waitForOutput("on 03-17-2008", Milliseconds(10000)))
      << receiver.output();
  const int before = countOf(receiver.output(), "Received Time");
  EXPECT_TRUE(receiver.waitForOutput("Received Time", Milliseconds(10000),
                                     before + 2))
      << receiver.output();

  // The receiver first, so that every line it printed has its sent line.
  const std::string received = withoutCarriageReturns(receiver.stop().output);
  const std::string sent = sender.stop().output;
  EXPECT_EQ(received.find("recvfrom failed"), std::string::npos) << received;
  const std::vector<std::string> sentTimes = timesOf(sent, "Sent Time ");
  const std::set<std::string> sentSet(sentTimes.begin(), sentTimes.end());
  int fromLinux = 0;
  for (const std::string& time : timesOf(received, "Received Time ")) {
    if (time == "14:05:30:250 on 03-17-2008") continue;  // the long one
    EXPECT_EQ(sentSet.count(time), 1u) << time << " was never sent";
    ++fromLinux;
  }
  EXPECT_GE(fromLinux, 4);
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
