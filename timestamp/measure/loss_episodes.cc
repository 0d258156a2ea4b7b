#include "timestamp/measure/loss_episodes.h"

#include <algorithm>

#include "timestamp/measure/streams.h"

namespace stampcast {
namespace {

constexpr std::uint64_t kWindow = StreamTable::kWindow;

// after - before, held at the ends of the range: forged send times may be
// further apart than 64 bits hold.
std::int64_t between(std::int64_t before, std::int64_t after) {
  std::int64_t difference = 0;
  if (!__builtin_sub_overflow(after, before, &difference)) return difference;
  return after > before ? INT64_MAX : INT64_MIN;
}

bool longer(const LossGap& a, const LossGap& b) {
  return a.datagrams != b.datagrams ? a.datagrams > b.datagrams
                                    : a.nanoseconds > b.nanoseconds;
}

}  // namespace

void LossEpisodes::add(std::uint64_t number, std::int64_t sentNanoseconds) {
  if (!started_ || number > highest_) {
    if (started_ && number > highest_ + 1) {
      open_.push_back({highest_ + 1, number - 1, sentHighest_, sentNanoseconds});
    }
    if (!started_) first_ = number;
    started_ = true;
    highest_ = number;
    sentHighest_ = sentNanoseconds;
    closeOld();
    return;
  }
  // Before the first number or out of the window: late only, as in the
  // stream table; its gap stays as it is.
  if (number < first_ || highest_ - number >= kWindow) return;
  fill(number, sentNanoseconds);
}

void LossEpisodes::closeOld() {
  const auto stillOpen = std::find_if(open_.begin(), open_.end(), [this](const Open& gap) {
    return highest_ - gap.last < kWindow;
  });
  for (auto gap = open_.begin(); gap != stillOpen; ++gap) {
    const LossGap closing{gap->last - gap->first + 1, between(gap->sentBefore, gap->sentAfter)};
    if (longer(closing, longestClosed_)) longestClosed_ = closing;
    if ((markAll_ || gap->first > mark_) && longer(closing, longestSince_)) {
      longestSince_ = closing;
    }
    ++closed_;
  }
  open_.erase(open_.begin(), stillOpen);
}

void LossEpisodes::fill(std::uint64_t number, std::int64_t sent) {
  // The last gap that starts at or before the number.
  auto gap = std::upper_bound(open_.begin(), open_.end(), number,
                              [](std::uint64_t n, const Open& g) { return n < g.first; });
  if (gap == open_.begin()) return;
  --gap;
  if (number > gap->last) return;  // a duplicate
  if (gap->first == gap->last) {
    open_.erase(gap);
  } else if (number == gap->first) {
    gap->first = number + 1;
    gap->sentBefore = sent;
  } else if (number == gap->last) {
    gap->last = number - 1;
    gap->sentAfter = sent;
  } else {
    const Open upper{number + 1, gap->last, sent, gap->sentAfter};
    gap->last = number - 1;
    gap->sentAfter = sent;
    open_.insert(gap + 1, upper);
  }
}

std::uint64_t LossEpisodes::episodes(const std::uint64_t* last) const {
  const bool atEnd = last != nullptr && lostAtEnd(*last) > 0;
  return closed_ + open_.size() + (atEnd ? 1 : 0);
}

std::uint64_t LossEpisodes::lostAtEnd(std::uint64_t last) const {
  return started_ && last > highest_ ? last - highest_ : 0;
}

LossGap LossEpisodes::longest() const {
  LossGap result = longestClosed_;
  for (const Open& gap : open_) {
    const LossGap candidate{gap.last - gap.first + 1, between(gap.sentBefore, gap.sentAfter)};
    if (longer(candidate, result)) result = candidate;
  }
  return result;
}

void LossEpisodes::mark() {
  markAll_ = !started_;
  mark_ = highest_;
  longestSince_ = LossGap{};
}

LossGap LossEpisodes::longestSinceMark() const {
  LossGap result = longestSince_;
  for (const Open& gap : open_) {
    if (!markAll_ && gap.first <= mark_) continue;
    const LossGap candidate{gap.last - gap.first + 1, between(gap.sentBefore, gap.sentAfter)};
    if (longer(candidate, result)) result = candidate;
  }
  return result;
}

}  // namespace stampcast
