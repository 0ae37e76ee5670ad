// Helpers of the stiff-landscape tests: the generated fixtures, the command
// lines that run them, and the comparison of what the program prints with the
// multiple-precision reference.
#ifndef ZOLVANE_TESTS_STIFF_STIFF_FIXTURE_H_
#define ZOLVANE_TESTS_STIFF_STIFF_FIXTURE_H_

#include <string>
#include <vector>

#include "tests/reference/reference_kinetics.h"

namespace stiff {

// One generated landscape: its kind ("funnel" or "cascade"), its stiffness
// 1e`exponent`, which of its two files a run reads, and optionally an
// absorbing state behind one minimum (qorp only: method A).
struct Fixture {
  const char* kind;
  int exponent;
  bool qorp;                 // method A on the qorp file, else method I on the rates file
  int absorb = 0;            // 1-based minimum for --absorb, 0 for none
  bool from_native = false;  // start in state 1 (the lowest) instead of the top
  double temp = 37.0;        // --Temp of a qorp run
};

// Every fixture file: funnel and cascade at R = 1e6, 1e12, ..., 1e36, and a
// wider funnel (funnel30) at 1e30 and 1e36, each as qorp and as rates.
std::vector<Fixture> AllFixtures();

// The same, plus flat landscapes (10 minima under one saddle) at 1e12, 1e24
// and 1e36 and deep funnels (a mild spectrum over an equilibrium spanning
// 1e24 or 1e30, 36 minima); and the kind "rna", the bundled example
// landscape, whose exponent is taken from its rates at the fixture's
// temperature.
std::vector<Fixture> EveryFamily();

// The fixtures of a long accuracy table that this build runs. With
// ZOLVANE_LONG_TABLES (the optimised build) all of them. Under the
// sanitizers, which look for faults of memory and undefined behaviour rather
// than for digits and run the program many times slower, a sample that still
// takes every stage and arithmetic the table names: the smallest family
// (cascade) at the mildest and the stiffest spread, both files, with and
// without an absorbing state, and the bundled landscape at 37 degrees.
std::vector<Fixture> InThisBuild(const std::vector<Fixture>& fixtures);

std::string Name(const Fixture& f);  // e.g. "funnel_1e18_qorp"
std::string Path(const Fixture& f);

// The reference model of the fixture's file (37 degrees Celsius for qorp),
// with the absorbing state appended as method A does (rate 1 into it). Built
// once per test binary and kept to its end.
const reference::Kinetics& Reference(const Fixture& f);

// Every run starts with all population in the last minimum, the top of the
// landscape, and follows it to equilibrium on a coarse logarithmic axis.
std::vector<double> StartPopulation(const Fixture& f, const reference::Kinetics& ref);
std::vector<std::string> PopulationArgs(const Fixture& f, const reference::Kinetics& ref);

// The population table on standard output: time column and populations per
// line, and whether the last line repeats the previous populations at the
// stop time (the loop ended early at equilibrium).
struct Table {
  std::vector<double> times;
  std::vector<std::vector<double>> populations;
  bool last_repeated = false;
};
// False (with `error` set) when the output is not a well-formed table.
bool ParseTable(const std::string& out, int states, Table& table, std::string& error);

// Largest |printed - reference| over all printed populations; `where` names
// the line and state where it occurs.
double MaxPopulationError(const Table& table, const reference::Kinetics& ref,
                          const std::vector<double>& p0, std::string& where);
// The same beyond the rounding of the printed digits (populations are
// printed with 7 significant digits): 0 when every printed number is the
// reference rounded.
double MaxPopulationErrorBeyondPrint(const Table& table, const reference::Kinetics& ref,
                                     const std::vector<double>& p0, std::string& where);

// Expects `out` to be the table of a clean run (`status` 0, no warning on
// `err`) in which every printed population is the reference rounded to the
// printed digits, within `slack` (what the double arithmetic may add: far
// below anything printed).
void ExpectReferenceTable(int status, const std::string& out, const std::string& err,
                          const Fixture& f, const reference::Kinetics& ref, double slack = 2e-12);

// Numbers of a whitespace-separated text, with the half unit of the last
// printed digit of each (what printing alone may have rounded away).
struct Printed {
  double value;
  double half_unit;
};
std::vector<Printed> PrintedNumbers(const std::string& text);

// A run that writes first passage times (`which`: a state number or "all";
// absorbing times with an absorbing state) to the file "fpt.txt" in the
// working directory; the time axis is cut short.
std::vector<std::string> FirstPassageArgs(const Fixture& f, const std::string& which);
// What that run should print: the times to state `which`, all of them row by
// row, or the absorbing times (the times to the absorbed minimum).
std::vector<double> ReferenceTimes(const Fixture& f, const std::string& which);

// Largest relative error of printed numbers against the reference, beyond
// the rounding of the printed digits: max over k of
// (|printed_k - want_k| - half_unit_k) / |want_k|, and 0 where both are 0.
double MaxRelativeError(const std::vector<Printed>& printed, const std::vector<double>& want,
                        std::string& where);

}  // namespace stiff

#endif  // ZOLVANE_TESTS_STIFF_STIFF_FIXTURE_H_
