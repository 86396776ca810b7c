// Functions on plain light-curve arrays, not only on Morvik fields. They hand the arrays
// to the same core routines a field's commands use, so that the results are those of
// the program to the last bit.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include "common/capacities.hpp"
#include "common/errors.hpp"
#include "periods/lafler_kinman.hpp"
#include "python/bindings.hpp"
#include "search/variability.hpp"

namespace py = pybind11;

namespace morvik::python {
namespace {

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

// The indices of k light curves of n points each (mag and err: k x n), as the
// variability search computes them for k stars over n rows. A point takes part when
// its magnitude and error are finite numbers; two points are successive when they are
// neighbours in the array, so a gap (a NaN) breaks the chain as a rejected row does.
py::dict Indices(const Doubles& magIn, const Doubles& errIn) {
  if (magIn.ndim() != 2 || errIn.ndim() != 2 || magIn.shape(0) != errIn.shape(0) || magIn.shape(1) != errIn.shape(1))
    throw std::invalid_argument("mag and err must be arrays of the same shape (curves x points)");
  const auto curves = static_cast<std::size_t>(magIn.shape(0));
  const auto points = static_cast<std::size_t>(magIn.shape(1));
  if (points > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw std::invalid_argument("too many points in a light curve");
  const double* mag = magIn.data();
  const double* err = errIn.data();

  std::vector<TStarStat> out(curves);
  {
    py::gil_scoped_release free;
    // The table holds at most 65 535 stars: the curves go in blocks of that many.
    for (std::size_t first = 0; first < curves; first += kMaxStars) {
      const std::size_t k = std::min<std::size_t>(kMaxStars, curves - first);
      TTimeSeries t;
      t.RowCount = static_cast<std::int32_t>(points);
      t.StarCount = static_cast<std::uint16_t>(k);
      t.Rows.resize(points);
      for (std::size_t j = 0; j < points; ++j) {
        auto& items = t.Rows[j].Items;
        items.resize(k);
        for (std::size_t i = 0; i < k; ++i) {
          const double m = mag[(first + i) * points + j];
          const double e = err[(first + i) * points + j];
          items[i] = TMeasurement{m, e, m, std::isfinite(m) && std::isfinite(e)};
        }
      }
      // Every valid point is accepted: no frame limit (FrameErr 0 <= 0) and no error
      // limit (an infinite mean error).
      t.Stats.assign(k, TStarStat{});
      for (TStarStat& s : t.Stats)
        s.MeanErr = std::numeric_limits<double>::infinity();
      NullLog quiet;
      ComputeVariabilityIndices(t, 1.0, 1.0, quiet);
      std::copy(t.Stats.begin(), t.Stats.end(), out.begin() + static_cast<std::ptrdiff_t>(first));
    }
  }

  const auto n = static_cast<py::ssize_t>(curves);
  py::array_t<std::uint16_t> accepted(n);
  auto* a = accepted.mutable_data();
  for (std::size_t i = 0; i < curves; ++i)
    a[i] = out[i].NAccepted;
  auto column = [&](double TStarStat::*field) {
    py::array_t<double> c(n);
    double* p = c.mutable_data();
    for (std::size_t i = 0; i < curves; ++i)
      p[i] = out[i].*field;
    return c;
  };
  py::dict d;
  d["NAccepted"] = accepted;
  d["RunMeanW"] = column(&TStarStat::RunMeanW);
  d["RunMedian"] = column(&TStarStat::RunMedian);
  d["RunVariance"] = column(&TStarStat::RunVariance);
  d["ChiSq"] = column(&TStarStat::ChiSq);
  d["Mad"] = column(&TStarStat::Mad);
  d["RobustMedian"] = column(&TStarStat::RobustMedian);
  d["ExcessVariance"] = column(&TStarStat::ExcessVariance);
  d["VonNeumann"] = column(&TStarStat::VonNeumann);
  return d;
}

// theta of the Lafler-Kinman method (Lafler & Kinman 1965, ApJS 11, 216) for the
// points (t, y): the squared steps between phase-ordered neighbours over denominator.
// Phases count from t[0]. Without frequencies the program's own grid is used, from
// the shortest period of 0.007 d to the time span t[-1] - t[0].
py::tuple LaflerKinman(const Doubles& tIn, const Doubles& yIn, double denominator, const std::optional<Doubles>& freqIn,
                       double exponent) {
  if (tIn.ndim() != 1 || yIn.ndim() != 1 || tIn.size() != yIn.size())
    throw std::invalid_argument("t and y must be 1-D arrays of the same length");
  if (tIn.size() == 0) throw std::invalid_argument("a light curve needs at least one point");
  const std::vector<double> t(tIn.data(), tIn.data() + tIn.size());
  const std::vector<double> y(yIn.data(), yIn.data() + yIn.size());
  std::vector<double> freqs, theta;

  if (freqIn) {
    // As the periodogram command refuses a star without variance.
    if (denominator == 0.0) throw CommandError("Sigma is 0");
    if (freqIn->ndim() != 1) throw std::invalid_argument("frequencies must be a 1-D array");
    freqs.assign(freqIn->data(), freqIn->data() + freqIn->size());
    py::gil_scoped_release free;
    std::vector<double> dt(t.size());
    for (std::size_t i = 0; i < t.size(); ++i)
      dt[i] = t[i] - t[0];
    theta.resize(freqs.size());
    LaflerKinmanThetas(dt, y, freqs, exponent, denominator, theta);
  } else {
    py::gil_scoped_release free;
    // One star over one row per point, computed as the periodogram command does.
    TTimeSeries series;
    series.RowCount = static_cast<std::int32_t>(t.size());
    series.StarCount = 1;
    series.Rows.resize(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
      series.Rows[i].Time = t[i];
      series.Rows[i].Items.assign(1, TMeasurement{y[i], 0.0, y[i], true});
    }
    std::vector<TStarStat> stats(1);
    stats[0].NValid = 1;
    stats[0].RunVariance = denominator; // the command's denominator is NValid x RunVariance
    std::vector<TPeriodogram> result(1);
    MemoryLog log;
    ComputeLaflerKinman(series, stats, result, 0, kLkShortestPeriod, std::fabs(t.back() - t.front()), kLkPhaseStep,
                        exponent, log);
    if (!result[0].Computed) throw CommandError(log.Lines().empty() ? "No periodogram" : log.Lines().back());
    freqs = std::move(result[0].Freq);
    theta = std::move(result[0].Theta);
  }
  return py::make_tuple(py::array_t<double>(static_cast<py::ssize_t>(freqs.size()), freqs.data()),
                        py::array_t<double>(static_cast<py::ssize_t>(theta.size()), theta.data()));
}

} // namespace

void BindArrays(py::module_& m) {
  using namespace py::literals;
  m.def("indices", &Indices, "mag"_a, "err"_a,
        "Variability indices of curves x points arrays; NaN marks a missing point.");
  m.def("lafler_kinman", &LaflerKinman, "t"_a, "y"_a, "denominator"_a, "frequencies"_a = py::none(),
        "exponent"_a = kLkExponent, "Lafler-Kinman theta: returns (frequencies, theta).");
  m.attr("LK_SHORTEST_PERIOD") = kLkShortestPeriod;
  m.attr("LK_PHASE_STEP") = kLkPhaseStep;
}

} // namespace morvik::python
