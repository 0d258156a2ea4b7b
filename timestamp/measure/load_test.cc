#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "timestamp/measure/load_figures.h"
#include "timestamp/measure/loss_episodes.h"
#include "timestamp/measure/schedule.h"

using namespace stampcast;

// Bursts every 10 ns from 1000: when each one left, and the index and
// slips after it.
TEST(Schedule, MovesOnOnlyWhenAWholeBurstBehind) {
  const struct {
    std::int64_t now;
    std::uint64_t next;
    std::uint64_t slips;
  } steps[] = {
      {1000, 1, 0},  // on time
      {1019, 2, 0},  // 9 ns late: the next goes at once, not skipped
      {1025, 3, 0},  // burst 2 5 ns late: still on the schedule
      {1050, 5, 1},  // a whole burst behind: 4 is skipped, 5 goes at once
      {1200, 20, 2},
  };
  BurstSchedule schedule{1000, 10};
  for (const auto& step : steps) {
    advanceSchedule(schedule, step.now);
    EXPECT_EQ(schedule.next, step.next) << step.now;
    EXPECT_EQ(schedule.slips, step.slips) << step.now;
    EXPECT_EQ(dueTime(schedule), 1000 + 10 * std::int64_t(step.next));
  }
}

// Numbers in arrival order, sent 1 ms apart (number n at n ms); the run's
// last number or -1: episodes and the longest gap.
struct EpisodeRow {
  std::vector<std::uint64_t> arrivals;
  std::int64_t last;
  std::uint64_t episodes;
  std::uint64_t gap;
  std::int64_t gapMs;
};
static const EpisodeRow kEpisodes[] = {
    {{0, 51, 52}, -1, 1, 50, 51},          // 50 dropped: 1 to 50
    {{0, 3, 5, 9}, -1, 3, 3, 4},           // three gaps, the longest 6 to 8
    {{0, 3, 1, 2}, -1, 0, 0, 0},           // late arrivals fill the gap
    {{0, 9, 5}, -1, 2, 4, 5},              // one inside: split in two
    {{0, 9, 1}, -1, 1, 7, 8},              // at a gap's edge: shorter
    {{0, 9, 5, 5, 9, 0}, -1, 2, 4, 5},     // duplicates change nothing
    {{0, 2, 6000, 1}, -1, 2, 5997, 5998},  // 1 came too late: its gap is final
    {{0, 5001, 100}, -1, 1, 5000, 5001},   // out of the window: late only
    {{0, 10}, 163, 2, 9, 10},              // the last 153 vanished
    {{5, 6}, 159, 1, 0, 0},                // only the end: no gap in time
};

TEST(LossEpisodes, EpisodesAndLongestGap) {
  for (const EpisodeRow& row : kEpisodes) {
    LossEpisodes losses;
    for (const std::uint64_t n : row.arrivals) losses.add(n, std::int64_t(n) * 1000000);
    const std::uint64_t last = std::uint64_t(row.last);
    EXPECT_EQ(losses.episodes(row.last < 0 ? nullptr : &last), row.episodes) << row.episodes;
    EXPECT_EQ(losses.longest().datagrams, row.gap) << row.episodes;
    EXPECT_EQ(losses.longest().nanoseconds, row.gapMs * 1000000) << row.episodes;
  }
  LossEpisodes forged;
  forged.add(0, INT64_MIN);
  forged.add(845, 0);  // the gap's time holds at the end of its range
  EXPECT_EQ(forged.longest().nanoseconds, INT64_MAX);
  EXPECT_EQ(forged.lostAtEnd(999), 154u);
}

using Triples = std::vector<std::vector<std::uint64_t>>;
static Triples triples(const std::vector<RemarkPair>& pairs) {
  Triples got;
  for (const RemarkPair& p : pairs) {
    got.push_back({std::uint64_t(p.sent), std::uint64_t(p.received), p.count});
  }
  return got;
}

TEST(RemarkPairs, OrderedChangedPairsAndTheirGrowth) {
  RemarkPairs pairs;
  for (const int received : {8, 46, 0, 8, -1}) pairs.add(46, received);
  pairs.add(64, 0);  // out of range
  const RemarkPairs earlier = pairs;
  pairs.add(46, 8);
  pairs.add(0, 63);
  EXPECT_EQ(triples(pairs.list()), (Triples{{0, 63, 1}, {46, 0, 1}, {46, 8, 3}}));
  EXPECT_EQ(triples(remarkedSince(pairs, earlier)), (Triples{{0, 63, 1}, {46, 8, 1}}));
}

TEST(ReceivedRate, OverTheSpan) {
  EXPECT_DOUBLE_EQ(receivedRate(3000, 144000, 1500000000).mbitPerSecond, 0.768);
  EXPECT_EQ(receivedRate(1, 16, 0).datagramsPerSecond, 0);
}
