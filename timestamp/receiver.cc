#include "timestamp/receiver.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "timestamp/calendar.h"
#include "timestamp/datagram.h"
#include "timestamp/group.h"
#include "timestamp/measurement.h"
#include "timestamp/report_line.h"
#include "timestamp/statistics.h"
#include "timestamp/text.h"

namespace stampcast {
namespace {

// Room for a timestamp and then some: a longer datagram is cut to the
// buffer and read by its first 16 bytes.
constexpr int kReceiveBufferSize = 100;

// The longest report of the clock: "Error: Setting local time - " and an
// int with its sign, a newline and the terminator snprintf adds.
constexpr std::size_t kClockReportCapacity = 28 + 11 + 2;

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

// Sets the clock from a whole timestamp. Writes its report at out, which
// holds kClockReportCapacity bytes; returns the end of the report.
char* updateClock(Platform& platform, const LocalTime& time, bool whole,
                  char* out) {
  if (!whole) return append(out, "Time not updated: invalid timestamp\n");
  const int result = platform.setLocalTime(time);
  if (result != 0) {
    return out + std::snprintf(out, kClockReportCapacity,
                               "Error: Setting local time - %d\n", result);
  }
  return append(out, "Time updated..\n");
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
          ipv6 ? "IPV6_RECVHOPLIMIT" : "IP_RECVTTL", refusals.ttlError);
  }
  platform.catchStopRequests();
}

// Joins the group: an IPv4 one on the interface the system picks, an IPv6
// one on interface index 0, the system's choice, from any source.
int joinTheGroup(const RunConfig& config, Platform& platform,
                 SocketHandle socket, const SocketAddress& group) {
  if (group.family != kAddressFamilyInet6) {
    const MulticastMembership membership{inetAddr(config.destAddress), 0};
    return platform.joinGroup(socket, membership);
  }
  return platform.joinGroup6(socket, group, 0, nullptr);
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
    print(platform, "\nError: Binding the socket - %d",
          platform.lastSocketError());
    return kFailedRun;
  }
  print(platform, "\nSuccess: Binding the socket - %d",
        platform.lastSocketError());

  if (joinTheGroup(config, platform, socket, group) == kSocketError) {
    print(platform, "\nError: Joining Multicast Group - %d",
          platform.lastSocketError());
    return kFailedRun;
  }
  print(platform, "\nSuccess: Joining Multicast Group - %d\n",
        platform.lastSocketError());

  print(platform, "\ndestAddress = %s\n", config.destAddress);
  print(platform, "destPort    = %d\n", config.destPort);
  print(platform, config.update ? "Update      = TRUE\n"
                                : "Update      = FALSE\n");
  if (config.measure) {
    startMeasuring(platform, socket, group.family == kAddressFamilyInet6);
  }
  print(platform, "\nReceiving...\n");

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
      print(platform, "\nrecvfrom failed: %d", platform.lastSocketError());
      return kFailedRun;
    }
    if (count == 0) break;  // a stop request ended the wait
    if (count > limit) count = limit;
    char* end = text;
    for (int i = 0; i < count; ++i) {
      const LocalTime time = decodeTimestamp(slots[i]);
      const bool whole = holdsCalendarTime(time, lengths[i]);
      if (config.measure) {
        MeasuredFields measured =
            measure(arrivals[i], slots[i], lengths[i], time, whole);
        measured.order = countDatagram(stats, config, measured);
        end += formatReceivedLine(end, time, seq, &measured);
      } else {
        end += formatReceivedLine(end, time, seq);
      }
      std::memset(slots[i], 0, sizeof slots[i]);
      ++seq;
      if (config.update) end = updateClock(platform, time, whole, end);
    }
    if (!platform.writeOutput(text, static_cast<std::size_t>(end - text))) {
      return kFailedRun;  // nobody reads the lines any more
    }
    if (wanted > 0) wanted -= count;
  }
  if (!config.measure) return 0;
  const std::string summary = formatSummary(stats, config);
  platform.writeOutput(summary.data(), summary.size());
  return summaryStatus(stats);
}

}  // namespace stampcast
