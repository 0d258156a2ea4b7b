#include "cli/run.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/fake_platform.h"
#include "timestamp/wire/datagram.h"
#include "timestamp/wire/trailer.h"

namespace stampcast {
namespace {

int runWith(FakePlatform& platform, std::vector<std::string> words) {
  words.insert(words.begin(), "stampcast");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  return runStampcast(int(argv.size()), argv.data(), platform);
}

// What no real system shows on demand: a socket layer that cannot start, how
// many writes a received batch takes, and a send call that stops short.
TEST(RunSequence, StartupFailureBatchWritesAndShortSends) {
  FakePlatform refused;
  refused.failures["startup"] = 10091;  // its code is the status
  EXPECT_EQ(runWith(refused, {"-r"}), 10091);
  EXPECT_EQ(refused.output, "WSAStartup Failed (10091) Exiting\n");

  // The lines and clock reports of a batch of 1 or of 32 go out in datagram
  // order in one write, and a datagram of 8 bytes reads as 0 where a whole
  // one was.
  for (const int batch : {1, 32}) {
    FakePlatform platform;
    platform.batchSize = batch;
    std::string expected = "Receiving...\n";
    for (int i = 0; i < 36; ++i) {
      const TimestampDatagram whole = encodeTimestamp(platform.clock);
      platform.datagrams.push_back(Bytes(whole.bytes, whole.bytes + (i % 3 ? 8 : 16)));
      expected += (i % 3 ? "Received Time 00:00:00:000" : "Received Time 14:05:30:250") + (" on 03-17-2008 seq:" +
                  std::to_string(i)) + (i % 3 ? "\nTime not updated: invalid timestamp\n" : "\nTime updated..\n");
    }
    EXPECT_EQ(runWith(platform, {"-r", "-u"}), -1);
    EXPECT_EQ(platform.output.substr(platform.output.find("Receiving")), expected + "\nrecvfrom failed: 10004");
    EXPECT_EQ(platform.writes, 7 + (batch == 1 ? 36 : 2));  // the heading's six and the failure's besides
  }

  // The flood stamps each datagram as it fills the batch, sends again what a
  // call left, and ends with the error of the datagram that could not go.
  FakePlatform platform;
  platform.sendsBeforeFailure = 40;
  EXPECT_EQ(runWith(platform, {"-s", "-q"}), -1);
  EXPECT_EQ(platform.calls, "startup openUdpSocket setMulticastTtl:1 sendBatch:32 sendBatch:12 sendBatch:32 "
                            "sendBatch:24 cleanup ");
  for (int i = 0; i < 40; ++i) EXPECT_EQ(decodeTimestamp(&platform.given["sendBatch"][16 * i]).milliseconds, 250 + i);
  EXPECT_EQ(platform.output.substr(platform.output.rfind('\n')), "\nError in Sending data on the socket - 10050");
}

// A paced measuring sender: its bursts in one batch each, every datagram
// of the size asked with trailer version 2 and zeros after it, and the
// summary of what went.
TEST(RunSequence, PacedBurstsCarryTheirScheduleAndAreSummedUp) {
  FakePlatform platform;
  platform.sendsBeforeFailure = 100;
  EXPECT_EQ(runWith(platform, {"-s", "-q", "-m", "-t", "46", "-b", "100pps", "-n", "3", "-z", "100",
                               "-c", "7"}), 0);
  const std::string calls = platform.calls;
  const std::string bursts = "catchStopRequests sendBatch:3 sendBatch:3 sendBatch:1 ";
  EXPECT_NE(calls.find(bursts), std::string::npos) << calls;
  const Bytes& sent = platform.given["sendBatch"];
  ASSERT_EQ(sent.size(), 700u);
  for (int i = 0; i < 7; ++i) {
    Trailer trailer;
    ASSERT_TRUE(decodeTrailer(&sent[100 * i], 100, &trailer));
    EXPECT_EQ(std::make_tuple(trailer.version, trailer.number, trailer.periodNanoseconds),
              std::make_tuple(2, std::uint64_t(i), std::uint64_t(30000000)));
    EXPECT_EQ(trailer.burst, 3);
    EXPECT_TRUE(trailer.hasLast && trailer.last == 6 && trailer.dscp == 46);
    EXPECT_EQ(Bytes(&sent[100 * i + 72], &sent[100 * (i + 1)]), Bytes(28, 0));
  }
  // Bursts due 30 ms apart: three periods from the first to one after the last.
  const std::string summary = "\n--- 239.1.1.1:1234 sent ---\n7 datagrams, 700 bytes in 0.090 s: "
                              "77.778 datagrams/s, 0.062 Mbit/s, 0 slips\n";
  EXPECT_NE(platform.output.find(summary), std::string::npos)
      << platform.output;
}

}  // namespace
}  // namespace stampcast
