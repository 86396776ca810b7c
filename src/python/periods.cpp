// The period search on plain arrays: each periodogram of the search by itself, the
// analytic false-alarm probability and the whole search of one light curve. The arrays
// go to the same core functions that morvik-cli --period-search calls, so the numbers
// are the program's to the last bit.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "periods/period_grid.hpp"
#include "periods/period_methods.hpp"
#include "periods/period_search.hpp"
#include "periods/period_significance.hpp"
#include "python/bindings.hpp"

namespace py = pybind11;

namespace morvik::python {
namespace {

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::vector<double> Vector(const Doubles& a, const char* name) {
  if (a.ndim() != 1) throw std::invalid_argument(std::string(name) + " must be a 1-D array");
  return {a.data(), a.data() + a.size()};
}

py::array_t<double> Array(const std::vector<double>& v) {
  return py::array_t<double>(static_cast<py::ssize_t>(v.size()), v.data());
}

struct Series {
  std::vector<double> t, y, dy; // dy empty: equal weights
};

Series SeriesOf(const Doubles& t, const Doubles& y, const std::optional<Doubles>& dy) {
  Series s{Vector(t, "t"), Vector(y, "y"), dy ? Vector(*dy, "dy") : std::vector<double>{}};
  if (s.t.size() != s.y.size() || (dy && s.dy.size() != s.t.size()))
    throw std::invalid_argument("t, y and dy must have the same length");
  return s;
}

GridRequest Request(double minPeriod, double maxPeriod, double oversampling) {
  GridRequest r;
  r.minPeriod = minPeriod;
  r.maxPeriod = maxPeriod;
  r.oversampling = oversampling;
  return r;
}

// The search's grid for the times t: (first, step, count).
py::tuple SearchGrid(const Doubles& t, double minPeriod, double maxPeriod, double oversampling) {
  const FrequencyGrid g = MakeFrequencyGrid(TimeSpan(Vector(t, "t")), Request(minPeriod, maxPeriod, oversampling));
  return py::make_tuple(g.first, g.step, g.count);
}

// The box search's own finer grid for the times t.
py::array_t<double> BoxGrid(const Doubles& t, double minPeriod, double maxPeriod, double oversampling,
                            const std::vector<double>& durations, int bins) {
  const double shortest = durations.empty() ? 0.0 : *std::min_element(durations.begin(), durations.end());
  return Array(BoxFrequencies(TimeSpan(Vector(t, "t")), Request(minPeriod, maxPeriod, oversampling), shortest, bins));
}

bool GridMethod(const std::string& method, const Series& s, const FrequencyGrid& grid, int harmonics,
                std::span<double> out, const MethodRun& run) {
  if (method == "gls") return GlsPower(s.t, s.y, s.dy, grid, out, run);
  if (method == "mhgls") return MultiHarmonicPower(s.t, s.y, s.dy, grid, harmonics, out, run);
  if (method == "window") return SpectralWindow(s.t, s.dy, grid, out, run);
  throw std::invalid_argument("unknown method " + method);
}

void CheckMethod(const std::string& method) {
  for (const char* known : {"lk", "gls", "mhgls", "bls", "window"})
    if (method == known) return;
  throw std::invalid_argument("unknown method " + method);
}

// A periodogram on the regular grid first + k step, k < count.
py::array_t<double> GridPower(const std::string& method, const Doubles& t, const Doubles& y,
                              const std::optional<Doubles>& dy, double first, double step, std::size_t count,
                              int harmonics, unsigned threads) {
  const Series s = SeriesOf(t, y, dy);
  CheckMethod(method);
  if (method == "lk" || method == "bls") throw std::invalid_argument(method + " takes frequencies, not a grid");
  const FrequencyGrid grid{first, step, count};
  std::vector<double> power(count);
  {
    py::gil_scoped_release free;
    MethodRun run;
    run.threads = threads;
    GridMethod(method, s, grid, harmonics, power, run);
  }
  return Array(power);
}

// A periodogram at any frequencies. The grid methods take every frequency as a grid of
// one, computed directly; the frequencies are shared among the threads.
py::array_t<double> FrequencyPower(const std::string& method, const Doubles& t, const Doubles& y,
                                   const std::optional<Doubles>& dy, const Doubles& freqIn, int harmonics,
                                   const std::vector<double>& durations, int bins, unsigned threads) {
  const Series s = SeriesOf(t, y, dy);
  const std::vector<double> freqs = Vector(freqIn, "frequencies");
  std::vector<double> power(freqs.size());
  CheckMethod(method);
  {
    py::gil_scoped_release free;
    MethodRun run;
    run.threads = threads;
    if (method == "lk") {
      LaflerKinmanTheta(s.t, s.y, freqs, power, run);
    } else if (method == "bls") {
      BlsSettings b;
      b.durations = durations;
      b.bins = bins;
      BlsPower(s.t, s.y, s.dy, freqs, b, power, run);
    } else {
      MethodRun one;
      one.threads = 1;
      // Starting a thread costs about as much as a few thousand terms.
      const bool small = freqs.size() * (s.t.size() + 16) < 200000;
      ForEachBlock(
          (freqs.size() + kSearchBlock - 1) / kSearchBlock, small && threads == 0 ? 1u : SearchThreads(threads),
          [&](std::size_t b) {
            const std::size_t end = std::min(freqs.size(), (b + 1) * kSearchBlock);
            for (std::size_t k = b * kSearchBlock; k < end; ++k)
              GridMethod(method, s, FrequencyGrid{freqs[k], 0.0, 1}, harmonics, std::span<double>(&power[k], 1), one);
          },
          nullptr);
    }
  }
  return Array(power);
}

double Baluev(double z, std::size_t n, double fmax, const Doubles& t, const std::optional<Doubles>& dy) {
  const std::vector<double> times = Vector(t, "t");
  const std::vector<double> errors = dy ? Vector(*dy, "dy") : std::vector<double>{};
  return BaluevFap(z, n, fmax, times, errors);
}

py::dict Search(const Doubles& t, const Doubles& y, const std::optional<Doubles>& dy,
                const std::vector<std::string>& methods, double minPeriod, double maxPeriod, double oversampling,
                int fapRounds, std::uint64_t seed, std::size_t topPeaks, int harmonics, unsigned threads,
                bool approximate, const std::string& trend) {
  const Series s = SeriesOf(t, y, dy);
  PeriodSearchSettings settings;
  settings.methods.clear();
  for (const std::string& name : methods) {
    const auto m = MethodFromName(name);
    if (!m) throw std::invalid_argument("unknown period search method " + name + " (lk, gls, mhgls, bls)");
    settings.methods.push_back(*m);
  }
  settings.grid = Request(minPeriod, maxPeriod, oversampling);
  settings.fapRounds = fapRounds;
  settings.seed = seed;
  settings.topPeaks = topPeaks;
  settings.harmonics = harmonics;
  settings.threads = threads;
  settings.approximate = approximate;
  const auto trendChoice = TrendFromName(trend);
  if (!trendChoice) throw std::invalid_argument("trend must be auto, none, linear or quadratic, not " + trend);
  settings.trend = *trendChoice;
  PeriodSearchResult r;
  {
    py::gil_scoped_release free;
    r = SearchPeriods(s.t, s.y, s.dy, settings);
  }

  py::list peakRows, periodograms;
  for (const MethodResult& m : r.methods) {
    int rank = 0;
    for (const PeriodPeak& p : m.peaks)
      peakRows.append(py::make_tuple(MethodName(m.method), ++rank, p.frequency, p.period, p.periodError, p.power, p.fap,
                                     p.fapIsBound, p.aliasOf));
    py::dict one;
    one["method"] = MethodName(m.method);
    one["frequency"] = m.frequency.empty() ? r.grid.Values() : m.frequency;
    one["power"] = Array(m.power);
    one["lower_is_better"] = m.lowerIsBetter;
    one["detection"] = m.detection;
    one["best_fap"] = m.bestFap;
    one["best_fap_is_bound"] = m.bestFapIsBound;
    if (m.method == PeriodMethod::Bls) {
      one["box"] = py::make_tuple(m.boxDuration, m.boxMidTime, m.boxDepth);
      one["box_stats"] = py::make_tuple(m.boxDepthError, m.boxSnr, m.detection);
    }
    periodograms.append(one);
  }
  const CombinedPeriod& c = r.combined;
  py::dict d;
  d["found"] = c.found;
  d["period"] = c.period;
  d["period_error"] = c.periodError;
  d["power"] = c.power;
  d["fap"] = c.fap;
  d["fap_is_bound"] = c.fapIsBound;
  d["fap_text"] = c.fapIsBound ? FapText(c.fap, true) : (c.fap >= 0.0 ? FapText(c.fap, false) : std::string());
  d["window"] = c.window;
  d["at_grid_edge"] = c.atGridEdge;
  d["trend"] = TrendName(r.trend);
  d["constant"] = r.constant;
  d["method"] = MethodName(c.method);
  d["agreeing"] = c.agreeing;
  d["methods_run"] = c.methodsRun;
  d["second_period"] = c.secondPeriod;
  d["method_period"] = c.methodPeriod;
  d["note"] = c.note;
  d["points"] = r.points;
  d["grid"] = py::make_tuple(r.grid.first, r.grid.step, r.grid.count);
  d["window_peaks"] = r.windowPeaks;
  d["peaks"] = peakRows;
  d["periodograms"] = periodograms;
  return d;
}

} // namespace

void BindPeriods(py::module_& m) {
  using namespace py::literals;
  const PeriodSearchSettings defaults;
  const GridRequest grid;
  m.def("search_grid", &SearchGrid, "t"_a, "min_period"_a, "max_period"_a, "oversampling"_a,
        "The period search's frequency grid for times t: (first, step, count).");
  m.def("box_grid", &BoxGrid, "t"_a, "min_period"_a, "max_period"_a, "oversampling"_a, "durations"_a, "bins"_a,
        "The box search's frequencies for times t.");
  m.def("grid_power", &GridPower, "method"_a, "t"_a, "y"_a, "dy"_a, "first"_a, "step"_a, "count"_a, "harmonics"_a,
        "threads"_a = 0u, "gls, mhgls or window on the grid first + k step.");
  m.def("frequency_power", &FrequencyPower, "method"_a, "t"_a, "y"_a, "dy"_a, "frequencies"_a, "harmonics"_a,
        "durations"_a, "bins"_a, "threads"_a = 0u, "lk, bls, gls, mhgls or window at the given frequencies.");
  m.def("baluev_fap", &Baluev, "z"_a, "n"_a, "fmax"_a, "t"_a, "dy"_a = py::none(),
        "False-alarm probability of a generalised Lomb-Scargle power z (Baluev 2008).");
  m.def("search_periods", &Search, "t"_a, "y"_a, "dy"_a, "methods"_a, "min_period"_a, "max_period"_a, "oversampling"_a,
        "fap_rounds"_a, "seed"_a, "top_peaks"_a, "harmonics"_a, "threads"_a, "approximate"_a, "trend"_a = "auto",
        "The period search of one light curve.");
  m.attr("SEARCH_HARMONICS") = defaults.harmonics;
  m.attr("BLS_DURATIONS") = defaults.blsDurations;
  m.attr("BLS_BINS") = defaults.blsBins;
  m.attr("SEARCH_MIN_PERIOD") = grid.minPeriod;
  m.attr("SEARCH_OVERSAMPLING") = grid.oversampling;
}

} // namespace morvik::python
