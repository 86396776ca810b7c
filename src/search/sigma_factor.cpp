#include "search/sigma_factor.hpp"

#include <cmath>

#include "common/parse.hpp"

namespace morvik {

double SigmaFactorFromText(std::string_view text) {
  const double v = ParseDecimalPrefix(text).value_or(0.0);
  // A number too large to be finite would accept every measurement; treat it as no number.
  if (!std::isfinite(v) || v < kMinSigmaFactor) return kDefaultSigmaFactor;
  return v;
}

} // namespace morvik
