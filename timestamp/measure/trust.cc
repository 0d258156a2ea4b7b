#include "timestamp/measure/trust.h"

#include "timestamp/wire/auth_block.h"
#include "timestamp/wire/trailer.h"

namespace stampcast {

Trust TrustGuard::judge(const std::uint8_t* datagram, int length) {
  if (keys_.empty()) return Trust::kUnchecked;
  if (length < 0) return Trust::kUnauthenticated;
  const auto size = static_cast<std::size_t>(length);
  if (verifyAuthBlock(datagram, size, keys_) != AuthOutcome::kValid) {
    return Trust::kUnauthenticated;
  }
  Trailer trailer;
  const int signedPart = length - static_cast<int>(kAuthBlockLength);
  if (!decodeTrailer(datagram, signedPart, &trailer)) return Trust::kUnauthenticated;
  // A number seen before comes with a send time not later than the newest.
  if (taken_ && trailer.sentUtcNanoseconds <= newest_) return Trust::kReplayed;
  taken_ = true;
  newest_ = trailer.sentUtcNanoseconds;
  return Trust::kValid;
}

}  // namespace stampcast
