#include "timestamp/report/json_report.h"

#include <cmath>
#include <cstring>

#include "timestamp/report/figures.h"
#include "timestamp/report/json.h"
#include "timestamp/report/text.h"

namespace stampcast {
namespace {

// A printed text as one record of `type`, without the blank lines and line
// ends around it; a line end inside it (from a word of the command line)
// stays in the record, escaped.
void appendTextRecord(std::string& out, const char* type, const char* text,
                      std::size_t length) {
  std::size_t first = 0;
  while (first < length && text[first] == '\n') ++first;
  std::size_t last = length;
  while (last > first && text[last - 1] == '\n') --last;
  if (first == last) return;
  JsonRecord record(out, type);
  record.text("text", std::string(text + first, last - first));
  record.end();
}

void writeTextRecord(Platform& platform, const char* type, const std::string& text) {
  std::string record;
  appendTextRecord(record, type, text.data(), text.size());
  if (!record.empty()) platform.writeOutput(record.data(), record.size());
}

void appendDelays(JsonRecord& record, const DelaySpan& delays,
                  const DelayHistogram& histogram) {
  if (delays.count == 0) {
    record.null("delay_ms");
    return;
  }
  record.open("delay_ms");
  record.scaled("min", delays.min, 3);
  record.fixed("avg", static_cast<double>(delays.sum / delays.count) / 1000);
  record.scaled("max", delays.max, 3);
  record.fixed("p50", histogram.percentile(50) / 1000);
  record.fixed("p95", histogram.percentile(95) / 1000);
  record.fixed("p99", histogram.percentile(99) / 1000);
  record.close();
}

void appendSummaryDelays(JsonRecord& record, const ReceiverStatistics& stats) {
  if (stats.delays == 0) {
    record.null("delay_ms");
    return;
  }
  record.open("delay_ms");
  record.scaled("min", stats.minDelay, 3);
  record.fixed("avg", static_cast<double>(stats.meanDelay / 1000));
  record.scaled("max", stats.maxDelay, 3);
  const long double deviation = std::sqrt(stats.squaredDeviations / stats.delays);
  record.fixed("mdev", static_cast<double>(deviation / 1000));
  record.fixed("p50", stats.histogram.percentile(50) / 1000);
  record.fixed("p95", stats.histogram.percentile(95) / 1000);
  record.fixed("p99", stats.histogram.percentile(99) / 1000);
  record.close();
}

void appendStream(JsonRecord& record, const StreamTable::Stream& stream) {
  record.item();
  record.text("from", addressText(stream.from));
  record.text("run", runText(stream.run));
}

// A count by value as {"value": count}, the unknown one as "-".
void appendCounts(JsonRecord& record, const char* name, const std::int64_t* counts,
                  int unknown) {
  record.open(name);
  eachCount(counts, unknown, [&](const std::string& label, std::int64_t count) {
    record.integer(label.c_str(), count);
  });
  record.close();
}

void appendIso(std::string& out, const LocalTime& time) {
  char text[32];
  char* end = writeDecimal(text, time.year, 4);
  *end++ = '-';
  end = writeDecimal(end, time.month, 2);
  *end++ = '-';
  end = writeDecimal(end, time.day, 2);
  *end++ = 'T';
  end = writeDecimal(end, time.hour, 2);
  *end++ = ':';
  end = writeDecimal(end, time.minute, 2);
  *end++ = ':';
  end = writeDecimal(end, time.second, 2);
  *end++ = '.';
  end = writeDecimal(end, time.milliseconds, 3);
  appendJsonString(out, text, static_cast<std::size_t>(end - text));
}

void appendKnown(JsonRecord& record, const char* name, int value) {
  if (value < 0) {
    record.null(name);
  } else {
    record.integer(name, value);
  }
}

void appendMeasured(JsonRecord& record, const MeasuredFields& measured, std::int64_t at,
                    bool whole) {
  record.scaled("at_s", at, 6);
  record.text("from", addressText(measured.from));
  appendKnown(record, "dscp", measured.dscp);
  appendKnown(record, "ttl", measured.ttl);
  if (measured.hasDelay) {
    record.scaled("delay_ms", measured.delayMicroseconds, 3);
  } else {
    record.null("delay_ms");
  }
  if (measured.hasSent) {
    record.count("sent", measured.sent);
  } else {
    record.null("sent");
  }
  record.boolean("duplicate", measured.order == Order::kDuplicate);
  record.boolean("out_of_order", measured.order == Order::kLate);
  record.boolean("valid", whole);
}

// A stream of version 2 trailers: its re-marked pairs, loss episodes,
// longest gap and rate; a stream of version 1 trailers has none of them.
void appendLoad(JsonRecord& record, const StreamLoad& load, const LoadPart& part) {
  if (!load.on()) return;
  record.openList("dscp_changes");
  for (const RemarkPair& pair : part.remarked) {
    record.item();
    record.integer("sent", pair.sent);
    record.integer("received", pair.received);
    record.count("count", pair.count);
    record.close();
  }
  record.close(']');
  record.integer("loss_episodes", part.episodes);
  record.open("longest_gap");
  record.count("datagrams", part.longest.datagrams);
  record.fixed("ms", static_cast<double>(part.longest.nanoseconds) / 1e6);
  record.close();
  record.open("rate");
  record.fixed("datagrams_per_s", part.rate.datagramsPerSecond);
  record.fixed("mbit_per_s", part.rate.mbitPerSecond);
  record.close();
}

void appendStreamTotals(JsonRecord& record, const StreamTable::Stream& stream) {
  const StreamTable::Totals totals = stream.totals();
  appendStream(record, stream);
  record.count("received", totals.received);
  record.count("lost", totals.lost);
  record.count("duplicates", totals.duplicates);
  record.count("out_of_order", totals.late);
  record.fixed("lost_percent", lostPercent(totals.lost, totals.span));
  appendDelays(record, stream.wholeSpan, stream.whole);
  record.fixed("jitter_ms", stream.jitter.microseconds / 1000);
  if (stream.load.on()) appendLoad(record, stream.load, stream.load.whole());
  record.close();
}

}  // namespace

void JsonReport::message(const std::string& text) {
  writeTextRecord(platform_, "message", text);
}

void JsonReport::error(const std::string& text) { writeTextRecord(platform_, "error", text); }

void JsonReport::settings(bool sender) {
  std::string out;
  JsonRecord record(out, "settings");
  record.text("role", sender ? "sender" : "receiver");
  record.text("group", config_.destAddress);
  record.integer("port", config_.destPort);
  if (sender) {
    record.integer("dscp", config_.dscpValue);
    record.integer("ttl", config_.ttlValue);
    record.integer("wait_ms", config_.waitValue);
    if (config_.rateText != nullptr) record.text("rate", config_.rateText);
    if (config_.load) record.integer("size", config_.datagramSize);
    if (config_.load) record.integer("burst", config_.burst);
  } else {
    record.boolean("update", config_.update);
  }
  if (config_.interfaceText != nullptr) record.text("interface", config_.interfaceText);
  if (!sender && config_.sourceText != nullptr) record.text("source", config_.sourceText);
  if (config_.expectDscp) record.integer("expected_dscp", config_.expectedDscp);
  if (!sender && config_.intervalSeconds > 0) {
    record.integer("interval_s", config_.intervalSeconds);
  }
  record.end();
  platform_.writeOutput(out.data(), out.size());
}

bool JsonReport::sent(const LocalTime& time, std::int64_t seq, const SocketAddress& to,
                      std::int64_t number) {
  record_.clear();
  JsonRecord record(record_, "sent");
  record.integer("seq", seq);
  record.key("time");
  appendIso(record_, time);
  record.text("to", addressText(to));
  record.integer("dscp", config_.dscpValue);
  record.integer("ttl", config_.ttlValue);
  if (number >= 0) record.integer("sent", number);
  record.end();
  return platform_.writeOutput(record_.data(), record_.size());
}

void JsonReport::senderSummary(const SenderTotals& totals, const SocketAddress& to) {
  std::string out;
  JsonRecord record(out, "sender_summary");
  record.text("to", addressText(to));
  record.count("datagrams", totals.datagrams);
  record.count("bytes", totals.bytes);
  const SenderRates rates = senderRates(totals);
  record.fixed("seconds", rates.seconds);
  record.fixed("datagrams_per_s", rates.datagramsPerSecond);
  record.fixed("mbit_per_s", rates.mbitPerSecond);
  record.count("slips", totals.slips);
  record.end();
  platform_.writeOutput(out.data(), out.size());
}

void JsonReport::received(const ReceivedDatagram& datagram) {
  // A quiet measuring receiver (-q -m) keeps to its summary.
  if (config_.verbose || !config_.measure) {
    JsonRecord record(pending_, "received");
    record.integer("seq", datagram.seq);
    if (datagram.whole) {
      record.key("time");
      appendIso(pending_, datagram.time);
    } else {
      record.null("time");
    }
    if (datagram.measured != nullptr) {
      appendMeasured(record, *datagram.measured, datagram.at, datagram.whole);
    }
    if (datagram.clock != nullptr) record.boolean("clock_set", *datagram.clock == 0);
    if (datagram.trust != Trust::kUnchecked) {
      record.boolean("authenticated", datagram.trust != Trust::kUnauthenticated);
    }
    record.end();
  }
  if (datagram.clock == nullptr) return;
  // The clock's report, and the rights hint after it, as messages.
  char report[kClockReportCapacity];
  char* line;
  const char* end = writeClockReport(report, *datagram.clock, datagram.whole,
                                     datagram.trust, &line);
  appendTextRecord(pending_, "message", report, static_cast<std::size_t>(line - report));
  appendTextRecord(pending_, "message", line, static_cast<std::size_t>(end - line));
}

void JsonReport::interval(const ReceiverStatistics& stats, const IntervalSpan& span) {
  JsonRecord record(pending_, "interval");
  record.scaled("start_s", span.from, 6);
  record.scaled("end_s", span.to, 6);
  record.scaled("late_s", span.late, 6);
  record.integer("received", stats.received - stats.receivedBefore);
  record.integer("invalid", stats.invalid - stats.invalidBefore);
  std::int64_t dscp[kUnknownDscp + 1];
  intervalDscp(stats, dscp);
  appendCounts(record, "dscp", dscp, kUnknownDscp);
  record.integer("mismatches", stats.mismatches - stats.mismatchesBefore);
  record.openList("streams");
  for (const StreamTable::Stream& stream : stats.streams.list()) {
    const StreamPart part = partOf(stream);
    // A stream that took nothing may still have lost its end as the run ended.
    if (part.received <= 0 && part.lost.size == 0) continue;
    appendStream(record, stream);
    record.integer("received", part.received);
    record.key("lost");
    appendLoss(pending_, part.lost);
    record.integer("duplicates", part.duplicates);
    record.integer("out_of_order", part.late);
    appendDelays(record, stream.part, stream.partHistogram);
    record.fixed("jitter_ms", stream.jitter.microseconds / 1000);
    if (stream.load.on()) appendLoad(record, stream.load, stream.load.interval());
    record.close();
  }
  record.close(']');
  record.end();
}

void JsonReport::summary(const ReceiverStatistics& stats) {
  JsonRecord record(pending_, "summary");
  record.text("group", config_.destAddress);
  record.integer("port", config_.destPort);
  record.integer("received", stats.received);
  record.integer("senders", static_cast<std::int64_t>(stats.senders.size()));
  record.boolean("senders_capped", stats.moreSenders);
  record.integer("invalid", stats.invalid);
  if (config_.keyPath != nullptr) record.integer("unauthenticated", stats.unauthenticated);
  appendCounts(record, "dscp", stats.byDscp, kUnknownDscp);
  if (config_.expectDscp) {
    record.integer("expected_dscp", config_.expectedDscp);
  } else {
    record.null("expected_dscp");
  }
  record.integer("mismatches", stats.mismatches);
  appendCounts(record, "ttl", stats.byTtl, kUnknownTtl);
  appendSummaryDelays(record, stats);
  record.openList("streams");
  for (const StreamTable::Stream& stream : stats.streams.list()) {
    appendStreamTotals(record, stream);
  }
  record.close(']');
  record.boolean("streams_not_followed", stats.streams.dropped());
  record.integer("status", summaryStatus(stats));
  record.end();
}

}  // namespace stampcast
