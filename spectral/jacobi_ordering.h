// The round-robin tournament ordering of a parallel one-sided Jacobi sweep.
// The column blocks sit at positions 0 .. B-1 (B: the number of blocks, one
// more when odd, the extra one a dummy whose pairs are skipped). Table t
// pairs positions t and B-1-t; after each round position 0 keeps its block
// and the others move one place round the ring 1 .. B-1. In B-1 rounds every
// pair of blocks meets once and every block comes back to where it started;
// the holder of table t trades blocks with tables t-1 and t+1 only.
#ifndef ZOLVANE_SPECTRAL_JACOBI_ORDERING_H_
#define ZOLVANE_SPECTRAL_JACOBI_ORDERING_H_

#include <utility>
#include <vector>

// B for `blocks` >= 1 blocks: blocks rounded up to even.
int TournamentPositions(int blocks);

// Rounds in one sweep: B - 1.
int TournamentRounds(int blocks);

// The block at `position` in round `round` (0 .. rounds-1); `blocks` stands
// for the dummy. Round 0 has block p at position p.
int TournamentBlockAt(int blocks, int round, int position);

// Where the block at `position` sits in the next round, and where the block
// now at `position` sat in the previous one (`positions` = B).
int TournamentNextPosition(int positions, int position);
int TournamentPreviousPosition(int positions, int position);

// The pairs of round `round`, table by table, the dummy's left out; each
// pair (a, b) as the blocks at positions t and B-1-t.
std::vector<std::pair<int, int>> TournamentPairs(int blocks, int round);

#endif  // ZOLVANE_SPECTRAL_JACOBI_ORDERING_H_
