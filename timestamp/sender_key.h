// Who sent a datagram, as a measuring receiver keys its counts, and the
// hash its senders set and its stream table spread those keys with.
#ifndef STAMPCAST_TIMESTAMP_SENDER_KEY_H_
#define STAMPCAST_TIMESTAMP_SENDER_KEY_H_

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

namespace stampcast {

// A sender: its IPv4 address and its port in one word.
inline std::uint64_t senderKey(const SocketAddress& from) {
  return std::uint64_t{from.address} << 16 | from.port;
}

// Mixes every bit of a key into every bit of its hash under a seed drawn
// for each table: sources forged to share a bucket of a plain hash (keys a
// multiple of the bucket count apart) spread over all of them, and what
// collides in one run does not in the next.
class SeededHash {
 public:
  SeededHash();  // the seed from the system's random source
  explicit SeededHash(std::uint64_t seed) : seed_(seed) {}

  std::size_t operator()(std::uint64_t key) const;
  std::size_t operator()(std::uint64_t key, std::uint64_t more) const;

 private:
  std::uint64_t seed_;
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_SENDER_KEY_H_
