// floor: the unavoidable part of a population run, done directly with the best
// library calls, as the yardstick for zolvane's own run time (floor_bench.sh).
//   floor --text FILE | --bin FILE
// Reads the rates (text: getline + from_chars; binary: one fread), builds the
// symmetrised matrix S of the detailed-balance rates, diagonalises it with
// dsyevd, evaluates the populations on zolvane's default time axis (from state
// 1, t0 0.1, t8 1e12, step factor 1.02) with one dgemm per block of 64 time
// points, and writes the table with to_chars, stopping at equilibrium as
// zolvane does. Errors are not checked beyond what keeps it from crashing.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "calc/table/time_axis.h"
#include "matrix/lapack.h"

namespace {

[[noreturn]] void Die(const char* message) {
  fprintf(stderr, "floor: %s\n", message);
  exit(1);
}

// rates[i * n + j] = rate i -> j.
int ReadText(const char* path, std::vector<double>& rates) {
  FILE* f = fopen(path, "r");
  if (f == nullptr) Die("cannot open the input");
  char* line = nullptr;
  size_t cap = 0;
  ssize_t len = getline(&line, &cap, f);
  if (len <= 0) Die("empty input");
  std::vector<double> first;
  for (const char *p = line, *end = line + len;;) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    double x;
    auto r = std::from_chars(p, end, x);
    if (r.ec != std::errc()) break;
    first.push_back(x);
    p = r.ptr;
  }
  const int n = static_cast<int>(first.size());
  rates.assign(static_cast<size_t>(n) * n, 0.0);
  std::copy(first.begin(), first.end(), rates.begin());
  for (int i = 1; i < n && (len = getline(&line, &cap, f)) > 0; ++i) {
    double* row = rates.data() + static_cast<size_t>(i) * n;
    const char *p = line, *end = line + len;
    for (int j = 0; j < n; ++j) {
      while (p < end && (*p == ' ' || *p == '\t')) ++p;
      auto r = std::from_chars(p, end, row[j]);
      if (r.ec != std::errc()) break;
      p = r.ptr;
    }
  }
  free(line);
  fclose(f);
  return n;
}

// The binary file holds element j * n + i = rate i -> j: the matrix read is
// the transpose of the text one, which the symmetric build below does not mind.
int ReadBinary(const char* path, std::vector<double>& rates) {
  FILE* f = fopen(path, "rb");
  if (f == nullptr) Die("cannot open the input");
  int32_t n = 0;
  if (fread(&n, sizeof n, 1, f) != 1 || n <= 0) Die("bad binary input");
  rates.resize(static_cast<size_t>(n) * n);
  if (fread(rates.data(), sizeof(double), rates.size(), f) != rates.size()) Die("short input");
  fclose(f);
  return n;
}

char* Put(char* out, double x, int precision) {
  out = std::to_chars(out, out + 40, x, std::chars_format::scientific, precision).ptr;
  *out++ = ' ';
  return out;
}

void WriteLine(double t, const double* p, int n, std::vector<char>& text) {
  char* out = Put(text.data(), t, 20);
  for (int i = 0; i < n; ++i) out = Put(out, std::fabs(p[i]), 6);
  *out++ = '\n';
  fwrite(text.data(), 1, static_cast<size_t>(out - text.data()), stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) Die("usage: floor --text FILE | --bin FILE");
  const bool binary = strcmp(argv[1], "--bin") == 0;
  std::vector<double> s;
  const int n = binary ? ReadBinary(argv[2], s) : ReadText(argv[2], s);
  const size_t nn = static_cast<size_t>(n);
  // The rate from -> to, in whichever orientation the file stored it.
  auto rate = [&](size_t from, size_t to) {
    return binary ? s[to * nn + from] : s[from * nn + to];
  };

  // Equilibrium by detailed balance along a breadth-first tree from state 0.
  std::vector<double> p8(nn, 0.0);
  std::vector<size_t> queue{0};
  p8[0] = 1.0;
  for (size_t head = 0; head < queue.size(); ++head) {
    const size_t i = queue[head];
    for (size_t j = 0; j < nn; ++j) {
      if (p8[j] == 0.0 && rate(i, j) > 0.0 && rate(j, i) > 0.0) {
        p8[j] = p8[i] * rate(i, j) / rate(j, i);
        queue.push_back(j);
      }
    }
  }
  double total = 0.0;
  for (double x : p8) total += x;
  for (double& x : p8) x /= total;

  // S = P^-1/2 U P^1/2: off the diagonal sqrt(k_ij k_ji), on it minus the
  // total rate out of the state. Built in place, upper and lower triangle alike.
  std::vector<double> out_rate(nn, 0.0);
  for (size_t i = 0; i < nn; ++i) {
    for (size_t j = 0; j < nn; ++j) {
      if (j != i) out_rate[i] += rate(i, j);
    }
  }
  for (size_t i = 0; i < nn; ++i) {
    for (size_t j = i + 1; j < nn; ++j) {
      const double v = std::sqrt(s[i * nn + j] * s[j * nn + i]);
      s[i * nn + j] = v;
      s[j * nn + i] = v;
    }
    s[i * nn + i] = -out_rate[i];
  }

  std::vector<double> w(nn);
  int lwork = -1, liwork = -1, info = 0;
  double work_size = 0.0;
  int iwork_size = 0;
  dsyevd_("V", "U", &n, s.data(), &n, w.data(), &work_size, &lwork, &iwork_size, &liwork, &info, 1,
          1);
  lwork = static_cast<int>(work_size);
  liwork = iwork_size;
  {
    std::vector<double> work(static_cast<size_t>(lwork));
    std::vector<int> iwork(static_cast<size_t>(liwork));
    dsyevd_("V", "U", &n, s.data(), &n, w.data(), work.data(), &lwork, iwork.data(), &liwork, &info,
            1, 1);
  }
  if (info != 0) Die("dsyevd failed");

  // V column-major (column k = eigenvector k). c = V^T P^-1/2 p0 with p0 the
  // unit vector of state 0; CL = P^1/2 V in place.
  std::vector<double> c(nn);
  for (size_t k = 0; k < nn; ++k) c[k] = s[k * nn] / std::sqrt(p8[0]);
  for (size_t k = 0; k < nn; ++k) {
    double* v = s.data() + k * nn;
    for (size_t i = 0; i < nn; ++i) v[i] *= std::sqrt(p8[i]);
  }

  constexpr size_t kBlock = 64;
  std::vector<double> coef(kBlock * nn), pops(kBlock * nn), times;
  std::vector<char> text(28 + nn * 16 + 2);
  TimeAxis axis(0.1, 1e12, 1.02);
  int count = 0;
  bool converged = false;
  double t_last = 0.0;
  const double* p_last = nullptr;
  while (!converged && axis.NextBlock(times, kBlock)) {
    const int cols = static_cast<int>(times.size());
    for (int k = 0; k < cols; ++k) {
      for (size_t i = 0; i < nn; ++i) coef[k * nn + i] = std::exp(times[k] * w[i]) * c[i];
    }
    const double one = 1.0, zero = 0.0;
    dgemm_("N", "N", &n, &cols, &n, &one, s.data(), &n, coef.data(), &n, &zero, pops.data(), &n, 1,
           1);
    for (int k = 0; k < cols && !converged; ++k) {
      const double* p = pops.data() + k * nn;
      WriteLine(times[k], p, n, text);
      ++count;
      t_last = times[k];
      p_last = p;
      converged = true;
      for (size_t i = 0; i < nn && converged; ++i) converged = std::fabs(p8[i] - p[i]) < 1e-6;
    }
  }
  if (p_last != nullptr && 1e12 > t_last) WriteLine(1e12, p_last, n, text);
  printf("# of iterations: %d\n", count);
  return 0;
}
