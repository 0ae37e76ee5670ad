// Input of the distributed run, straight into the block-cyclic layout. The
// matrix built is A = U^T (A(r, c) is the rate r -> c): then a column of A is
// a contiguous run of the binary file and a line of the text file is a row
// of A.
#ifndef ZOLVANE_DISTRIBUTED_DIST_INPUT_H_
#define ZOLVANE_DISTRIBUTED_DIST_INPUT_H_

#include <optional>
#include <string>
#include <vector>

#include "app/program_record.h"
#include "calc/model/calc.h"
#include "distributed/dist_matrix.h"
#include "input/qorp_file.h"

// Method I: the text or binary rates (as the serial reader would read them)
// into `a`, block size BlockSize(n, grid); returns n. Binary rates: every process reads its own
// blocks from the file. Text rates: rank 0 reads one block of rows at a time and sends every
// process its part. Ends the run on the serial reader's errors.
int ReadDistributedRates(ProgramRecord& record, const ProcessGrid& grid, DistMatrix& a);

// Method A: rank 0 reads the qorp file, every process gets the records;
// returns their number. `sequence` receives the qorp file's sequence on rank 0.
int ReadDistributedQorp(ProgramRecord& record, std::vector<QorpRecord>& records,
                        std::optional<std::string>& sequence);

// Method A's rates between the records' minima, each process computing its
// own blocks. The diagonal is left 0.
DistMatrix MethodAMatrix(const Calc& calc, const std::vector<QorpRecord>& records,
                         const ProcessGrid& grid, int nb);

#endif  // ZOLVANE_DISTRIBUTED_DIST_INPUT_H_
