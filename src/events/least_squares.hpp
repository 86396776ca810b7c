#pragma once
// Small dense least squares for the baselines, ephemerides and profiles.

#include <vector>

namespace morvik::events {

// Solves the symmetric positive definite system A x = b (n x n, row-major) by
// Cholesky; the inverse of A goes to inverse when asked. False when A is singular.
bool SolveSymmetric(std::vector<double> A, std::vector<double>& b, int n, std::vector<double>* inverse = nullptr);

struct LinearFit {
  std::vector<double> coef;
  std::vector<double> covariance; // (X^T W X)^-1, row-major
  double chi2 = 0.0;
  bool ok = false;
};

// Weighted linear least squares: y ~ sum_k coef_k columns[k], weights 1 / sigma^2.
LinearFit FitLinear(const std::vector<std::vector<double>>& columns, const std::vector<double>& y,
                    const std::vector<double>& weight);

} // namespace morvik::events
