// Subtraction-free scaling and squaring.
//
// Every time t > 0 is a double, t = M 2^e with M an odd integer below 2^53:
// with tau0 = 2^e0, t = rho tau0 + sum of the 2^b, b >= e0, whose bit is set
// in t, with rho in [0, 1) exact. p(t) is exp(G rho tau0), a series on the
// population column, times the squared matrices E_b = exp(G 2^b) of those
// levels: no remainder is left over. Only non-negative numbers are added and
// multiplied (the exception, s - r_j in the start series, is harmless: it
// only touches diagonal entries near 1), so every entry keeps a relative
// error of a few ulps per level whatever the spread of the rates.
//
// What would still go wrong is the column sums: a relative error d in each
// entry makes a column sum 1 + d, which squaring turns into (1 + d)^(2^b),
// overflow within a few dozen levels. So every column is rebuilt after each
// product from its off-diagonal sum l_j (a sum of non-negative terms, so
// exact to rounding): the diagonal becomes 1 - l_j while l_j < 1/2, and the
// column is divided by its sum beyond. Either way the column sums 1 again.
#include "propagator/exact_propagator.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

#include "matrix/lapack.h"

namespace {

// Columns per block in the series and in the population updates: the extra
// memory is three n x kBlock blocks, and a product of that width runs at
// full GEMM speed.
constexpr int kBlock = 128;
// A series stops when no entry of a block changes by more than this relative
// to its partial sum (or the terms underflow).
constexpr double kSeriesTolerance = 0x1p-60;
constexpr int kMaxSeriesTerms = 80;
// Two successive levels within this relative distance in every entry: the
// chain has reached its stationary transition matrix E, E * E = E to
// rounding, and further levels repeat it.
constexpr double kStationary = 0x1p-47;

// t = mantissa * 2^exponent with the mantissa odd; 0 for t = 0.
struct TimeBits {
  uint64_t mantissa = 0;
  int exponent = 0;
};

TimeBits Decompose(double t) {
  TimeBits bits;
  if (t == 0.0) return bits;
  int e = 0;
  const double m = std::frexp(t, &e);  // t = m 2^e, m in [0.5, 1)
  uint64_t mantissa = static_cast<uint64_t>(std::ldexp(m, 53));
  e -= 53;
  while ((mantissa & 1u) == 0) {
    mantissa >>= 1;
    ++e;
  }
  bits.mantissa = mantissa;
  bits.exponent = e;
  return bits;
}

int BitLength(uint64_t x) {
  int length = 0;
  while (x != 0) {
    x >>= 1;
    ++length;
  }
  return length;
}

// c = a * b, all column-major: a is m x k, b is k x cols.
void Product(int m, int cols, int k, const double* a, const double* b, double* c, double alpha) {
  const double zero = 0.0;
  const int lda = std::max(m, 1), ldb = std::max(k, 1);
  dgemm_("N", "N", &m, &cols, &k, &alpha, a, &lda, b, &ldb, &zero, c, &lda, 1, 1);
}

// Sum of the n entries of x, all non-negative: four running sums keep a
// relative error of about n / 4 ulps, and the loop vectorises.
double NonNegativeSum(const double* x, int n) {
  double s[4] = {0.0, 0.0, 0.0, 0.0};
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    for (int k = 0; k < 4; ++k) s[k] += x[i + k];
  }
  for (; i < n; ++i) s[0] += x[i];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

// Makes every column of the column-major n x n `e` sum to 1 again from its
// off-diagonal part (never from the diagonal, which holds the rounding of a
// sum of terms near 1).
void RebuildColumns(double* e, int n) {
  for (int j = 0; j < n; ++j) {
    double* col = e + static_cast<size_t>(j) * n;
    const double leak = NonNegativeSum(col, j) + NonNegativeSum(col + j + 1, n - j - 1);
    if (leak < 0.5) {
      col[j] = 1.0 - leak;
    } else {
      // The diagonal is itself small here, and the column sum as accurate as
      // its terms.
      const double total = col[j] + leak;
      for (int i = 0; i < n; ++i) col[i] /= total;
    }
  }
}

// Whether a and b (count entries) agree within kStationary relative in every
// entry.
bool Unchanged(const double* a, const double* b, size_t count) {
  for (size_t k = 0; k < count; ++k) {
    if (!(std::fabs(a[k] - b[k]) <= kStationary * std::fmax(a[k], b[k]))) return false;
  }
  return true;
}

// The columns `cols` of the column-major n x * matrix v become e * v, in
// blocks of kBlock through the two n x kBlock buffers.
void ApplyToColumns(const double* e, int n, const std::vector<size_t>& cols, double* v,
                    std::vector<double>& in, std::vector<double>& out) {
  const size_t nn = static_cast<size_t>(n);
  for (size_t start = 0; start < cols.size(); start += kBlock) {
    const size_t width = std::min<size_t>(kBlock, cols.size() - start);
    for (size_t c = 0; c < width; ++c) {
      std::copy(v + cols[start + c] * nn, v + (cols[start + c] + 1) * nn, in.data() + c * nn);
    }
    Product(n, static_cast<int>(width), n, e, in.data(), out.data(), 1.0);
    for (size_t c = 0; c < width; ++c) {
      std::copy(out.data() + c * nn, out.data() + (c + 1) * nn, v + cols[start + c] * nn);
    }
  }
}

// The columns of `sum` (column-major n x width, scratch `term` and `next` of
// the same size) become exp(G rho_c tau0) applied to them, by the uniformised
// series e^(-s rho_c tau0) sum_k (rho_c B)^k x / k!, where
// B = tau0 (A + diag(s - r)) >= 0 is given column-major in `b`, s tau0 =
// `step` and every rho_c is in (0, 1]. The series runs until no entry
// changes by more than kSeriesTolerance relative (or the terms vanish).
// Returns the terms it took.
int SeriesOnColumns(const double* b, int n, int width, const double* rho, double step, double* sum,
                    double* term, double* next) {
  const size_t size = static_cast<size_t>(n) * static_cast<size_t>(width);
  std::copy(sum, sum + size, term);
  int k = 1;
  for (; k <= kMaxSeriesTerms; ++k) {
    Product(n, width, n, b, term, next, 1.0);
    bool negligible = true, zero = true;
    for (int c = 0; c < width; ++c) {
      const double scale = rho[c] / k;
      double* x = next + static_cast<size_t>(c) * n;
      double* y = sum + static_cast<size_t>(c) * n;
      for (int i = 0; i < n; ++i) {
        x[i] *= scale;
        y[i] += x[i];
        if (x[i] != 0.0) zero = false;
        if (x[i] > kSeriesTolerance * y[i]) negligible = false;
      }
    }
    std::copy(next, next + size, term);
    if (zero || (k >= 2 && negligible)) break;
  }
  for (int c = 0; c < width; ++c) {
    const double damping = std::exp(-step * rho[c]);
    double* y = sum + static_cast<size_t>(c) * n;
    for (int i = 0; i < n; ++i) y[i] *= damping;
  }
  return k;
}

}  // namespace

PropagatorStatus PropagateExactly(int n, const std::vector<double>& u,
                                  const std::vector<double>& p0, const std::vector<double>& times,
                                  PropagatorResult& out, const PropagatorOptions& options) {
  out = PropagatorResult{};
  if (n < 0 || u.size() != static_cast<size_t>(n) * static_cast<size_t>(n) ||
      p0.size() != static_cast<size_t>(n)) {
    return PropagatorStatus::kBadArgument;
  }
  for (double t : times) {
    if (!(t >= 0.0) || !std::isfinite(t)) return PropagatorStatus::kBadArgument;
  }
  const size_t nn = static_cast<size_t>(n);
  double largest = 0.0;
  for (size_t i = 0; i < nn; ++i) {
    for (size_t j = 0; j < nn; ++j) {
      const double r = u[i * nn + j];
      if (i == j) continue;
      if (!(r >= 0.0) || !std::isfinite(r)) return PropagatorStatus::kNotFinite;
      largest = std::max(largest, r);
    }
  }

  // The result is V, column-major n x times: column k is row k of the
  // row-major result. Every column starts as p0.
  const size_t count = times.size();
  out.populations.resize(nn * count);
  double* v = out.populations.data();
  for (size_t k = 0; k < count; ++k) std::copy(p0.begin(), p0.end(), v + k * nn);
  // Every time whose last level lies below `level` is final.
  std::vector<int> last_level(count, std::numeric_limits<int>::min());
  size_t final_times = 0;
  const auto report = [&](int level) {
    size_t k = final_times;
    while (k < count && last_level[k] < level) ++k;
    if (k == final_times) return false;
    final_times = k;
    out.final_times = k;
    return options.on_final && options.on_final(k);
  };
  const auto all_final = [&] {
    out.final_times = count;
    if (final_times < count && options.on_final) options.on_final(count);
    return PropagatorStatus::kOk;
  };
  if (largest == 0.0 || n == 0) return all_final();

  // Rates scaled by 2^-shift so that the largest lies in [0.5, 1) (exact),
  // and every time by 2^shift to match: no product of rates or of rates and
  // times leaves the range of doubles.
  int shift = 0;
  std::frexp(largest, &shift);
  std::vector<double> e(nn * nn), f(nn * nn);
  // f holds B column-major until the first squaring: the scaled rates first.
  for (size_t j = 0; j < nn; ++j) {
    for (size_t i = 0; i < nn; ++i)
      f[j * nn + i] = i == j ? 0.0 : std::ldexp(u[i * nn + j], -shift);
  }
  std::vector<double> exit_rate(nn);
  double s = 0.0;
  for (int j = 0; j < n; ++j) {
    exit_rate[static_cast<size_t>(j)] = NonNegativeSum(f.data() + static_cast<size_t>(j) * nn, n);
    s = std::max(s, exit_rate[static_cast<size_t>(j)]);
  }

  std::vector<TimeBits> bits(count);
  bool any = false;
  int highest = 0;
  for (size_t k = 0; k < count; ++k) {
    bits[k] = Decompose(times[k]);
    if (bits[k].mantissa == 0) continue;
    bits[k].exponent += shift;
    const int top = bits[k].exponent + BitLength(bits[k].mantissa) - 1;
    last_level[k] = top;
    highest = any ? std::max(highest, top) : top;
    any = true;
  }
  if (!any) return all_final();
  // s < 2^s_exponent, so s tau0 < 2^-margin_bits.
  int s_exponent = 0;
  std::frexp(s, &s_exponent);
  const int e0 = -options.margin_bits - s_exponent;

  for (size_t j = 0; j < nn; ++j) {
    for (size_t i = 0; i < nn; ++i) {
      double& x = f[j * nn + i];
      x = std::ldexp(i == j ? s - exit_rate[j] : x, e0);
    }
  }
  const double step = std::ldexp(s, e0);
  std::vector<double> in(nn * kBlock), block_out(nn * kBlock), scratch(nn * kBlock);

  // The binary digits of a time below tau0 make a step rho tau0 with
  // rho < 1, taken by the same series on its column (a few products with B
  // per column, where a level costs a product of two n x n matrices); the
  // digits from tau0 up go to the levels.
  std::vector<size_t> cols;
  std::vector<double> rho;
  for (size_t k = 0; k < count; ++k) {
    TimeBits& t = bits[k];
    if (t.mantissa == 0 || t.exponent >= e0) continue;
    const int below = e0 - t.exponent;
    const uint64_t low = below >= 64 ? t.mantissa : t.mantissa & ((uint64_t{1} << below) - 1);
    t.mantissa = below >= 64 ? 0 : t.mantissa >> below;
    // The time's last level: its digits above tau0, or none (e0 - 1).
    if (t.mantissa == 0) last_level[k] = e0 - 1;
    const double r = std::ldexp(static_cast<double>(low), t.exponent - e0);
    t.exponent = e0;
    if (r > 0.0) {
      cols.push_back(k);
      rho.push_back(r);
    }
  }
  for (size_t start = 0; start < cols.size(); start += kBlock) {
    const size_t width = std::min<size_t>(kBlock, cols.size() - start);
    for (size_t c = 0; c < width; ++c) {
      std::copy(v + cols[start + c] * nn, v + (cols[start + c] + 1) * nn, in.data() + c * nn);
    }
    SeriesOnColumns(f.data(), n, static_cast<int>(width), rho.data() + start, step, in.data(),
                    block_out.data(), scratch.data());
    out.column_products += static_cast<long long>(width);
    for (size_t c = 0; c < width; ++c) {
      std::copy(in.data() + c * nn, in.data() + (c + 1) * nn, v + cols[start + c] * nn);
    }
  }

  // E = exp(G tau0) column block by column block, from the identity.
  const std::vector<double> ones(kBlock, 1.0);
  for (int j0 = 0; j0 < n; j0 += kBlock) {
    const int width = std::min(kBlock, n - j0);
    double* block = e.data() + static_cast<size_t>(j0) * nn;
    std::fill(block, block + nn * static_cast<size_t>(width), 0.0);
    for (int c = 0; c < width; ++c)
      block[static_cast<size_t>(c) * nn + static_cast<size_t>(j0 + c)] = 1.0;
    out.series_terms =
        std::max(out.series_terms, SeriesOnColumns(f.data(), n, width, ones.data(), step, block,
                                                   block_out.data(), scratch.data()));
  }
  RebuildColumns(e.data(), n);

  if (report(e0)) return PropagatorStatus::kOk;
  for (int level = e0; level <= highest; ++level) {
    bool stationary = false;
    if (level > e0) {
      Product(n, n, n, e.data(), e.data(), f.data(), 1.0);
      if (options.rebuild_columns) RebuildColumns(f.data(), n);
      ++out.squarings;
      stationary = options.stop_when_stationary && Unchanged(e.data(), f.data(), nn * nn);
      e.swap(f);
    }
    // The columns whose time has this level's bit set; once stationary, E
    // times itself is E, so every time with a bit at this level or above
    // takes E once and the squaring ends.
    cols.clear();
    for (size_t k = 0; k < count; ++k) {
      const TimeBits& t = bits[k];
      if (t.mantissa == 0) continue;
      if (level < t.exponent) {
        // All of this time's bits lie above the level.
        if (stationary) cols.push_back(k);
        continue;
      }
      const int bit = level - t.exponent;
      if (bit >= 64) continue;
      const uint64_t rest = t.mantissa >> bit;
      if (stationary ? rest != 0 : (rest & 1u) != 0) cols.push_back(k);
    }
    ApplyToColumns(e.data(), n, cols, v, in, block_out);
    out.column_products += static_cast<long long>(cols.size());
    if (stationary) break;
    if (report(level + 1)) return PropagatorStatus::kOk;
  }
  return all_final();
}
