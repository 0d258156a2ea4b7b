#include "timestamp/report/report_line.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace stampcast {
namespace {

constexpr char kSentPrefix[] = "Sent Time ";
constexpr char kReceivedPrefix[] = "Received Time ";
constexpr char kReceivedTail[] = " seq:";

// Seven 16-bit fields of up to five digits and their separators
// ("::: on --"), a count of up to twenty digits and a sign, a newline.
constexpr std::size_t kTimeAndDateMax = 7 * 5 + 9;
constexpr std::size_t kCountMax = 21;

char* writeText(char* out, const char* text, std::size_t length) {
  std::memcpy(out, text, length);
  return out + length;
}

char* writeCount(char* out, std::int64_t seq) {
  if (seq < 0) {
    *out++ = '-';
    return writeDecimal(out, 0 - static_cast<std::uint64_t>(seq), 1);
  }
  return writeDecimal(out, static_cast<std::uint64_t>(seq), 1);
}

// " from: a.b.c.d:port tos:N ttl:N delay:N.NNNms sent:N (out of order)":
// an address of either family and a port, a code point, a TTL, a signed 64-bit delay with its
// decimals and a 64-bit number with the longer mark, at their longest.
constexpr std::size_t kMeasuredMax =
    7 + kAddressTextMax + 5 + 2 + 5 + 3 + 7 + 20 + 4 + 2 + 6 + 20 + 15;

char* writeKnown(char* out, int value) {
  if (value < 0) {
    *out++ = '-';
    return out;
  }
  return writeDecimal(out, static_cast<std::uint64_t>(value), 1);
}

// Milliseconds: whole, or with three decimals.
char* writeDelay(char* out, std::int64_t microseconds, bool fine) {
  if (!fine) return writeCount(out, microseconds / 1000);
  const std::uint64_t size = microseconds < 0
                                 ? 0 - static_cast<std::uint64_t>(microseconds)
                                 : static_cast<std::uint64_t>(microseconds);
  if (microseconds < 0) *out++ = '-';
  out = writeDecimal(out, size / 1000, 1);
  *out++ = '.';
  return writeDecimal(out, size % 1000, 3);
}

char* writeMeasured(char* out, const MeasuredFields& measured) {
  out = writeText(out, " from: ", 7);
  out = writeAddress(out, measured.from);
  out = writeText(out, " tos:", 5);
  out = writeKnown(out, measured.dscp);
  out = writeText(out, " ttl:", 5);
  out = writeKnown(out, measured.ttl);
  out = writeText(out, " delay:", 7);
  if (measured.hasDelay) {
    out = writeDelay(out, measured.delayMicroseconds, measured.fineDelay);
    out = writeText(out, "ms", 2);
  } else {
    *out++ = '-';
  }
  if (!measured.hasSent) return out;
  out = writeText(out, " sent:", 6);
  out = writeDecimal(out, measured.sent, 1);
  if (measured.order == Order::kDuplicate) return writeText(out, " (duplicate)", 12);
  if (measured.order == Order::kLate) return writeText(out, " (out of order)", 15);
  return out;
}

// "HH:MM:SS:mmm on MM-DD-" and the year at least yearDigits wide.
char* writeTimeAndDate(char* out, const LocalTime& time, int yearDigits) {
  out = writeDecimal(out, time.hour, 2);
  *out++ = ':';
  out = writeDecimal(out, time.minute, 2);
  *out++ = ':';
  out = writeDecimal(out, time.second, 2);
  *out++ = ':';
  out = writeDecimal(out, time.milliseconds, 3);
  out = writeText(out, " on ", 4);
  out = writeDecimal(out, time.month, 2);
  *out++ = '-';
  out = writeDecimal(out, time.day, 2);
  *out++ = '-';
  return writeDecimal(out, time.year, yearDigits);
}

}  // namespace

std::string sentLineTail(const RunConfig& config, bool ipv6) {
  // An IPv6 group in brackets, as a URL writes it.
  const char* format = ipv6
                           ? " to: [%s]:%d tos:%d ttl:%d seq:"
                           : " to: %s:%d tos:%d ttl:%d seq:";
  const int length = std::snprintf(nullptr, 0, format, config.destAddress,
                                   config.destPort, config.dscpValue,
                                   config.ttlValue);
  if (length <= 0) return std::string();
  std::vector<char> text(static_cast<std::size_t>(length) + 1);
  std::snprintf(text.data(), text.size(), format, config.destAddress,
                config.destPort, config.dscpValue, config.ttlValue);
  return std::string(text.data(), static_cast<std::size_t>(length));
}

std::size_t sentLineCapacity(const std::string& tail) {
  return sizeof kSentPrefix - 1 + kTimeAndDateMax + tail.size() + kCountMax +
         1;
}

std::size_t formatSentLine(char* out, const LocalTime& time,
                           const std::string& tail, std::int64_t seq) {
  char* end = writeText(out, kSentPrefix, sizeof kSentPrefix - 1);
  end = writeTimeAndDate(end, time, 2);
  end = writeText(end, tail.data(), tail.size());
  end = writeCount(end, seq);
  *end++ = '\n';
  return static_cast<std::size_t>(end - out);
}

std::size_t formatReceivedLine(char* out, const LocalTime& time,
                               std::int64_t seq,
                               const MeasuredFields* measured) {
  static_assert(sizeof kReceivedPrefix - 1 + kTimeAndDateMax +
                        kMeasuredMax + sizeof kReceivedTail - 1 + kCountMax +
                        1 <=
                    kReceivedLineCapacity,
                "a received line fits its buffer");
  char* end = writeText(out, kReceivedPrefix, sizeof kReceivedPrefix - 1);
  end = writeTimeAndDate(end, time, 1);
  if (measured != nullptr) end = writeMeasured(end, *measured);
  end = writeText(end, kReceivedTail, sizeof kReceivedTail - 1);
  end = writeCount(end, seq);
  *end++ = '\n';
  return static_cast<std::size_t>(end - out);
}

}  // namespace stampcast
