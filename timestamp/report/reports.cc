#include "timestamp/report/reports.h"

#include <cmath>

#include "timestamp/report/json.h"
#include "timestamp/report/text.h"

namespace stampcast {
namespace {

constexpr int kUnknownDscp = 64;
// A text report written this long after its interval's end says so.
constexpr std::int64_t kLateMicroseconds = 1000000;

const char* plural(std::int64_t count) { return count == 1 ? "" : "s"; }

std::string addressText(const SocketAddress& address) {
  char text[64];
  return std::string(text, writeAddress(text, address));
}

std::string runText(std::uint64_t run) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(run));
  return text;
}

// How a stream's loss moved over an interval, by sign and size: forged
// numbers can move it by more than a signed 64-bit figure holds.
struct LossChange {
  bool fell;
  std::uint64_t size;
};

// What a stream counted over the interval under way.
struct StreamPart {
  std::int64_t received;
  std::uint64_t span;
  LossChange lost;
  std::int64_t duplicates;
  std::int64_t late;
};

StreamPart partOf(const StreamTable::Stream& stream) {
  const StreamTable::Totals now = stream.totals();
  const std::uint64_t before = stream.before.lost;
  const LossChange lost = now.lost >= before ? LossChange{false, now.lost - before}
                                             : LossChange{true, before - now.lost};
  return {change(stream.before.received, now.received), now.span - stream.before.span,
          lost, change(stream.before.duplicates, now.duplicates),
          change(stream.before.late, now.late)};
}

double lossPercent(const LossChange& lost, std::uint64_t span) {
  if (span == 0) return 0;
  const double percent = 100.0 * static_cast<double>(lost.size) / static_cast<double>(span);
  return lost.fell ? -percent : percent;
}

void appendLoss(std::string& out, const LossChange& lost) {
  if (lost.fell && lost.size > 0) out += '-';
  char digits[24];
  out.append(digits, static_cast<std::size_t>(writeDecimal(digits, lost.size, 1) - digits));
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

void appendStream(JsonRecord& record, const StreamTable::Stream& stream) {
  record.item();
  record.text("from", addressText(stream.from));
  record.text("run", runText(stream.run));
}

// A count by value as {"value": count}, the unknown one as "-".
void appendCounts(JsonRecord& record, const char* name,
                  const std::int64_t* counts, int unknown) {
  record.open(name);
  for (int value = 0; value <= unknown; ++value) {
    if (counts[value] == 0) continue;
    record.integer(value == unknown ? "-" : std::to_string(value).c_str(),
                   counts[value]);
  }
  record.close();
}

// The DSCP counts of the interval under way, the unknown one last.
void intervalDscp(const ReceiverStatistics& stats, std::int64_t* counts) {
  for (int value = 0; value <= kUnknownDscp; ++value) {
    counts[value] = stats.byDscp[value] - stats.byDscpBefore[value];
  }
}

// "  tos 46: 95, tos 8: 5": the DSCPs that came in the interval, ascending,
// the unknown one last as "-"; nothing when none came.
void appendDscpLine(std::string& out, const ReceiverStatistics& stats) {
  std::int64_t counts[kUnknownDscp + 1];
  intervalDscp(stats, counts);
  const char* separator = "  ";
  for (int value = 0; value <= kUnknownDscp; ++value) {
    if (counts[value] == 0) continue;
    out += separator;
    out += "tos ";
    out += value == kUnknownDscp ? "-" : std::to_string(value);
    appendFormat(out, ": %lld", static_cast<long long>(counts[value]));
    separator = ", ";
  }
  if (separator[0] == ',') out += '\n';
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

}  // namespace

void appendIntervalText(std::string& out, const ReceiverStatistics& stats,
                        const IntervalSpan& span) {
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
    if (part.received <= 0) continue;
    appendFormat(out, "  from %s: %lld received, ", addressText(stream.from).c_str(),
                 static_cast<long long>(part.received));
    appendLoss(out, part.lost);
    appendFormat(out, " lost (%.2f%%), %lld duplicate%s, %lld out of order, ",
                 lossPercent(part.lost, part.span),
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
  }
}

void appendIntervalRecord(std::string& out, const ReceiverStatistics& stats,
                          const IntervalSpan& span) {
  JsonRecord record(out, "interval");
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
    if (part.received <= 0) continue;
    appendStream(record, stream);
    record.integer("received", part.received);
    record.key("lost");
    appendLoss(out, part.lost);
    record.integer("duplicates", part.duplicates);
    record.integer("out_of_order", part.late);
    appendDelays(record, stream.part, stream.partHistogram);
    record.fixed("jitter_ms", stream.jitter.microseconds / 1000);
    record.close();
  }
  record.close(']');
  record.end();
}

void appendSettingsRecord(std::string& out, const RunConfig& config,
                          bool sender) {
  JsonRecord record(out, "settings");
  record.text("role", sender ? "sender" : "receiver");
  record.text("group", config.destAddress);
  record.integer("port", config.destPort);
  if (sender) {
    record.integer("dscp", config.dscpValue);
    record.integer("ttl", config.ttlValue);
    record.integer("wait_ms", config.waitValue);
  } else {
    record.boolean("update", config.update);
  }
  if (config.interfaceText != nullptr) {
    record.text("interface", config.interfaceText);
  }
  if (!sender && config.sourceText != nullptr) {
    record.text("source", config.sourceText);
  }
  if (config.expectDscp) record.integer("expected_dscp", config.expectedDscp);
  if (!sender && config.intervalSeconds > 0) {
    record.integer("interval_s", config.intervalSeconds);
  }
  record.end();
}

void appendSentRecord(std::string& out, const LocalTime& time,
                      std::int64_t seq, const SocketAddress& to,
                      const RunConfig& config, std::int64_t number) {
  JsonRecord record(out, "sent");
  record.integer("seq", seq);
  record.key("time");
  appendIso(out, time);
  record.text("to", addressText(to));
  record.integer("dscp", config.dscpValue);
  record.integer("ttl", config.ttlValue);
  if (number >= 0) record.integer("sent", number);
  record.end();
}

void appendReceivedRecord(std::string& out, const LocalTime& time, bool whole,
                          std::int64_t seq, const MeasuredFields* measured,
                          std::int64_t at, const int* clock) {
  JsonRecord record(out, "received");
  record.integer("seq", seq);
  if (whole) {
    record.key("time");
    appendIso(out, time);
  } else {
    record.null("time");
  }
  if (measured != nullptr) {
    record.scaled("at_s", at, 6);
    record.text("from", addressText(measured->from));
    appendKnown(record, "dscp", measured->dscp);
    appendKnown(record, "ttl", measured->ttl);
    if (measured->hasDelay) {
      record.scaled("delay_ms", measured->delayMicroseconds, 3);
    } else {
      record.null("delay_ms");
    }
    if (measured->hasSent) {
      record.count("sent", measured->sent);
    } else {
      record.null("sent");
    }
    record.boolean("duplicate", measured->order == Order::kDuplicate);
    record.boolean("out_of_order", measured->order == Order::kLate);
    record.boolean("valid", whole);
  }
  if (clock != nullptr) record.boolean("clock_set", *clock == 0);
  record.end();
}

void appendSummaryRecord(std::string& out, const ReceiverStatistics& stats,
                         const RunConfig& config) {
  JsonRecord record(out, "summary");
  record.text("group", config.destAddress);
  record.integer("port", config.destPort);
  record.integer("received", stats.received);
  record.integer("senders", static_cast<std::int64_t>(stats.senders.size()));
  record.boolean("senders_capped", stats.moreSenders);
  record.integer("invalid", stats.invalid);
  appendCounts(record, "dscp", stats.byDscp, kUnknownDscp);
  if (config.expectDscp) {
    record.integer("expected_dscp", config.expectedDscp);
  } else {
    record.null("expected_dscp");
  }
  record.integer("mismatches", stats.mismatches);
  appendCounts(record, "ttl", stats.byTtl, 256);
  if (stats.delays > 0) {
    record.open("delay_ms");
    record.scaled("min", stats.minDelay, 3);
    record.fixed("avg", static_cast<double>(stats.meanDelay / 1000));
    record.scaled("max", stats.maxDelay, 3);
    record.fixed("mdev", static_cast<double>(std::sqrt(stats.squaredDeviations / stats.delays) / 1000));
    record.fixed("p50", stats.histogram.percentile(50) / 1000);
    record.fixed("p95", stats.histogram.percentile(95) / 1000);
    record.fixed("p99", stats.histogram.percentile(99) / 1000);
    record.close();
  } else {
    record.null("delay_ms");
  }
  record.openList("streams");
  for (const StreamTable::Stream& stream : stats.streams.list()) {
    const StreamTable::Totals totals = stream.totals();
    appendStream(record, stream);
    record.count("received", totals.received);
    record.count("lost", totals.lost);
    record.count("duplicates", totals.duplicates);
    record.count("out_of_order", totals.late);
    record.fixed("lost_percent", 100 * static_cast<double>(totals.lost) /
                                     (static_cast<double>(totals.span - 1) + 1));
    appendDelays(record, stream.wholeSpan, stream.whole);
    record.fixed("jitter_ms", stream.jitter.microseconds / 1000);
    record.close();
  }
  record.close(']');
  record.boolean("streams_not_followed", stats.streams.dropped());
  record.integer("status", summaryStatus(stats));
  record.end();
}

}  // namespace stampcast
