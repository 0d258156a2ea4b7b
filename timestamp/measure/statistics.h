// What a measuring receiver counts, and the status its summary ends with.
#ifndef STAMPCAST_TIMESTAMP_MEASURE_STATISTICS_H_
#define STAMPCAST_TIMESTAMP_MEASURE_STATISTICS_H_

#include <cstdint>
#include <string>
#include <unordered_set>

#include "settings/run_config.h"
#include "timestamp/measure/histogram.h"
#include "timestamp/measure/measurement.h"
#include "timestamp/measure/sender_key.h"
#include "timestamp/measure/streams.h"

namespace stampcast {

// The slots of the unknown DSCP and TTL in the counts by value.
inline constexpr int kUnknownDscp = 64;
inline constexpr int kUnknownTtl = 256;

struct ReceiverStatistics {
  // Senders are told apart up to this many; a flood of forged source
  // addresses costs no more memory than that.
  static constexpr std::size_t kMaxSenders = 65536;

  std::int64_t received = 0;
  std::int64_t invalid = 0;  // too short, or no calendar time
  // With -k: datagrams without a valid tag, counted nowhere else.
  std::int64_t unauthenticated = 0;
  std::int64_t mismatches = 0;
  std::int64_t byDscp[kUnknownDscp + 1] = {};
  std::int64_t byTtl[kUnknownTtl + 1] = {};
  std::unordered_set<SenderKey, SeededHash> senders;  // senderKey()s
  bool moreSenders = false;  // some went uncounted past kMaxSenders
  SenderKey lastSender;
  StreamTable streams;
  // Delays in microseconds: count, extremes, and the running mean and sum
  // of squared deviations, which stay exact enough for any spread; whether
  // any was finer than a millisecond.
  bool fineDelays = false;
  std::int64_t delays = 0;
  std::int64_t minDelay = 0;
  std::int64_t maxDelay = 0;
  long double meanDelay = 0;
  long double squaredDeviations = 0;
  DelayHistogram histogram;
  // What the interval under way began with.
  std::int64_t receivedBefore = 0;
  std::int64_t invalidBefore = 0;
  std::int64_t mismatchesBefore = 0;
  std::int64_t byDscpBefore[kUnknownDscp + 1] = {};
};

// Begins an interval report's interval (-a).
void startInterval(ReceiverStatistics& stats);

// Counts one received datagram with what the receiver measured of it, a
// numbered one in its stream too; returns how it stands to its stream.
Order countDatagram(ReceiverStatistics& stats, const RunConfig& config,
                   const MeasuredFields& measured);

// 1 when nothing arrived, 2 when anything arrived otherwise than expected
// or went missing, else 0.
int summaryStatus(const ReceiverStatistics& stats);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_STATISTICS_H_
