#include "timestamp/measure/statistics.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "timestamp/report/json.h"
#include "timestamp/report/text.h"

namespace stampcast {
namespace {

constexpr int kUnknownDscp = 64;
constexpr int kUnknownTtl = 256;

const char* plural(std::int64_t count) { return count == 1 ? "" : "s"; }

// One line a value seen, ascending, the unknown one last as "-".
void appendCounts(std::string& text, const char* name,
                  const std::int64_t* counts, int unknown) {
  for (int value = 0; value <= unknown; ++value) {
    if (counts[value] == 0) continue;
    if (value == unknown) {
      appendFormat(text, "%s -: %lld\n", name, static_cast<long long>(counts[value]));
    } else {
      appendFormat(text, "%s %d: %lld\n", name, value,
             static_cast<long long>(counts[value]));
    }
  }
}

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

// A percentile as the delay line shows it: whole milliseconds unless a
// trailer measured finer.
double shownPercentile(const ReceiverStatistics& stats, double percent) {
  const double milliseconds = stats.histogram.percentile(percent) / 1000;
  return stats.fineDelays ? milliseconds : std::round(milliseconds);
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
  return stats.streams.count(measured.from, measured.run, measured.sent,
                             measured.hasDelay ? &measured.delayMicroseconds
                                               : nullptr);
}

void startInterval(ReceiverStatistics& stats) {
  stats.receivedBefore = stats.received;
  stats.invalidBefore = stats.invalid;
  stats.mismatchesBefore = stats.mismatches;
  std::copy(std::begin(stats.byDscp), std::end(stats.byDscp), stats.byDscpBefore);
  stats.streams.startInterval();
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

std::string formatSummary(const ReceiverStatistics& stats,
                          const RunConfig& config) {
  // The group as typed, which may be longer than any line buffer; an IPv6
  // group in brackets.
  const bool ipv6 = isIpv6Text(config.destAddress);
  std::string text = std::string("\n--- ") + (ipv6 ? "[" : "") +
                     config.destAddress + (ipv6 ? "]:" : ":") +
                     std::to_string(config.destPort) + " statistics ---\n";
  const auto senders = static_cast<std::int64_t>(stats.senders.size());
  appendFormat(text, "%lld datagram%s received from %s%lld sender%s, %lld invalid\n",
         static_cast<long long>(stats.received), plural(stats.received),
         stats.moreSenders ? "more than " : "", static_cast<long long>(senders),
         plural(stats.moreSenders ? 2 : senders),
         static_cast<long long>(stats.invalid));
  appendCounts(text, "tos", stats.byDscp, kUnknownDscp);
  if (config.expectDscp) {
    appendFormat(text, "expected tos %d: %lld mismatch%s\n", config.expectedDscp,
           static_cast<long long>(stats.mismatches),
           stats.mismatches == 1 ? "" : "es");
  }
  appendCounts(text, "ttl", stats.byTtl, kUnknownTtl);
  if (stats.delays > 0) {
    // The mean deviation as ping gives it: the square root of the mean
    // square less the square of the mean. The extremes are whole
    // milliseconds unless a trailer measured finer.
    const long double deviation =
        std::sqrt(stats.squaredDeviations / stats.delays);
    // The extremes exact, as the records give them.
    text += "delay min/avg/max/mdev = ";
    appendMilliseconds(text, stats.minDelay, stats.fineDelays);
    appendFormat(text, "/%.3f/", static_cast<double>(stats.meanDelay / 1000));
    appendMilliseconds(text, stats.maxDelay, stats.fineDelays);
    appendFormat(text, "/%.3f ms\n", static_cast<double>(deviation / 1000));
    appendFormat(text,
                 stats.fineDelays ? "delay median/95%%/99%% = %.3f/%.3f/%.3f ms\n"
                                  : "delay median/95%%/99%% = %.0f/%.0f/%.0f ms\n",
                 shownPercentile(stats, 50), shownPercentile(stats, 95),
                 shownPercentile(stats, 99));
  }
  stats.streams.appendLines(text);
  return text;
}

int summaryStatus(const ReceiverStatistics& stats) {
  if (stats.received == 0) return 1;
  return stats.mismatches > 0 || stats.streams.lost() > 0 ? 2 : 0;
}

}  // namespace stampcast
