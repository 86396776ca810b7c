// Transit fits and times of minimum on plain arrays, through the same functions as
// morvik-cli --transit and --minima, returning the same CSV texts.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/cli/cli_events.hpp"
#include "python/bindings.hpp"

namespace py = pybind11;

namespace morvik::python {
namespace {

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::vector<double> Vec(const Doubles& a) { return {a.data(), a.data() + a.size()}; }

// Flux as given, or magnitudes turned into flux as the CLI turns its light curves.
events::TransitSeries SeriesFrom(const Doubles& t, const Doubles& y, const std::optional<Doubles>& dy,
                                 bool magnitudes) {
  const std::vector<double> tt = Vec(t), yy = Vec(y), ee = dy ? Vec(*dy) : std::vector<double>{};
  if (tt.size() != yy.size() || (dy && ee.size() != tt.size()))
    throw std::invalid_argument("t, y and dy must have the same length");
  if (magnitudes) return cli::FluxSeries(tt, yy, ee);
  events::TransitSeries s;
  s.t = tt;
  s.flux = yy;
  s.err = ee;
  if (s.err.empty()) s.err = cli::FluxSeries(tt, std::vector<double>(tt.size(), 0.0), {}).err;
  if (!dy) { // the scatter of neighbouring differences, as for light curves without errors
    double d2 = 0.0;
    for (std::size_t i = 1; i < yy.size(); ++i)
      d2 += (yy[i] - yy[i - 1]) * (yy[i] - yy[i - 1]);
    const double e = yy.size() > 1 ? std::sqrt(d2 / (2.0 * static_cast<double>(yy.size() - 1))) : 1.0;
    s.err.assign(yy.size(), e > 0.0 ? e : 1e-3);
  }
  return s;
}

std::string FitTransitCsv(const Doubles& t, const Doubles& y, const std::optional<Doubles>& dy, bool magnitudes,
                          double period, std::optional<double> t0, std::optional<std::pair<double, double>> ld,
                          bool fitLd, const std::string& filter, double teff, std::optional<std::string> baseline,
                          double exposure, int walkers, int steps, std::uint64_t seed,
                          const std::optional<Doubles>& airmass, const std::vector<std::string>& names,
                          const std::vector<Doubles>& columns) {
  cli::EventOptions o;
  o.period = period;
  o.t0 = t0;
  o.ld = ld;
  o.fitLd = fitLd;
  o.filter = filter;
  o.teff = teff;
  o.baseline = baseline;
  o.exposure = exposure;
  o.walkers = walkers;
  o.steps = steps;
  events::TransitSeries s = SeriesFrom(t, y, dy, magnitudes);
  if (airmass) s.airmass = Vec(*airmass);
  if (names.size() != columns.size()) throw std::invalid_argument("one name per extra column");
  s.extraNames = names;
  for (const Doubles& c : columns)
    s.extra.push_back(Vec(c));
  if ((airmass && s.airmass.size() != s.t.size()) ||
      std::any_of(s.extra.begin(), s.extra.end(), [&](const auto& c) { return c.size() != s.t.size(); }))
    throw std::invalid_argument("airmass and extra columns must have the length of t");
  events::TransitFitResult r;
  {
    py::gil_scoped_release release;
    r = cli::FitSeries(s, o, seed);
  }
  if (!r.ok) throw std::invalid_argument(r.message);
  return cli::TransitCsv(s, r);
}

std::string MinimaCsv(const Doubles& t, const Doubles& y, bool magnitudes,
                      std::optional<std::pair<double, double>> ephemeris, std::optional<double> period) {
  cli::EventOptions o;
  o.ephemeris = ephemeris;
  o.period = period;
  return cli::MinimaOfSeries(SeriesFrom(t, y, std::nullopt, magnitudes), o);
}

} // namespace

void BindEvents(py::module_& m) {
  m.def("fit_transit_csv", &FitTransitCsv, py::arg("t"), py::arg("y"), py::arg("dy"), py::arg("magnitudes"),
        py::arg("period"), py::arg("t0"), py::arg("ld"), py::arg("fit_ld"), py::arg("filter"), py::arg("teff"),
        py::arg("baseline"), py::arg("exposure"), py::arg("walkers"), py::arg("steps"), py::arg("seed"),
        py::arg("airmass"), py::arg("names"), py::arg("columns"),
        "The transit fit of morvik-cli --transit as its CSV text.");
  m.def("minima_csv", &MinimaCsv, py::arg("t"), py::arg("y"), py::arg("magnitudes"), py::arg("ephemeris"),
        py::arg("period"), "The minima of morvik-cli --minima as its CSV text.");
}

} // namespace morvik::python
