#include "app/cli/cli_period_search.hpp"

#include <cstdio>
#include <exception>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/format.hpp"
#include "periods/period_fold.hpp"

namespace morvik::cli {

PeriodSearchSettings SearchSettingsFrom(const PeriodSearchOptions& o) {
  PeriodSearchSettings s;
  s.methods.clear();
  for (const std::string& name : o.methods)
    if (auto m = MethodFromName(name)) s.methods.push_back(*m);
  if (o.minPeriod) s.grid.minPeriod = *o.minPeriod;
  if (o.maxPeriod) s.grid.maxPeriod = *o.maxPeriod;
  s.grid.oversampling = o.oversampling;
  s.fapRounds = o.fapRounds;
  s.seed = o.seed;
  s.approximate = o.approximate;
  s.trend = TrendFromName(o.trend).value_or(TrendChoice::Auto);
  return s;
}

namespace {

std::string Num(double v) { return FormatShortest(v); }

} // namespace

std::string AllStarsHeader() {
  return "id,points,period,period_error,power,fap,method,agreeing,methods,second_period,note\n";
}

std::string AllStarsRow(long long id, const PeriodSearchResult& r) {
  const CombinedPeriod& c = r.combined;
  return std::to_string(id) + "," + std::to_string(r.points) + "," + Num(c.period) + "," + Num(c.periodError) + "," +
         Num(c.power) + "," + (c.fapIsBound ? FapText(c.fap, true) : Num(c.fap)) + "," + MethodName(c.method) + "," +
         std::to_string(c.agreeing) + "," + std::to_string(c.methodsRun) + "," + Num(c.secondPeriod) + "," +
         CsvField(c.note) + "\n";
}

bool PeriodSearchOneStar(Workspace& ws, long long id, const std::string& path, const PeriodSearchOptions& o) {
  if (id < 1 || id > ws.Series.StarCount) {
    ws.log.Add("--period-search star " + std::to_string(id) + " ignored: no such star");
    return true;
  }
  const StarSeries s = SeriesOfStar(ws.Series, id);
  PeriodSearchResult r;
  try {
    r = SearchPeriods(s.t, s.y, s.dy, SearchSettingsFrom(o));
  } catch (const CommandError& e) {
    ws.log.Add("--period-search star " + std::to_string(id) + ": " + e.what());
    return false;
  }
  char line[200];
  if (r.combined.found)
    std::snprintf(line, sizeof line, "period search star %lld: %zu points, %zu frequencies, P = %.8g +- %.2g d (%s)",
                  id, r.points, r.grid.count, r.combined.period, r.combined.periodError, MethodName(r.combined.method));
  else
    std::snprintf(line, sizeof line, "period search star %lld: %zu points: %s", id, r.points, r.combined.note.c_str());
  ws.log.Add(line);
  if (!WriteFileReplacing(path, PeakTableCsv(r))) {
    ws.log.Add("Cannot write " + path);
    return false;
  }
  return true;
}

bool PeriodSearchAllStars(Workspace& ws, const std::string& path, const PeriodSearchOptions& o) {
  const std::size_t stars = ws.Series.StarCount;
  std::vector<std::string> rows(stars);
  std::vector<std::string> refusals(stars);
  PeriodSearchSettings settings = SearchSettingsFrom(o);
  settings.threads = 1; // the stars share the cores instead
  ForEachBlock(
      stars, SearchThreads(0),
      [&](std::size_t k) {
        const StarSeries s = SeriesOfStar(ws.Series, static_cast<long long>(k + 1));
        if (s.t.size() < kMinSearchPoints) return;
        try {
          const PeriodSearchResult r = SearchPeriods(s.t, s.y, s.dy, settings);
          if (r.combined.found) rows[k] = AllStarsRow(static_cast<long long>(k + 1), r);
        } catch (const std::exception& e) {
          refusals[k] = e.what();
        }
      },
      nullptr);
  std::string text = AllStarsHeader();
  std::size_t searched = 0;
  for (std::size_t k = 0; k < stars; ++k) {
    if (!refusals[k].empty()) ws.log.Add("--period-search-all star " + std::to_string(k + 1) + ": " + refusals[k]);
    if (rows[k].empty()) continue;
    text += rows[k];
    ++searched;
  }
  ws.log.Add("period search: " + std::to_string(searched) + " of " + std::to_string(stars) + " stars searched");
  if (!WriteFileReplacing(path, text)) {
    ws.log.Add("Cannot write " + path);
    return false;
  }
  return true;
}

} // namespace morvik::cli
