// Feeds arbitrary bytes to the datagram's decoding, the calendar check and
// the report lines. Checks: decoding and encoding give back the 16 bytes;
// the calendar check accepts exactly the times whose every field is in
// range, measured here by another method; each report line fits the room
// its writer promises and reads as the printf format of the same fields.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cli/options.h"
#include "fuzz/check.h"
#include "platform/local_time.h"
#include "timestamp/datagram.h"
#include "timestamp/report_line.h"

namespace stampcast {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (era arithmetic), so
// that a month's length is a difference of two dates rather than a table.
long long daysFromCivil(long long year, long long month, long long day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long yearOfEra = year - era * 400;
  const long long dayOfYear =
      (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const long long dayOfEra =
      yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

long long monthLength(int year, int month) {
  const int nextYear = month == 12 ? year + 1 : year;
  const int nextMonth = month == 12 ? 1 : month + 1;
  return daysFromCivil(nextYear, nextMonth, 1) - daysFromCivil(year, month, 1);
}

bool inRange(const LocalTime& t) {
  return t.year >= 1601 && t.year <= 30827 && t.month >= 1 && t.month <= 12 &&
         t.day >= 1 && t.day <= monthLength(t.year, t.month) && t.hour <= 23 &&
         t.minute <= 59 && t.second <= 59 && t.milliseconds <= 999;
}

std::int64_t readCount(const std::uint8_t* bytes) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
  std::int64_t count;
  std::memcpy(&count, &value, sizeof count);
  return count;
}

// The line's writer is handed exactly the room it asks for, on the heap, so
// that one byte too many is an overflow the sanitizer reports.
void checkReceivedLine(const LocalTime& t, std::int64_t seq) {
  std::unique_ptr<char[]> line(new char[kReceivedLineCapacity]);
  const std::size_t length = formatReceivedLine(line.get(), t, seq);
  char expected[160];
  const int expectedLength = std::snprintf(
      expected, sizeof expected,
      "Received Time %02d:%02d:%02d:%03d on %02d-%02d-%d seq:%" PRId64 "\n",
      t.hour, t.minute, t.second, t.milliseconds, t.month, t.day, t.year, seq);
  FUZZ_CHECK(length <= kReceivedLineCapacity);
  FUZZ_CHECK(std::string(line.get(), length) ==
        std::string(expected, static_cast<std::size_t>(expectedLength)));
}

void checkSentLine(const LocalTime& t, std::int64_t seq, const RunConfig& config) {
  const std::string tail = sentLineTail(config);
  const std::size_t capacity = sentLineCapacity(tail);
  std::unique_ptr<char[]> line(new char[capacity]);
  const std::size_t length = formatSentLine(line.get(), t, tail, seq);
  FUZZ_CHECK(length <= capacity);
  const int expectedLength = std::snprintf(
      nullptr, 0,
      "Sent Time %02d:%02d:%02d:%03d on %02d-%02d-%02d to: %s:%d tos:%d "
      "ttl:%d seq:%" PRId64 "\n",
      t.hour, t.minute, t.second, t.milliseconds, t.month, t.day, t.year,
      config.destAddress, config.destPort, config.dscpValue, config.ttlValue,
      seq);
  std::string expected(static_cast<std::size_t>(expectedLength) + 1, '\0');
  std::snprintf(&expected[0], expected.size(),
                "Sent Time %02d:%02d:%02d:%03d on %02d-%02d-%02d to: %s:%d "
                "tos:%d ttl:%d seq:%" PRId64 "\n",
                t.hour, t.minute, t.second, t.milliseconds, t.month, t.day,
                t.year, config.destAddress, config.destPort, config.dscpValue,
                config.ttlValue, seq);
  expected.pop_back();
  FUZZ_CHECK(std::string(line.get(), length) == expected);
}

int readInt(const std::uint8_t* bytes) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes[i];
  int result;
  std::memcpy(&result, &value, sizeof result);
  return result;
}

}  // namespace
}  // namespace stampcast

// Input: the 16 datagram bytes, 8 bytes of count, then 12 bytes of port,
// code point and time-to-live and the rest as the address text. Missing
// bytes read as zero.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace stampcast;
  std::uint8_t head[36] = {};
  std::memcpy(head, data, size < sizeof head ? size : sizeof head);

  // The decoder reads exactly 16 bytes: give it a copy of exactly that size.
  std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[kTimestampDatagramSize]);
  std::memcpy(bytes.get(), head, kTimestampDatagramSize);
  const LocalTime time = decodeTimestamp(bytes.get());
  const TimestampDatagram again = encodeTimestamp(time);
  FUZZ_CHECK(std::memcmp(again.bytes, head, kTimestampDatagramSize) == 0);
  FUZZ_CHECK(time.year == (head[0] | head[1] << 8));  // little-endian on any host

  FUZZ_CHECK(isValidCalendarTime(time) == inRange(time));

  const std::int64_t seq = readCount(head + 16);
  checkReceivedLine(time, seq);

  RunConfig config;
  const std::string address =
      size > sizeof head
          ? std::string(reinterpret_cast<const char*>(data) + sizeof head,
                        size - sizeof head)
          : std::string("239.1.1.1");
  config.destAddress = address.c_str();  // cut at a zero byte, as argv would be
  config.destPort = readInt(head + 24);
  config.dscpValue = readInt(head + 28);
  config.ttlValue = readInt(head + 32);
  checkSentLine(time, seq, config);
  return 0;
}
