#include "timestamp/measure/load_figures.h"

#include <algorithm>

namespace stampcast {
namespace {

bool before(const RemarkPair& a, const RemarkPair& b) {
  return a.sent != b.sent ? a.sent < b.sent : a.received < b.received;
}

}  // namespace

void RemarkPairs::add(int sent, int received) {
  if (sent == received || sent < 0 || sent > 63 || received < 0 || received > 63) return;
  const RemarkPair key{sent, received, 0};
  const auto at = std::lower_bound(pairs_.begin(), pairs_.end(), key, before);
  if (at != pairs_.end() && !before(key, *at)) {
    ++at->count;
  } else {
    pairs_.insert(at, RemarkPair{sent, received, 1});
  }
}

std::vector<RemarkPair> remarkedSince(const RemarkPairs& now, const RemarkPairs& earlier) {
  std::vector<RemarkPair> grown;
  auto old = earlier.list().begin();
  for (const RemarkPair& pair : now.list()) {
    while (old != earlier.list().end() && before(*old, pair)) ++old;
    const bool known = old != earlier.list().end() && !before(pair, *old);
    const std::uint64_t count = known ? pair.count - old->count : pair.count;
    if (count > 0) grown.push_back(RemarkPair{pair.sent, pair.received, count});
  }
  return grown;
}

ReceivedRate receivedRate(std::uint64_t datagrams, std::uint64_t bytes,
                          std::int64_t spanNanoseconds) {
  if (spanNanoseconds <= 0) return ReceivedRate{};
  const double seconds = static_cast<double>(spanNanoseconds) / 1e9;
  return ReceivedRate{static_cast<double>(datagrams) / seconds,
                      static_cast<double>(bytes) * 8 / seconds / 1e6};
}

}  // namespace stampcast
