#include "timestamp/receiver.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "timestamp/calendar.h"
#include "timestamp/datagram.h"
#include "timestamp/group.h"
#include "timestamp/group_join.h"
#include "timestamp/interval.h"
#include "timestamp/json.h"
#include "timestamp/measurement.h"
#include "timestamp/report_line.h"
#include "timestamp/reports.h"
#include "timestamp/rights_hint.h"
#include "timestamp/statistics.h"
#include "timestamp/text.h"

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
  const int result = whole ? platform.setLocalTime(time) : 0;
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
  if (config.update && whole) clock = platform.setLocalTime(time);
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

// The interval reports that have come due by `now`; the receive's wait then
// ends at the next one.
void appendDueReports(std::string& out, Platform& platform,
                      const RunConfig& config, ReceiverStatistics& stats,
                      IntervalClock& intervals, std::int64_t now) {
  IntervalSpan span;
  if (!intervals.take(now, &span)) return;
  do {
    if (config.json) {
      appendIntervalRecord(out, stats, span);
    } else {
      appendIntervalText(out, stats, span);
    }
    startInterval(stats);
  } while (intervals.take(now, &span));
  platform.setReceiveDeadline(intervals.deadline());
}

// Asks for what arrives with each datagram, says once which field the
// system will not tell, and from now on ends the run on Ctrl-C or SIGTERM
// with the summary.
void startMeasuring(Platform& platform, SocketHandle socket, bool ipv6) {
  const ArrivalRefusals refusals =
      ipv6 ? platform.enableArrivals6(socket) : platform.enableArrivals(socket);
  if (refusals.tosError != 0) {
    print(platform, "Cannot measure tos: %s failed with error %d\n",
          ipv6 ? "IPV6_RECVTCLASS" : "IP_RECVTOS", refusals.tosError);
  }
  if (refusals.ttlError != 0) {
    print(platform, "Cannot measure ttl: %s failed with error %d\n",
          ipv6 ? refusals.hopLimitOption : "IP_RECVTTL", refusals.ttlError);
  }
  platform.catchStopRequests();
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
  IntervalClock intervals(config.measure ? platform.steadyNanoseconds() : 0,
                          config.intervalSeconds);
  if (intervals.on()) platform.setReceiveDeadline(intervals.deadline());

  // A receive takes every datagram already queued, up to a batch, and
  // waits only for the first. The lines and clock reports of a batch go out
  // in datagram order in one write, once its last datagram is handled.
  int batchSize = platform.batchLimit();
  if (batchSize < 1 || batchSize > Platform::kMaxBatch) batchSize = 1;
  // Each slot is cleared before it takes a datagram, so that a short
  // datagram's missing fields read as 0 rather than as the previous one's.
  std::uint8_t slots[Platform::kMaxBatch][kReceiveBufferSize] = {};
  int lengths[Platform::kMaxBatch];
  Arrival arrivals[Platform::kMaxBatch];
  char text[Platform::kMaxBatch *
            (kReceivedLineCapacity + kClockReportCapacity)];
  ReceiverStatistics stats;
  if (config.json) stats.streams.keepPercentiles();
  std::string records;  // -o json and the interval reports
  // A count ends the run once that many have come, and a batch never takes
  // more than are still wanted: the rest stays queued.
  std::int64_t wanted = config.count > 0 ? config.count : -1;
  std::int64_t seq = 0;
  while (wanted != 0 && !platform.stopRequested()) {
    const int limit =
        wanted > 0 && wanted < batchSize ? static_cast<int>(wanted) : batchSize;
    int count = platform.receiveBatch(socket, slots, kReceiveBufferSize, limit,
                                      lengths,
                                      config.measure ? arrivals : nullptr);
    if (count == kSocketError) {
      printError(platform, "\nrecvfrom failed: %d", platform.lastSocketError());
      return kFailedRun;
    }
    // A stop request, or the end of an interval, ended the wait.
    if (count == 0 && (platform.stopRequested() || !intervals.on())) break;
    if (count > limit) count = limit;
    const std::int64_t now = config.measure ? platform.steadyNanoseconds() : 0;
    records.clear();
    appendDueReports(records, platform, config, stats, intervals, now);
    if (!records.empty() && !platform.writeOutput(records.data(), records.size())) {
      return kFailedRun;
    }
    records.clear();
    char* end = text;
    for (int i = 0; i < count; ++i) {
      const LocalTime time = decodeTimestamp(slots[i]);
      const bool whole = holdsCalendarTime(time, lengths[i]);
      MeasuredFields measured;
      if (config.measure) {
        measured = measure(arrivals[i], slots[i], lengths[i], time, whole);
        measured.order = countDatagram(stats, config, measured);
      }
      const MeasuredFields* fields = config.measure ? &measured : nullptr;
      if (config.json) {
        appendReceived(records, platform, config, time, whole, seq, fields,
                       intervals.elapsed(now));
      } else {
        // A quiet receiver (-q) measures, and prints no line a datagram.
        if (config.verbose) end += formatReceivedLine(end, time, seq, fields);
        if (config.update) end = updateClock(platform, time, whole, end);
      }
      std::memset(slots[i], 0, sizeof slots[i]);
      ++seq;
    }
    const bool open =
        config.json
            ? records.empty() || platform.writeOutput(records.data(), records.size())
            : end == text || platform.writeOutput(text, static_cast<std::size_t>(end - text));
    if (!open) return kFailedRun;  // nobody reads the lines any more
    if (wanted > 0) wanted -= count;
  }
  if (!config.measure) return 0;
  // A run that ends between two reports reports its last, shorter interval.
  std::string summary;
  IntervalSpan span;
  if (intervals.rest(platform.steadyNanoseconds(), &span)) {
    if (config.json) {
      appendIntervalRecord(summary, stats, span);
    } else {
      appendIntervalText(summary, stats, span);
    }
  }
  if (config.json) {
    appendSummaryRecord(summary, stats, config);
  } else {
    summary += formatSummary(stats, config);
  }
  platform.writeOutput(summary.data(), summary.size());
  return summaryStatus(stats);
}

}  // namespace stampcast
