// An independent reference for the kinetics of small landscapes, computed in
// multiple precision (MPFR) so that it stays exact far beyond what double
// precision resolves. It shares no code with the program: it reads the input
// files itself, builds the generator itself and uses its own methods.
//
//   populations  p(t) = exp(U t) p0 from a Jacobi eigen-decomposition of the
//                symmetrised generator at about 516 bits; independently by
//                scaling and squaring of exp(U t) at about 260 bits
//   equilibrium  Boltzmann weights of the minima (qorp) or local balance
//                along a breadth-first tree of positive rates (rates file)
//   first passage times  one linear solve per target state (516 bits)
//   any generator  p(t) = exp(G t) p0 for rates with or without detailed
//                balance, by a series of non-negative terms and squaring at
//                about 660 bits (PopulationsOfGenerator)
//
// Inputs are the doubles the files hold, read with strtod; everything after
// reading is exact to far below 1e-30 for landscapes of up to a few dozen
// states whose rates span up to 1e40.
#ifndef ZOLVANE_TESTS_REFERENCE_REFERENCE_KINETICS_H_
#define ZOLVANE_TESTS_REFERENCE_REFERENCE_KINETICS_H_

#include <memory>
#include <string>
#include <vector>

namespace reference {

struct Model;  // the generator and its eigen-decomposition, in multiple precision

// Owns a Model; moves only.
class Kinetics {
 public:
  // Rates exp(-(S - E_j)/kT) from minimum j over the highest join saddle S of
  // the tree path to minimum i, kT = (temp + 273.15) * 0.00198717 kcal/mol.
  static Kinetics FromQorp(const std::string& path, double temp);
  // Line i of the file lists the rates i -> 1..n; the diagonal is ignored.
  static Kinetics FromRates(const std::string& path);

  // The same process with one more state, appended last, that takes up
  // population from state `absorbed` (zero-based) at `rate` and never gives
  // it back.
  Kinetics WithAbsorbingState(int absorbed, double rate) const;

  Kinetics(Kinetics&&) noexcept;
  Kinetics& operator=(Kinetics&&) noexcept;
  ~Kinetics();

  int states() const;
  // Largest over smallest non-zero rate.
  double StiffnessRatio() const;
  std::vector<double> Equilibrium() const;
  // Eigenvalues of the symmetrised generator of the transient states (all
  // states without an absorbing one), descending: 0 first.
  std::vector<double> Eigenvalues() const;
  // p(t) for every t in `times` by the eigen-decomposition.
  std::vector<std::vector<double>> Populations(const std::vector<double>& p0,
                                               const std::vector<double>& times) const;
  // p(t) by scaling and squaring of the matrix exponential of U itself.
  std::vector<double> PopulationsByExponential(const std::vector<double>& p0, double t) const;
  // Mean first passage times from every state to `target` (zero-based); 0 at
  // the target.
  std::vector<double> FirstPassageTo(int target) const;
  // Row i, column j: the mean first passage time from i to j.
  std::vector<std::vector<double>> FirstPassageAll() const;

 private:
  explicit Kinetics(std::unique_ptr<Model> model);
  std::unique_ptr<Model> model_;
};

// p(t) = exp(G t) p0 for every t in `times`, for any generator: `rates` is
// n x n row-major, element (i, j) (i != j) the rate j -> i; the diagonal is
// ignored. The step tau = 2^e lies below the last binary digit of every time
// and below 2^-20 over the largest exit rate; exp(G tau) is the uniformised
// Taylor series e^(-s tau) sum (tau B)^k / k!, B = A + diag(s - r) >= 0,
// summed until every entry is exact to 2^-330 relative, and p(t) the product
// of its squares for the bits of t. All terms are non-negative, so after L
// squarings every entry is right to about 2^L n 2^-660 relative: far below
// double precision for L up to 300, whatever the spread of the rates.
std::vector<std::vector<double>> PopulationsOfGenerator(int n, const std::vector<double>& rates,
                                                        const std::vector<double>& p0,
                                                        const std::vector<double>& times);
// The same from several starts at once, [start][time][state]: the squarings,
// the costly part, are shared.
std::vector<std::vector<std::vector<double>>> PopulationsOfGenerator(
    int n, const std::vector<double>& rates, const std::vector<std::vector<double>>& starts,
    const std::vector<double>& times);

}  // namespace reference

#endif  // ZOLVANE_TESTS_REFERENCE_REFERENCE_KINETICS_H_
