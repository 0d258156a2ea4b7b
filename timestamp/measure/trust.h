// Whether a datagram may set the clock when the run holds shared keys
// (-k): its authentication block checked against the keys, then its send
// time against the newest one already taken, so that a datagram heard
// before, or a recording of an older run, sets nothing.
#ifndef STAMPCAST_TIMESTAMP_MEASURE_TRUST_H_
#define STAMPCAST_TIMESTAMP_MEASURE_TRUST_H_

#include <cstdint>
#include <vector>

#include "settings/shared_key.h"

namespace stampcast {

enum class Trust {
  kUnchecked,        // the run holds no keys: every datagram as before
  kValid,            // a valid tag and a send time later than any before
  kUnauthenticated,  // no block, a short one, an unknown key, a wrong tag
  kReplayed,         // a valid tag, but a send time not later than the newest
};

// Whether a datagram of that verdict may set the clock or feed -y.
inline bool maySetClock(Trust trust) {
  return trust == Trust::kUnchecked || trust == Trust::kValid;
}

class TrustGuard {
 public:
  explicit TrustGuard(const std::vector<Key>& keys) : keys_(keys) {}

  // The verdict on a datagram of `length` bytes (those that arrived, from
  // its start). A valid tag over a datagram without a trailer gives no
  // send time to guard against replay: it is not taken as authenticated.
  // A valid datagram's send time becomes the newest.
  Trust judge(const std::uint8_t* datagram, int length);

 private:
  const std::vector<Key>& keys_;
  bool taken_ = false;
  std::int64_t newest_ = 0;  // nanoseconds since 1970, once taken_
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_TRUST_H_
