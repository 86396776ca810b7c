#include "search/sigma_histogram.hpp"

#include "common/format.hpp"

namespace morvik {

SigmaHistogramTable ComputeSigmaHistogram(const std::vector<TStarStat>& stats) {
  SigmaHistogramTable t;
  if (stats.empty()) return t;
  t.min = t.max = stats.front().Variance;
  for (std::size_t s = 1; s < stats.size(); ++s) {
    const double v = stats[s].Variance;
    if (v > t.max) t.max = v;
    if (v < t.min) t.min = v;
  }
  const double step = (t.max - t.min) / 100.0;
  // The bounds come from repeated addition, so there are 100 or 101 bins; the cap stops
  // the loop when step is too small against min to move b at all.
  for (double b = t.min; b < t.max && static_cast<int>(t.bins.size()) < kMaxHistogramBins; b = b + step) {
    HistogramBin bin{b, b + step, 0};
    for (const TStarStat& st : stats) {
      if (bin.lower <= st.Variance && st.Variance <= bin.upper) ++bin.count;
    }
    t.bins.push_back(bin);
  }
  return t;
}

std::vector<std::string> SigmaHistogramLogLines(const SigmaHistogramTable& t) {
  std::vector<std::string> lines;
  lines.reserve(t.bins.size() + 1);
  lines.push_back(FormatMessage("MIN %f MAX %f", {t.min, t.max}));
  for (const HistogramBin& b : t.bins)
    lines.push_back(FormatMessage("RANGE %f - %f N= %d", {b.lower, b.upper, b.count}));
  return lines;
}

std::vector<std::string> SigmaHistogramFileLines(const SigmaHistogramTable& t) {
  std::vector<std::string> lines;
  lines.reserve(t.bins.size() + 1);
  lines.push_back("MIN " + FormatFixed(t.min, 2) + " MAX " + FormatFixed(t.max, 2));
  for (const HistogramBin& b : t.bins) {
    lines.push_back("RANGE " + FormatFixed(b.lower, 2) + " - " + FormatFixed(b.upper, 2) +
                    " N= " + std::to_string(b.count));
  }
  return lines;
}

} // namespace morvik
