#include "app/kept_records.h"

#include <utility>
#include <vector>

#include "calc/model/calc.h"

// After the ergodicity reduction the records must follow the kept states, so
// that energies stay attached to their minima.
void KeepRecords(const Calc& calc, std::vector<QorpRecord>& records) {
  if (calc.numbering().kept.empty()) return;
  std::vector<QorpRecord> kept_records;
  kept_records.reserve(calc.numbering().kept.size());
  for (int k : calc.numbering().kept) {
    if (k < static_cast<int>(records.size())) kept_records.push_back(records[k]);
  }
  records = std::move(kept_records);
}
