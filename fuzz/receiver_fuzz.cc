// One datagram of any size, as sent to a receiver with -u. Checks, against
// a reckoning of its own: the line reads as the printf format of the first
// 16 bytes (missing bytes read as 0), and the clock is set exactly when the
// datagram is whole and its fields survive a round trip through timegm and
// gmtime, in the range the clock takes.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "tests/fake_platform.h"
#include "timestamp/receiver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace stampcast;
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
