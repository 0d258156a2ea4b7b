// One datagram of any size, as sent to a receiver with -u. Checks, against
// a reckoning of its own: the line reads as the printf format of the first
// 16 bytes (missing bytes read as 0), and the clock is set exactly when the
// datagram is whole and its fields survive a round trip through timegm and
// gmtime, in the range the clock takes.
// Then the same bytes, three at a time, as the run (four of them) and the
// number (0 to 8191) of measured datagrams, sent at the ends of time, to a
// measuring receiver: the sanitizers see any overflow, and the run ends with
// a summary status. The counts themselves are the stream table's unit table.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cctype>
#include <ctime>
#include <string>

#include "tests/fake_platform.h"
#include "timestamp/receiver.h"
#include "timestamp/text.h"
#include "timestamp/trailer.h"

namespace {

using namespace stampcast;

[[noreturn]] void broken(const std::string& out, const char* rule) {
  std::fprintf(stderr, "record breaks the schema (%s):\n%s\n", rule, out.c_str());
  std::abort();
}

bool isTime(const std::string& text) {
  const char* form = text.size() == 23 ? "####-##-##T##:##:##.###" : "#####-##-##T##:##:##.###";
  if (text.size() != std::strlen(form)) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (form[i] == '#' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != form[i]) {
      return false;
    }
  }
  return true;
}

// Reads one JSON value at p, of `key` in a record of `type`, and checks it.
void checkValue(const char*& p, const std::string& key, const std::string& type,
                const std::string& out) {
  if (*p == '{' || *p == '[') {
    const char close = *p == '{' ? '}' : ']';
    for (++p; *p != close;) {
      std::string inner = key;
      if (close == '}') {
        if (*p != '"') broken(out, "a key");
        const char* start = ++p;
        while (*p != '"') ++p;
        inner.assign(start, p);
        if (*++p != ':') broken(out, "a colon");
        ++p;
      }
      checkValue(p, inner, type, out);
      if (*p == ',') ++p;
    }
    ++p;
  } else if (*p == '"') {
    std::string text;
    for (++p; *p != '"'; ++p) {
      if (static_cast<unsigned char>(*p) < 0x20) broken(out, "a raw control character");
      if (*p == '\\') ++p;
      text += *p;
    }
    ++p;
    if (key == "time" && !isTime(text)) broken(out, "the time's form");
  } else if (*p == '-' || std::isdigit(static_cast<unsigned char>(*p))) {
    static const char* const kSigned[] = {"min", "avg", "max", "p50", "p95", "p99", "delay_ms"};
    bool mayFall = key == "lost" && type == "interval";
    for (const char* name : kSigned) mayFall = mayFall || key == name;
    if (*p == '-' && !mayFall) broken(out, "a negative number");
    while (*p == '-' || *p == '.' || std::isdigit(static_cast<unsigned char>(*p))) ++p;
  } else {
    const std::size_t length = *p == 'f' ? 5 : 4;  // false, true, null
    if (std::strncmp(p, "false", 5) != 0 && std::strncmp(p, "true", 4) != 0 &&
        std::strncmp(p, "null", 4) != 0) {
      broken(out, "a value");
    }
    p += length;
  }
}

void checkRecords(const std::string& out) {
  for (std::size_t line = 0; line < out.size();) {
    const std::size_t end = out.find('\n', line);
    const std::string record = out.substr(line, end - line);
    if (end == std::string::npos || record.compare(0, 9, "{\"type\":\"") != 0) broken(out, "a line");
    const std::string type = record.substr(9, record.find('"', 9) - 9);
    const char* p = record.c_str();
    checkValue(p, "", type, record);
    if (*p != '\0') broken(record, "one value a line");
    line = end + 1;
  }
}

void measureStreams(const std::uint8_t* data, std::size_t size, bool json) {
  FakePlatform platform;
  platform.stopAtEnd = true;
  for (std::size_t i = 0; i + 3 <= size; i += 3) {
    Bytes datagram(kMeasuredDatagramSize);
    const TimestampDatagram time = encodeTimestamp(platform.clock);
    std::copy(time.bytes, time.bytes + 16, datagram.begin());
    if (json && data[i] & 0x20) datagram[0] = 30827 & 0xff, datagram[1] = 30827 >> 8;
    std::uint64_t n = (data[i + 1] | data[i + 2] << 8) % 8192;
    if (json && data[i] & 0x40) n = ~n;  // near 2^64: losses past 2^63
    // A send time at either end of its range: the delay must not overflow.
    const std::int64_t sent = data[i] & 0x80 ? INT64_MIN : INT64_MAX;
    encodeTrailer(Trailer{std::uint64_t(data[i] % 4), n, sent}, &datagram[16]);
    platform.datagrams.push_back(datagram);
  }
  RunConfig config;
  config.measure = true;
  config.json = json;
  config.intervalSeconds = json ? 1 : 0;
  setJsonOutput(json);
  const int status = runReceiver(config, platform, 7);
  setJsonOutput(false);
  if (status != (size < 3 ? 1 : 0) && status != 2) std::abort();
  if (json) checkRecords(platform.output);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  measureStreams(data, size, false);
  measureStreams(data, size, true);
  FakePlatform platform;
  platform.datagrams = {Bytes(data, data + size)};
  RunConfig config;
  config.update = true;
  if (runReceiver(config, platform, 7) != -1) std::abort();

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
