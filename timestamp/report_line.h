// The per-datagram report lines of the mode loops, written digit by digit
// into a buffer that the loop makes once: a line costs no allocation and no
// format parsing, and it goes to the console in one write.
#ifndef STAMPCAST_TIMESTAMP_REPORT_LINE_H_
#define STAMPCAST_TIMESTAMP_REPORT_LINE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/run_config.h"
#include "platform/types.h"
#include "timestamp/streams.h"
#include "timestamp/text.h"

namespace stampcast {

// What stays the same in every "Sent Time" line of a run, from the date to
// the count: " to: <destAddress>:<destPort> tos:<dscp> ttl:<ttl> seq:".
std::string sentLineTail(const RunConfig& config);

// The bytes formatSentLine may write with this tail.
std::size_t sentLineCapacity(const std::string& tail);

// "Sent Time HH:MM:SS:mmm on MM-DD-YYYY<tail><seq>\n" into out, which holds
// sentLineCapacity(tail) bytes; returns the line's length.
std::size_t formatSentLine(char* out, const LocalTime& time,
                           const std::string& tail, std::int64_t seq);

// What a measuring receiver tells of a datagram beside its time.
struct MeasuredFields {
  SocketAddress from;
  int dscp = -1;  // -1: the platform cannot tell
  int ttl = -1;
  bool hasDelay = false;  // false: the datagram holds no calendar time
  // In microseconds: whole milliseconds from the 16-byte time, finer from
  // a trailer's send time, which the line then shows to the microsecond.
  std::int64_t delayMicroseconds = 0;
  bool fineDelay = false;
  // A measuring sender's trailer: its number, and how it stands to the
  // numbers of its stream before it.
  bool hasSent = false;
  std::uint64_t sent = 0;
  Order order = Order::kNext;
};

// "Received Time HH:MM:SS:mmm on MM-DD-Y seq:<seq>\n", and with measured
// fields "... from: <address>:<port> tos:<dscp> ttl:<ttl> delay:<delay>ms
// [sent:<number>[ (duplicate)| (out of order)]] seq:<seq>\n", where an
// unknown field reads "-" and the delay has three decimals when it is
// finer than a millisecond; any field values fit kReceivedLineCapacity
// bytes.
inline constexpr std::size_t kReceivedLineCapacity = 256;
std::size_t formatReceivedLine(char* out, const LocalTime& time,
                               std::int64_t seq,
                               const MeasuredFields* measured = nullptr);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_REPORT_LINE_H_
