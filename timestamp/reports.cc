#include "timestamp/reports.h"

#include <cmath>

#include "timestamp/json.h"
#include "timestamp/text.h"

namespace stampcast {
namespace {

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

// What a stream counted over the interval under way.
struct StreamPart {
  std::int64_t received;
  std::int64_t span;
  std::int64_t lost;
  std::int64_t duplicates;
  std::int64_t late;
};

StreamPart partOf(const StreamTable::Stream& stream) {
  const StreamTable::Totals now = stream.totals();
  return {change(stream.before.received, now.received),
          change(stream.before.span, now.span),
          change(stream.before.lost, now.lost),
          change(stream.before.duplicates, now.duplicates),
          change(stream.before.late, now.late)};
}

double percentOf(std::int64_t part, std::int64_t whole) {
  return whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0;
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

void appendStream(JsonRecord& record, const StreamTable::Stream& stream,
                  std::int64_t received, std::int64_t lost,
                  std::int64_t duplicates, std::int64_t late) {
  record.item();
  record.text("from", addressText(stream.from));
  record.text("run", runText(stream.run));
  record.integer("received", received);
  record.integer("lost", lost);
  record.integer("duplicates", duplicates);
  record.integer("out_of_order", late);
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
  for (const StreamTable::Stream& stream : stats.streams.list()) {
    const StreamPart part = partOf(stream);
    if (part.received <= 0) continue;
    appendFormat(out, "  from %s: %lld received, %lld lost (%.2f%%), %lld duplicate%s, %lld out of order, ",
                 addressText(stream.from).c_str(), static_cast<long long>(part.received),
                 static_cast<long long>(part.lost), percentOf(part.lost, part.span),
                 static_cast<long long>(part.duplicates), plural(part.duplicates),
                 static_cast<long long>(part.late));
    if (stream.part.count > 0) {
      appendFormat(out, "delay min/avg/max = %.3f/%.3f/%.3f ms, ", stream.part.min / 1000.0,
                   static_cast<double>(stream.part.sum / stream.part.count) / 1000,
                   stream.part.max / 1000.0);
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
  record.openList("streams");
  for (const StreamTable::Stream& stream : stats.streams.list()) {
    const StreamPart part = partOf(stream);
    if (part.received <= 0) continue;
    appendStream(record, stream, part.received, part.lost, part.duplicates, part.late);
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
  if (config.intervalSeconds > 0) record.integer("interval_s", config.intervalSeconds);
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
      record.integer("sent", static_cast<std::int64_t>(measured->sent));
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
  record.integer("invalid", stats.invalid);
  appendCounts(record, "dscp", stats.byDscp, 64);
  if (config.expectDscp) {
    record.integer("expected_dscp", config.expectedDscp);
  } else {
    record.null("expected_dscp");
  }
  record.integer("mismatches", stats.mismatches);
  appendCounts(record, "ttl", stats.byTtl, 256);
  if (stats.delays > 0) {
    record.open("delay_ms");
    record.fixed("min", stats.minDelay / 1000.0);
    record.fixed("avg", static_cast<double>(stats.meanDelay / 1000));
    record.fixed("max", stats.maxDelay / 1000.0);
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
    appendStream(record, stream, static_cast<std::int64_t>(totals.received),
                 static_cast<std::int64_t>(totals.lost),
                 static_cast<std::int64_t>(totals.duplicates),
                 static_cast<std::int64_t>(totals.late));
    record.fixed("lost_percent", 100 * static_cast<double>(totals.lost) /
                                     (static_cast<double>(totals.span - 1) + 1));
    appendDelays(record, stream.wholeSpan, stream.whole);
    record.fixed("jitter_ms", stream.jitter.microseconds / 1000);
    record.close();
  }
  record.close(']');
  record.integer("status", summaryStatus(stats));
  record.end();
}

}  // namespace stampcast
