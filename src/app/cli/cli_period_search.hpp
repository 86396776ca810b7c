#pragma once
// --period-search and --period-search-all: the period search of the RUN light curves
// after Search Variables.

#include <optional>
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

// Seconds that one core of a two-core computer takes to search `points` points over
// `frequencies` trial frequencies with the methods and permutation rounds of o: the
// work grows as frequencies x points x (1 + rounds) for every method.
double SearchWorkSeconds(std::size_t frequencies, std::size_t points, const PeriodSearchOptions& o);

// The refusal of work estimated at `seconds` over o.maxWork, naming what and the option;
// nothing when it is within.
std::optional<std::string> RefuseWork(const std::string& what, double seconds, const PeriodSearchOptions& o);

// Search star id and write its peaks to path. The failure (the file not written, the
// search refused: too few points, a grid too large, work beyond --max-work) also goes
// to the log; nothing when it is done.
std::optional<std::string> PeriodSearchOneStar(Workspace& ws, long long id, const std::string& path,
                                               const PeriodSearchOptions& o);

// Search every star with enough valid points, several at a time; rows in id order.
// Fails when the whole work is estimated beyond --max-work, when no star could be
// searched, or when the file could not be written.
std::optional<std::string> PeriodSearchAllStars(Workspace& ws, const std::string& path, const PeriodSearchOptions& o);

} // namespace morvik::cli
