#include "timestamp/report/figures.h"

#include <cstdio>
#include <cstring>

#include "timestamp/measure/interval.h"
#include "timestamp/report/json.h"
#include "timestamp/report/text.h"

namespace stampcast {
namespace {

char* append(char* out, const char* text) {
  const std::size_t length = std::strlen(text);
  std::memcpy(out, text, length);
  return out + length;
}

}  // namespace

void intervalDscp(const ReceiverStatistics& stats, std::int64_t* counts) {
  for (int value = 0; value <= kUnknownDscp; ++value) {
    counts[value] = stats.byDscp[value] - stats.byDscpBefore[value];
  }
}

StreamPart partOf(const StreamTable::Stream& stream) {
  const StreamTable::Totals now = stream.totals();
  const std::uint64_t before = stream.before.lost;
  const LossChange lost = now.lost >= before ? LossChange{false, now.lost - before}
                                             : LossChange{true, before - now.lost};
  return {change(stream.before.received, now.received), now.span - stream.before.span,
          lost, change(stream.before.duplicates, now.duplicates),
          change(stream.before.late, now.late)};
}

double lostPercent(std::uint64_t lost, std::uint64_t span) {
  const long double whole = static_cast<long double>(span - 1) + 1;
  return static_cast<double>(100 * static_cast<long double>(lost) / whole);
}

void appendLoss(std::string& out, const LossChange& lost) {
  if (lost.fell && lost.size > 0) out += '-';
  char digits[24];
  out.append(digits, static_cast<std::size_t>(writeDecimal(digits, lost.size, 1) - digits));
}

std::string addressText(const SocketAddress& address) {
  char text[kAddressTextMax];
  return std::string(text, writeAddress(text, address));
}

std::string runText(std::uint64_t run) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(run));
  return text;
}

void appendMilliseconds(std::string& text, std::int64_t microseconds, bool fine) {
  if (fine) {
    appendScaled(text, microseconds, 3);
    return;
  }
  // Away from zero by the magnitude, which INT64_MIN has too.
  const std::uint64_t magnitude = microseconds < 0 ? 0 - static_cast<std::uint64_t>(microseconds)
                                                   : static_cast<std::uint64_t>(microseconds);
  const std::uint64_t whole = magnitude / 1000 + (magnitude % 1000 >= 500 ? 1 : 0);
  if (microseconds < 0 && whole > 0) text += '-';
  char digits[24];
  text.append(digits, static_cast<std::size_t>(writeDecimal(digits, whole, 1) - digits));
}

char* writeClockReport(char* out, int result, bool whole, Trust trust, char** line) {
  if (trust == Trust::kUnauthenticated) {
    out = append(out, "Time not updated: not authenticated\n");
  } else if (trust == Trust::kReplayed) {
    out = append(out, "Time not updated: replayed\n");
  } else if (!whole) {
    out = append(out, "Time not updated: invalid timestamp\n");
  } else if (result != 0) {
    out += std::snprintf(out, kClockReportCapacity, "Error: Setting local time - %d\n", result);
  } else {
    out = append(out, "Time updated..\n");
  }
  *line = out;
  const char* hint = whole && maySetClock(trust) && result != 0
                         ? rightsHint(RightsArea::Clock, static_cast<std::uint32_t>(result))
                         : nullptr;
  return hint != nullptr ? append(out, hint) : out;
}

}  // namespace stampcast
