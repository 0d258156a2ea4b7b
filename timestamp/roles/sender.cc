#include "timestamp/roles/sender.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <random>

#include "timestamp/wire/auth_block.h"
#include "timestamp/wire/datagram.h"
#include "timestamp/wire/trailer.h"

namespace stampcast {
namespace {

// The longest datagram a sender makes: the time, trailer version 2 and
// the authentication block.
constexpr std::size_t kLongestDatagram = kMeasuredV2DatagramSize + kAuthBlockLength;

// What every datagram of a run is made of: with -m, the trailer's run
// identifier and the next sequence number; with -k, trailer version 2 and
// the authentication block under the key file's first key.
struct Stamper {
  bool measured = false;
  std::uint64_t run = 0;
  std::uint64_t next = 0;
  const Key* key = nullptr;
  std::uint8_t dscp = 0;

  std::size_t size() const {
    if (key != nullptr) return kLongestDatagram;
    return measured ? kMeasuredDatagramSize : kTimestampDatagramSize;
  }

  // Reads the clock once and writes the datagram for that moment at out;
  // returns the local time it carries.
  LocalTime stamp(Platform& platform, std::uint8_t* out) {
    LocalTime now;
    Trailer trailer;
    platform.systemClock().readClock(&now, &trailer.sentUtcNanoseconds);
    const TimestampDatagram datagram = encodeTimestamp(now);
    std::memcpy(out, datagram.bytes, sizeof datagram.bytes);
    if (measured) {
      trailer.run = run;
      trailer.number = next++;
      if (key != nullptr) {
        trailer.version = 2;
        trailer.dscp = dscp;
      }
      encodeTrailer(trailer, out + kTimestampDatagramSize);
    }
    // The hash cannot fail on the systems that started the run with a key:
    // a datagram it would not sign goes with a tag no receiver takes.
    if (key != nullptr) writeAuthBlock(out, kMeasuredV2DatagramSize, *key);
    return now;
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

// The quiet sender: datagrams back to back, as many in one call as the
// platform takes. Each is stamped as it is put in the batch, so a stamp is
// never older than the making of its batch. Like the line of the verbose
// loop, the batch lives as long as the process. With a count (`left` not
// negative), exactly that many leave: the last batch is cut to fit.
int flood(Platform& platform, Report& report, SocketHandle socket,
          const SocketAddress& destination, Stamper& stamper,
          std::int64_t left, MarkingWatch& watch) {
  static std::uint8_t batch[Platform::kMaxBatch * kLongestDatagram];
  const std::size_t length = stamper.size();
  int limit = platform.batchLimit();
  if (limit < 1 || limit > Platform::kMaxBatch) limit = 1;
  while (left != 0) {
    if (reportRemoval(platform, report, watch)) return kFailedRun;
    const int size =
        left > 0 && left < limit ? static_cast<int>(left) : limit;
    for (int i = 0; i < size; ++i) stamper.stamp(platform, batch + i * length);
    for (int first = 0; first < size;) {
      const int sent = platform.sendBatch(socket, batch + first * length,
                                          static_cast<int>(length),
                                          size - first, kSendDontRoute,
                                          destination);
      if (sent < 1) {
        printError(report, "\nError in Sending data on the socket - %d",
                   platform.lastSocketError());
        return kFailedRun;
      }
      first += sent;
    }
    if (left > 0) left -= size;
  }
  return 0;
}

// The verbose sender: a datagram, its line, a pause. A datagram costs one
// clock reading, one send and one write.
int sendLines(const RunConfig& config, Platform& platform, Report& report,
              SocketHandle socket, const SocketAddress& destination,
              Stamper& stamper, std::int64_t left, MarkingWatch& watch) {
  // The pause takes an unsigned count: a negative wait means no pause
  // rather than a pause of some 49 days.
  const bool pause = config.waitValue > 0;
  const std::uint32_t waitMilliseconds =
      pause ? static_cast<std::uint32_t>(config.waitValue) : 0;
  std::int64_t seq = 0;
  for (;;) {
    if (reportRemoval(platform, report, watch)) return kFailedRun;
    // The time is read just before the send, and the line below reports the
    // datagram that has just gone out.
    std::uint8_t datagram[kLongestDatagram];
    const LocalTime now = stamper.stamp(platform, datagram);
    if (platform.sendTo(socket, datagram, static_cast<int>(stamper.size()),
                        kSendDontRoute, destination) == kSocketError) {
      printError(report, "\nError in Sending data on the socket - %d",
                 platform.lastSocketError());
      return kFailedRun;
    }
    // Nobody reads the lines any more.
    if (!report.sent(now, seq, destination, config.measure ? seq : -1)) return kFailedRun;
    ++seq;
    if (left > 0 && --left == 0) return 0;
    if (pause) platform.systemClock().sleepMilliseconds(waitMilliseconds);
  }
}

}  // namespace

int runSender(const RunConfig& config, const RunPlan& plan, Platform& platform,
              Report& report, SocketHandle socket, MarkingWatch& watch) {
  report.settings(true);
  print(report, "\nSending...\n");

  const SocketAddress& destination = plan.groups.front();
  // A count ends the run once that many have gone; without one, only a
  // failed send ends it.
  const std::int64_t left = config.count > 0 ? config.count : -1;
  Stamper stamper;
  stamper.measured = config.measure;
  if (config.measure) stamper.run = drawRunIdentifier(platform);
  if (!plan.keys.empty()) {
    stamper.key = &plan.keys.front();
    stamper.dscp = static_cast<std::uint8_t>(config.dscpValue & 63);
  }
  if (!config.verbose) {
    return flood(platform, report, socket, destination, stamper, left, watch);
  }
  return sendLines(config, platform, report, socket, destination, stamper, left,
                   watch);
}

}  // namespace stampcast
