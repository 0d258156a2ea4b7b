// The values of the sender's load options: -b (a rate), -z (the datagram's
// size) and -n (the burst), read and checked before anything is set up.
#ifndef STAMPCAST_CLI_LOAD_OPTIONS_H_
#define STAMPCAST_CLI_LOAD_OPTIONS_H_

#include <cstddef>
#include <cstdint>

namespace stampcast {

// An average rate: bits of UDP payload a second, or datagrams a second.
struct Rate {
  double value = 0;
  bool datagrams = false;  // the suffix pps
};

// Reads a rate: a decimal number (digits, at most one point), then k, M or
// G (10^3, 10^6, 10^9) or nothing, then pps for datagrams a second or
// nothing for bits ("20M", "2.5M", "5000pps", "10kpps"). False for
// anything else, and for a rate that is not positive and finite.
bool parseRate(const char* text, Rate* rate);

// Datagrams a second at the rate, for datagrams of `size` bytes of payload.
double datagramsPerSecond(const Rate& rate, std::size_t size);

// The period between bursts of `burst` datagrams of `size` bytes that keeps
// the average rate, in nanoseconds, rounded to the nearest; false when it
// is under 1 ns or over a day.
bool burstPeriodNanoseconds(const Rate& rate, int burst, std::size_t size,
                            std::uint64_t* period);

inline constexpr std::uint64_t kLargestPeriod = 86400ULL * 1000000000ULL;
inline constexpr std::size_t kLargestIpv4Datagram = 65507;
inline constexpr std::size_t kLargestIpv6Datagram = 65527;
inline constexpr int kLargestBurst = 1024;

// Reads -z: decimal digits only, from `least` (the bytes every datagram
// carries: 16, more with -m's trailer) to the largest UDP payload of the
// group's family.
bool parseDatagramSize(const char* text, std::size_t least, bool ipv6,
                       std::size_t* size);

// Reads -n: decimal digits only, 1 to kLargestBurst.
bool parseBurst(const char* text, int* burst);

}  // namespace stampcast

#endif  // STAMPCAST_CLI_LOAD_OPTIONS_H_
