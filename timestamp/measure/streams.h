// The runs of measuring senders that a receiver hears, each told apart by
// its source address and port and its run identifier: what came, what went
// missing, what came twice and what came late.
#ifndef STAMPCAST_TIMESTAMP_MEASURE_STREAMS_H_
#define STAMPCAST_TIMESTAMP_MEASURE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/types.h"
#include "timestamp/measure/histogram.h"
#include "timestamp/measure/jitter.h"
#include "timestamp/measure/sender_key.h"
#include "timestamp/measure/stream_load.h"

namespace stampcast {

// How a numbered datagram stands to those of its stream before it.
enum class Order { kNext, kDuplicate, kLate, kUntracked };

// Delays in microseconds: count, extremes and sum, of an interval.
struct DelaySpan {
  std::int64_t count = 0;
  std::int64_t min = 0;
  std::int64_t max = 0;
  long double sum = 0;

  void add(std::int64_t delay) {
    if (count == 0 || delay < min) min = delay;
    if (count == 0 || delay > max) max = delay;
    ++count;
    sum += delay;
  }
};

class StreamTable {
 public:
  // Each stream remembers which of its last kWindow numbers came; one
  // older than that counts as late. Past kMaxStreams streams, a new one is
  // not followed: memory stays bounded whatever arrives.
  static constexpr std::uint64_t kWindow = 4096;
  static constexpr std::size_t kMaxStreams = 1024;

  // Counts datagram `number` of the run `run` from `from`, with its
  // delay (the transit from the trailer's send time) when it has one, and
  // what a version 2 trailer tells of the sender's load when it has one.
  Order count(const SocketAddress& from, std::uint64_t run,
              std::uint64_t number, const std::int64_t* delay = nullptr,
              const LoadSample* load = nullptr);

  // Datagrams missing between each stream's first and highest number, at
  // most UINT64_MAX: forged numbers can make the sum of the streams' losses
  // pass it, and a loss must never add up to none.
  std::uint64_t lost() const;

  // What a stream counted, and what it had counted when the interval
  // under way began.
  struct Totals {
    std::uint64_t received = 0;
    // From the first number to the highest, or once the run is over, to
    // its last as a version 2 trailer names it.
    std::uint64_t span = 0;
    std::uint64_t lost = 0;
    std::uint64_t duplicates = 0;
    std::uint64_t late = 0;
  };
  struct Stream {
    SocketAddress from;
    std::uint64_t run = 0;
    std::uint64_t first = 0;
    std::uint64_t highest = 0;
    std::uint64_t received = 0;
    std::uint64_t distinct = 0;
    std::uint64_t duplicates = 0;
    std::uint64_t late = 0;
    std::vector<std::uint64_t> seen;  // bit n % kWindow: number n came
    Jitter jitter;
    Totals before;         // at the interval's start
    DelaySpan wholeSpan;   // the run's delays
    DelaySpan part;        // the interval's delays
    DelayHistogram whole;  // with percentiles only
    DelayHistogram partHistogram;
    StreamLoad load;  // with version 2 trailers only
    Totals totals() const;
  };

  const std::vector<Stream>& list() const { return streams_; }
  bool dropped() const { return dropped_; }
  // Keeps each stream's delays for their percentiles too (-o json).
  void keepPercentiles() { percentiles_ = true; }
  // Begins an interval: what each stream has counted so far is its start.
  void startInterval();
  // The run is over: each stream's losses at the end count from now on.
  void endRun();

 private:
  struct Key {
    SenderKey source;  // address and port
    std::uint64_t run;
    bool operator==(const Key& other) const {
      return source == other.source && run == other.run;
    }
  };
  struct KeyHash {
    SeededHash hash;
    std::size_t operator()(const Key& key) const {
      return hash(key.source, key.run);
    }
  };
  std::vector<Stream> streams_;
  std::unordered_map<Key, std::size_t, KeyHash> index_;
  Key lastKey_{};
  std::size_t last_ = 0;  // most datagrams come from the stream before
  bool dropped_ = false;  // some stream was not followed
  bool percentiles_ = false;
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_STREAMS_H_
