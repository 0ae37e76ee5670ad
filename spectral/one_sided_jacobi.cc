#include "spectral/one_sided_jacobi.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

// Rotates the pair (p, q) if the stopping test says so; returns whether it
// did. nrm holds the squared column norms, kept fresh after every rotation.
inline bool RotatePair(size_t m, double* xp, double* xq, double& nrm_p, double& nrm_q,
                       JacobiStop stop, double tol) {
  double g = 0.0, ga = 0.0;
  for (size_t i = 0; i < m; ++i) {
    const double t = xp[i] * xq[i];
    g += t;
    ga += std::fabs(t);
  }
  if (g == 0.0) return false;
  const double level =
      stop == JacobiStop::kComponentwise ? ga : std::sqrt(nrm_p) * std::sqrt(nrm_q);
  if (std::fabs(g) <= tol * level) return false;
  // The rotation that zeroes the pair's product, its smaller angle.
  const double zeta = (nrm_q - nrm_p) / (2.0 * g);
  const double t = std::fabs(zeta) < 1e150
                       ? std::copysign(1.0, zeta) / (std::fabs(zeta) + std::sqrt(1.0 + zeta * zeta))
                       : 0.5 / zeta;
  const double c = 1.0 / std::sqrt(1.0 + t * t), s = c * t;
  double np = 0.0, nq = 0.0;
  for (size_t i = 0; i < m; ++i) {
    const double a = xp[i], b = xq[i];
    const double u = c * a - s * b, v = s * a + c * b;
    xp[i] = u;
    xq[i] = v;
    np += u * u;
    nq += v * v;
  }
  nrm_p = np;
  nrm_q = nq;
  return true;
}

// Euclidean norm without overflow or underflow of the squares.
double Norm(size_t m, const double* x) {
  double big = 0.0;
  for (size_t i = 0; i < m; ++i) big = std::max(big, std::fabs(x[i]));
  if (big == 0.0 || !std::isfinite(big)) return big;
  double sum = 0.0;
  for (size_t i = 0; i < m; ++i) {
    const double y = x[i] / big;
    sum += y * y;
  }
  return big * std::sqrt(sum);
}

}  // namespace

JacobiResult OneSidedJacobi(int m, int k, double* x, int ld, double* sigma,
                            const JacobiOptions& options) {
  const size_t mm = static_cast<size_t>(m), kk = static_cast<size_t>(k);
  const size_t lda = static_cast<size_t>(ld);
  double tol = options.tol;
  if (tol <= 0.0) tol = options.stop == JacobiStop::kComponentwise ? m * kEps : std::sqrt(m) * kEps;
  std::vector<double> nrm(kk);
  for (size_t j = 0; j < kk; ++j) {
    const double* col = x + j * lda;
    double s = 0.0;
    for (size_t i = 0; i < mm; ++i) s += col[i] * col[i];
    nrm[j] = s;
  }
  JacobiResult result;
  // Cyclic sweeps, pairs taken block by block so that the columns of two
  // blocks stay in cache while all their pairs are rotated.
  const size_t nb = static_cast<size_t>(std::max(1, options.block));
  while (result.sweeps < options.max_sweeps) {
    ++result.sweeps;
    size_t rotations = 0;
    for (size_t bi = 0; bi < kk; bi += nb) {
      for (size_t bj = bi; bj < kk; bj += nb) {
        const size_t pe = std::min(bi + nb, kk), qe = std::min(bj + nb, kk);
        for (size_t p = bi; p < pe; ++p) {
          for (size_t q = bj == bi ? p + 1 : bj; q < qe; ++q) {
            if (RotatePair(mm, x + p * lda, x + q * lda, nrm[p], nrm[q], options.stop, tol)) {
              ++rotations;
            }
          }
        }
      }
    }
    if (rotations == 0) {
      result.converged = true;
      break;
    }
  }
  for (size_t j = 0; j < kk; ++j) {
    double* col = x + j * lda;
    sigma[j] = Norm(mm, col);
    if (sigma[j] > 0.0) {
      for (size_t i = 0; i < mm; ++i) col[i] /= sigma[j];
    }
  }
  return result;
}
