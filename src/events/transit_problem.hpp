#pragma once
// The likelihood of a transit fit, shared by the least-squares start and the sampler.

#include "events/transit_fit.hpp"

#include <vector>

namespace morvik::events {

class TransitProblem {
public:
  TransitProblem(const TransitSeries& series, const TransitFitOptions& options, const BaselineTerms& baseline);

  // The free parameters: t0, rp_rs, a_rs, b, then period, then u1, u2 when free.
  int Dimension() const { return dim_; }
  std::vector<double> Pack(const TransitShape& s) const;
  TransitShape Unpack(const std::vector<double>& theta) const;
  std::vector<std::string> Names() const;
  bool InPrior(const std::vector<double>& theta) const;

  void SetErrors(const std::vector<double>& err);
  const std::vector<double>& Errors() const { return err_; }

  // Chi-squared with the baseline solved; the model and baseline per point on request.
  double Chi2(const std::vector<double>& theta, std::vector<double>* model = nullptr,
              std::vector<double>* baseline = nullptr, std::vector<double>* coef = nullptr) const;
  double LogPosterior(const std::vector<double>& theta) const;
  int BaselineCount() const { return static_cast<int>(columns_.size()); }
  std::size_t Points() const { return y_.size(); }

  // Levenberg-Marquardt from theta; returns the chi2 reached, the covariance of the
  // free parameters in covariance.
  double Minimize(std::vector<double>& theta, std::vector<double>* covariance = nullptr) const;

private:
  void Residuals(const std::vector<double>& theta, std::vector<double>& r) const;

  const TransitSeries& series_;
  TransitFitOptions options_;
  std::vector<double> t_, y_, err_, w_;
  std::vector<std::vector<double>> columns_;
  int dim_ = 4;
  mutable std::vector<double> shape_;
};

// A coarse search over mid-time and duration for a starting shape.
TransitShape StartingShape(const TransitSeries& series, const TransitFitOptions& options);

} // namespace morvik::events
