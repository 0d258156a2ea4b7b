#include "timestamp/measure/statistics.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace stampcast {
namespace {

// A sender is its address and port; most datagrams come from the one
// before, which needs no look-up.
void countSender(ReceiverStatistics& stats, const SocketAddress& from) {
  const SenderKey sender = senderKey(from);
  if (!stats.senders.empty() && sender == stats.lastSender) return;
  if (stats.senders.size() < ReceiverStatistics::kMaxSenders) {
    stats.senders.insert(sender);
  } else if (stats.senders.count(sender) == 0) {
    stats.moreSenders = true;
  }
  stats.lastSender = sender;
}

void countDelay(ReceiverStatistics& stats, const MeasuredFields& measured) {
  if (!measured.hasDelay) {
    ++stats.invalid;
    return;
  }
  const std::int64_t delay = measured.delayMicroseconds;
  stats.fineDelays = stats.fineDelays || measured.fineDelay;
  if (stats.delays == 0 || delay < stats.minDelay) stats.minDelay = delay;
  if (stats.delays == 0 || delay > stats.maxDelay) stats.maxDelay = delay;
  ++stats.delays;
  const long double deviation = delay - stats.meanDelay;
  stats.meanDelay += deviation / stats.delays;
  stats.squaredDeviations += deviation * (delay - stats.meanDelay);
  stats.histogram.add(delay);
}

}  // namespace

Order countDatagram(ReceiverStatistics& stats, const RunConfig& config,
                    const MeasuredFields& measured) {
  ++stats.received;
  const bool knownDscp = measured.dscp >= 0 && measured.dscp < kUnknownDscp;
  ++stats.byDscp[knownDscp ? measured.dscp : kUnknownDscp];
  const bool knownTtl = measured.ttl >= 0 && measured.ttl < kUnknownTtl;
  ++stats.byTtl[knownTtl ? measured.ttl : kUnknownTtl];
  if (config.expectDscp && (!knownDscp || measured.dscp != config.expectedDscp)) {
    ++stats.mismatches;
  }
  countSender(stats, measured.from);
  countDelay(stats, measured);
  if (!measured.hasSent) return Order::kNext;
  LoadSample load;
  if (measured.hasLoad) {
    load.number = measured.sent;
    load.sentNanoseconds = measured.sentNanoseconds;
    load.askedDscp = measured.askedDscp;
    load.arrivedDscp = measured.dscp;
    load.hasLast = measured.hasLast;
    load.last = measured.last;
    load.bytes = measured.bytes;
    load.steadyNanoseconds = measured.steadyNanoseconds;
  }
  return stats.streams.count(measured.from, measured.run, measured.sent,
                             measured.hasDelay ? &measured.delayMicroseconds : nullptr,
                             measured.hasLoad ? &load : nullptr);
}

void startInterval(ReceiverStatistics& stats) {
  stats.receivedBefore = stats.received;
  stats.invalidBefore = stats.invalid;
  stats.mismatchesBefore = stats.mismatches;
  std::copy(std::begin(stats.byDscp), std::end(stats.byDscp), stats.byDscpBefore);
  stats.streams.startInterval();
}

int summaryStatus(const ReceiverStatistics& stats) {
  if (stats.received == 0) return 1;
  return stats.mismatches > 0 || stats.streams.lost() > 0 ? 2 : 0;
}

}  // namespace stampcast
