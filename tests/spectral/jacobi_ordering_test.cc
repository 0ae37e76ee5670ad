// The tournament ordering alone: in one sweep every pair of blocks meets
// exactly once, each round's pairs are disjoint, the dummy of an odd count
// never plays, and the moves between rounds carry each block to where the
// next round expects it, back to the start after the sweep.
#include "spectral/jacobi_ordering.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace {

TEST(JacobiOrdering, EveryPairMeetsOncePerSweep) {
  for (int blocks : {1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 17, 32}) {
    SCOPED_TRACE(blocks);
    const int positions = TournamentPositions(blocks);
    const int rounds = TournamentRounds(blocks);
    EXPECT_EQ(positions % 2, 0);
    EXPECT_EQ(positions - blocks, blocks % 2);
    std::vector<int> met(static_cast<size_t>(blocks * blocks), 0);
    for (int r = 0; r < rounds; ++r) {
      std::vector<int> plays(static_cast<size_t>(blocks), 0);
      for (auto [a, b] : TournamentPairs(blocks, r)) {
        ASSERT_TRUE(a >= 0 && a < blocks && b >= 0 && b < blocks && a != b) << a << " " << b;
        ++plays[a];
        ++plays[b];
        ++met[a * blocks + b];
        ++met[b * blocks + a];
      }
      // Disjoint pairs; with an odd count exactly one block sits out.
      int idle = 0;
      for (int p : plays) {
        EXPECT_LE(p, 1) << "round " << r;
        idle += p == 0;
      }
      EXPECT_EQ(idle, blocks % 2) << "round " << r;
    }
    for (int a = 0; a < blocks; ++a) {
      for (int b = 0; b < blocks; ++b) {
        EXPECT_EQ(met[a * blocks + b], a == b ? 0 : 1) << a << " and " << b;
      }
    }
  }
}

TEST(JacobiOrdering, MovesCarryEachBlockToItsNextPlace) {
  for (int blocks : {1, 2, 3, 4, 7, 8, 17}) {
    SCOPED_TRACE(blocks);
    const int positions = TournamentPositions(blocks);
    const int rounds = TournamentRounds(blocks);
    for (int q = 0; q < positions; ++q) {
      EXPECT_EQ(TournamentBlockAt(blocks, 0, q), q);  // the layout a sweep starts from
      EXPECT_EQ(TournamentNextPosition(positions, TournamentPreviousPosition(positions, q)), q);
    }
    // Round r's layout moved by the next-position map is round r+1's; after
    // the last round it is round 0's again.
    for (int r = 0; r < rounds; ++r) {
      for (int q = 0; q < positions; ++q) {
        const int next = TournamentNextPosition(positions, q);
        EXPECT_EQ(TournamentBlockAt(blocks, (r + 1) % rounds, next),
                  TournamentBlockAt(blocks, r, q))
            << "round " << r << " position " << q;
      }
    }
    // Blocks only travel between neighbouring tables (t and B-1-t share one).
    for (int q = 0; q < positions; ++q) {
      auto table = [positions](int p) { return p < positions / 2 ? p : positions - 1 - p; };
      const int from = table(q), to = table(TournamentNextPosition(positions, q));
      EXPECT_LE(std::abs(from - to), 1) << "position " << q;
    }
  }
}

}  // namespace
