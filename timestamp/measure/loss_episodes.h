// A stream's losses by episode (a run of consecutive missing numbers is one
// episode) and its longest gap, in datagrams and in time: the difference of
// the send times of the datagrams on either side.
//
// Reordering: a gap opens when a number past the highest arrives; a late
// number that arrives while its gap is still in the reorder window (the
// last StreamTable::kWindow numbers) fills it: the gap shrinks, splits in
// two (one episode more) or closes (one fewer), and its sides' send times
// follow. A gap that falls out of the window is final, as the stream
// table's losses are: a number that old counts as late only. So a late
// arrival leaves no phantom episode, and the figures at any moment are
// the final gaps' and the open ones' together.
#ifndef STAMPCAST_TIMESTAMP_MEASURE_LOSS_EPISODES_H_
#define STAMPCAST_TIMESTAMP_MEASURE_LOSS_EPISODES_H_

#include <cstdint>
#include <vector>

namespace stampcast {

struct LossGap {
  std::uint64_t datagrams = 0;
  std::int64_t nanoseconds = 0;  // 0 when it has no datagram after it
};

class LossEpisodes {
 public:
  // One arriving datagram, with the send time its trailer carries.
  void add(std::uint64_t number, std::int64_t sentNanoseconds);

  // Episodes so far; with the run's last number (a -c sender's version 2
  // trailer), the numbers after the highest seen up to it are one more.
  std::uint64_t episodes(const std::uint64_t* last = nullptr) const;
  // The episodes that no late datagram can change any more: those out of
  // the window. They only grow.
  std::uint64_t settled() const { return closed_; }

  // The numbers after the highest seen up to the run's last.
  std::uint64_t lostAtEnd(std::uint64_t last) const;

  // The longest gap between two datagrams that came, by datagrams, then by
  // time. Losses at the end have no datagram after them: they count as
  // lost and as an episode, not as a gap in time.
  LossGap longest() const;

  // Marks an interval's start; longestSinceMark() is then the longest of
  // the gaps opened since (by the datagram after them), as they stand now.
  void mark();
  LossGap longestSinceMark() const;

 private:
  struct Open {
    std::uint64_t first;  // the first missing number
    std::uint64_t last;   // the last
    std::int64_t sentBefore;
    std::int64_t sentAfter;
  };
  void closeOld();
  void fill(std::uint64_t number, std::int64_t sent);
  bool started_ = false;
  std::uint64_t first_ = 0;
  std::uint64_t highest_ = 0;
  std::int64_t sentHighest_ = 0;
  std::uint64_t closed_ = 0;  // episodes out of the window
  LossGap longestClosed_;
  bool markAll_ = true;  // the mark came before the first datagram
  std::uint64_t mark_ = 0;
  LossGap longestSince_;  // of the gaps closed since the mark
  std::vector<Open> open_;  // by number, within the window
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_MEASURE_LOSS_EPISODES_H_
