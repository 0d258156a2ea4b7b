#include "timestamp/report/text_report.h"

#include <cmath>
#include <cstring>

#include "timestamp/report/text.h"

namespace stampcast {
namespace {

// A text report written this long after its interval's end says so.
constexpr std::int64_t kLateMicroseconds = 1000000;

// "  tos 46: 95, tos 8: 5": the DSCPs that came in the interval, ascending,
// the unknown one last as "-"; nothing when none came.
void appendDscpLine(std::string& out, const ReceiverStatistics& stats) {
  std::int64_t counts[kUnknownDscp + 1];
  intervalDscp(stats, counts);
  const char* separator = "  ";
  eachCount(counts, kUnknownDscp, [&](const std::string& label, std::int64_t count) {
    out += separator;
    appendFormat(out, "tos %s: %lld", label.c_str(), static_cast<long long>(count));
    separator = ", ";
  });
  if (separator[0] == ',') out += '\n';
}

// Under a stream of version 2 trailers, `indent` deeper than its line: one
// line a re-marked pair, then its loss episodes, longest gap and rate.
void appendLoadLines(std::string& out, const StreamLoad& load, const LoadPart& part,
                     const char* indent) {
  if (!load.on()) return;
  for (const RemarkPair& pair : part.remarked) {
    appendFormat(out, "%sdscp %d arrived as %d: %llu\n", indent, pair.sent, pair.received,
                 static_cast<unsigned long long>(pair.count));
  }
  appendFormat(out, "%sloss episodes %lld, longest gap %llu datagram%s (%.3f ms), ", indent,
               static_cast<long long>(part.episodes),
               static_cast<unsigned long long>(part.longest.datagrams),
               part.longest.datagrams == 1 ? "" : "s",
               static_cast<double>(part.longest.nanoseconds) / 1e6);
  appendFormat(out, "%.1f datagrams/s, %.3f Mbit/s\n", part.rate.datagramsPerSecond,
               part.rate.mbitPerSecond);
}

void appendStreamPart(std::string& out, const StreamTable::Stream& stream,
                      const StreamPart& part) {
  appendFormat(out, "  from %s: %lld received, ", addressText(stream.from).c_str(),
               static_cast<long long>(part.received));
  appendLoss(out, part.lost);
  // An interval that moved no stream's span forward shows no loss rate.
  const double percent = part.span == 0 ? 0 : lostPercent(part.lost.size, part.span);
  appendFormat(out, " lost (%.2f%%), %lld duplicate%s, %lld out of order, ",
               part.lost.fell ? -percent : percent,
               static_cast<long long>(part.duplicates), plural(part.duplicates),
               static_cast<long long>(part.late));
  if (stream.part.count > 0) {
    out += "delay min/avg/max = ";
    appendMilliseconds(out, stream.part.min, true);
    appendFormat(out, "/%.3f/", static_cast<double>(stream.part.sum / stream.part.count) / 1000);
    appendMilliseconds(out, stream.part.max, true);
    out += " ms, ";
  } else {
    out += "delay min/avg/max = -/-/- ms, ";
  }
  appendFormat(out, "jitter %.3f ms\n", stream.jitter.microseconds / 1000);
  if (stream.load.on()) appendLoadLines(out, stream.load, stream.load.interval(), "    ");
}

// A percentile as the delay line shows it: whole milliseconds unless a
// trailer measured finer.
double shownPercentile(const ReceiverStatistics& stats, double percent) {
  const double milliseconds = stats.histogram.percentile(percent) / 1000;
  return stats.fineDelays ? milliseconds : std::round(milliseconds);
}

void appendDelayLines(std::string& text, const ReceiverStatistics& stats) {
  // The mean deviation as ping gives it: the square root of the mean
  // square less the square of the mean. The extremes exact, as the
  // records give them: whole milliseconds unless a trailer measured finer.
  const long double deviation = std::sqrt(stats.squaredDeviations / stats.delays);
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

// One line a stream, in the order they were first heard.
void appendStreamLines(std::string& text, const StreamTable& streams) {
  for (const StreamTable::Stream& stream : streams.list()) {
    const StreamTable::Totals totals = stream.totals();
    appendFormat(text,
                 "from %s: %llu received, %llu lost (%.2f%%), %llu duplicate%s, "
                 "%llu out of order, jitter %.3f ms\n",
                 addressText(stream.from).c_str(),
                 static_cast<unsigned long long>(totals.received),
                 static_cast<unsigned long long>(totals.lost),
                 lostPercent(totals.lost, totals.span),
                 static_cast<unsigned long long>(totals.duplicates),
                 plural(static_cast<std::int64_t>(totals.duplicates)),
                 static_cast<unsigned long long>(totals.late),
                 stream.jitter.microseconds / 1000);
    if (stream.load.on()) appendLoadLines(text, stream.load, stream.load.whole(), "  ");
  }
  if (streams.dropped()) {
    text += "more streams than " + std::to_string(StreamTable::kMaxStreams) +
            ": the others were not followed\n";
  }
}

}  // namespace

void TextReport::message(const std::string& text) {
  platform_.writeOutput(text.data(), text.size());
}

void TextReport::error(const std::string& text) { message(text); }

void TextReport::settings(bool sender) {
  print(*this, "\ndestAddress = %s\n", config_.destAddress);
  print(*this, "destPort    = %d\n", config_.destPort);
  if (sender) {
    print(*this, "dscpValue   = %d\n", config_.dscpValue);
    print(*this, "ttlValue    = %d\n", config_.ttlValue);
    print(*this, "waitValue   = %d ms\n", config_.waitValue);
    return;
  }
  print(*this, config_.update ? "Update      = TRUE\n" : "Update      = FALSE\n");
  // A measuring receiver that named its interface or its source: what it
  // joined on and from, as typed.
  if (!config_.measure) return;
  if (plan_.interfaceIndex == 0 && config_.sourceText == nullptr) return;
  std::string line = "Interface   = ";
  if (plan_.interfaceIndex != 0) {
    appendFormat(line, "%s (index %u)", config_.interfaceText, plan_.interfaceIndex);
  } else {
    line += "default";
  }
  line += ", source = ";
  line += config_.sourceText != nullptr ? config_.sourceText : "any";
  print(*this, "%s\n", line.c_str());
}

bool TextReport::sent(const LocalTime& time, std::int64_t seq, const SocketAddress&,
                      std::int64_t) {
  if (line_.empty()) {
    tail_ = sentLineTail(config_, plan_.ipv6());
    line_.assign(sentLineCapacity(tail_), '\0');
  }
  return platform_.writeOutput(line_.data(), formatSentLine(line_.data(), time, tail_, seq));
}

void TextReport::received(const ReceivedDatagram& datagram) {
  // A quiet receiver (-q) measures, and prints no line a datagram.
  if (config_.verbose) {
    end_ += formatReceivedLine(end_, datagram.time, datagram.seq, datagram.measured);
    // A measuring receiver's line of a datagram without a valid tag says so.
    if (datagram.measured != nullptr && datagram.trust == Trust::kUnauthenticated) {
      static const char kMark[] = " (unauthenticated)\n";
      std::memcpy(end_ - 1, kMark, sizeof kMark - 1);
      end_ += sizeof kMark - 2;
    }
  }
  if (datagram.clock != nullptr) {
    char* line;
    end_ = writeClockReport(end_, *datagram.clock, datagram.whole, datagram.trust, &line);
  }
}

void TextReport::interval(const ReceiverStatistics& stats, const IntervalSpan& span) {
  pending_ += intervalText(stats, span);
}

void TextReport::summary(const ReceiverStatistics& stats) {
  pending_ += summaryText(stats, config_, plan_);
}

void TextReport::senderSummary(const SenderTotals& totals, const SocketAddress& group) {
  // The group as typed, as the receiver's summary shows it.
  const bool ipv6 = group.family == kAddressFamilyInet6;
  std::string text = std::string("\n--- ") + (ipv6 ? "[" : "") + config_.destAddress +
                     (ipv6 ? "]:" : ":") + std::to_string(config_.destPort) + " sent ---\n";
  const SenderRates rates = senderRates(totals);
  appendFormat(text, "%llu datagrams, %llu bytes in %.3f s: %.3f datagrams/s, %.3f Mbit/s, "
               "%llu slips\n",
               static_cast<unsigned long long>(totals.datagrams),
               static_cast<unsigned long long>(totals.bytes), rates.seconds,
               rates.datagramsPerSecond, rates.mbitPerSecond,
               static_cast<unsigned long long>(totals.slips));
  platform_.writeOutput(text.data(), text.size());
}

bool TextReport::flush() {
  bool open = true;
  if (end_ != lines_) {
    open = platform_.writeOutput(lines_, static_cast<std::size_t>(end_ - lines_));
  }
  end_ = lines_;
  return Report::flush() && open;
}

std::string intervalText(const ReceiverStatistics& stats, const IntervalSpan& span) {
  std::string out;
  appendFormat(out, "interval %.3f-%.3f s: %lld received, %lld invalid",
               span.from / 1e6, span.to / 1e6,
               static_cast<long long>(stats.received - stats.receivedBefore),
               static_cast<long long>(stats.invalid - stats.invalidBefore));
  // A receiver that fell behind says how far.
  if (span.late >= kLateMicroseconds) {
    appendFormat(out, ", reported %.3f s late", span.late / 1e6);
  }
  out += '\n';
  appendDscpLine(out, stats);
  for (const StreamTable::Stream& stream : stats.streams.list()) {
    const StreamPart part = partOf(stream);
    // A stream that took nothing may still have lost its end as the run ended.
    if (part.received > 0 || part.lost.size != 0) appendStreamPart(out, stream, part);
  }
  return out;
}

std::string summaryText(const ReceiverStatistics& stats, const RunConfig& config,
                        const RunPlan& plan) {
  // The group as typed, which may be longer than any line buffer; an IPv6
  // group in brackets.
  const bool ipv6 = plan.ipv6();
  std::string text = std::string("\n--- ") + (ipv6 ? "[" : "") + config.destAddress +
                     (ipv6 ? "]:" : ":") + std::to_string(config.destPort) +
                     " statistics ---\n";
  const auto senders = static_cast<std::int64_t>(stats.senders.size());
  appendFormat(text, "%lld datagram%s received from %s%lld sender%s, %lld invalid\n",
               static_cast<long long>(stats.received), plural(stats.received),
               stats.moreSenders ? "more than " : "", static_cast<long long>(senders),
               plural(stats.moreSenders ? 2 : senders),
               static_cast<long long>(stats.invalid));
  if (config.keyPath != nullptr) {
    text.pop_back();
    appendFormat(text, ", %lld unauthenticated\n", static_cast<long long>(stats.unauthenticated));
  }
  const auto countLine = [&](const char* name) {
    return [&text, name](const std::string& label, std::int64_t count) {
      appendFormat(text, "%s %s: %lld\n", name, label.c_str(), static_cast<long long>(count));
    };
  };
  eachCount(stats.byDscp, kUnknownDscp, countLine("tos"));
  if (config.expectDscp) {
    appendFormat(text, "expected tos %d: %lld mismatch%s\n", config.expectedDscp,
                 static_cast<long long>(stats.mismatches), stats.mismatches == 1 ? "" : "es");
  }
  eachCount(stats.byTtl, kUnknownTtl, countLine("ttl"));
  if (stats.delays > 0) appendDelayLines(text, stats);
  appendStreamLines(text, stats.streams);
  return text;
}

}  // namespace stampcast
