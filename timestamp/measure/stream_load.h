// What a stream of a sender under load (version 2 trailers) adds to its
// counts: the code points re-marked on the way, its loss episodes and
// longest gap, the rate that came, and the losses at the end of a -c run.
// A stream of version 1 trailers keeps none of it.
#ifndef STAMPCAST_TIMESTAMP_MEASURE_STREAM_LOAD_H_
#define STAMPCAST_TIMESTAMP_MEASURE_STREAM_LOAD_H_

#include <cstdint>
#include <vector>

#include "timestamp/measure/load_figures.h"
#include "timestamp/measure/loss_episodes.h"

namespace stampcast {

// One datagram of such a stream, as far as its load goes.
struct LoadSample {
  std::uint64_t number = 0;
  std::int64_t sentNanoseconds = 0;  // the trailer's send time
  int askedDscp = 0;                 // the trailer's
  int arrivedDscp = -1;              // -1: the system cannot tell
  bool hasLast = false;              // the trailer names the run's last number
  std::uint64_t last = 0;
  std::uint64_t bytes = 0;         // its UDP payload as it came, uncut
  std::int64_t steadyNanoseconds = 0;  // its arrival on the steady clock
};

// The figures of a stretch of the stream: a run's, or an interval's.
struct LoadPart {
  std::vector<RemarkPair> remarked;
  std::int64_t episodes = 0;  // a change over an interval may be negative
  LossGap longest;
  ReceivedRate rate;
};

class StreamLoad {
 public:
  bool on() const { return on_; }
  void add(const LoadSample& sample);
  // Begins an interval: what was counted so far is its start.
  void startInterval();
  // The run is over: the numbers after the highest seen up to the run's
  // last count as lost, and as an episode.
  void endRun() { ended_ = true; }
  // The numbers lost at the end so far: none before the run is over.
  std::uint64_t lostAtEnd() const;
  // The episodes that can no longer change: all of them once the run is
  // over, else those out of the reorder window. They only grow.
  std::uint64_t settledEpisodes() const { return ended_ ? episodes() : episodes_.settled(); }
  LoadPart whole() const;
  LoadPart interval() const;

 private:
  std::uint64_t episodes() const;
  bool on_ = false;
  bool ended_ = false;
  bool hasLast_ = false;
  std::uint64_t last_ = 0;
  LossEpisodes episodes_;
  RemarkPairs pairs_;
  // The rate counts the datagrams after the first over the time from the
  // first arrival to the last: a steady stream of N a second shows N.
  std::uint64_t datagrams_ = 0;
  std::uint64_t bytes_ = 0;
  std::int64_t firstAt_ = 0;
  std::int64_t lastAt_ = 0;
  // At the interval's start.
  RemarkPairs pairsBefore_;
  std::uint64_t episodesBefore_ = 0;
  std::uint64_t datagramsBefore_ = 0;
  std::uint64_t bytesBefore_ = 0;
  std::int64_t atBefore_ = 0;
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_STREAM_LOAD_H_
