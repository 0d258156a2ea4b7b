// Samples for a time service's reference-clock socket: a Unix datagram
// socket at a path where the service (chronyd's SOCK driver) reads one
// record a datagram. The record is the service's own, laid out by this
// system's C library as the service's build lays it out; the platform fills
// it from the plain one below. Windows has no such service: there every
// call fails with kClockSamplesUnsupported.
#ifndef STAMPCAST_PLATFORM_CLOCK_SAMPLE_H_
#define STAMPCAST_PLATFORM_CLOCK_SAMPLE_H_

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace stampcast {

// The service's magic number, "SOCK" as a 32-bit number.
inline constexpr std::int32_t kClockSampleMagic = 0x534f434b;
// What the calls return on a system without the socket.
inline constexpr int kClockSamplesUnsupported = -1;

// At local time `seconds + microseconds` (since 1970 UTC, as the local clock
// reads it), the true time was `offset` seconds later (negative: earlier).
struct ClockSample {
  std::int64_t seconds = 0;
  std::int64_t microseconds = 0;  // 0 to 999999
  double offset = 0;
  std::int32_t pulse = 0;  // 0: the sample carries the whole time
  std::int32_t leap = 0;   // 0: no leap second announced
  std::int32_t magic = kClockSampleMagic;
};

// A socket to send samples from, or kInvalidSocket with the system's error
// (kClockSamplesUnsupported on Windows) in *error.
SocketHandle openClockSampleSocket(int* error);

// Sends one sample to the socket at path: 0, or the system's error
// (ENOENT: no socket there; ECONNREFUSED: nothing serves it any more;
// ENAMETOOLONG: a path too long for a socket's address). Each send names
// the path again, so that a service that comes back is found.
int sendClockSample(SocketHandle socket, const std::string& path,
                    const ClockSample& sample);

void closeClockSampleSocket(SocketHandle socket);

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_CLOCK_SAMPLE_H_
