#pragma once
// --period-search and --period-search-all: the period search of the RUN light curves
// after Search Variables.

#include <string>

#include "app/cli/cli_period_options.hpp"
#include "periods/period_search.hpp"
#include "periods/period_star.hpp"
#include "workspace/workspace.hpp"

namespace morvik::cli {

PeriodSearchSettings SearchSettingsFrom(const PeriodSearchOptions& o);

// The peaks file is PeakTableCsv of periods/period_fold.hpp.

// One line of the all-stars table and its header, LF.
std::string AllStarsHeader();
std::string AllStarsRow(long long id, const PeriodSearchResult& r);

// Search star id and write its peaks to path; false when the file could not be
// written. Refusals (too few points, a grid too large) go to the log.
bool PeriodSearchOneStar(Workspace& ws, long long id, const std::string& path, const PeriodSearchOptions& o);

// Search every star with enough valid points, several at a time; rows in id order.
bool PeriodSearchAllStars(Workspace& ws, const std::string& path, const PeriodSearchOptions& o);

} // namespace morvik::cli
