#include "timestamp/sender.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/print.h"
#include "timestamp/datagram.h"
#include "timestamp/report_line.h"

namespace stampcast {
namespace {

// The quiet sender: datagrams back to back, as many in one call as the
// platform takes. Each is stamped as it is put in the batch, so a stamp is
// never older than the making of its batch. Like the line of the verbose
// loop, the batch lives as long as the process. With a count (`left` not
// negative), exactly that many leave: the last batch is cut to fit.
int flood(Platform& platform, SocketHandle socket,
          const SocketAddress& destination, std::int64_t left) {
  static TimestampDatagram batch[Platform::kMaxBatch];
  static_assert(sizeof batch == Platform::kMaxBatch * kTimestampDatagramSize,
                "the datagrams of a batch lie back to back");
  int limit = platform.batchLimit();
  if (limit < 1 || limit > Platform::kMaxBatch) limit = 1;
  while (left != 0) {
    const int size =
        left > 0 && left < limit ? static_cast<int>(left) : limit;
    for (int i = 0; i < size; ++i) {
      LocalTime now;
      platform.getLocalTime(&now);
      batch[i] = encodeTimestamp(now);
    }
    for (int first = 0; first < size;) {
      const int sent = platform.sendBatch(socket, batch[first].bytes,
                                          kTimestampDatagramSize,
                                          size - first, kSendDontRoute,
                                          destination);
      if (sent < 1) {
        print(platform, "\nError in Sending data on the socket - %d",
              platform.lastSocketError());
        platform.cleanup();
        return -1;
      }
      first += sent;
    }
    if (left > 0) left -= size;
  }
  return 0;
}

}  // namespace

int runSender(const RunConfig& config, Platform& platform,
              SocketHandle socket) {
  if (platform.setMulticastTtl(socket, config.ttlValue) == kSocketError) {
    print(platform, "Error: Setting TTL value: error - %d\n",
          platform.lastSocketError());
    platform.closeSocket(socket);
    return -1;
  }

  print(platform, "\ndestAddress = %s\n", config.destAddress);
  print(platform, "destPort    = %d\n", config.destPort);
  print(platform, "dscpValue   = %d\n", config.dscpValue);
  print(platform, "ttlValue    = %d\n", config.ttlValue);
  print(platform, "waitValue   = %d ms\n", config.waitValue);
  print(platform, "\nSending...\n");

  SocketAddress destination{};
  destination.family = kAddressFamilyInet;
  // A port above 65535 keeps its low 16 bits.
  destination.port =
      hostToNetwork16(static_cast<std::uint16_t>(config.destPort));
  destination.address = inetAddr(config.destAddress);
  // A count ends the run once that many have gone; without one, only a
  // failed send ends it.
  std::int64_t left = config.count > 0 ? config.count : -1;
  if (!config.verbose) return flood(platform, socket, destination, left);

  // Everything the loop needs is made here, so that a datagram costs one
  // clock reading, one send and one write. Like the flood's batch, the
  // line lives as long as the process: a sender ends by a signal inside
  // this loop, and its storage then still belongs to it.
  static std::string tail;
  static std::vector<char> line;
  tail = sentLineTail(config);
  line.assign(sentLineCapacity(tail), '\0');
  // The pause takes an unsigned count: a negative wait means no pause
  // rather than a pause of some 49 days.
  const bool pause = config.waitValue > 0;
  const std::uint32_t waitMilliseconds =
      pause ? static_cast<std::uint32_t>(config.waitValue) : 0;
  std::int64_t seq = 0;

  for (;;) {
    // The time is read just before the send, and the line below reports the
    // datagram that has just gone out.
    LocalTime now;
    platform.getLocalTime(&now);
    const TimestampDatagram datagram = encodeTimestamp(now);
    if (platform.sendTo(socket, datagram.bytes, kTimestampDatagramSize,
                        kSendDontRoute, destination) == kSocketError) {
      print(platform, "\nError in Sending data on the socket - %d",
            platform.lastSocketError());
      platform.cleanup();
      return -1;
    }
    if (!platform.writeOutput(line.data(),
                              formatSentLine(line.data(), now, tail, seq))) {
      platform.cleanup();  // nobody reads the lines any more
      return -1;
    }
    ++seq;
    if (left > 0 && --left == 0) return 0;
    if (pause) platform.sleepMilliseconds(waitMilliseconds);
  }
}

}  // namespace stampcast
