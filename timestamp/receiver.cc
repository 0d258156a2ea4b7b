#include "timestamp/receiver.h"

#include <cstdint>
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

// Sets the clock only from a whole, plausible timestamp: a short datagram
// or a field out of range (month 13, 30 February) never reaches the clock.
void updateClock(Platform& platform, const LocalTime& time, int received) {
  if (received < static_cast<int>(kTimestampDatagramSize) ||
      !isValidCalendarTime(time)) {
    print(platform, "Time not updated: invalid timestamp\n");
    return;
  }
  const int result = platform.setLocalTime(time);
  if (result != 0) {
    print(platform, "Error: Setting local time - %d\n", result);
    return;
  }
  print(platform, "Time updated..\n");
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

  std::uint8_t buffer[kReceiveBufferSize];
  char line[kReceivedLineCapacity];
  SocketAddress from{};
  std::int64_t seq = 0;
  for (;;) {
    // Cleared each time, so that a short datagram's missing fields read as
    // 0 rather than as the previous datagram's.
    std::memset(buffer, 0, sizeof buffer);
    int fromLength = static_cast<int>(sizeof from);
    const int received = platform.receiveFrom(socket, buffer, sizeof buffer,
                                              0, &from, &fromLength);
    if (received == kSocketError) {
      print(platform, "\nrecvfrom failed: %d", platform.lastSocketError());
      platform.cleanup();
      return -1;
    }
    const LocalTime time = decodeTimestamp(buffer);
    platform.writeOutput(line, formatReceivedLine(line, time, seq));
    ++seq;
    if (config.update) updateClock(platform, time, received);
  }
}

}  // namespace stampcast
