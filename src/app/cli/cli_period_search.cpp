#include "app/cli/cli_period_search.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "common/format.hpp"
#include "periods/period_fold.hpp"
#include "periods/period_grid.hpp"
#include "periods/period_parallel.hpp"

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

double SearchWorkSeconds(std::size_t frequencies, std::size_t points, const PeriodSearchOptions& o) {
  // Seconds per frequency and point of each method, measured on a two-core computer
  // (1950 points over 18 950 frequencies, and 58 points over 240 frequencies with
  // 2000 rounds), rounded up.
  double perPair = 0;
  for (const std::string& m : o.methods)
    perPair += m == "gls" ? 6e-9 : m == "mhgls" ? 1.2e-8 : m == "lk" ? 1.2e-8 : 4e-8;
  return static_cast<double>(frequencies) * static_cast<double>(points) * perPair *
         (1.0 + static_cast<double>(std::max(0, o.fapRounds)));
}

std::optional<std::string> RefuseWork(const std::string& what, double seconds, const PeriodSearchOptions& o) {
  if (!(seconds > o.maxWork)) return std::nullopt;
  char text[320];
  std::snprintf(text, sizeof text,
                "%s refused: its work is estimated at %.0f s, beyond --max-work %.0f s; narrow --min-period and "
                "--max-period, lower --oversampling or --fap-rounds, or raise --max-work",
                what.c_str(), seconds, o.maxWork);
  return std::string(text);
}

namespace {

// The estimated seconds of one star's search; 0 when its grid cannot be formed (the
// search itself then says why).
double StarWork(const StarSeries& s, const PeriodSearchOptions& o) {
  if (s.t.size() < kMinSearchPoints) return 0;
  try {
    const FrequencyGrid grid = MakeFrequencyGrid(TimeSpan(s.t), SearchSettingsFrom(o).grid);
    return SearchWorkSeconds(grid.count, s.t.size(), o);
  } catch (const std::exception&) {
    return 0;
  }
}

// "stars 12 / 40" on the terminal, rewritten in place; nothing when stderr is no terminal.
class TerminalProgress : public SearchProgress {
public:
  TerminalProgress(std::string what) : what_(std::move(what)), on_(::isatty(STDERR_FILENO) != 0) {}
  ~TerminalProgress() override {
    if (on_ && shown_) std::fputs("\n", stderr);
  }
  void Report(double fraction) override {
    if (!on_) return;
    const int percent = static_cast<int>(100 * fraction);
    if (shown_ && percent == last_) return;
    last_ = percent;
    shown_ = true;
    std::fprintf(stderr, "\r%s: %d %%", what_.c_str(), percent);
    std::fflush(stderr);
  }

private:
  std::string what_;
  bool on_;
  bool shown_ = false;
  int last_ = -1;
};

} // namespace

std::optional<std::string> PeriodSearchOneStar(Workspace& ws, long long id, const std::string& path,
                                               const PeriodSearchOptions& o) {
  if (id < 1 || id > ws.Series.StarCount) {
    ws.log.Add("--period-search star " + std::to_string(id) + " ignored: no such star");
    return std::nullopt;
  }
  const StarSeries s = SeriesOfStar(ws.Series, id);
  const std::string what = "--period-search star " + std::to_string(id);
  // The search runs on every core.
  if (auto refused = RefuseWork(what, StarWork(s, o) / SearchThreads(0), o)) {
    ws.log.Add(*refused);
    return refused;
  }
  PeriodSearchResult r;
  try {
    TerminalProgress progress("period search star " + std::to_string(id));
    r = SearchPeriods(s.t, s.y, s.dy, SearchSettingsFrom(o), &progress);
  } catch (const CommandError& e) {
    ws.log.Add(what + ": " + e.what());
    return what + ": " + e.what();
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
    return "Cannot write " + path;
  }
  return std::nullopt;
}

std::optional<std::string> PeriodSearchAllStars(Workspace& ws, const std::string& path, const PeriodSearchOptions& o) {
  const std::size_t stars = ws.Series.StarCount;
  double work = 0;
  for (std::size_t k = 0; k < stars; ++k)
    work += StarWork(SeriesOfStar(ws.Series, static_cast<long long>(k + 1)), o);
  if (auto refused = RefuseWork("--period-search-all", work / SearchThreads(0), o)) {
    ws.log.Add(*refused);
    return refused;
  }
  std::vector<std::string> rows(stars);
  std::vector<std::string> refusals(stars);
  PeriodSearchSettings settings = SearchSettingsFrom(o);
  settings.threads = 1; // the stars share the cores instead
  TerminalProgress progress("period search of " + std::to_string(stars) + " stars");
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
      nullptr, &progress);
  std::string text = AllStarsHeader();
  std::size_t searched = 0;
  std::string firstRefusal;
  for (std::size_t k = 0; k < stars; ++k) {
    if (!refusals[k].empty()) {
      const std::string line = "--period-search-all star " + std::to_string(k + 1) + ": " + refusals[k];
      ws.log.Add(line);
      if (firstRefusal.empty()) firstRefusal = line;
    }
    if (rows[k].empty()) continue;
    text += rows[k];
    ++searched;
  }
  ws.log.Add("period search: " + std::to_string(searched) + " of " + std::to_string(stars) + " stars searched");
  if (searched == 0) {
    const std::string why = "--period-search-all: no star could be searched";
    return firstRefusal.empty() ? why + " (none has " + std::to_string(kMinSearchPoints) + " valid points)"
                                : why + "; " + firstRefusal;
  }
  if (!WriteFileReplacing(path, text)) {
    ws.log.Add("Cannot write " + path);
    return "Cannot write " + path;
  }
  return std::nullopt;
}

} // namespace morvik::cli
