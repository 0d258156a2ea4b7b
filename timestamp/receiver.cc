#include "timestamp/receiver.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/print.h"
#include "timestamp/calendar.h"
#include "timestamp/datagram.h"
#include "timestamp/report_line.h"

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

// Sets the clock only from a whole, plausible timestamp: a short datagram
// or a field out of range (month 13, 30 February) never reaches the clock.
// Writes its report at out, which holds kClockReportCapacity bytes; returns
// the end of the report.
char* updateClock(Platform& platform, const LocalTime& time, int received,
                  char* out) {
  if (received < static_cast<int>(kTimestampDatagramSize) ||
      !isValidCalendarTime(time)) {
    return append(out, "Time not updated: invalid timestamp\n");
  }
  const int result = platform.setLocalTime(time);
  if (result != 0) {
    return out + std::snprintf(out, kClockReportCapacity,
                               "Error: Setting local time - %d\n", result);
  }
  return append(out, "Time updated..\n");
}

}  // namespace

int runReceiver(const RunConfig& config, Platform& platform,
                SocketHandle socket) {
  SocketAddress local{};
  local.family = kAddressFamilyInet;
  local.port = hostToNetwork16(static_cast<std::uint16_t>(config.destPort));
  local.address = hostToNetwork32(0);  // any local address
  if (platform.bindSocket(socket, local) == kSocketError) {
    print(platform, "\nError: Binding the socket - %d",
          platform.lastSocketError());
    platform.cleanup();
    return -1;
  }
  print(platform, "\nSuccess: Binding the socket - %d",
        platform.lastSocketError());

  const MulticastMembership membership{inetAddr(config.destAddress), 0};
  if (platform.joinGroup(socket, membership) == kSocketError) {
    print(platform, "\nError: Joining Multicast Group - %d",
          platform.lastSocketError());
    platform.cleanup();
    return -1;
  }
  print(platform, "\nSuccess: Joining Multicast Group - %d\n",
        platform.lastSocketError());

  print(platform, "\ndestAddress = %s\n", config.destAddress);
  print(platform, "destPort    = %d\n", config.destPort);
  print(platform, config.update ? "Update      = TRUE\n"
                                : "Update      = FALSE\n");
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
  char text[Platform::kMaxBatch *
            (kReceivedLineCapacity + kClockReportCapacity)];
  std::int64_t seq = 0;
  for (;;) {
    int count = platform.receiveBatch(socket, slots, kReceiveBufferSize,
                                      batchSize, lengths);
    if (count == kSocketError) {
      print(platform, "\nrecvfrom failed: %d", platform.lastSocketError());
      platform.cleanup();
      return -1;
    }
    if (count > batchSize) count = batchSize;
    char* end = text;
    for (int i = 0; i < count; ++i) {
      const LocalTime time = decodeTimestamp(slots[i]);
      std::memset(slots[i], 0, sizeof slots[i]);
      end += formatReceivedLine(end, time, seq);
      ++seq;
      if (config.update) end = updateClock(platform, time, lengths[i], end);
    }
    if (!platform.writeOutput(text, static_cast<std::size_t>(end - text))) {
      platform.cleanup();  // nobody reads the lines any more
      return -1;
    }
  }
}

}  // namespace stampcast
