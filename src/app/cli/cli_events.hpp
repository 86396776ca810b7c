#pragma once
// --transit, --minima and --transit-report: transit fits and times of minimum of the
// RUN light curves after Search Variables.

#include <cstdint>
#include <string>
#include <vector>

#include "app/cli/cli_event_options.hpp"
#include "events/minima.hpp"
#include "events/transit_fit.hpp"
#include "workspace/workspace.hpp"

namespace morvik::cli {

// Relative flux and its errors from magnitudes (the median magnitude is flux 1);
// without errors every point gets the scatter of neighbouring differences.
events::TransitSeries FluxSeries(const std::vector<double>& t, const std::vector<double>& mag,
                                 const std::vector<double>& dmag);

events::TransitFitOptions FitOptionsFrom(const EventOptions& o, std::uint64_t seed);

// The parameters with their percentiles, the sampler's figures, then one row per point
// with the model and residual.
std::string TransitCsv(const events::TransitSeries& s, const events::TransitFitResult& r);

// The AAVSO exoplanet report of a fit: times in BJD_TDB (converted from JD (UTC) when
// target is given), relative flux with its error, the baseline's terms as detrend
// columns, and the fitted values as results.
std::string TransitReport(const events::TransitSeries& s, const events::TransitFitResult& r, const EventOptions& o,
                          const std::vector<double>& bjdTdb, bool converted, const std::string& starName);

std::string MinimaCsv(const std::vector<events::Minimum>& minima, const events::Ephemeris& e, bool fitted);

// The fit and the minima of one series as --transit and --minima make them; the
// Python module calls these too, so its numbers are the CLI's.
events::TransitFitResult FitSeries(const events::TransitSeries& s, const EventOptions& o, std::uint64_t seed);
std::string MinimaOfSeries(const events::TransitSeries& s, const EventOptions& o, std::size_t* found = nullptr);

bool TransitOneStar(Workspace& ws, long long id, const std::string& path, const EventOptions& o, std::uint64_t seed);
bool MinimaOneStar(Workspace& ws, long long id, const std::string& path, const EventOptions& o);

} // namespace morvik::cli
