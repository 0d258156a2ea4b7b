#include "timestamp/roles/receiver.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "timestamp/wire/calendar.h"
#include "timestamp/wire/datagram.h"
#include "cli/group.h"
#include "timestamp/roles/group_join.h"
#include "timestamp/measure/interval.h"
#include "timestamp/report/json.h"
#include "timestamp/measure/measurement.h"
#include "timestamp/report/report_line.h"
#include "timestamp/report/reports.h"
#include "timestamp/report/rights_hint.h"
#include "timestamp/measure/statistics.h"
#include "timestamp/report/text.h"

namespace stampcast {
namespace {

// Room for a timestamp and then some: a longer datagram is cut to the
// buffer and read by its first 16 bytes.
constexpr int kReceiveBufferSize = 100;

// The longest report of the clock: "Error: Setting local time - " and an
// int with its sign, a newline and the terminator snprintf adds, and the
// rights hint that may follow it once.
constexpr std::size_t kClockReportCapacity = 28 + 11 + 2 + kRightsHintCapacity;

char* append(char* out, const char* text) {
  const std::size_t length = std::strlen(text);
  std::memcpy(out, text, length);
  return out + length;
}

// Whether a datagram of `received` bytes carried a whole, plausible
// timestamp: a short datagram or a field out of range (month 13,
// 30 February) is neither set on the clock nor measured against it.
bool holdsCalendarTime(const LocalTime& time, int received) {
  return received >= static_cast<int>(kTimestampDatagramSize) &&
         isValidCalendarTime(time);
}

// The report of a clock setting that ended with `result` (0: set), or of
// none for a datagram without a whole timestamp, at out, which holds
// kClockReportCapacity bytes; returns the end of the report.
char* reportClock(int result, bool whole, char* out) {
  if (!whole) return append(out, "Time not updated: invalid timestamp\n");
  if (result != 0) {
    return out + std::snprintf(out, kClockReportCapacity,
                               "Error: Setting local time - %d\n", result);
  }
  return append(out, "Time updated..\n");
}

// Sets the clock from a whole timestamp, and reports it at out.
char* updateClock(Platform& platform, const LocalTime& time, bool whole,
                  char* out) {
  const int result = whole ? platform.systemClock().setLocalTime(time) : 0;
  char* end = reportClock(result, whole, out);
  const char* hint =
      result != 0 ? rightsHint(RightsArea::Clock, static_cast<std::uint32_t>(result))
                  : nullptr;
  return hint != nullptr ? append(end, hint) : end;
}

// -o json: a datagram's record, and with -u its clock's report after it.
void appendReceived(std::string& out, Platform& platform,
                    const RunConfig& config, const LocalTime& time, bool whole,
                    std::int64_t seq, const MeasuredFields* measured,
                    std::int64_t at) {
  int clock = whole ? 0 : -1;
  if (config.update && whole) clock = platform.systemClock().setLocalTime(time);
  if (config.verbose || !config.measure) {
    appendReceivedRecord(out, time, whole, seq, measured, at,
                         config.update ? &clock : nullptr);
  }
  if (!config.update) return;
  char report[kClockReportCapacity];
  const char* end = reportClock(clock, whole, report);
  const char* start = report;
  JsonRecord message(out, "message");
  message.text("text", std::string(start, end - 1));  // without its newline
  message.end();
  const char* hint =
      whole && clock != 0 ? rightsHint(RightsArea::Clock, static_cast<std::uint32_t>(clock))
                          : nullptr;
  if (hint == nullptr) return;
  JsonRecord said(out, "message");
  said.text("text", std::string(hint, std::strlen(hint) - 1));
  said.end();
}

// The receive loop's state: what it counts, where the intervals stand, and
// what a batch prints, in datagram order: the text lines and clock reports,
// or the records, with the interval reports between them.
struct Receiving {
  Receiving(const RunConfig& runConfig, Platform& runPlatform,
            std::int64_t start)
      : config(runConfig),
        platform(runPlatform),
        intervals(start, runConfig.intervalSeconds),
        lastArrival(start) {}

  const RunConfig& config;
  Platform& platform;
  IntervalClock intervals;
  std::int64_t lastArrival;  // on the steady clock
  std::int64_t seq = 0;
  ReceiverStatistics stats;
  // Each slot is cleared before it takes a datagram, so that a short
  // datagram's missing fields read as 0 rather than as the previous one's.
  std::uint8_t slots[Platform::kMaxBatch][kReceiveBufferSize] = {};
  int lengths[Platform::kMaxBatch];
  Arrival arrivals[Platform::kMaxBatch];
  char text[Platform::kMaxBatch *
            (kReceivedLineCapacity + kClockReportCapacity)];
  char* end = text;
  std::string records;  // -o json and the interval reports
};

// Writes what is pending, the text lines first; false once nobody reads
// the output any more.
bool flush(Receiving& r) {
  bool open = true;
  if (r.end != r.text) {
    open = r.platform.writeOutput(r.text, static_cast<std::size_t>(r.end - r.text));
  }
  if (!r.records.empty()) {
    open = r.platform.writeOutput(r.records.data(), r.records.size()) && open;
  }
  r.end = r.text;
  r.records.clear();
  return open;
}

// The interval reports that have come due by `due` (an arrival, or now),
// written at `now`, after what is pending; the receive's wait then ends
// at the next one.
bool reportDue(Receiving& r, std::int64_t due, std::int64_t now) {
  IntervalSpan span;
  if (!r.intervals.take(due, &span)) return true;
  bool open = flush(r);
  do {
    span.late = r.intervals.elapsed(now) - span.to;
    if (r.config.json) {
      appendIntervalRecord(r.records, r.stats, span);
    } else {
      appendIntervalText(r.records, r.stats, span);
    }
    startInterval(r.stats);
  } while (r.intervals.take(due, &span));
  r.platform.stops().setReceiveDeadline(r.intervals.deadline());
  return flush(r) && open;
}

// Asks for what arrives with each datagram, says once which field the
// system will not tell, and from now on ends the run on Ctrl-C or SIGTERM
// with the summary.
void startMeasuring(Platform& platform, SocketHandle socket, bool ipv6) {
  const ArrivalRefusals refusals = platform.multicast().enableArrivals(
      socket, ipv6 ? kAddressFamilyInet6 : kAddressFamilyInet);
  if (refusals.tosError != 0) {
    print(platform, "Cannot measure tos: %s failed with error %d\n",
          ipv6 ? "IPV6_RECVTCLASS" : "IP_RECVTOS", refusals.tosError);
  }
  if (refusals.ttlError != 0) {
    print(platform, "Cannot measure ttl: %s failed with error %d\n",
          ipv6 ? refusals.hopLimitOption : "IP_RECVTTL", refusals.ttlError);
  }
  platform.stops().catchStopRequests();
}

// One datagram of the batch: counted in the interval it arrived in, after
// the reports of the intervals that ended before it; false once nobody
// reads the output.
bool handleDatagram(Receiving& r, int i, std::int64_t now) {
  const RunConfig& config = r.config;
  const LocalTime time = decodeTimestamp(r.slots[i]);
  const bool whole = holdsCalendarTime(time, r.lengths[i]);
  MeasuredFields measured;
  std::int64_t at = now;
  if (config.measure) {
    at = placeArrival(r.arrivals[i].steadyNanoseconds, r.lastArrival, now);
    r.lastArrival = at;
    if (!reportDue(r, at, now)) return false;
    measured = measure(r.arrivals[i], r.slots[i], r.lengths[i], time, whole);
    measured.order = countDatagram(r.stats, config, measured);
  }
  const MeasuredFields* fields = config.measure ? &measured : nullptr;
  if (config.json) {
    appendReceived(r.records, r.platform, config, time, whole, r.seq, fields,
                   r.intervals.elapsed(at));
  } else {
    // A quiet receiver (-q) measures, and prints no line a datagram.
    if (config.verbose) r.end += formatReceivedLine(r.end, time, r.seq, fields);
    if (config.update) r.end = updateClock(r.platform, time, whole, r.end);
  }
  std::memset(r.slots[i], 0, sizeof r.slots[i]);
  ++r.seq;
  return true;
}

// Receives until the count, a stop request or a failure ends the run: 0,
// or kFailedRun.
int receiveUntilEnd(Receiving& r, SocketHandle socket) {
  Platform& platform = r.platform;
  // A receive takes every datagram already queued, up to a batch, and
  // waits only for the first. The lines and clock reports of a batch go out
  // in datagram order in one write, once its last datagram is handled.
  int batchSize = platform.batchLimit();
  if (batchSize < 1 || batchSize > Platform::kMaxBatch) batchSize = 1;
  // A count ends the run once that many have come, and a batch never takes
  // more than are still wanted: the rest stays queued.
  std::int64_t wanted = r.config.count > 0 ? r.config.count : -1;
  while (wanted != 0 && !platform.stops().stopRequested()) {
    const int limit =
        wanted > 0 && wanted < batchSize ? static_cast<int>(wanted) : batchSize;
    int count = platform.receiveBatch(socket, r.slots, kReceiveBufferSize,
                                      limit, r.lengths,
                                      r.config.measure ? r.arrivals : nullptr);
    if (count == kSocketError) {
      printError(platform, "\nrecvfrom failed: %d", platform.lastSocketError());
      return kFailedRun;
    }
    // A stop request, or the end of an interval, ended the wait.
    if (count == 0 && (platform.stops().stopRequested() || !r.intervals.on())) break;
    if (count > limit) count = limit;
    const std::int64_t now =
        r.config.measure ? platform.systemClock().steadyNanoseconds() : 0;
    for (int i = 0; i < count; ++i) {
      if (!handleDatagram(r, i, now)) return kFailedRun;
    }
    // Once the queue is empty (the batch did not fill, or the wait ended
    // empty), the intervals that ended by now are reported.
    if (count < limit && !reportDue(r, now, now)) return kFailedRun;
    if (!flush(r)) return kFailedRun;  // nobody reads the lines any more
    if (wanted > 0) wanted -= count;
  }
  return 0;
}

// The summary, after the last, shorter interval of a run that ended
// between two reports: the run's status, or kFailedRun when nobody reads
// the output any more.
int finish(Receiving& r) {
  const std::int64_t now = r.platform.systemClock().steadyNanoseconds();
  if (!reportDue(r, now, now)) return kFailedRun;
  IntervalSpan span;
  if (r.intervals.rest(now, &span)) {
    if (r.config.json) {
      appendIntervalRecord(r.records, r.stats, span);
    } else {
      appendIntervalText(r.records, r.stats, span);
    }
  }
  if (r.config.json) {
    appendSummaryRecord(r.records, r.stats, r.config);
  } else {
    r.records += formatSummary(r.stats, r.config);
  }
  if (!flush(r)) return kFailedRun;
  return summaryStatus(r.stats);
}

}  // namespace

int runReceiver(const RunConfig& config, Platform& platform,
                SocketHandle socket) {
  const SocketAddress group = groupAddress(config);
  // Any local address of the group's family, the group's port.
  SocketAddress local{};
  local.family = group.family;
  local.port = group.port;
  if (platform.bindSocket(socket, local) == kSocketError) {
    printError(platform, "\nError: Binding the socket - %d",
          platform.lastSocketError());
    return kFailedRun;
  }
  print(platform, "\nSuccess: Binding the socket - %d",
        platform.lastSocketError());

  if (joinAsConfigured(config, platform, socket, group) == kSocketError) {
    printError(platform, "\nError: Joining Multicast Group - %d",
          platform.lastSocketError());
    return kFailedRun;
  }
  print(platform, "\nSuccess: Joining Multicast Group - %d\n",
        platform.lastSocketError());

  if (config.json) {
    std::string settings;
    appendSettingsRecord(settings, config, false);
    platform.writeOutput(settings.data(), settings.size());
  } else {
    print(platform, "\ndestAddress = %s\n", config.destAddress);
    print(platform, "destPort    = %d\n", config.destPort);
    print(platform, config.update ? "Update      = TRUE\n"
                                  : "Update      = FALSE\n");
    if (config.measure) printJoinedInterface(config, platform);
  }
  if (config.measure) {
    startMeasuring(platform, socket, group.family == kAddressFamilyInet6);
  }
  print(platform, "\nReceiving...\n");
  // Intervals and arrival offsets count from here, on the steady clock.
  Receiving r(config, platform,
              config.measure ? platform.systemClock().steadyNanoseconds() : 0);
  if (r.intervals.on()) platform.stops().setReceiveDeadline(r.intervals.deadline());
  if (config.json) r.stats.streams.keepPercentiles();
  const int status = receiveUntilEnd(r, socket);
  if (status != 0 || !config.measure) return status;
  return finish(r);
}

}  // namespace stampcast
