// The marking seen on the wire: the whole TOS byte each datagram of the
// Linux sender carries when it arrives, so that stray ECN bits show too.
#include <gtest/gtest.h>

#include "tests/support/netns.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {
namespace {

TEST(MarkingOnTheWire, EveryDatagramCarriesTheFlowsDsClass) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"-w", "50", "-s"}, "len=16 tos=0x80\n"},  // DS class 32
      {{"-w", "50", "-t", "46", "-s"}, "len=16 tos=0xb8\n"},
  };
  Netns ns("wire");
  ASSERT_TRUE(ns.ready());
  for (const auto& [words, line] : cases) {
    SCOPED_TRACE(line);
    Background probe(ns.command(peer({"probe", "-n", "3", "-t", "4000", "239.1.1.1", "1234"})));
    ASSERT_TRUE(probe.waitForOutput("ready\n", Milliseconds(2000)));
    Background sender(ns.command(stampcast(words)));
    const Outcome probed = probe.wait(Milliseconds(5000));
    EXPECT_EQ(probed.output, std::string("ready\n") + line + line + line + "received 3\n")
        << sender.stop().output;
  }
}

}  // namespace
}  // namespace systest
}  // namespace stampcast
