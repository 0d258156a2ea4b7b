// What the exposition (exposition.h) is fed from: the receiver's figures
// by group and source, and the file (-x) they are written to after every
// interval and at the end of the run.
#ifndef STAMPCAST_TIMESTAMP_REPORT_METRICS_FEED_H_
#define STAMPCAST_TIMESTAMP_REPORT_METRICS_FEED_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"
#include "platform/small_file.h"
#include "settings/run_config.h"
#include "timestamp/measure/measurement.h"
#include "timestamp/measure/sender_key.h"
#include "timestamp/measure/statistics.h"
#include "timestamp/measure/streams.h"
#include "timestamp/report/exposition.h"
#include "timestamp/report/report.h"

namespace stampcast {

// The interval the receiver ends every so many seconds with -x and no -a:
// the file's alone, with no interval report.
inline constexpr int kMetricsSeconds = 10;
// The seconds of the receiver's intervals: -a's, else the file's with -x.
int intervalPeriod(const RunConfig& config);

// The numbers of a stream that went missing and can no longer come: those
// behind its reorder window, and once the run is over every one missing.
// It never falls, unlike the interval reports' losses.
std::uint64_t finalLost(const StreamTable::Stream& stream, bool runOver);

// An address without its port: "10.0.0.1", "ff15::1", "fe80::1%2".
std::string sourceText(const SocketAddress& from);

// What each source address sent, datagram by datagram: at most
// StreamTable::kMaxStreams addresses, the rest counted under "other".
class SourceTally {
 public:
  // One datagram, with its arrival on the steady clock.
  void count(const MeasuredFields& measured, std::int64_t at);
  // The figures so far, the last datagram as seconds since 1970 from a
  // reading of both clocks (utcMicroseconds at steadyNow).
  std::vector<SourceFigures> figures(std::int64_t utcMicroseconds,
                                     std::int64_t steadyNow) const;

 private:
  struct Source {
    SourceFigures figures;
    std::int64_t lastArrival = 0;  // steady nanoseconds
  };
  Source& find(const SocketAddress& from);
  std::vector<Source> sources_;  // in the order first heard; "other" last
  std::unordered_map<SenderKey, std::size_t, SeededHash> index_;
  SenderKey lastKey_{};
  std::size_t last_ = 0;
};

// The group's figures: the tally's, with each stream's losses, repeats,
// late ones and jitter added to its address's, and what a stream of
// version 2 trailers tells of the load: its re-marking pairs, its settled
// loss episodes (counters never go down) and its longest gap.
GroupFigures feedGroup(const std::string& group, const ReceiverStatistics& stats,
                       std::vector<SourceFigures> sources, bool runOver);

// How a file is replaced: replaceFile, or a test's stand-in.
using FileReplacer = FileWrite (*)(const std::string& path, const std::string& bytes);

// The run's metrics file (-x).
class MetricsFile {
 public:
  MetricsFile(const RunConfig& config, const SocketAddress& group, Platform& platform,
              Report& report, FileReplacer replace = replaceFile);
  bool on() const { return path_ != nullptr; }
  // Writes the exposition of no sources yet: false, after the error that
  // ends the run, when it cannot.
  bool start();
  void count(const MeasuredFields& measured, std::int64_t at) {
    if (on()) tally_.count(measured, at);
  }
  // Writes the figures; a failure is reported once until a write succeeds.
  void write(const ReceiverStatistics& stats, bool runOver);

 private:
  std::string exposition(const ReceiverStatistics* stats, bool runOver);

  const char* path_;
  std::string group_;
  Platform& platform_;
  Report& report_;
  FileReplacer replace_;
  SourceTally tally_;
  bool failing_ = false;
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_REPORT_METRICS_FEED_H_
