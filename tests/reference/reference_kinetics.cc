#include "tests/reference/reference_kinetics.h"

#include <algorithm>
#include <boost/multiprecision/mpfr.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace reference {
namespace {

namespace mp = boost::multiprecision;
// Decimal digits 155 and 78 give about 516 and 260 bits; stack storage keeps
// temporaries off the heap.
using Real = mp::number<mp::mpfr_float_backend<155, mp::allocate_stack>, mp::et_off>;
using Real260 = mp::number<mp::mpfr_float_backend<78, mp::allocate_stack>, mp::et_off>;

template <typename T>
using Matrix = std::vector<std::vector<T>>;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error("reference: " + what); }

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path);
  if (!in) Fail("cannot read " + path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Tokens(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> tokens;
  for (std::string t; in >> t;) tokens.push_back(t);
  return tokens;
}

double ToDouble(const std::string& text, const std::string& path) {
  char* end = nullptr;
  const double x = strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0') Fail("not a number in " + path + ": " + text);
  return x;
}

}  // namespace

struct Model {
  int n = 0;
  Matrix<Real> rate;  // rate[i][j]: from j to i (i != j); diagonal 0
  std::vector<Real> p8;
  // With an absorbing state (the last one), p8 is the unit vector on it, and
  // the transient states keep the detailed balance of the landscape they
  // came from: `weight` holds that landscape's equilibrium; otherwise p8.
  bool absorbing = false;
  std::vector<Real> weight;
  // Jacobi decomposition of S = W^-1/2 G W^1/2 over the transient states
  // (all states without an absorbing one): S = V diag(lambda) V^T. Made on
  // the first call that needs it, since first passage times do not.
  bool decomposed = false;
  std::vector<Real> lambda;
  Matrix<Real> v;
  double largest_rate = 0.0, smallest_rate = 0.0;
};

namespace {

// Total rate out of every state, summed exactly enough at this precision.
std::vector<Real> OutRates(const Model& m) {
  std::vector<Real> out(m.n, Real(0));
  for (int j = 0; j < m.n; ++j) {
    for (int i = 0; i < m.n; ++i) out[j] += m.rate[i][j];
  }
  return out;
}

// Equilibrium by local balance: walk a breadth-first tree of states linked by
// positive rates both ways from state 0; p[j] / p[c] = rate(c -> j) / rate(j -> c).
std::vector<Real> BalanceWalk(const Model& m) {
  std::vector<Real> p(m.n, Real(0));
  std::vector<bool> seen(m.n, false);
  std::vector<int> queue = {0};
  p[0] = 1;
  seen[0] = true;
  for (size_t head = 0; head < queue.size(); ++head) {
    const int c = queue[head];
    for (int j = 0; j < m.n; ++j) {
      if (seen[j] || m.rate[j][c] == 0 || m.rate[c][j] == 0) continue;
      p[j] = p[c] * m.rate[j][c] / m.rate[c][j];
      seen[j] = true;
      queue.push_back(j);
    }
  }
  if (static_cast<int>(queue.size()) != m.n) Fail("rates do not connect every state");
  return p;
}

void Normalise(std::vector<Real>& p) {
  Real z = 0;
  for (const Real& x : p) z += x;
  for (Real& x : p) x /= z;
}

// (x, y) <- (c x - s y, s x + c y), each with one rounding; `tmp` is scratch.
void Rotate(Real& x, Real& y, const Real& c, const Real& s, Real& tmp) {
  tmp = x;
  mpfr_fmms(x.backend().data(), c.backend().data(), x.backend().data(), s.backend().data(),
            y.backend().data(), MPFR_RNDN);
  mpfr_fmma(y.backend().data(), s.backend().data(), tmp.backend().data(), c.backend().data(),
            y.backend().data(), MPFR_RNDN);
}

// Cyclic Jacobi on the symmetric matrix `a` (destroyed). Rotations stop when
// every off-diagonal entry is negligible against the geometric mean of its
// two diagonal entries, which keeps even the tiny eigenvalues of a stiff
// generator to full relative precision.
void Jacobi(Matrix<Real> a, std::vector<Real>& lambda, Matrix<Real>& v) {
  const int n = static_cast<int>(a.size());
  v.assign(n, std::vector<Real>(n, Real(0)));
  for (int i = 0; i < n; ++i) v[i][i] = 1;
  const Real eps2 = std::numeric_limits<Real>::epsilon() * std::numeric_limits<Real>::epsilon();
  Real tmp;
  for (int sweep = 0; sweep < 100; ++sweep) {
    bool rotated = false;
    for (int p = 0; p < n; ++p) {
      for (int q = p + 1; q < n; ++q) {
        if (a[p][q] == 0) continue;
        if (a[p][q] * a[p][q] <= eps2 * abs(a[p][p] * a[q][q])) {
          a[p][q] = a[q][p] = 0;
          continue;
        }
        rotated = true;
        const Real theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
        Real t = 1 / (abs(theta) + sqrt(theta * theta + 1));
        if (theta < 0) t = -t;
        const Real c = 1 / sqrt(t * t + 1);
        const Real s = t * c;
        const Real apq = a[p][q];
        a[p][p] -= t * apq;
        a[q][q] += t * apq;
        a[p][q] = a[q][p] = 0;
        for (int r = 0; r < n; ++r) {
          if (r != p && r != q) {
            Rotate(a[r][p], a[r][q], c, s, tmp);
            a[p][r] = a[r][p];
            a[q][r] = a[r][q];
          }
          Rotate(v[r][p], v[r][q], c, s, tmp);
        }
      }
    }
    if (!rotated) {
      lambda.resize(n);
      for (int i = 0; i < n; ++i) lambda[i] = a[i][i];
      return;
    }
  }
  Fail("Jacobi did not converge");
}

// Symmetrised generator of the transient states, S(i, j) = G(i, j)
// sqrt(w[j] / w[i]). The geometric mean of the two directions makes it
// exactly symmetric; rates read from a file keep detailed balance only to
// their rounding, so the diagonal is taken from the symmetrised rates too:
// then S sqrt(w) = 0 exactly (without an absorbing state) and no slow leak of
// probability, a false eigenvalue near 0, appears at long times. The rate
// into an absorbing state adds to the diagonal only.
Matrix<Real> Symmetrised(const Model& m) {
  const int t = m.absorbing ? m.n - 1 : m.n;
  Matrix<Real> s(t, std::vector<Real>(t, Real(0)));
  std::vector<Real> sq(t);
  for (int i = 0; i < t; ++i) sq[i] = sqrt(m.weight[i]);
  for (int i = 0; i < t; ++i) {
    for (int j = 0; j < i; ++j) s[i][j] = s[j][i] = sqrt(m.rate[i][j] * m.rate[j][i]);
  }
  for (int j = 0; j < t; ++j) {
    for (int i = 0; i < t; ++i) {
      if (i != j) s[j][j] -= s[i][j] * sq[i] / sq[j];
    }
    if (m.absorbing) s[j][j] -= m.rate[t][j];
  }
  return s;
}

void Finish(Model& m) {
  if (!m.absorbing) m.weight = m.p8;
  m.largest_rate = 0.0;
  m.smallest_rate = HUGE_VAL;
  for (int i = 0; i < m.n; ++i) {
    for (int j = 0; j < m.n; ++j) {
      const double r = static_cast<double>(m.rate[i][j]);
      if (i == j || r == 0.0) continue;
      m.largest_rate = std::max(m.largest_rate, r);
      m.smallest_rate = std::min(m.smallest_rate, r);
    }
  }
}

// Gaussian elimination with partial pivoting: solves a x = b in place.
template <typename T>
std::vector<T> Solve(Matrix<T> a, std::vector<T> b) {
  const int n = static_cast<int>(b.size());
  for (int k = 0; k < n; ++k) {
    int pivot = k;
    for (int i = k + 1; i < n; ++i) {
      if (abs(a[i][k]) > abs(a[pivot][k])) pivot = i;
    }
    if (a[pivot][k] == 0) Fail("singular first passage system");
    std::swap(a[k], a[pivot]);
    std::swap(b[k], b[pivot]);
    for (int i = k + 1; i < n; ++i) {
      const T f = a[i][k] / a[k][k];
      if (f == 0) continue;
      for (int j = k; j < n; ++j) a[i][j] -= f * a[k][j];
      b[i] -= f * b[k];
    }
  }
  for (int k = n - 1; k >= 0; --k) {
    for (int j = k + 1; j < n; ++j) b[k] -= a[k][j] * b[j];
    b[k] /= a[k][k];
  }
  return b;
}

void Decompose(Model& m) {
  if (m.decomposed) return;
  Jacobi(Symmetrised(m), m.lambda, m.v);
  m.decomposed = true;
}

}  // namespace

Kinetics Kinetics::FromQorp(const std::string& path, double temp) {
  const std::vector<std::string> lines = ReadLines(path);
  // Line 1 holds the sequence; every further line: number, structure,
  // energy, father, saddle height (further columns are not needed).
  std::vector<double> energy, height;
  std::vector<int> father;
  for (size_t k = 1; k < lines.size(); ++k) {
    const std::vector<std::string> t = Tokens(lines[k]);
    if (t.empty()) continue;
    if (t.size() < 5) Fail("short minimum line in " + path);
    energy.push_back(ToDouble(t[2], path));
    father.push_back(atoi(t[3].c_str()));
    height.push_back(ToDouble(t[4], path));
  }
  auto m = std::make_unique<Model>();
  const int n = m->n = static_cast<int>(energy.size());
  if (n == 0) Fail("no minima in " + path);
  for (int k = 1; k < n; ++k) {
    if (father[k] < 1 || father[k] > k) Fail("bad father in " + path);
  }
  // Ancestors of every minimum with the highest join saddle met on the way
  // up; the tree path between i and j turns at their lowest common ancestor.
  const double kT = (temp + 273.15) * 0.00198717;
  const auto join = [&](int k) { return Real(energy[k]) + Real(height[k]); };
  m->rate.assign(n, std::vector<Real>(n, Real(0)));
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i == j) continue;
      std::vector<int> up_i = {i};
      while (up_i.back() != 0) up_i.push_back(father[up_i.back()] - 1);
      Real saddle = -std::numeric_limits<Real>::infinity();
      int b = j;
      while (std::find(up_i.begin(), up_i.end(), b) == up_i.end()) {
        saddle = std::max(saddle, join(b));
        b = father[b] - 1;
      }
      for (int a = i; a != b; a = father[a] - 1) saddle = std::max(saddle, join(a));
      m->rate[i][j] = exp(-(saddle - Real(energy[j])) / Real(kT));
    }
  }
  m->p8.resize(n);
  for (int i = 0; i < n; ++i) m->p8[i] = exp(-(Real(energy[i]) - Real(energy[0])) / Real(kT));
  Normalise(m->p8);
  Finish(*m);
  return Kinetics(std::move(m));
}

Kinetics Kinetics::FromRates(const std::string& path) {
  const std::vector<std::string> lines = ReadLines(path);
  if (lines.empty()) Fail("empty " + path);
  const int n = static_cast<int>(Tokens(lines[0]).size());
  if (static_cast<int>(lines.size()) < n) Fail("too few lines in " + path);
  auto m = std::make_unique<Model>();
  m->n = n;
  m->rate.assign(n, std::vector<Real>(n, Real(0)));
  for (int i = 0; i < n; ++i) {
    const std::vector<std::string> t = Tokens(lines[i]);
    if (static_cast<int>(t.size()) != n) Fail("ragged line in " + path);
    for (int j = 0; j < n; ++j) {
      if (i != j) m->rate[j][i] = ToDouble(t[j], path);  // file: i -> j
    }
  }
  m->p8 = BalanceWalk(*m);
  Normalise(m->p8);
  Finish(*m);
  return Kinetics(std::move(m));
}

Kinetics Kinetics::WithAbsorbingState(int absorbed, double rate) const {
  const Model& m = *model_;
  if (m.absorbing || absorbed < 0 || absorbed >= m.n) Fail("cannot absorb there");
  auto a = std::make_unique<Model>();
  const int n = a->n = m.n + 1;
  a->absorbing = true;
  a->rate.assign(n, std::vector<Real>(n, Real(0)));
  for (int i = 0; i < m.n; ++i) {
    for (int j = 0; j < m.n; ++j) a->rate[i][j] = m.rate[i][j];
  }
  a->rate[m.n][absorbed] = rate;
  a->weight = m.p8;
  a->p8.assign(n, Real(0));
  a->p8[m.n] = 1;
  Finish(*a);
  return Kinetics(std::move(a));
}

Kinetics::Kinetics(std::unique_ptr<Model> model) : model_(std::move(model)) {}
Kinetics::Kinetics(Kinetics&&) noexcept = default;
Kinetics& Kinetics::operator=(Kinetics&&) noexcept = default;
Kinetics::~Kinetics() = default;

int Kinetics::states() const { return model_->n; }

double Kinetics::StiffnessRatio() const { return model_->largest_rate / model_->smallest_rate; }

std::vector<double> Kinetics::Equilibrium() const {
  std::vector<double> p(model_->n);
  for (int i = 0; i < model_->n; ++i) p[i] = static_cast<double>(model_->p8[i]);
  return p;
}

std::vector<double> Kinetics::Eigenvalues() const {
  Decompose(*model_);
  std::vector<Real> lambda = model_->lambda;
  std::sort(lambda.begin(), lambda.end(), [](const Real& a, const Real& b) { return a > b; });
  std::vector<double> values;
  for (const Real& x : lambda) values.push_back(static_cast<double>(x));
  return values;
}

std::vector<std::vector<double>> Kinetics::Populations(const std::vector<double>& p0,
                                                       const std::vector<double>& times) const {
  Decompose(*model_);
  const Model& m = *model_;
  const int n = m.n;
  if (static_cast<int>(p0.size()) != n) Fail("p0 of the wrong size");
  // Transient states: p(t) = W^1/2 V exp(lambda t) V^T W^-1/2 p0
  // = sum_k w[i][k] exp(lambda_k t); an absorbing state holds the rest.
  const int t = m.absorbing ? n - 1 : n;
  std::vector<Real> sq(t), c(t, Real(0));
  for (int i = 0; i < t; ++i) sq[i] = sqrt(m.weight[i]);
  for (int k = 0; k < t; ++k) {
    for (int j = 0; j < t; ++j) c[k] += m.v[j][k] * Real(p0[j]) / sq[j];
  }
  Matrix<Real> w(t, std::vector<Real>(t));
  for (int i = 0; i < t; ++i) {
    for (int k = 0; k < t; ++k) w[i][k] = sq[i] * m.v[i][k] * c[k];
  }
  Real total = 0;
  for (double x : p0) total += Real(x);
  std::vector<std::vector<double>> result;
  std::vector<Real> e(t);
  for (double time : times) {
    for (int k = 0; k < t; ++k) e[k] = exp(m.lambda[k] * Real(time));
    std::vector<double> p(n);
    Real rest = total;
    for (int i = 0; i < t; ++i) {
      Real sum = 0;
      for (int k = 0; k < t; ++k) sum += w[i][k] * e[k];
      p[i] = static_cast<double>(sum);
      rest -= sum;
    }
    if (m.absorbing) p[t] = static_cast<double>(rest);
    result.push_back(std::move(p));
  }
  return result;
}

std::vector<double> Kinetics::PopulationsByExponential(const std::vector<double>& p0,
                                                       double t) const {
  const Model& m = *model_;
  const int n = m.n;
  using R = Real260;
  const auto product = [n](const Matrix<R>& x, const Matrix<R>& y) {
    Matrix<R> z(n, std::vector<R>(n, R(0)));
    for (int i = 0; i < n; ++i) {
      for (int l = 0; l < n; ++l) {
        if (x[i][l] == 0) continue;
        for (int j = 0; j < n; ++j) z[i][j] += x[i][l] * y[l][j];
      }
    }
    return z;
  };
  // A = U t scaled by 2^-s until its norm is below 2^-20: a Taylor series of
  // a dozen terms is then exact to the working precision, and s squarings
  // undo the scaling.
  const std::vector<Real> out = OutRates(m);
  Matrix<R> a(n, std::vector<R>(n));
  R norm = 0;
  for (int j = 0; j < n; ++j) {
    R column = 0;
    for (int i = 0; i < n; ++i) {
      a[i][j] = R(i == j ? -out[j] : m.rate[i][j]) * R(t);
      column += abs(a[i][j]);
    }
    norm = std::max(norm, column);
  }
  int s = 0;
  const R limit = ldexp(R(1), -20);
  while (norm > limit) {
    norm /= 2;
    ++s;
  }
  for (auto& row : a) {
    for (R& x : row) x = ldexp(x, -s);
  }
  Matrix<R> e(n, std::vector<R>(n, R(0))), term = a;
  for (int i = 0; i < n; ++i) e[i][i] = 1;
  const R tiny = std::numeric_limits<R>::epsilon() * std::numeric_limits<R>::epsilon();
  for (int k = 1;; ++k) {
    R size = 0;
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        e[i][j] += term[i][j];
        size = std::max(size, abs(term[i][j]));
      }
    }
    if (size < tiny || k > 60) break;
    term = product(term, a);
    for (auto& row : term) {
      for (R& x : row) x /= k + 1;
    }
  }
  for (int i = 0; i < s; ++i) e = product(e, e);
  std::vector<double> p(n);
  for (int i = 0; i < n; ++i) {
    R sum = 0;
    for (int j = 0; j < n; ++j) sum += e[i][j] * R(p0[j]);
    p[i] = static_cast<double>(sum);
  }
  return p;
}

std::vector<double> Kinetics::FirstPassageTo(int target) const {
  const Model& m = *model_;
  const int n = m.n;
  if (target < 0 || target >= n) Fail("no such target state");
  if (m.absorbing) Fail("first passage times need the process without its absorbing state");
  // Backward equations: for every state j other than the target,
  // out_j x_j - sum_{i != target} rate(j -> i) x_i = 1.
  const std::vector<Real> out = OutRates(m);
  std::vector<int> state;
  for (int k = 0; k < n; ++k) {
    if (k != target) state.push_back(k);
  }
  const int size = n - 1;
  Matrix<Real> a(size, std::vector<Real>(size, Real(0)));
  for (int r = 0; r < size; ++r) {
    for (int c = 0; c < size; ++c) {
      a[r][c] = r == c ? out[state[r]] : Real(-m.rate[state[c]][state[r]]);
    }
  }
  const std::vector<Real> x = Solve(a, std::vector<Real>(size, Real(1)));
  std::vector<double> times(n, 0.0);
  for (int r = 0; r < size; ++r) times[state[r]] = static_cast<double>(x[r]);
  return times;
}

std::vector<std::vector<double>> Kinetics::FirstPassageAll() const {
  const int n = model_->n;
  std::vector<std::vector<double>> t(n, std::vector<double>(n));
  for (int j = 0; j < n; ++j) {
    const std::vector<double> to_j = FirstPassageTo(j);
    for (int i = 0; i < n; ++i) t[i][j] = to_j[i];
  }
  return t;
}

std::vector<std::vector<double>> PopulationsOfGenerator(int n, const std::vector<double>& rates,
                                                        const std::vector<double>& p0,
                                                        const std::vector<double>& times) {
  return PopulationsOfGenerator(n, rates, std::vector<std::vector<double>>{p0}, times)[0];
}

std::vector<std::vector<std::vector<double>>> PopulationsOfGenerator(
    int n, const std::vector<double>& rates, const std::vector<std::vector<double>>& starts,
    const std::vector<double>& times) {
  using R = mp::number<mp::mpfr_float_backend<200, mp::allocate_stack>, mp::et_off>;
  if (static_cast<int>(rates.size()) != n * n) Fail("sizes of the generator");
  for (const std::vector<double>& p0 : starts) {
    if (static_cast<int>(p0.size()) != n) Fail("sizes of the generator");
  }
  // Column-major: a[j][i] is the rate j -> i, so column j is the state j's
  // distribution after a step.
  Matrix<R> a(n, std::vector<R>(n, R(0)));
  std::vector<R> out(n, R(0));
  R s = 0;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      if (i == j) continue;
      a[j][i] = rates[static_cast<size_t>(i) * n + j];
      out[j] += a[j][i];
    }
    s = std::max(s, out[j]);
  }
  // Every time as an integer m times 2^e.
  std::vector<std::pair<unsigned long long, int>> bits;
  int lowest = 0, highest = 0;
  bool any = false;
  for (double t : times) {
    if (!(t >= 0)) Fail("negative time");
    if (t == 0) {
      bits.emplace_back(0, 0);
      continue;
    }
    int e = 0;
    const double m = std::frexp(t, &e);
    unsigned long long mantissa = static_cast<unsigned long long>(std::ldexp(m, 53));
    e -= 53;
    while ((mantissa & 1u) == 0) mantissa >>= 1, ++e;
    int top = e;
    for (unsigned long long x = mantissa >> 1; x != 0; x >>= 1) ++top;
    lowest = any ? std::min(lowest, e) : e;
    highest = any ? std::max(highest, top) : top;
    any = true;
    bits.emplace_back(mantissa, e);
  }
  // v[c * times.size() + k]: the populations of start c at time k.
  std::vector<std::vector<R>> v;
  for (const std::vector<double>& p0 : starts) {
    for (size_t k = 0; k < times.size(); ++k) v.emplace_back(p0.begin(), p0.end());
  }
  if (any && s > 0) {
    int e0 = lowest;
    while (ldexp(s, e0) > ldexp(R(1), -20)) --e0;
    Matrix<R> b(n, std::vector<R>(n));
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) b[j][i] = ldexp(i == j ? s - out[j] : a[j][i], e0);
    }
    // e = sum of the terms, each term = b * previous / k (column-major).
    const auto product = [n](const Matrix<R>& x, const Matrix<R>& y) {
      Matrix<R> z(n, std::vector<R>(n, R(0)));
      for (int j = 0; j < n; ++j) {
        for (int l = 0; l < n; ++l) {
          if (y[j][l] == 0) continue;
          for (int i = 0; i < n; ++i) z[j][i] += x[l][i] * y[j][l];
        }
      }
      return z;
    };
    Matrix<R> e(n, std::vector<R>(n, R(0))), term = e;
    for (int i = 0; i < n; ++i) e[i][i] = term[i][i] = 1;
    const R tol = ldexp(R(1), -330);
    for (int k = 1;; ++k) {
      term = product(b, term);
      bool done = true;
      for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
          term[j][i] /= k;
          e[j][i] += term[j][i];
          if (term[j][i] > tol * e[j][i]) done = false;
        }
      }
      if (done) break;
      if (k > 400) Fail("the start series does not converge");
    }
    const R damping = exp(-ldexp(s, e0));
    for (auto& column : e) {
      for (R& x : column) x *= damping;
    }
    std::vector<R> w(n);
    for (int level = e0; level <= highest; ++level) {
      if (level > e0) e = product(e, e);
      for (size_t c = 0; c < v.size(); ++c) {
        const auto [mantissa, exponent] = bits[c % times.size()];
        if (mantissa == 0 || level < exponent || level - exponent >= 64) continue;
        if (((mantissa >> (level - exponent)) & 1u) == 0) continue;
        for (int i = 0; i < n; ++i) {
          w[i] = 0;
          for (int l = 0; l < n; ++l) w[i] += e[l][i] * v[c][l];
        }
        v[c] = w;
      }
    }
  }
  std::vector<std::vector<std::vector<double>>> result(starts.size());
  for (size_t c = 0; c < v.size(); ++c) {
    std::vector<double> p(n);
    for (int i = 0; i < n; ++i) p[i] = static_cast<double>(v[c][i]);
    result[c / times.size()].push_back(std::move(p));
  }
  return result;
}

}  // namespace reference
