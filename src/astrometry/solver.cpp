#include "astrometry/solver.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fitsio.h>
#include <fstream>

#include "astrometry/child_process.hpp"
#include "astrometry/sexagesimal.hpp"
#include "frames/frame_file.hpp"

namespace morvik::astrometry {

namespace {

namespace fs = std::filesystem;

// The Debian packages of the Tycho-2 index series and the field sizes they serve.
struct IndexPackage {
  const char* name;
  double low, high; // arcminutes
};
constexpr IndexPackage kPackages[] = {
    {"astrometry-data-tycho2-07", 22, 30},
    {"astrometry-data-tycho2-08", 30, 44},
    {"astrometry-data-tycho2-09", 44, 60},
    {"astrometry-data-tycho2-10-19", 60, 2000},
};

std::string Fixed(double v, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

// A fresh private folder, removed when this goes out of scope.
class TempFolder {
public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "morvik-solve-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty() && !std::getenv("MORVIK_KEEP_SOLVER_DIR")) fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

private:
  std::string path_;
};

// X, Y (FITS pixel coordinates, from 1) and FLUX, brightest first.
bool WriteStarList(const std::string& path, const std::vector<StarXY>& stars) {
  int status = 0;
  fitsfile* f = nullptr;
  const std::string name = "!" + path;
  fits_create_file(&f, name.c_str(), &status);
  char x[] = "X", y[] = "Y", flux[] = "FLUX", d[] = "D", extname[] = "STARS";
  char* types[] = {x, y, flux};
  char* forms[] = {d, d, d};
  fits_create_tbl(f, BINARY_TBL, 0, 3, types, forms, nullptr, extname, &status);
  std::vector<double> cx, cy, cf;
  for (const StarXY& s : stars) {
    cx.push_back(s.x + 1.0);
    cy.push_back(s.y + 1.0);
    cf.push_back(s.flux);
  }
  const auto n = static_cast<LONGLONG>(stars.size());
  fits_write_col(f, TDOUBLE, 1, 1, 1, n, cx.data(), &status);
  fits_write_col(f, TDOUBLE, 2, 1, 1, n, cy.data(), &status);
  fits_write_col(f, TDOUBLE, 3, 1, 1, n, cf.data(), &status);
  int closeStatus = 0;
  fits_close_file(f, &closeStatus);
  return status == 0 && closeStatus == 0;
}

std::optional<Wcs> ReadWcsFile(const std::string& path) {
  int status = 0;
  fitsfile* f = nullptr;
  if (fits_open_file(&f, path.c_str(), READONLY, &status)) return std::nullopt;
  int count = 0;
  fits_get_hdrspace(f, &count, nullptr, &status);
  std::vector<Card> cards;
  for (int i = 1; i <= count && status == 0; ++i) {
    char key[FLEN_KEYWORD], value[FLEN_VALUE], comment[FLEN_COMMENT];
    if (fits_read_keyn(f, i, key, value, comment, &status)) break;
    cards.push_back({key, value, comment});
  }
  int closeStatus = 0;
  fits_close_file(f, &closeStatus);
  if (status) return std::nullopt;
  return WcsFromCards(cards);
}

std::optional<double> HeaderAngle(const frames::FrameImage& frame, const char* key, bool ra) {
  if (auto n = frame.Number(key)) {
    if (ra && *n >= 0 && *n < 360) return *n;
    if (!ra && std::abs(*n) <= 90) return *n;
    return std::nullopt;
  }
  if (auto s = frame.String(key)) return ra ? ParseRa(*s) : ParseDec(*s);
  return std::nullopt;
}

bool Installed(const std::vector<IndexScale>& installed, double low, double high) {
  for (const IndexScale& i : installed)
    if (i.lowArcmin < high - 0.5 && i.highArcmin > low + 0.5) return true;
  return false;
}

bool TimedOut(const ChildResult& run, const SolveHints& hints) {
  return run.timedOut || (hints.cpuSeconds > 0 && run.cpuSeconds >= 0.9 * hints.cpuSeconds);
}

std::string FailureText(const ChildResult& run, const SolveHints& hints) {
  std::string searched;
  if (hints.scaleLow && hints.scaleHigh)
    searched = " at " + Fixed(*hints.scaleLow, 2) + "-" + Fixed(*hints.scaleHigh, 2) + "\"/px";
  if (hints.centre) searched += " near " + FormatRa(hints.centre->ra) + " " + FormatDec(hints.centre->dec);
  const std::string advice =
      hints.scaleHigh ? " (check the scale: --scale LOW HIGH)" : " (no scale hint: give --scale LOW HIGH)";
  if (TimedOut(run, hints))
    return "time out: no solution" + searched + " within " + Fixed(hints.cpuSeconds, 0) +
           " s of processor time (--solve-time)" + advice;
  return "no match: the stars matched no catalogue pattern" + searched + advice;
}

} // namespace

SolveHints HintsFromHeader(const frames::FrameImage& frame) {
  SolveHints h;
  std::optional<double> scale;
  for (const char* key : {"PIXSCALE", "SECPIX"})
    if (!scale)
      if (auto v = frame.Number(key); v && *v > 0) scale = *v;
  if (!scale)
    if (auto focal = frame.Number("FOCALLEN"); focal && *focal > 0)
      for (const char* key : {"XPIXSZ", "PIXSIZE1"})
        if (!scale)
          if (auto pixel = frame.Number(key); pixel && *pixel > 0)
            scale = 206.264806 * *pixel / *focal; // microns over millimetres
  if (scale) {
    h.scaleLow = *scale * 0.9;
    h.scaleHigh = *scale * 1.1;
  }
  for (auto [rk, dk] : {std::pair{"RA", "DEC"}, std::pair{"OBJCTRA", "OBJCTDEC"}}) {
    if (h.centre) break;
    auto ra = HeaderAngle(frame, rk, true);
    auto dec = HeaderAngle(frame, dk, false);
    if (ra && dec) h.centre = Sky{*ra, *dec};
  }
  return h;
}

std::vector<IndexScale> InstalledIndexes(const std::string& indexDir) {
  std::vector<IndexScale> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(indexDir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("index-", 0) != 0 || entry.path().extension() != ".fits") continue;
    int status = 0;
    fitsfile* f = nullptr;
    if (fits_open_file(&f, entry.path().c_str(), READONLY, &status)) continue;
    double low = 0, high = 0;
    fits_read_key(f, TDOUBLE, "SCALE_L", &low, nullptr, &status);
    fits_read_key(f, TDOUBLE, "SCALE_U", &high, nullptr, &status);
    int closeStatus = 0;
    fits_close_file(f, &closeStatus);
    constexpr double kArcminPerRadian = 10800.0 / 3.14159265358979323846;
    if (status == 0) out.push_back({entry.path().string(), low * kArcminPerRadian, high * kArcminPerRadian});
  }
  std::sort(out.begin(), out.end(), [](const IndexScale& a, const IndexScale& b) { return a.lowArcmin < b.lowArcmin; });
  return out;
}

std::optional<std::string> MissingIndexReason(double fieldArcmin, double narrowArcmin,
                                              const std::vector<IndexScale>& installed) {
  // A pattern of stars must fit inside the frame: the smallest installed quads set the
  // smallest field.
  if (!installed.empty() && fieldArcmin >= installed.front().lowArcmin * 0.999) return std::nullopt;
  std::string text =
      "no index for the field's size: the frame spans " + Fixed(fieldArcmin, 1) + "' x " + Fixed(narrowArcmin, 1) + "'";
  if (installed.empty())
    text += " and no index file is installed";
  else
    text += "; the installed indexes cover fields from " + Fixed(installed.front().lowArcmin, 0) + "' up";
  for (const IndexPackage& p : kPackages)
    if (fieldArcmin >= p.low && fieldArcmin < p.high && !Installed(installed, p.low, p.high))
      return text + "; the package " + p.name + " (" + Fixed(p.low, 0) + "'-" + Fixed(p.high, 0) + "') would cover it";
  return text + "; no Tycho-2 index serves fields under 22' (an index built from a deeper catalogue would)";
}

SolveResult Solve(std::vector<StarXY> stars, int width, int height, const SolveHints& hints, const SolverSetup& setup) {
  SolveResult r;
  r.starsGiven = static_cast<int>(stars.size());
  if (r.starsGiven < kMinStarsToSolve) {
    r.failure = SolveFailure::TooFewStars;
    r.reason = "too few stars: " + std::to_string(r.starsGiven) + " detected, the solver needs at least " +
               std::to_string(kMinStarsToSolve);
    return r;
  }
  if (hints.scaleHigh) {
    const double wide = std::max(width, height) * *hints.scaleHigh / 60.0;
    const double narrow = std::min(width, height) * *hints.scaleHigh / 60.0;
    if (auto missing = MissingIndexReason(wide, narrow, InstalledIndexes(setup.indexDir))) {
      r.failure = SolveFailure::NoIndex;
      r.reason = *missing;
      return r;
    }
  }
  std::stable_sort(stars.begin(), stars.end(), [](const StarXY& a, const StarXY& b) { return a.flux > b.flux; });
  TempFolder temp;
  if (temp.path().empty() || !WriteStarList(temp.path() + "/stars.fits", stars)) {
    r.failure = SolveFailure::SolverMissing;
    r.reason = "the star list for the solver could not be written in " + fs::temp_directory_path().string();
    return r;
  }
  {
    std::ofstream config(temp.path() + "/solver.cfg");
    config << "add_path " << setup.indexDir << "\nautoindex\ncpulimit " << Fixed(hints.cpuSeconds, 0) << "\n";
  }
  std::vector<std::string> argv = {setup.program,
                                   "--overwrite",
                                   "--no-plots",
                                   "--backend-config",
                                   "solver.cfg",
                                   "--dir",
                                   ".",
                                   "--temp-dir",
                                   ".",
                                   "--width",
                                   std::to_string(width),
                                   "--height",
                                   std::to_string(height),
                                   "--x-column",
                                   "X",
                                   "--y-column",
                                   "Y",
                                   "--sort-column",
                                   "FLUX",
                                   "--cpulimit",
                                   Fixed(hints.cpuSeconds, 0),
                                   "--new-fits",
                                   "none",
                                   "--corr",
                                   "none",
                                   "--rdls",
                                   "none",
                                   "--match",
                                   "none",
                                   "--index-xyls",
                                   "none",
                                   "--crpix-center"};
  if (hints.scaleLow && hints.scaleHigh) {
    for (const std::string& a : {std::string("--scale-units"), std::string("arcsecperpix"), std::string("--scale-low"),
                                 Fixed(*hints.scaleLow, 4), std::string("--scale-high"), Fixed(*hints.scaleHigh, 4)})
      argv.push_back(a);
    if (hints.centre) {
      // Twice the field's diagonal around the hinted centre.
      const double radius = 2.0 * std::hypot(width, height) * *hints.scaleHigh / 3600.0;
      for (const std::string& a : {std::string("--ra"), Fixed(hints.centre->ra, 6), std::string("--dec"),
                                   Fixed(hints.centre->dec, 6), std::string("--radius"), Fixed(radius, 4)})
        argv.push_back(a);
    }
  }
  argv.push_back("stars.fits");
  // The solver's own limit is loose (it finishes the index at hand); reading the
  // indexes and the script's start-up come on top of the search; the machine may be
  // shared, so the wall-clock bound is wider still.
  const ChildResult run = RunChild(argv, temp.path(), hints.cpuSeconds + 3.0, 4.0 * hints.cpuSeconds + 30.0);
  r.cpuSeconds = run.cpuSeconds;
  if (!run.started || run.exitCode == 127) {
    r.failure = SolveFailure::SolverMissing;
    r.reason = "the solver " + setup.program + " could not be run (install astrometry.net: scripts/install-deps)";
    return r;
  }
  if (!run.timedOut && fs::exists(temp.path() + "/stars.solved"))
    if (auto wcs = ReadWcsFile(temp.path() + "/stars.wcs")) {
      r.ok = true;
      r.wcs = *wcs;
      r.wcs.width = width;
      r.wcs.height = height;
      return r;
    }
  r.failure = TimedOut(run, hints) ? SolveFailure::TimedOut : SolveFailure::NoMatch;
  r.reason = FailureText(run, hints);
  return r;
}

} // namespace morvik::astrometry
