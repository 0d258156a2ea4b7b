// The figures both forms of a report show, each reckoned once: counts by
// value, a stream's part of an interval, the lost percentage, plurals, and
// the line a clock setting reports.
#ifndef STAMPCAST_TIMESTAMP_REPORT_FIGURES_H_
#define STAMPCAST_TIMESTAMP_REPORT_FIGURES_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/types.h"
#include "timestamp/measure/statistics.h"
#include "timestamp/measure/streams.h"
#include "timestamp/measure/trust.h"
#include "timestamp/report/rights_hint.h"

namespace stampcast {

inline const char* plural(std::int64_t count) { return count == 1 ? "" : "s"; }

// Each value seen (counts[value] not 0), ascending, with its label: the
// value, or "-" for the unknown one, which comes last.
template <typename Visit>
void eachCount(const std::int64_t* counts, int unknown, Visit visit) {
  for (int value = 0; value <= unknown; ++value) {
    if (counts[value] == 0) continue;
    visit(value == unknown ? std::string("-") : std::to_string(value), counts[value]);
  }
}

// The DSCP counts of the interval under way, the unknown one last.
void intervalDscp(const ReceiverStatistics& stats, std::int64_t* counts);

// How a stream's loss moved over an interval, by sign and size: forged
// numbers can move it by more than a signed 64-bit figure holds.
struct LossChange {
  bool fell = false;
  std::uint64_t size = 0;
};

// What a stream counted over the interval under way.
struct StreamPart {
  std::int64_t received;
  std::uint64_t span;
  LossChange lost;
  std::int64_t duplicates;
  std::int64_t late;
};
StreamPart partOf(const StreamTable::Stream& stream);

// `lost` of a span of `span` numbers as a percentage, where a span of 0
// is one that holds every 64-bit number (the count wrapped).
double lostPercent(std::uint64_t lost, std::uint64_t span);

// The loss with its sign ("-3", "0", "5").
void appendLoss(std::string& out, const LossChange& lost);

// "a.b.c.d:port" or "[v6]:port"; the run identifier in 16 hex digits.
std::string addressText(const SocketAddress& address);
std::string runText(std::uint64_t run);

// A delay in milliseconds as the text shows it: to the microsecond when
// `fine`, else whole (halves away from zero); exact at any size.
void appendMilliseconds(std::string& text, std::int64_t microseconds, bool fine);

// The longest report of a clock setting: "Error: Setting local time - "
// and an int with its sign, a newline and the terminator snprintf adds,
// and the rights hint that may follow it once.
inline constexpr std::size_t kClockReportCapacity = 28 + 11 + 2 + kRightsHintCapacity;

// The report of a clock setting that ended with `result` (0: set), or of
// none for a datagram without a valid tag, one replayed (with -k) or one
// without a whole timestamp, with the rights hint after it the first time:
// at out, which holds kClockReportCapacity bytes; returns the end. `line`
// gets the end of the first line.
char* writeClockReport(char* out, int result, bool whole, Trust trust, char** line);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_REPORT_FIGURES_H_
