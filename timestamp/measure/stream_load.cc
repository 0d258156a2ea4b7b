#include "timestamp/measure/stream_load.h"

namespace stampcast {

void StreamLoad::add(const LoadSample& sample) {
  if (!on_) {
    on_ = true;
    firstAt_ = sample.steadyNanoseconds;
    atBefore_ = firstAt_;
  } else {
    ++datagrams_;
    bytes_ += sample.bytes;
  }
  lastAt_ = sample.steadyNanoseconds;
  if (sample.hasLast) {
    hasLast_ = true;
    last_ = sample.last;
  }
  episodes_.add(sample.number, sample.sentNanoseconds);
  pairs_.add(sample.askedDscp, sample.arrivedDscp);
}

void StreamLoad::startInterval() {
  if (!on_) return;
  pairsBefore_ = pairs_;
  episodesBefore_ = episodes();
  datagramsBefore_ = datagrams_;
  bytesBefore_ = bytes_;
  atBefore_ = lastAt_;
  episodes_.mark();
}

std::uint64_t StreamLoad::lostAtEnd() const {
  return ended_ && hasLast_ ? episodes_.lostAtEnd(last_) : 0;
}

std::uint64_t StreamLoad::episodes() const {
  return episodes_.episodes(ended_ && hasLast_ ? &last_ : nullptr);
}

LoadPart StreamLoad::whole() const {
  LoadPart part;
  part.remarked = pairs_.list();
  part.episodes = static_cast<std::int64_t>(episodes());
  part.longest = episodes_.longest();
  part.rate = receivedRate(datagrams_, bytes_, lastAt_ - firstAt_);
  return part;
}

LoadPart StreamLoad::interval() const {
  LoadPart part;
  part.remarked = remarkedSince(pairs_, pairsBefore_);
  part.episodes = static_cast<std::int64_t>(episodes() - episodesBefore_);
  part.longest = episodes_.longestSinceMark();
  part.rate = receivedRate(datagrams_ - datagramsBefore_, bytes_ - bytesBefore_,
                           lastAt_ - atBefore_);
  return part;
}

}  // namespace stampcast
