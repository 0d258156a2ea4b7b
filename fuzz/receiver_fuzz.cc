// Runs the receiver over a stream of datagrams of any size made from the
// input, then a failed receive. Checks: the loop ends with -1 after the
// last datagram; every datagram gets its "Received Time" line with the
// receiver's own count, and a whole one reads as the printf format of its
// first 16 bytes; the clock is set only with -u and only to a time the
// calendar check accepts, taken from a whole datagram.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/options.h"
#include "fuzz/check.h"
#include "platform/local_time.h"
#include "timestamp/datagram.h"
#include "tests/fake_platform.h"
#include "timestamp/receiver.h"

namespace stampcast {
namespace {

bool startsWith(const std::string& text, std::size_t at, const std::string& prefix) {
  return text.compare(at, prefix.size(), prefix) == 0;
}

}  // namespace
}  // namespace stampcast

// Input: one byte of settings (bit 0: -u), then datagrams, each a size
// byte (doubled, so that sizes beyond the 100-byte buffer occur) followed
// by that many bytes, the last one cut by the end of the input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace stampcast;
  if (size == 0) return 0;
  RunConfig config;
  config.mode = RunMode::Receiver;
  config.update = (data[0] & 1) != 0;

  FakePlatform platform;
  std::vector<std::vector<std::uint8_t>> sent;
  constexpr std::size_t kMaxDatagrams = 64;
  for (std::size_t at = 1; at < size && sent.size() < kMaxDatagrams;) {
    const std::size_t wanted = 2u * data[at++];
    const std::size_t length = wanted < size - at ? wanted : size - at;
    sent.emplace_back(data + at, data + at + length);
    at += length;
  }
  platform.datagrams.assign(sent.begin(), sent.end());

  FUZZ_CHECK(runReceiver(config, platform, 7) == -1);
  FUZZ_CHECK(platform.datagrams.empty());
  FUZZ_CHECK(sent.empty() || platform.receiveLength >= 16);
  // The times the clock was set to, in order.
  const Bytes& setBytes = platform.given["setLocalTime"];
  std::vector<LocalTime> clockSets(setBytes.size() / sizeof(LocalTime));
  if (!clockSets.empty()) {
    std::memcpy(clockSets.data(), setBytes.data(), setBytes.size());
  }

  // The settings come first, the failed receive last; the lines between
  // them are one per datagram, in order.
  const std::string& out = platform.output;
  const std::string header = "\nReceiving...\n";
  const std::size_t body = out.find(header);
  FUZZ_CHECK(body != std::string::npos);
  std::size_t at = body + header.size();
  std::size_t setIndex = 0;
  for (std::size_t seq = 0; seq < sent.size(); ++seq) {
    const std::vector<std::uint8_t>& datagram = sent[seq];
    const std::size_t end = out.find('\n', at);
    FUZZ_CHECK(end != std::string::npos);
    const std::string line = out.substr(at, end + 1 - at);
    at = end + 1;
    FUZZ_CHECK(startsWith(line, 0, "Received Time "));
    const std::string countText = " seq:" + std::to_string(seq) + "\n";
    FUZZ_CHECK(line.size() > countText.size() &&
          line.compare(line.size() - countText.size(), countText.size(),
                       countText) == 0);
    const bool whole = datagram.size() >= kTimestampDatagramSize;
    if (whole) {
      const LocalTime t = decodeTimestamp(datagram.data());
      char expected[128];
      std::snprintf(expected, sizeof expected,
                    "Received Time %02d:%02d:%02d:%03d on %02d-%02d-%d seq:%zu\n",
                    t.hour, t.minute, t.second, t.milliseconds, t.month, t.day,
                    t.year, seq);
      FUZZ_CHECK(line == expected);
    }
    // Whatever -u prints for this datagram follows its line.
    while (at < out.size() && !startsWith(out, at, "Received Time ") &&
           !startsWith(out, at, "\nrecvfrom failed")) {
      const std::size_t next = out.find('\n', at);
      FUZZ_CHECK(next != std::string::npos);
      FUZZ_CHECK(config.update);
      at = next + 1;
    }
    if (config.update && whole &&
        isValidCalendarTime(decodeTimestamp(datagram.data()))) {
      FUZZ_CHECK(setIndex < clockSets.size());
      const TimestampDatagram set = encodeTimestamp(clockSets[setIndex++]);
      FUZZ_CHECK(std::memcmp(set.bytes, datagram.data(), kTimestampDatagramSize) == 0);
    }
  }
  FUZZ_CHECK(startsWith(out, at, "\nrecvfrom failed: "));
  FUZZ_CHECK(setIndex == clockSets.size());
  for (const LocalTime& t : clockSets) FUZZ_CHECK(isValidCalendarTime(t));
  FUZZ_CHECK(config.update || clockSets.empty());
  return 0;
}
