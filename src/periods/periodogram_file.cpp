#include "periods/periodogram_file.hpp"

#include <algorithm>
#include <cmath>

#include "common/format.hpp"

namespace morvik {

std::vector<FreqTheta> SmoothedPeriodogram(const TPeriodogram& p) {
  constexpr std::size_t kBlock = 8;
  const std::size_t n = std::min(p.Freq.size(), p.Theta.size());
  std::vector<FreqTheta> out;
  out.reserve(n / kBlock);
  for (std::size_t b = 0; b + kBlock <= n; b += kBlock) {
    double f = 0.0;
    double t = 0.0;
    for (std::size_t k = b; k < b + kBlock; ++k) {
      f += p.Freq[k];
      t += p.Theta[k];
    }
    out.push_back({f / kBlock, t / kBlock});
  }
  return out;
}

std::string PeriodogramFileText(const TPeriodogram& p) {
  const std::size_t n = std::min(p.Freq.size(), p.Theta.size());
  std::string text;
  text.reserve(n * 34);
  for (std::size_t k = 0; k < n; ++k) {
    const double f = p.Freq[k];
    const double period = f != 0.0 && std::isfinite(1.0 / f) ? 1.0 / f : 0.0;
    text += FormatFixed(f, 9, 13);
    text += ' ';
    text += FormatFixed(p.Theta[k], 5, 7);
    text += ' ';
    text += FormatFixed(period, 7, 8);
    text += "\r\n";
  }
  return text;
}

} // namespace morvik
