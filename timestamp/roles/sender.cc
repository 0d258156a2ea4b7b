#include "timestamp/roles/sender.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "timestamp/measure/schedule.h"
#include "timestamp/wire/auth_block.h"
#include "timestamp/wire/datagram.h"
#include "timestamp/wire/trailer.h"

namespace stampcast {
namespace {

// The longest datagram a sender makes without -z: the time, trailer
// version 2 and the authentication block.
constexpr std::size_t kLongestDatagram = kMeasuredV2DatagramSize + kAuthBlockLength;

// What every datagram of a run is made of: the time, and with -m the
// trailer, whose number goes on by one a datagram; zeros up to the size;
// with -k, its last bytes the authentication block under the key file's
// first key.
struct Stamper {
  bool measured = false;
  Trailer trailer;
  std::size_t length = kTimestampDatagramSize;
  const Key* key = nullptr;

  std::size_t size() const { return length; }

  // Reads the clock once and writes the datagram for that moment at out;
  // returns the local time it carries.
  LocalTime stamp(Platform& platform, std::uint8_t* out) {
    LocalTime now;
    platform.systemClock().readClock(&now, &trailer.sentUtcNanoseconds);
    const TimestampDatagram datagram = encodeTimestamp(now);
    std::memcpy(out, datagram.bytes, sizeof datagram.bytes);
    if (measured) {
      encodeTrailer(trailer, out + kTimestampDatagramSize);
      ++trailer.number;
    }
    // The hash cannot fail on the systems that started the run with a key:
    // a datagram it would not sign goes with a tag no receiver takes.
    if (key != nullptr) writeAuthBlock(out, length - kAuthBlockLength, *key);
    return now;
  }
};

// What the run has sent, for its summary (-m or -b): its datagrams and
// their bytes, from the steady time before the first send to the time
// after the last, or with a rate to one period after the last burst left
// (the time its bursts took up: 100 at 100 a second take a second).
struct Tally {
  bool kept = false;
  SenderTotals totals;
  std::int64_t lastStart = 0;

  // Before a send of so many datagrams.
  void add(Platform& platform, int datagrams, std::size_t length) {
    if (!kept) return;
    lastStart = platform.systemClock().steadyNanoseconds();
    if (totals.datagrams == 0) totals.first = lastStart;
    totals.datagrams += static_cast<std::uint64_t>(datagrams);
    totals.bytes += static_cast<std::uint64_t>(datagrams) * length;
  }

  // After it went.
  void sent(Platform& platform) {
    if (kept) totals.last = platform.systemClock().steadyNanoseconds();
  }

  // A run that reports what it sent ends at a stop request, through its
  // normal path.
  bool stopped(Platform& platform) const {
    return kept && platform.stops().stopRequested();
  }
};

// Once traffic control has removed the marking, the datagrams would go
// unmarked under the code point the lines show: the run ends as a failed
// send does, before the next one.
bool reportRemoval(Platform& platform, Report& report, MarkingWatch& watch) {
  const char* removed = watch.removed != nullptr ? watch.removed->load() : nullptr;
  if (removed == nullptr && watch.check) {
    const std::int64_t now = platform.systemClock().steadyNanoseconds();
    if (now >= watch.nextCheck) {
      watch.nextCheck = now + 1000000000;
      removed = watch.check();
    }
  }
  if (removed == nullptr) return false;
  printError(report, "Marking removed by the system: %s\n", removed);
  return true;
}

// A run identifier that another run, here or on another host, is unlikely
// to draw: the system's random source, with the clock mixed in where that
// source is weak.
std::uint64_t drawRunIdentifier(Platform& platform) {
  std::random_device source;
  LocalTime unused;
  std::int64_t now = 0;
  platform.systemClock().readClock(&unused, &now);
  const std::uint64_t drawn = std::uint64_t{source()} << 32 | source();
  return drawn ^ static_cast<std::uint64_t>(now);
}

// Sends count datagrams of length bytes, stored back to back from data, in
// as many calls as the platform needs; false after reporting a failed send.
bool sendAll(Platform& platform, Report& report, SocketHandle socket,
             const SocketAddress& destination, const std::uint8_t* data,
             std::size_t length, int count) {
  for (int first = 0; first < count;) {
    const int sent = platform.sendBatch(socket, data + first * length,
                                        static_cast<int>(length), count - first,
                                        kSendDontRoute, destination);
    if (sent < 1) {
      printError(report, "\nError in Sending data on the socket - %d",
                 platform.lastSocketError());
      return false;
    }
    first += sent;
  }
  return true;
}

int batchLimit(Platform& platform) {
  const int limit = platform.batchLimit();
  return limit < 1 || limit > Platform::kMaxBatch ? 1 : limit;
}

// The quiet sender: datagrams back to back, as many in one call as the
// platform takes. Each is stamped as it is put in the batch, so a stamp is
// never older than the making of its batch. Like the line of the verbose
// loop, the batch lives as long as the process. With a count (`left` not
// negative), exactly that many leave: the last batch is cut to fit.
int flood(Platform& platform, Report& report, SocketHandle socket,
          const SocketAddress& destination, Stamper& stamper,
          std::int64_t left, MarkingWatch& watch, Tally& tally) {
  static std::uint8_t batch[Platform::kMaxBatch * kLongestDatagram];
  const std::size_t length = stamper.size();
  const int limit = batchLimit(platform);
  while (left != 0 && !tally.stopped(platform)) {
    if (reportRemoval(platform, report, watch)) return kFailedRun;
    const int size =
        left > 0 && left < limit ? static_cast<int>(left) : limit;
    for (int i = 0; i < size; ++i) stamper.stamp(platform, batch + i * length);
    tally.add(platform, size, length);
    if (!sendAll(platform, report, socket, destination, batch, length, size)) {
      return kFailedRun;
    }
    tally.sent(platform);
    if (left > 0) left -= size;
  }
  return 0;
}

// The verbose sender: a datagram, its line, a pause. A datagram costs one
// clock reading, one send and one write.
int sendLines(const RunConfig& config, Platform& platform, Report& report,
              SocketHandle socket, const SocketAddress& destination,
              Stamper& stamper, std::int64_t left, MarkingWatch& watch,
              Tally& tally) {
  // The pause takes an unsigned count: a negative wait means no pause
  // rather than a pause of some 49 days.
  const bool pause = config.waitValue > 0;
  const std::uint32_t waitMilliseconds =
      pause ? static_cast<std::uint32_t>(config.waitValue) : 0;
  std::int64_t seq = 0;
  while (!tally.stopped(platform)) {
    if (reportRemoval(platform, report, watch)) return kFailedRun;
    // The time is read just before the send, and the line below reports the
    // datagram that has just gone out.
    std::uint8_t datagram[kLongestDatagram] = {};
    const LocalTime now = stamper.stamp(platform, datagram);
    tally.add(platform, 1, stamper.size());
    if (platform.sendTo(socket, datagram, static_cast<int>(stamper.size()),
                        kSendDontRoute, destination) == kSocketError) {
      printError(report, "\nError in Sending data on the socket - %d",
                 platform.lastSocketError());
      return kFailedRun;
    }
    tally.sent(platform);
    // Nobody reads the lines any more.
    if (!report.sent(now, seq, destination, config.measure ? seq : -1)) return kFailedRun;
    ++seq;
    if (left > 0 && --left == 0) return 0;
    if (pause) platform.systemClock().sleepMilliseconds(waitMilliseconds);
  }
  return 0;
}

// The sender with a load (-b, -z or -n): the datagrams of one burst, of
// the run's size, stamped and sent in batches, a line each unless quiet.
struct LoadSender {
  const RunConfig& config;
  Platform& platform;
  Report& report;
  SocketHandle socket;
  const SocketAddress& destination;
  Stamper& stamper;
  Tally& tally;
  std::vector<std::uint8_t> batch{};  // zeros after each stamp
  std::int64_t seq = 0;

  bool sendBurst(int count) {
    const std::size_t length = stamper.size();
    const int limit = batchLimit(platform);
    if (batch.empty()) batch.assign(static_cast<std::size_t>(limit) * length, 0);
    LocalTime times[Platform::kMaxBatch];
    for (int done = 0; done < count;) {
      const int size = count - done < limit ? count - done : limit;
      for (int i = 0; i < size; ++i) times[i] = stamper.stamp(platform, &batch[i * length]);
      tally.add(platform, size, length);
      if (!sendAll(platform, report, socket, destination, batch.data(), length, size)) {
        return false;
      }
      tally.sent(platform);
      for (int i = 0; config.verbose && i < size; ++i, ++seq) {
        if (!report.sent(times[i], seq, destination, config.measure ? seq : -1)) return false;
      }
      done += size;
    }
    return true;
  }

  // Waits for the steady time `due`, in slices that a stop request ends;
  // false when one came.
  bool waitFor(std::int64_t due) {
    constexpr std::int64_t kSlice = 100000000;
    for (;;) {
      if (tally.stopped(platform)) return false;
      const std::int64_t now = platform.systemClock().steadyNanoseconds();
      if (now >= due) return true;
      platform.systemClock().sleepUntil(due - now > kSlice ? now + kSlice : due);
    }
  }

  // Bursts at their due times (-b), or paced by -w when verbose, else back
  // to back, until the count has gone or a stop request came.
  int run(std::int64_t left, MarkingWatch& watch) {
    BurstSchedule schedule;
    schedule.period = config.periodNanoseconds;
    schedule.start = platform.systemClock().steadyNanoseconds();
    const bool paced = config.periodNanoseconds > 0;
    const bool pause = !paced && config.verbose && config.waitValue > 0;
    while (left != 0) {
      if (reportRemoval(platform, report, watch)) return kFailedRun;
      if (paced ? !waitFor(dueTime(schedule)) : tally.stopped(platform)) break;
      // Unpaced and quiet, bursts leave back to back anyway: a batch at a time.
      const int each = paced || pause || config.verbose
                           ? config.burst
                           : std::max(config.burst, batchLimit(platform));
      const int count = left > 0 && left < each ? static_cast<int>(left) : each;
      if (!sendBurst(count)) return kFailedRun;
      if (left > 0) left -= count;
      if (paced) advanceSchedule(schedule, platform.systemClock().steadyNanoseconds());
      if (pause && left != 0) {
        platform.systemClock().sleepMilliseconds(static_cast<std::uint32_t>(config.waitValue));
      }
    }
    tally.totals.slips = schedule.slips;
    if (paced && tally.totals.datagrams > 0) {
      tally.totals.last = tally.lastStart + static_cast<std::int64_t>(schedule.period);
    }
    return 0;
  }
};

// What the datagrams carry: with -m, a trailer of version 2 when the run
// has a load or a key (the code point asked, the schedule, the last
// number); with a key (-k, which implies -m), the authentication block.
Stamper makeStamper(const RunConfig& config, const Key* key, Platform& platform) {
  Stamper stamper;
  stamper.measured = config.measure;
  stamper.length = config.measure ? kMeasuredDatagramSize : kTimestampDatagramSize;
  if (config.measure) stamper.trailer.run = drawRunIdentifier(platform);
  stamper.key = key;
  if (key != nullptr) stamper.length = kLongestDatagram;
  if (config.load) stamper.length = config.datagramSize;
  if (!config.load && key == nullptr) return stamper;
  Trailer& trailer = stamper.trailer;
  if (config.measure) trailer.version = 2;
  trailer.periodNanoseconds = config.periodNanoseconds;
  trailer.dscp = config.dscpValue >= 0 && config.dscpValue <= 63
                     ? static_cast<std::uint8_t>(config.dscpValue)
                     : 0;
  trailer.burst = static_cast<std::uint16_t>(config.burst);
  trailer.hasLast = config.count > 0;
  trailer.last = config.count > 0 ? static_cast<std::uint64_t>(config.count) - 1 : 0;
  return stamper;
}

int sendAllOfRun(const RunConfig& config, Platform& platform, Report& report,
                 SocketHandle socket, const SocketAddress& destination,
                 const Key* key, MarkingWatch& watch, Tally& tally) {
  // A count ends the run once that many have gone; without one, only a
  // failed send ends it.
  const std::int64_t left = config.count > 0 ? config.count : -1;
  Stamper stamper = makeStamper(config, key, platform);
  if (config.load) {
    LoadSender sender{config, platform, report, socket, destination, stamper, tally};
    return sender.run(left, watch);
  }
  if (!config.verbose) {
    return flood(platform, report, socket, destination, stamper, left, watch, tally);
  }
  return sendLines(config, platform, report, socket, destination, stamper, left,
                   watch, tally);
}

}  // namespace

int runSender(const RunConfig& config, const RunPlan& plan, Platform& platform,
              Report& report, SocketHandle socket, MarkingWatch& watch) {
  report.settings(true);
  print(report, "\nSending...\n");

  const SocketAddress& destination = plan.groups.front();
  // A measuring or paced sender tells what it sent, also when a stop
  // request ends it.
  Tally tally;
  tally.kept = config.measure || config.rateText != nullptr;
  if (tally.kept) platform.stops().catchStopRequests();
  const Key* key = plan.keys.empty() ? nullptr : &plan.keys.front();
  const int status =
      sendAllOfRun(config, platform, report, socket, destination, key, watch, tally);
  if (status == 0 && tally.kept) report.senderSummary(tally.totals, destination);
  return status;
}

}  // namespace stampcast
