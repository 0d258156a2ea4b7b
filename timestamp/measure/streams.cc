#include "timestamp/measure/streams.h"

#include <algorithm>

namespace stampcast {
namespace {

constexpr std::uint64_t kWords = StreamTable::kWindow / 64;

bool isSet(const std::vector<std::uint64_t>& seen, std::uint64_t number) {
  return (seen[number / 64 % kWords] >> (number % 64) & 1) != 0;
}

void set(std::vector<std::uint64_t>& seen, std::uint64_t number) {
  seen[number / 64 % kWords] |= std::uint64_t{1} << (number % 64);
}

// Forgets the numbers after `from` up to `to`, whose places the window
// moves on to.
void clearAfter(std::vector<std::uint64_t>& seen, std::uint64_t from,
                std::uint64_t to) {
  if (to - from >= StreamTable::kWindow) {
    std::fill(seen.begin(), seen.end(), 0);
    return;
  }
  for (std::uint64_t number = from + 1; number != to + 1;) {
    if (number % 64 == 0 && to - number >= 63) {
      seen[number / 64 % kWords] = 0;  // a whole word at once
      number += 64;
    } else {
      seen[number / 64 % kWords] &= ~(std::uint64_t{1} << (number % 64));
      ++number;
    }
  }
}

}  // namespace

Order StreamTable::count(const SocketAddress& from, std::uint64_t run,
                         std::uint64_t number, const std::int64_t* delay,
                         const LoadSample* load) {
  const Key key{senderKey(from), run};
  if (streams_.empty() || !(key == lastKey_)) {
    const auto found = index_.find(key);
    if (found != index_.end()) {
      last_ = found->second;
    } else if (streams_.size() < kMaxStreams) {
      last_ = streams_.size();
      index_.emplace(key, last_);
      Stream stream;
      stream.from = from;
      stream.run = run;
      stream.first = number;
      stream.highest = number;
      stream.seen.assign(kWords, 0);
      streams_.push_back(std::move(stream));
    } else {
      dropped_ = true;
      return Order::kUntracked;
    }
    lastKey_ = key;
  }
  Stream& stream = streams_[last_];
  ++stream.received;
  if (load != nullptr) stream.load.add(*load);
  if (delay != nullptr) {
    stream.jitter.add(*delay);
    stream.part.add(*delay);
    stream.wholeSpan.add(*delay);
    if (percentiles_) {
      stream.whole.add(*delay);
      stream.partHistogram.add(*delay);
    }
  }
  if (stream.received == 1 || number > stream.highest) {
    if (stream.received > 1) clearAfter(stream.seen, stream.highest, number);
    stream.highest = number;
    set(stream.seen, number);
    ++stream.distinct;
    return Order::kNext;
  }
  // Below the first number (the receiver started late) or beyond the
  // window, it cannot be told from a repeat: it counts as late only.
  if (number < stream.first || stream.highest - number >= kWindow) {
    ++stream.late;
    return Order::kLate;
  }
  if (isSet(stream.seen, number)) {
    ++stream.duplicates;
    return Order::kDuplicate;
  }
  set(stream.seen, number);
  ++stream.distinct;
  ++stream.late;
  return Order::kLate;
}

StreamTable::Totals StreamTable::Stream::totals() const {
  Totals totals;
  totals.received = received;
  totals.span = highest - first + 1 + load.lostAtEnd();
  totals.lost = totals.span - distinct;
  totals.duplicates = duplicates;
  totals.late = late;
  return totals;
}

void StreamTable::startInterval() {
  for (Stream& stream : streams_) {
    stream.before = stream.totals();
    stream.part = DelaySpan{};
    stream.partHistogram.clear();
    stream.load.startInterval();
  }
}

void StreamTable::endRun() {
  for (Stream& stream : streams_) stream.load.endRun();
}

std::uint64_t StreamTable::lost() const {
  std::uint64_t lost = 0;
  for (const Stream& stream : streams_) {
    const std::uint64_t more = stream.totals().lost;
    lost = more > UINT64_MAX - lost ? UINT64_MAX : lost + more;
  }
  return lost;
}

}  // namespace stampcast
