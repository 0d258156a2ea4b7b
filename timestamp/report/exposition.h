// The receiver's figures in the text exposition format (version 0.0.4) that
// monitoring systems scrape, through node_exporter's or windows_exporter's
// textfile directory: one family of series a metric, labelled by group and
// source, in base units (seconds), with LF line ends.
#ifndef STAMPCAST_TIMESTAMP_REPORT_EXPOSITION_H_
#define STAMPCAST_TIMESTAMP_REPORT_EXPOSITION_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace stampcast {

// The delay histogram's upper bounds, in microseconds, ascending: 50 us
// doubling up to 26.2144 s, the same bounds below zero (a receiver whose
// clock is behind the sender's measures negative delays), and 0 between.
// Each bucket holds the delays above the bound before it up to its own;
// kDelayBuckets, the last, holds those above 26.2144 s (the "+Inf" bucket,
// which the exposition writes cumulatively as every bucket).
inline constexpr int kDelayDoublings = 20;
inline constexpr std::size_t kDelayBounds = 2 * kDelayDoublings + 1;
inline constexpr std::size_t kDelayBuckets = kDelayBounds + 1;
std::int64_t delayBound(std::size_t index);
// The bucket a delay (microseconds) falls in: the first whose bound is not
// below it, or kDelayBounds beyond the last bound.
std::size_t delayBucket(std::int64_t delay);

struct DscpChange {
  int sent = 0;
  int received = 0;
  std::uint64_t count = 0;
};

// What one source sent to the group, as far as the receiver saw it. The
// counters must only grow from one exposition to the next, since a
// decrease reads as a restart: `lost` in particular must count only the
// numbers that can no longer arrive (behind the stream's reorder window),
// never the interval reports' provisional losses.
struct SourceFigures {
  std::string source;  // the address without its port
  std::uint64_t received = 0;
  std::uint64_t lost = 0;
  std::uint64_t duplicate = 0;
  std::uint64_t outOfOrder = 0;
  std::uint64_t lossEpisodes = 0;
  std::array<std::uint64_t, 64> dscpReceived{};  // by the DSCP that arrived
  std::vector<DscpChange> dscpChanged;  // one a {sent, received} pair
  std::array<std::uint64_t, kDelayBuckets> delayBuckets{};  // not cumulative
  double delaySum = 0;  // microseconds
  std::uint64_t delayCount = 0;
  std::int64_t jitter = 0;  // microseconds
  std::int64_t longestGap = 0;  // microseconds
  std::int64_t lastDatagram = 0;  // microseconds since 1970 UTC
};

struct GroupFigures {
  std::string group;  // "239.1.1.1:1234", "[ff15::81]:1234"
  std::uint64_t invalid = 0;
  std::vector<SourceFigures> sources;
};

// The sources as the exposition shows them: those with the same address
// (one sender's runs, or its ports) added together, in the order first
// heard, at most `limit` of them, and every one after those added together
// under the source "other", last. Of the gauges, the longest gap is the
// largest, the last datagram the latest, and the jitter that of the one
// heard last.
std::vector<SourceFigures> foldSources(const std::vector<SourceFigures>& sources,
                                       std::size_t limit);

// The whole exposition of the groups, with stampcast_build_info{version}.
std::string writeExposition(const std::vector<GroupFigures>& groups,
                            const std::string& version);

// A label's value, quoted: `\`, `"` and newline escaped.
void appendLabelValue(std::string& out, const std::string& value);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_REPORT_EXPOSITION_H_
