#include "spectral/jacobi_ordering.h"

int TournamentPositions(int blocks) { return blocks + (blocks & 1); }

int TournamentRounds(int blocks) { return TournamentPositions(blocks) - 1; }

int TournamentBlockAt(int blocks, int round, int position) {
  if (position == 0) return 0;
  const int ring = TournamentPositions(blocks) - 1;
  // The block at position i moves to i + 1 (ring - wrap to 1) every round.
  const int block = 1 + ((position - 1 - round) % ring + ring) % ring;
  return block;  // == blocks for the dummy of an odd count
}

int TournamentNextPosition(int positions, int position) {
  if (position == 0) return 0;
  return position + 1 < positions ? position + 1 : 1;
}

int TournamentPreviousPosition(int positions, int position) {
  if (position == 0) return 0;
  return position > 1 ? position - 1 : positions - 1;
}

std::vector<std::pair<int, int>> TournamentPairs(int blocks, int round) {
  const int positions = TournamentPositions(blocks);
  std::vector<std::pair<int, int>> pairs;
  for (int t = 0; t < positions / 2; ++t) {
    const int a = TournamentBlockAt(blocks, round, t);
    const int b = TournamentBlockAt(blocks, round, positions - 1 - t);
    if (a < blocks && b < blocks) pairs.emplace_back(a, b);
  }
  return pairs;
}
