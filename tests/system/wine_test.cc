// The Windows build seen from outside: its imports and manifest, and under
// Wine its texts against the Linux build's, its sender and its receiver.
// Every Wine run happens in a WineSession, whose wineserver lives in the
// session's own network namespace.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "tests/support/netns.h"
#include "tests/support/process.h"
#include "tests/support/wine.h"

namespace stampcast {
namespace systest {
namespace {

// $STAMPCAST_WINDOWS_BINARY, else the windows preset's build. Missing, it
// skips the tests, unless $STAMPCAST_REQUIRE_WINDOWS is set.
class WineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* chosen = std::getenv("STAMPCAST_WINDOWS_BINARY");
    if (chosen != nullptr && *chosen != '\0') exe_ = chosen;
    if (std::filesystem::exists(exe_)) return;
    if (std::getenv("STAMPCAST_REQUIRE_WINDOWS") != nullptr) FAIL() << exe_ << " is missing";
    GTEST_SKIP() << exe_ << " is missing; build the windows preset";
  }
  std::string exe_ = STAMPCAST_WINDOWS_BINARY;
};

// Text-mode output read as LF lines; false when a LF came without its CR.
bool fromCrLf(std::string* text) {
  const bool crlf = countOf(*text, "\n") == countOf(*text, "\r\n");
  *text = std::regex_replace(*text, std::regex("\r\n"), "\n");
  return crlf;
}

TEST_F(WineTest, ImportsTrafficControlAndTheSocketsAndAsksForTheCallersLevel) {
  const std::string dump = run({{"x86_64-w64-mingw32-objdump", "-p", exe_}}).output;
  std::string dlls;
  const std::regex dllName(R"(DLL Name: (\S+))");
  for (std::sregex_iterator it(dump.begin(), dump.end(), dllName), end; it != end; ++it) {
    dlls += (*it)[1].str() + " ";
  }
  EXPECT_TRUE(std::regex_search(dlls, std::regex("ws2_32\\.dll", std::regex::icase))) << dlls;
  EXPECT_TRUE(std::regex_search(dlls, std::regex("traffic\\.dll", std::regex::icase))) << dlls;
  // No mingw runtime (libgcc_s_seh-1, libstdc++-6, libwinpthread-1).
  EXPECT_FALSE(std::regex_search(dlls, std::regex("(^| )lib", std::regex::icase))) << dlls;
  for (const char* function :
       {"TcRegisterClient", "TcEnumerateInterfaces", "TcOpenInterfaceW", "TcAddFlow", "TcAddFilter",
        "TcDeleteFilter", "TcDeleteFlow", "TcCloseInterface", "TcDeregisterClient"}) {
    EXPECT_TRUE(std::regex_search(dump, std::regex(std::string("\\s") + function + "\n")))
        << function;
  }
  // The manifest: resource type 24, name 1.
  EXPECT_TRUE(std::regex_search(
      dump, std::regex(R"(Entry: ID: 0x000018,.*\n.*Name Table.*\n.*Entry: ID: 0x000001,)")));
  std::ifstream file(exe_, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), {});
  EXPECT_NE(bytes.find(R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)"),
            std::string::npos);
}

TEST_F(WineTest, TextsAndStatusesAreTheLinuxBuildsAndTheSenderFindsNoTrafficControl) {
  WineSession wine("texts");
  ASSERT_EQ(wine.failure(), "");
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{}, {"-h"}, {"-v"}, {"-p", "99", "-x"}}) {
    SCOPED_TRACE(words.empty() ? "(none)" : words.back());
    Outcome windows = run(wine.command(exe_, words));
    EXPECT_TRUE(fromCrLf(&windows.output)) << windows.output;
    const Outcome linux = run({stampcast(words)});
    EXPECT_EQ(windows.output, linux.output);
    EXPECT_EQ(windows.status, 255);
    EXPECT_EQ(linux.status, 255);
  }
  Outcome sender = run(wine.command(exe_, {"-s", "-w", "100"}));
  EXPECT_TRUE(fromCrLf(&sender.output));
  EXPECT_EQ(sender.output, "TcRegisterClient returned 0x78\n");
  EXPECT_EQ(sender.status, 255);
}

TEST_F(WineTest, ReceiverTakesLinuxDatagramsAndSurvivesALongOne) {
  WineSession wine("receiver");
  ASSERT_EQ(wine.failure(), "");
  Background receiver(wine.command(exe_, {"-r"}, Milliseconds(60000)));
  ASSERT_TRUE(receiver.waitForOutput("Receiving...", Milliseconds(30000))) << receiver.output();
  Background sender(wine.netns().command(stampcast({"-s", "-w", "100"}), Milliseconds(60000)));
  ASSERT_TRUE(receiver.waitForOutput("Received Time", Milliseconds(10000), 2));
  // 200 bytes into a 100-byte buffer: a cut datagram, not the end.
  const Outcome sent = run(wine.netns().command(
      peer({"send", "239.1.1.1", "1234", "time:2008-03-17,14:05:30.250/200"})));
  ASSERT_EQ(sent.status, 0) << sent.errors;
  ASSERT_TRUE(receiver.waitForOutput(" 14:05:30:250 on 03-17-2008 ", Milliseconds(10000)));
  const int before = countOf(receiver.output(), "Received Time");
  EXPECT_TRUE(receiver.waitForOutput("Received Time", Milliseconds(10000), before + 2));
  // The receiver first, so that every line it printed has its sent line.
  const std::string received = receiver.stop().output;
  const std::string sentByLinux = sender.stop().output;
  EXPECT_EQ(received.find("recvfrom failed"), std::string::npos) << received;
  int fromLinux = 0;
  for (const std::string& line : linesStartingWith(received, "Received Time ")) {
    const std::string time = line.substr(14, 26);  // "14:05:30:250 on 03-17-2008"
    if (time == "14:05:30:250 on 03-17-2008") continue;  // the long one
    EXPECT_NE(sentByLinux.find("Sent Time " + time + " "), std::string::npos) << line;
    ++fromLinux;
  }
  EXPECT_GE(fromLinux, 4);
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
