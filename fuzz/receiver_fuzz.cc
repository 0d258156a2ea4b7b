// One datagram of any size, as sent to a receiver with -u. Checks, against
// a reckoning of its own: the line reads as the printf format of the first
// 16 bytes (missing bytes read as 0), and the clock is set exactly when the
// datagram is whole and its fields survive a round trip through timegm and
// gmtime, in the range the clock takes.
// Then the same bytes, three at a time, as the run (four of them) and the
// number (0 to 8191) of measured datagrams, sent at the ends of time, to a
// measuring receiver: each stream's summary line holds against a set of the
// numbers seen.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>
#include <string>

#include "tests/fake_platform.h"
#include "timestamp/receiver.h"
#include "timestamp/trailer.h"

namespace {

using namespace stampcast;

struct Expected {
  std::uint64_t first = 0, highest = 0, received = 0, duplicates = 0, late = 0;
  std::set<std::uint64_t> seen;  // within the first and the highest
};

void checkStreams(const std::uint8_t* data, std::size_t size) {
  FakePlatform platform;
  platform.stopAtEnd = true;
  std::map<int, Expected> streams;
  std::vector<int> order;
  for (std::size_t i = 0; i + 3 <= size; i += 3) {
    const int run = data[i] % 4;
    const std::uint64_t n = (data[i + 1] | data[i + 2] << 8) % 8192;
    Bytes datagram(kMeasuredDatagramSize);
    const TimestampDatagram time = encodeTimestamp(platform.clock);
    std::copy(time.bytes, time.bytes + 16, datagram.begin());
    // A send time at either end of its range: the delay must not overflow.
    const std::int64_t sent = data[i] & 0x80 ? INT64_MIN : INT64_MAX;
    encodeTrailer(Trailer{std::uint64_t(run), n, sent}, &datagram[16]);
    platform.datagrams.push_back(datagram);
    Expected& s = streams[run];
    if (s.received++ == 0) {
      order.push_back(run);
      s.first = n;
      s.highest = n;
      s.seen = {n};
    } else if (n > s.highest) {
      s.highest = n;
      s.seen.insert(n);
    } else if (n < s.first || s.highest - n >= 4096) {
      ++s.late;  // before the first, or beyond the window: late only
    } else if (!s.seen.insert(n).second) {
      ++s.duplicates;
    } else {
      ++s.late;
    }
  }
  std::string expected;
  std::uint64_t allLost = 0;
  for (const int run : order) {
    const Expected& s = streams[run];
    const std::uint64_t lost = s.highest - s.first + 1 - s.seen.size();
    allLost += lost;
    char line[160];
    std::snprintf(line, sizeof line, "from 0.0.0.0:0: %llu received, %llu lost (%.2f%%), %llu duplicate%s, %llu out of order\n",
                  (unsigned long long)s.received, (unsigned long long)lost, 100.0 * lost / (s.highest - s.first + 1),
                  (unsigned long long)s.duplicates, s.duplicates == 1 ? "" : "s", (unsigned long long)s.late);
    expected += line;
  }
  RunConfig config;
  config.measure = true;
  const int status = order.empty() ? 1 : allLost > 0 ? 2 : 0;
  if (runReceiver(config, platform, 7) != status) std::abort();
  // Each stream line's jitter aside: the unit table holds the estimator.
  std::string out = platform.output;
  for (std::size_t at = out.find(", jitter "); at != std::string::npos; at = out.find(", jitter ", at)) {
    out.erase(at, out.find(" ms\n", at) + 3 - at);
  }
  if (out.size() < expected.size() || out.compare(out.size() - expected.size(), expected.size(), expected) != 0) {
    std::fprintf(stderr, "invariant broken: got\n%s\nwanted the end\n%s\n", out.c_str(), expected.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  checkStreams(data, size);
  FakePlatform platform;
  platform.datagrams = {Bytes(data, data + size)};
  RunConfig config;
  config.update = true;
  if (runReceiver(config, platform, 7) != -1) std::abort();

  int f[8] = {};  // year, month, weekday, day, hour, minute, second, millisecond
  for (std::size_t i = 0; i < 16 && i < size; ++i) f[i / 2] |= data[i] << (i % 2 * 8);
  tm fields{};
  fields.tm_year = f[0] - 1900, fields.tm_mon = f[1] - 1, fields.tm_mday = f[3];
  fields.tm_hour = f[4], fields.tm_min = f[5], fields.tm_sec = f[6];
  tm back = fields;
  const time_t seconds = ::timegm(&back);
  ::gmtime_r(&seconds, &back);
  const bool valid = size >= 16 && f[0] >= 1601 && f[0] <= 30827 && f[7] < 1000 &&
                     back.tm_year == fields.tm_year && back.tm_mon == fields.tm_mon &&
                     back.tm_mday == fields.tm_mday && back.tm_hour == fields.tm_hour &&
                     back.tm_min == fields.tm_min && back.tm_sec == fields.tm_sec;
  char expected[200];
  std::snprintf(expected, sizeof expected, "Received Time %02d:%02d:%02d:%03d on %02d-%02d-%d seq:0\n%s\n\nrecvfrom failed: 10004",
                f[4], f[5], f[6], f[7], f[1], f[3], f[0],
                valid ? "Time updated.." : "Time not updated: invalid timestamp");
  const std::string& out = platform.output;
  const std::size_t tail = std::string(expected).size();
  if (out.size() < tail || out.compare(out.size() - tail, tail, expected) != 0 ||
      platform.given["setLocalTime"].size() != (valid ? 16u : 0u)) {
    std::fprintf(stderr, "invariant broken: got\n%s\nwanted the end\n%s\n", out.c_str(), expected);
    std::abort();
  }
  return 0;
}
