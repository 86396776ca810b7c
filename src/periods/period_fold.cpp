#include "periods/period_fold.hpp"

#include <algorithm>
#include <cmath>

#include "common/format.hpp"

namespace morvik {

FoldedCurve FoldLightCurve(std::span<const double> t, std::span<const double> y, double period, int bins) {
  FoldedCurve f;
  f.period = period;
  const std::size_t n = std::min(t.size(), y.size());
  if (n == 0 || !(period > 0.0)) return f;
  const auto nb = static_cast<std::size_t>(std::max(1, bins));
  const double t0 = *std::min_element(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(n));
  auto phaseOf = [period](double dt) {
    const double x = dt / period;
    return x - std::floor(x);
  };
  auto binOf = [nb](double ph) { return std::min(nb - 1, static_cast<std::size_t>(ph * static_cast<double>(nb))); };
  std::vector<double> sum(nb, 0.0);
  std::vector<int> count(nb, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t b = binOf(phaseOf(t[i] - t0));
    sum[b] += y[i];
    ++count[b];
  }
  std::size_t faintest = 0;
  bool any = false;
  for (std::size_t b = 0; b < nb; ++b)
    if (count[b] > 0 && (!any || sum[b] / count[b] > sum[faintest] / count[faintest])) {
      faintest = b;
      any = true;
    }
  f.epoch = t0 + (static_cast<double>(faintest) + 0.5) / static_cast<double>(nb) * period;

  std::fill(sum.begin(), sum.end(), 0.0);
  std::fill(count.begin(), count.end(), 0);
  for (std::size_t i = 0; i < n; ++i) {
    const double ph = phaseOf(t[i] - f.epoch);
    f.phase.push_back(ph);
    f.mag.push_back(y[i]);
    const std::size_t b = binOf(ph);
    sum[b] += y[i];
    ++count[b];
  }
  for (std::size_t i = 0; i < n; ++i) {
    f.phase.push_back(f.phase[i] + 1.0);
    f.mag.push_back(f.mag[i]);
  }
  for (int cycle = 0; cycle < 2; ++cycle)
    for (std::size_t b = 0; b < nb; ++b)
      if (count[b] > 0) {
        f.binPhase.push_back(cycle + (static_cast<double>(b) + 0.5) / static_cast<double>(nb));
        f.binMean.push_back(sum[b] / count[b]);
      }
  return f;
}

namespace {

std::string Num(double v) { return FormatShortest(v); }

// A floor of the permutation rounds as a bound ("< 0.032").
std::string Fap(double fap, bool bound) { return bound ? FapText(fap, true) : Num(fap); }

} // namespace

std::string PeakTableCsv(const PeriodSearchResult& r) {
  std::string text = "method,rank,frequency,period,period_error,power,fap,alias,note\n";
  const CombinedPeriod& c = r.combined;
  if (c.found) {
    text += "combined,1," + Num(1.0 / c.period) + "," + Num(c.period) + "," + Num(c.periodError) + "," + Num(c.power) +
            "," + Fap(c.fap, c.fapIsBound) + "," + CsvField(c.window) + "," +
            CsvField(std::string(MethodName(c.method)) + (c.note.empty() ? "" : ": " + c.note)) + "\n";
  } else if (!c.note.empty()) {
    text += "combined,,,,,,,," + CsvField(c.note) + "\n";
  }
  for (const MethodResult& m : r.methods) {
    int rank = 0;
    for (const PeriodPeak& p : m.peaks) {
      text += std::string(MethodName(m.method)) + "," + std::to_string(++rank) + "," + Num(p.frequency) + "," +
              Num(p.period) + "," + Num(p.periodError) + "," + Num(p.power) + "," + Fap(p.fap, p.fapIsBound) + "," +
              CsvField(p.aliasOf) + ",";
      if (rank == 1 && m.method == PeriodMethod::Bls)
        text += CsvField("duration " + Num(m.boxDuration) + " d, mid-transit " + Num(m.boxMidTime) + ", depth " +
                         Num(m.boxDepth) + " +- " + Num(m.boxDepthError) + " mag, SNR " + Num(m.boxSnr) + ", SDE " +
                         Num(m.detection));
      text += "\n";
    }
  }
  return text;
}

std::string PeriodogramCsv(const PeriodSearchResult& r) {
  std::string text = "method,frequency,period,power\n";
  for (const MethodResult& m : r.methods) {
    const std::string name = MethodName(m.method);
    for (std::size_t k = 0; k < m.power.size(); ++k) {
      const double f = m.frequency.empty() ? r.grid.At(k) : m.frequency[k];
      text += name + "," + Num(f) + "," + Num(1.0 / f) + "," + Num(m.power[k]) + "\n";
    }
  }
  return text;
}

std::string FoldedCurveCsv(const FoldedCurve& f) {
  std::string text = "# period " + Num(f.period) + " d, epoch of minimum light " + Num(f.epoch) + "\nkind,phase,mag\n";
  for (std::size_t i = 0; i < f.phase.size(); ++i)
    text += "point," + Num(f.phase[i]) + "," + Num(f.mag[i]) + "\n";
  for (std::size_t i = 0; i < f.binPhase.size(); ++i)
    text += "mean," + Num(f.binPhase[i]) + "," + Num(f.binMean[i]) + "\n";
  return text;
}

} // namespace morvik
