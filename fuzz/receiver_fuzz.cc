// One datagram of any size, as sent to a receiver with -u. Checks, against
// a reckoning of its own: the line reads as the printf format of the first
// 16 bytes (missing bytes read as 0), and the clock is set exactly when the
// datagram is whole and its fields survive a round trip through timegm and
// gmtime, in the range the clock takes.
// Then the same bytes, three at a time, as the run (four of them) and the
// number (0 to 8191) of measured datagrams, sent at the ends of time, to a
// measuring receiver that writes records: the sanitizers see any overflow,
// and the run ends with a summary status. The counts themselves are the
// stream table's unit table; the records of such extremes, against their
// schema, are tests/test_watch.py's; a line of the widest values
// report_line_test.cc's.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "tests/fake_platform.h"
#include "timestamp/roles/receiver.h"
#include "timestamp/report/json_report.h"
#include "timestamp/report/text_report.h"
#include "timestamp/wire/trailer.h"

namespace {

using namespace stampcast;

// The plan of the classic group, 239.1.1.1:1234.
RunPlan classicPlan() {
  RunPlan plan;
  plan.groups = {ipv4SocketAddress(inetAddr("239.1.1.1"), hostToNetwork16(1234))};
  return plan;
}

void measureStreams(const std::uint8_t* data, std::size_t size) {
  FakePlatform platform;
  platform.stopAtEnd = true;
  for (std::size_t i = 0; i + 3 <= size; i += 3) {
    Bytes datagram(kMeasuredDatagramSize);
    const TimestampDatagram time = encodeTimestamp(platform.clock);
    std::copy(time.bytes, time.bytes + 16, datagram.begin());
    if (data[i] & 0x20) {  // the year 30827
      datagram[0] = 30827 & 0xff;
      datagram[1] = 30827 >> 8;
    }
    std::uint64_t n = (data[i + 1] | data[i + 2] << 8) % 8192;
    if (data[i] & 0x40) n = ~n;  // near 2^64: losses past 2^63
    // A send time at either end of its range: the delay must not overflow.
    const std::int64_t sent = data[i] & 0x80 ? INT64_MIN : INT64_MAX;
    encodeTrailer(Trailer{std::uint64_t(data[i] % 4), n, sent}, &datagram[16]);
    platform.datagrams.push_back(datagram);
  }
  RunConfig config;
  config.measure = true;
  config.json = true;
  config.intervalSeconds = 1;
  JsonReport records(platform, config);
  const int status = runReceiver(config, classicPlan(), platform, records, 7);
  if (status != (size < 3 ? 1 : 0) && status != 2) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  measureStreams(data, size);
  FakePlatform platform;
  platform.datagrams = {Bytes(data, data + size)};
  RunConfig config;
  config.update = true;
  TextReport report(platform, config);
  if (runReceiver(config, classicPlan(), platform, report, 7) != -1) std::abort();

  int f[8] = {};  // year, month, weekday, day, hour, minute, second, millisecond
  for (std::size_t i = 0; i < 16 && i < size; ++i) {
    f[i / 2] |= data[i] << (i % 2 * 8);
  }
  tm fields{};
  fields.tm_year = f[0] - 1900;
  fields.tm_mon = f[1] - 1;
  fields.tm_mday = f[3];
  fields.tm_hour = f[4];
  fields.tm_min = f[5];
  fields.tm_sec = f[6];
  tm back = fields;
  const time_t seconds = ::timegm(&back);
  ::gmtime_r(&seconds, &back);
  const bool valid = size >= 16 && f[0] >= 1601 && f[0] <= 30827 && f[7] < 1000 &&
                     back.tm_year == fields.tm_year && back.tm_mon == fields.tm_mon &&
                     back.tm_mday == fields.tm_mday && back.tm_hour == fields.tm_hour &&
                     back.tm_min == fields.tm_min && back.tm_sec == fields.tm_sec;
  char expected[200];
  std::snprintf(
      expected, sizeof expected,
      "Received Time %02d:%02d:%02d:%03d on %02d-%02d-%d seq:0\n%s\n\nrecvfrom failed: 10004", f[4],
      f[5], f[6], f[7], f[1], f[3], f[0],
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
