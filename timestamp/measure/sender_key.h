// Who sent a datagram, as a measuring receiver keys its counts, and the
// hash its senders set and its stream table spread those keys with.
#ifndef STAMPCAST_TIMESTAMP_MEASURE_SENDER_KEY_H_
#define STAMPCAST_TIMESTAMP_MEASURE_SENDER_KEY_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/types.h"

namespace stampcast {

// A sender: the whole address of either family, with its family, port and
// zone, so that no two senders share a key.
struct SenderKey {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  std::uint64_t rest = 0;  // family, port and zone
  bool operator==(const SenderKey& other) const {
    return high == other.high && low == other.low && rest == other.rest;
  }
};

inline SenderKey senderKey(const SocketAddress& from) {
  SenderKey key;
  std::memcpy(&key.high, from.address, 8);
  std::memcpy(&key.low, from.address + 8, 8);
  key.rest = std::uint64_t{from.family} << 48 |
             std::uint64_t{from.port} << 32 | from.scope;
  return key;
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
  std::size_t operator()(const SenderKey& key) const;
  std::size_t operator()(const SenderKey& key, std::uint64_t more) const;

 private:
  std::uint64_t seed_;
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_SENDER_KEY_H_
