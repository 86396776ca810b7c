#include "events/least_squares.hpp"

#include <cmath>

namespace morvik::events {

bool SolveSymmetric(std::vector<double> A, std::vector<double>& b, int n, std::vector<double>* inverse) {
  const auto N = static_cast<std::size_t>(n);
  // Cholesky A = L L^T in place (lower triangle).
  for (std::size_t j = 0; j < N; ++j) {
    double d = A[j * N + j];
    for (std::size_t k = 0; k < j; ++k)
      d -= A[j * N + k] * A[j * N + k];
    if (!(d > 0.0)) return false;
    d = std::sqrt(d);
    A[j * N + j] = d;
    for (std::size_t i = j + 1; i < N; ++i) {
      double s = A[i * N + j];
      for (std::size_t k = 0; k < j; ++k)
        s -= A[i * N + k] * A[j * N + k];
      A[i * N + j] = s / d;
    }
  }
  const auto solve = [&](std::vector<double>& x) {
    for (std::size_t i = 0; i < N; ++i) {
      double s = x[i];
      for (std::size_t k = 0; k < i; ++k)
        s -= A[i * N + k] * x[k];
      x[i] = s / A[i * N + i];
    }
    for (std::size_t i = N; i-- > 0;) {
      double s = x[i];
      for (std::size_t k = i + 1; k < N; ++k)
        s -= A[k * N + i] * x[k];
      x[i] = s / A[i * N + i];
    }
  };
  solve(b);
  if (inverse) {
    inverse->assign(N * N, 0.0);
    std::vector<double> e(N);
    for (std::size_t c = 0; c < N; ++c) {
      std::fill(e.begin(), e.end(), 0.0);
      e[c] = 1.0;
      solve(e);
      for (std::size_t r = 0; r < N; ++r)
        (*inverse)[r * N + c] = e[r];
    }
  }
  return true;
}

LinearFit FitLinear(const std::vector<std::vector<double>>& columns, const std::vector<double>& y,
                    const std::vector<double>& weight) {
  LinearFit fit;
  const std::size_t m = columns.size(), n = y.size();
  std::vector<double> A(m * m, 0.0), b(m, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t r = 0; r < m; ++r) {
      const double wr = weight[i] * columns[r][i];
      b[r] += wr * y[i];
      for (std::size_t c = 0; c <= r; ++c)
        A[r * m + c] += wr * columns[c][i];
    }
  }
  for (std::size_t r = 0; r < m; ++r)
    for (std::size_t c = r + 1; c < m; ++c)
      A[r * m + c] = A[c * m + r];
  if (!SolveSymmetric(A, b, static_cast<int>(m), &fit.covariance)) return fit;
  fit.coef = b;
  for (std::size_t i = 0; i < n; ++i) {
    double model = 0.0;
    for (std::size_t r = 0; r < m; ++r)
      model += fit.coef[r] * columns[r][i];
    fit.chi2 += weight[i] * (y[i] - model) * (y[i] - model);
  }
  fit.ok = true;
  return fit;
}

} // namespace morvik::events
