#include "timestamp/roles/receiver.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "timestamp/measure/interval.h"
#include "timestamp/measure/measurement.h"
#include "timestamp/measure/statistics.h"
#include "timestamp/measure/trust.h"
#include "timestamp/report/metrics_feed.h"
#include "timestamp/roles/clock_feed.h"
#include "timestamp/roles/group_join.h"
#include "timestamp/wire/calendar.h"
#include "timestamp/wire/datagram.h"

namespace stampcast {
namespace {

// Room for a timestamp and then some: a longer datagram is cut to the
// buffer and read by its first 16 bytes. With keys (-k), room for the
// largest datagram: its authentication block is its last 20 bytes, also
// behind a sender's -z.
constexpr int kReceiveBufferSize = 100;
constexpr int kLargestDatagram = 65535;

// Whether a datagram of `received` bytes carried a whole, plausible
// timestamp: a short datagram or a field out of range (month 13,
// 30 February) is neither set on the clock nor measured against it.
bool holdsCalendarTime(const LocalTime& time, int received) {
  return received >= static_cast<int>(kTimestampDatagramSize) &&
         isValidCalendarTime(time);
}

// A measuring receiver, and one that hands samples on (-y), needs to know
// when each datagram arrived.
bool wantsArrivals(const RunConfig& config) {
  return config.measure || config.sampleSocket != nullptr;
}

// The receive loop's state: what it counts and where the intervals stand.
struct Receiving {
  Receiving(const RunConfig& runConfig, const RunPlan& plan, Platform& runPlatform,
            Report& runReport, MetricsFile& runMetrics, ClockFeed& runFeed,
            std::int64_t start)
      : config(runConfig),
        platform(runPlatform),
        report(runReport),
        metrics(runMetrics),
        feed(runFeed),
        trust(plan.keys),
        intervals(start, intervalPeriod(runConfig)),
        lastArrival(start),
        slotLength(plan.keys.empty() ? kReceiveBufferSize : kLargestDatagram),
        slotBytes(static_cast<std::size_t>(Platform::kMaxBatch) *
                  static_cast<std::size_t>(slotLength)) {}

  std::uint8_t* slot(int i) { return &slotBytes[static_cast<std::size_t>(i * slotLength)]; }

  const RunConfig& config;
  Platform& platform;
  Report& report;
  MetricsFile& metrics;  // -x: written at each interval's end and the run's
  ClockFeed& feed;       // -y
  TrustGuard trust;      // -k
  IntervalClock intervals;
  std::int64_t lastArrival;  // on the steady clock
  std::int64_t seq = 0;
  ReceiverStatistics stats;
  // Each slot is cleared before it takes a datagram, so that a short
  // datagram's missing fields read as 0 rather than as the previous one's.
  int slotLength;
  std::vector<std::uint8_t> slotBytes;
  int lengths[Platform::kMaxBatch];
  Arrival arrivals[Platform::kMaxBatch];
};

// The interval reports that have come due by `due` (an arrival, or now),
// written at `now`, after what is pending; the receive's wait then ends
// at the next one.
bool reportDue(Receiving& r, std::int64_t due, std::int64_t now) {
  IntervalSpan span;
  if (!r.intervals.take(due, &span)) return true;
  bool open = r.report.flush();
  do {
    span.late = r.intervals.elapsed(now) - span.to;
    if (r.config.intervalSeconds > 0) r.report.interval(r.stats, span);
    startInterval(r.stats);
  } while (r.intervals.take(due, &span));
  r.metrics.write(r.stats, false);
  r.platform.stops().setReceiveDeadline(r.intervals.deadline());
  return r.report.flush() && open;
}

// Asks for what arrives with each datagram, says once which field the
// system will not tell, and from now on ends the run on Ctrl-C or SIGTERM
// with the summary.
void startMeasuring(Platform& platform, Report& report, SocketHandle socket,
                    bool ipv6) {
  const ArrivalRefusals refusals = platform.multicast().enableArrivals(
      socket, ipv6 ? kAddressFamilyInet6 : kAddressFamilyInet);
  if (refusals.tosError != 0) {
    print(report, "Cannot measure tos: %s failed with error %d\n",
          ipv6 ? "IPV6_RECVTCLASS" : "IP_RECVTOS", refusals.tosError);
  }
  if (refusals.ttlError != 0) {
    print(report, "Cannot measure ttl: %s failed with error %d\n",
          ipv6 ? refusals.hopLimitOption : "IP_RECVTTL", refusals.ttlError);
  }
  platform.stops().catchStopRequests();
}

// The clock, or with -y the time service, takes a whole time from a
// datagram that the keys (with -k) let through: with -u, the setting's
// result into *clock.
void takeTime(Receiving& r, int i, const ReceivedDatagram& datagram, int* clock) {
  if (!datagram.whole || !maySetClock(datagram.trust)) return;
  if (r.config.update) *clock = r.platform.systemClock().setLocalTime(datagram.time);
  r.feed.offer(r.arrivals[i], r.slot(i), r.lengths[i], datagram.time);
}

// One datagram of the batch: counted in the interval it arrived in, after
// the reports of the intervals that ended before it (with -k, counted only
// as unauthenticated when its tag does not hold), and with -u set on the
// clock; false once nobody reads the output.
bool handleDatagram(Receiving& r, int i, std::int64_t now) {
  const RunConfig& config = r.config;
  ReceivedDatagram datagram;
  datagram.time = decodeTimestamp(r.slot(i));
  datagram.whole = holdsCalendarTime(datagram.time, r.lengths[i]);
  datagram.trust = r.trust.judge(r.slot(i), r.lengths[i]);
  datagram.seq = r.seq;
  MeasuredFields measured;
  std::int64_t at = now;
  if (config.measure) {
    at = placeArrival(r.arrivals[i].steadyNanoseconds, r.lastArrival, now);
    r.lastArrival = at;
    if (!reportDue(r, at, now)) return false;
    measured = measure(r.arrivals[i], r.slot(i), r.lengths[i], datagram.time, datagram.whole);
    measured.steadyNanoseconds = at;
    if (datagram.trust == Trust::kUnauthenticated) {
      ++r.stats.unauthenticated;
    } else {
      measured.order = countDatagram(r.stats, config, measured);
      r.metrics.count(measured, at);
    }
    datagram.measured = &measured;
    datagram.at = r.intervals.elapsed(at);
  }
  int clock = -1;
  if (config.update) datagram.clock = &clock;
  takeTime(r, i, datagram, &clock);
  r.report.received(datagram);
  std::memset(r.slot(i), 0, static_cast<std::size_t>(std::min(
      r.slotLength, std::max(r.lengths[i], kReceiveBufferSize))));
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
    int count = platform.receiveBatch(socket, r.slotBytes.data(), r.slotLength,
                                      limit, r.lengths,
                                      wantsArrivals(r.config) ? r.arrivals : nullptr);
    if (count == kSocketError) {
      printError(r.report, "\nrecvfrom failed: %d", platform.lastSocketError());
      return kFailedRun;
    }
    // A stop request, or the end of an interval, ended the wait.
    if (count == 0 && (platform.stops().stopRequested() || !r.intervals.on())) break;
    if (count > limit) count = limit;
    const std::int64_t now =
        wantsArrivals(r.config) ? platform.systemClock().steadyNanoseconds() : 0;
    for (int i = 0; i < count; ++i) {
      if (!handleDatagram(r, i, now)) return kFailedRun;
    }
    // Once the queue is empty (the batch did not fill, or the wait ended
    // empty), the intervals that ended by now are reported.
    if (count < limit && !reportDue(r, now, now)) return kFailedRun;
    if (!r.report.flush()) return kFailedRun;  // nobody reads the lines any more
    if (wanted > 0) wanted -= count;
  }
  return 0;
}

// The summary, after the last, shorter interval of a run that ended
// between two reports: the run's status, or kFailedRun when nobody reads
// the output any more.
int finish(Receiving& r) {
  // The losses at the end of a -c sender's run count from here, in the
  // first interval reported now.
  r.stats.streams.endRun();
  const std::int64_t now = r.platform.systemClock().steadyNanoseconds();
  if (!reportDue(r, now, now)) return kFailedRun;
  IntervalSpan span;
  if (r.config.intervalSeconds > 0 && r.intervals.rest(now, &span)) {
    r.report.interval(r.stats, span);
  }
  r.report.summary(r.stats);
  r.metrics.write(r.stats, true);
  if (!r.report.flush()) return kFailedRun;
  return summaryStatus(r.stats);
}

// Binds to the group's port and joins it: false after the failure's report.
bool bindAndJoin(const RunPlan& plan, Platform& platform, Report& report,
                 SocketHandle socket, const SocketAddress& group) {
  // Any local address of the group's family, the group's port.
  SocketAddress local{};
  local.family = group.family;
  local.port = group.port;
  if (platform.bindSocket(socket, local) == kSocketError) {
    printError(report, "\nError: Binding the socket - %d",
               platform.lastSocketError());
    return false;
  }
  print(report, "\nSuccess: Binding the socket - %d",
        platform.lastSocketError());

  if (joinAsPlanned(plan, platform, socket, group) == kSocketError) {
    printError(report, "\nError: Joining Multicast Group - %d",
               platform.lastSocketError());
    return false;
  }
  print(report, "\nSuccess: Joining Multicast Group - %d\n",
        platform.lastSocketError());
  return true;
}

}  // namespace

int runReceiver(const RunConfig& config, const RunPlan& plan,
                Platform& platform, Report& report, SocketHandle socket) {
  const SocketAddress& group = plan.groups.front();
  MetricsFile metrics(config, group, platform, report);
  if (!metrics.start()) return kFailedRun;
  ClockFeed feed(config, report);
  if (!feed.start()) return kFailedRun;
  if (!bindAndJoin(plan, platform, report, socket, group)) return kFailedRun;
  report.settings(false);
  if (config.measure) {
    startMeasuring(platform, report, socket, group.family == kAddressFamilyInet6);
  }
  print(report, "\nReceiving...\n");
  // Intervals and arrival offsets count from here, on the steady clock.
  Receiving r(config, plan, platform, report, metrics, feed,
              config.measure ? platform.systemClock().steadyNanoseconds() : 0);
  if (r.intervals.on()) platform.stops().setReceiveDeadline(r.intervals.deadline());
  if (report.streamPercentiles()) r.stats.streams.keepPercentiles();
  const int status = receiveUntilEnd(r, socket);
  if (status != 0 || !config.measure) return status;
  return finish(r);
}

}  // namespace stampcast
