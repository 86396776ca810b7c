// Naming, peak picking and the choice of one answer among the methods' best peaks.

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/format.hpp"
#include "periods/period_search.hpp"

namespace morvik {

const char* MethodName(PeriodMethod m) {
  switch (m) {
  case PeriodMethod::LaflerKinman:
    return "lk";
  case PeriodMethod::Gls:
    return "gls";
  case PeriodMethod::MultiHarmonicGls:
    return "mhgls";
  case PeriodMethod::Bls:
    return "bls";
  }
  return "";
}

std::optional<PeriodMethod> MethodFromName(const std::string& name) {
  for (PeriodMethod m :
       {PeriodMethod::LaflerKinman, PeriodMethod::Gls, PeriodMethod::MultiHarmonicGls, PeriodMethod::Bls})
    if (name == MethodName(m)) return m;
  return std::nullopt;
}

std::optional<TrendChoice> TrendFromName(const std::string& name) {
  if (name == "auto") return TrendChoice::Auto;
  if (name == "none") return TrendChoice::None;
  if (name == "linear") return TrendChoice::Linear;
  if (name == "quadratic") return TrendChoice::Quadratic;
  return std::nullopt;
}

const char* TrendName(TrendOrder t) {
  switch (t) {
  case TrendOrder::None:
    return "none";
  case TrendOrder::Linear:
    return "linear";
  case TrendOrder::Quadratic:
    return "quadratic";
  }
  return "";
}

std::string FapText(double fap, bool bound) {
  if (!(fap >= 0.0)) return "";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2g", fap);
  return bound ? "< " + std::string(buf) : FormatShortest(fap);
}

std::vector<std::size_t> TopPeakIndices(std::span<const double> score, std::size_t minSeparation, std::size_t count) {
  std::vector<std::size_t> maxima;
  const std::size_t n = score.size();
  for (std::size_t k = 0; k < n; ++k) {
    const bool left = k == 0 || score[k] >= score[k - 1];
    const bool right = k + 1 == n || score[k] > score[k + 1];
    if (left && right && std::isfinite(score[k])) maxima.push_back(k);
  }
  std::stable_sort(maxima.begin(), maxima.end(), [&](std::size_t a, std::size_t b) { return score[a] > score[b]; });
  std::vector<std::size_t> top;
  for (std::size_t k : maxima) {
    if (top.size() >= count) break;
    bool apart = true;
    for (std::size_t j : top)
      apart = apart && (k > j ? k - j : j - k) >= minSeparation;
    if (apart) top.push_back(k);
  }
  return top;
}

std::string AliasMarks(double f, double best, std::span<const double> windowPeaks, double tol) {
  std::string marks;
  auto add = [&](const char* m) {
    if (!marks.empty()) marks += '+';
    marks += m;
  };
  auto offsetBy = [&](double d) { return std::fabs(std::fabs(f - best) - d) < tol || std::fabs(f + best - d) < tol; };
  static const char* const kDays[] = {"1d", "2d", "3d"};
  for (int m = 1; m <= 3; ++m)
    if (offsetBy(m)) add(kDays[m - 1]);
  if (std::fabs(f - 2.0 * best) < tol) add("P/2");
  if (std::fabs(f - 0.5 * best) < tol) add("2P");
  for (double w : windowPeaks)
    if (std::fabs(w - 1.0) >= tol && std::fabs(w - 2.0) >= tol && offsetBy(w)) {
      add("window");
      break;
    }
  return marks;
}

namespace {

bool Same(double a, double b, double agreement) { return std::fabs(a - b) <= agreement * std::max(a, b); }

int Votes(const std::vector<MethodResult>& methods, double period, double agreement) {
  int votes = 0;
  for (const MethodResult& other : methods)
    votes += !other.peaks.empty() && Same(period, other.peaks[0].period, agreement);
  return votes;
}

// Without models to compare: the period most methods agree on, then the peak standing
// highest above its periodogram.
int ByVotes(const std::vector<MethodResult>& methods, double agreement) {
  int chosen = -1, chosenVotes = 0;
  for (std::size_t i = 0; i < methods.size(); ++i) {
    if (methods[i].peaks.empty()) continue;
    const int votes = Votes(methods, methods[i].peaks[0].period, agreement);
    const bool better =
        chosen < 0 || votes > chosenVotes ||
        (votes == chosenVotes && methods[i].detection > methods[static_cast<std::size_t>(chosen)].detection);
    if (better) {
      chosen = static_cast<int>(i);
      chosenVotes = votes;
    }
  }
  return chosen;
}

// The best model by the Bayesian information criterion; -1 unless every method that
// found a peak has one.
int ByBic(const std::vector<MethodResult>& methods) {
  int chosen = -1;
  for (std::size_t i = 0; i < methods.size(); ++i) {
    if (methods[i].peaks.empty()) continue;
    if (std::isnan(methods[i].bic)) return -1;
    if (chosen < 0 || methods[i].bic < methods[static_cast<std::size_t>(chosen)].bic) chosen = static_cast<int>(i);
  }
  return chosen;
}

} // namespace

CombinedPeriod CombinePeriods(const std::vector<MethodResult>& methods, double agreement) {
  CombinedPeriod c;
  c.methodsRun = static_cast<int>(methods.size());
  const int byBic = ByBic(methods);
  const int chosen = byBic >= 0 ? byBic : ByVotes(methods, agreement);
  if (chosen < 0) return c;
  const MethodResult& m = methods[static_cast<std::size_t>(chosen)];
  c.found = true;
  c.method = m.method;
  c.period = m.peaks[0].period;
  c.periodError = m.peaks[0].periodError;
  c.power = m.peaks[0].power;
  c.fap = m.bestFap;
  c.fapIsBound = m.bestFapIsBound;
  c.agreeing = Votes(methods, c.period, agreement);
  if (m.peaks.size() > 1) c.secondPeriod = m.peaks[1].period;
  if (c.agreeing < c.methodsRun) {
    c.note = "methods disagree:";
    for (const MethodResult& other : methods) {
      char buf[64];
      std::snprintf(buf, sizeof buf, " %s %.6g d", MethodName(other.method),
                    other.peaks.empty() ? 0.0 : other.peaks[0].period);
      c.note += buf;
    }
    if (byBic >= 0) {
      // The runner-up among the models that give another period.
      double next = HUGE_VAL;
      const char* nextName = "";
      for (const MethodResult& other : methods)
        if (!other.peaks.empty() && !Same(other.peaks[0].period, c.period, agreement) && other.bic < next) {
          next = other.bic;
          nextName = MethodName(other.method);
        }
      char buf[96];
      std::snprintf(buf, sizeof buf, "; %s chosen by the least BIC, %.1f below %s", MethodName(m.method), next - m.bic,
                    nextName);
      c.note += buf;
    } else {
      c.note += "; chosen by agreement and peak height";
    }
  }
  return c;
}

} // namespace morvik
