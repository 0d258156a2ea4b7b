// The per-datagram report lines of the mode loops, written digit by digit
// into a buffer that the loop makes once: a line costs no allocation and no
// format parsing, and it goes to the console in one write.
#ifndef STAMPCAST_TIMESTAMP_REPORT_REPORT_LINE_H_
#define STAMPCAST_TIMESTAMP_REPORT_REPORT_LINE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/run_config.h"
#include "platform/types.h"
#include "timestamp/measure/measurement.h"
#include "timestamp/report/text.h"

namespace stampcast {

// What stays the same in every "Sent Time" line of a run, from the date to
// the count: " to: <destAddress>:<destPort> tos:<dscp> ttl:<ttl> seq:",
// the group as typed, in brackets when it is an IPv6 one.
std::string sentLineTail(const RunConfig& config, bool ipv6);

// The bytes formatSentLine may write with this tail.
std::size_t sentLineCapacity(const std::string& tail);

// "Sent Time HH:MM:SS:mmm on MM-DD-YYYY<tail><seq>\n" into out, which holds
// sentLineCapacity(tail) bytes; returns the line's length.
std::size_t formatSentLine(char* out, const LocalTime& time,
                           const std::string& tail, std::int64_t seq);

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

#endif  // STAMPCAST_TIMESTAMP_REPORT_REPORT_LINE_H_
