#include "cli/run.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/fake_platform.h"
#include "timestamp/datagram.h"

namespace stampcast {
namespace {

const std::string kSetup =
    "registerClient:2 enumerateInterfaces:336 outgoingAddress openInterface:fake0 addFlow addFilter:2/24 startup ";

// What the black box cannot make fail: the socket layer's start-up, and
// every removal at once. The rest of the sequence it runs for real.
TEST(RunSequence, PhasesCallsAndStatus) {
  const struct {
    const char* mode;  // -q alone is a run without a mode
    std::map<std::string, std::uint32_t> failures;
    int status;
    std::string calls, output;
  } cases[] = {
      {"-q",
       {{"deleteFilter", 1}, {"deleteFlow", 1}, {"closeInterface", 1}, {"deregisterClient", 1}},
       0,
       kSetup + "openUdpSocket deleteFilter:68 deleteFlow:51 closeInterface:34 "
                "deregisterClient:17 shutdownSocket:2 closeSocket cleanup ",
       "Error deleting filter\nError deleting flow\nError closing interface\n"
       "Error degresitering client\n"},
      {"-s", {{"startup", 10091}}, 10091, kSetup, "WSAStartup Failed (10091) Exiting\n"},
      {"-r", {{"openUdpSocket", 10047}}, -1, "startup openUdpSocket ",
       "\"Socket\" failed with error 8\n"},  // the system's error, not the socket layer's
      {"-s", {{"setMulticastTtl", 10022}}, -1, kSetup + "openUdpSocket setMulticastTtl:1 closeSocket ",
       "Error: Setting TTL value: error - 10022\n"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.failures = c.failures;
    char program[] = "stampcast";
    std::string mode = c.mode;
    char* argv[] = {program, &mode[0], nullptr};
    EXPECT_EQ(runStampcast(2, argv, platform), c.status) << c.calls;
    EXPECT_EQ(platform.calls, c.calls);
    EXPECT_EQ(platform.output, c.output);
  }
}

// What no real system shows: how many writes a received batch takes, and a send call that stops
// short, then fails.
TEST(Batches, AReceivedBatchIsOneWriteAndAShortSendIsFollowedByTheRest) {
  // The lines and clock reports of a batch of 1 or of 32 go out in datagram order in one write,
  // and a datagram of 8 bytes reads as 0 where a whole one was.
  for (const int batch : {1, 32}) {
    FakePlatform platform;
    platform.batchSize = batch;
    std::string expected = "Receiving...\n";
    for (int i = 0; i < 36; ++i) {
      platform.datagrams.push_back(bytesOf(encodeTimestamp(platform.clock), i % 3 ? 8 : 16));
      expected += (i % 3 ? "Received Time 00:00:00:000" : "Received Time 14:05:30:250") + (" on 03-17-2008 seq:" +
                  std::to_string(i)) + (i % 3 ? "\nTime not updated: invalid timestamp\n" : "\nTime updated..\n");
    }
    char program[] = "stampcast", r[] = "-r", u[] = "-u", *argv[] = {program, r, u, nullptr};
    EXPECT_EQ(runStampcast(3, argv, platform), -1);
    EXPECT_EQ(platform.output.substr(platform.output.find("Receiving")), expected + "\nrecvfrom failed: 10004");
    EXPECT_EQ(platform.writes, 7 + (batch == 1 ? 36 : 2));  // the heading's six and the failure's besides
  }
  // The flood stamps each datagram as it fills the batch, sends again what a call left, and ends
  // with the error of the datagram that could not go.
  FakePlatform platform;
  platform.sendsBeforeFailure = 40;  // 20 at most a call
  char program[] = "stampcast", s[] = "-s", q[] = "-q", *argv[] = {program, s, q, nullptr};
  EXPECT_EQ(runStampcast(3, argv, platform), -1);
  EXPECT_EQ(platform.calls.substr(kSetup.size()), "openUdpSocket setMulticastTtl:1 sendBatch:32 sendBatch:12 sendBatch:32 "
                                                  "sendBatch:24 cleanup ");
  for (int i = 0; i < 40; ++i) EXPECT_EQ(decodeTimestamp(&platform.given["sendBatch"][16 * i]).milliseconds, 250 + i);
  EXPECT_EQ(platform.output.substr(platform.output.rfind('\n')), "\nError in Sending data on the socket - 10050");
}

}  // namespace
}  // namespace stampcast
