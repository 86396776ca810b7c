#include "reduction/reduce.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "frames/frame_file.hpp"
#include "reduction/calibration.hpp"
#include "reduction/field_output.hpp"
#include "reduction/frame_measure.hpp"
#include "reduction/reduce_measure.hpp"
#include "reduction/reduce_text.hpp"
#include "reduction/saturation.hpp"

namespace morvik::reduction {
namespace {

constexpr std::size_t kMaxStars = 40000;
constexpr int kReferenceSample = 7;
// Stars enough to align a frame: its catalog stars are measured where the alignment
// puts them, so only the reference needs the full detection.
constexpr std::size_t kAlignStars = 400;

struct Context {
  const ReduceSettings& settings;
  Masters masters;
  long width = 0;
  long height = 0;
  std::string binning;
  std::vector<Point> catalog; // reference positions, brightest first
  std::vector<Point> pattern; // the clean ones among them, for aligning
  std::vector<std::size_t> hotPixels;
  double seeing = 0; // the reference's FWHM, pixels
};

// A frame read, calibrated and searched for stars.
struct Prepared {
  FrameReport report;
  std::unique_ptr<FrameMeasurer> measurer;
  std::vector<Detection> stars;  // star-like detections, brightest first
  std::vector<float> calibrated; // kept for the reference frame only
  frames::FrameImage header;     // cards only
};

std::string Binning(const frames::FrameImage& f) {
  for (auto [x, y] : {std::pair{"XBINNING", "YBINNING"}, std::pair{"CCDXBIN", "CCDYBIN"}}) {
    auto bx = f.Number(x), by = f.Number(y);
    if (bx || by) return Number(bx.value_or(1), 0) + "x" + Number(by.value_or(1), 0);
  }
  return "1x1";
}

// Its stars, brightest first, without the hot pixels and cosmic-ray hits (sharper than
// any star) and with the pieces of one star (a defocused ring) made one; the frame's
// FWHM from the stars' second moments.
void TakeStars(Prepared& p, const std::vector<Detection>& all) {
  const double halfLight = FrameMeasurer::Fwhm(all);
  p.stars.clear();
  for (const Detection& d : all)
    if (d.radius == 0 || d.radius >= 0.35 * halfLight) p.stars.push_back(d);
  p.report.fwhm = p.measurer->SeeingFwhm(p.stars);
  p.stars = MergeSameStar(p.stars, std::max(1.0, p.report.fwhm));
}

// The saturation level: --saturation, else SATURATE, else the camera's ceiling read
// from the raw pixels; times the linear fraction.
Ceiling SaturationOf(const ReduceSettings& s, const frames::FrameImage& f) {
  Ceiling c;
  if (s.saturation) {
    c = {*s.saturation, "--saturation"};
  } else if (auto card = f.Number("SATURATE")) {
    c = {*card, "SATURATE"};
  } else {
    c = FindCeiling(f.pixels, f.width, f.height, f.bitpix, f.Number("BZERO").value_or(0.0),
                    f.Number("BSCALE").value_or(1.0));
  }
  if (c.level > 0) c.level *= s.linearity;
  return c;
}

// The raw pixels at or above the level.
std::vector<std::size_t> SaturatedPixels(const std::vector<float>& pixels, double level) {
  std::vector<std::size_t> out;
  if (!(level > 0)) return out;
  for (std::size_t i = 0; i < pixels.size(); ++i)
    if (static_cast<double>(pixels[i]) >= level) out.push_back(i);
  return out;
}

// Searched only for its brightest stars, which align it; keepPixels: a reference
// candidate, its calibrated pixels kept.
Prepared Prepare(const std::string& path, const Context& ctx, bool keepPixels) {
  const ReduceSettings& s = ctx.settings;
  Prepared p;
  p.report.file = path;
  frames::FrameImage f;
  try {
    f = frames::ReadFrame(path);
  } catch (const CommandError& e) {
    p.report.reason = std::string("unreadable: ") + e.what();
    return p;
  }
  // Its stars in the lost part would pass for unmeasured ones.
  if (f.missing > 0) {
    p.report.reason = "cut short: the file ends " + std::to_string(f.missing) + " pixels before its data does";
    return p;
  }
  if (ctx.width > 0 && (f.width != ctx.width || f.height != ctx.height)) {
    p.report.reason = "size " + std::to_string(f.width) + " x " + std::to_string(f.height) +
                      " differs from the reference's " + std::to_string(ctx.width) + " x " + std::to_string(ctx.height);
    return p;
  }
  if (!ctx.binning.empty() && Binning(f) != ctx.binning) {
    p.report.reason = "binning " + Binning(f) + " differs from the reference's " + ctx.binning;
    return p;
  }
  const TimeResult time = ReadFrameTime(f, s.time);
  if (!time.time) {
    p.report.reason = time.error;
    return p;
  }
  p.report.jd = time.time->jdMid;
  p.report.exposure = time.time->exposure;
  p.report.timeSource = time.time->source;
  p.report.timeWarning = time.time->warning;
  double gain = s.gain.value_or(0);
  if (!s.gain) gain = f.Number("GAIN").value_or(f.Number("EGAIN").value_or(0.0));
  p.report.gainAssumed = !(gain > 0);
  if (!(gain > 0)) gain = 1.0;
  p.report.gain = gain;
  p.report.readNoise = f.Number("RDNOISE").value_or(f.Number("READNOIS").value_or(0.0));
  const Ceiling ceiling = SaturationOf(s, f);
  p.report.saturation = ceiling.level;
  p.report.saturationSource = ceiling.source;

  std::vector<float> pixels = std::move(f.pixels);
  const std::vector<std::size_t> saturated = SaturatedPixels(pixels, ceiling.level);
  MaskZeroBorder(pixels, f.width, f.height);
  if (std::string error = Calibrate(ctx.masters, pixels, f.width, f.height, p.report.exposure); !error.empty()) {
    p.report.reason = error;
    return p;
  }
  // The written reference shows saturated cores as the camera took them; the measuring
  // takes them as missing.
  if (keepPixels) p.calibrated = pixels;
  for (std::size_t i : saturated)
    pixels[i] = NAN;
  p.measurer = std::make_unique<FrameMeasurer>(std::move(pixels), f.width, f.height, gain, 0.0, ctx.hotPixels,
                                               saturated, s.cosmic);
  p.report.cosmic = static_cast<int>(p.measurer->Repaired().size());
  if (!p.measurer->Ok()) {
    p.report.reason = "no background could be measured";
    p.measurer.reset();
    return p;
  }
  TakeStars(p, p.measurer->DetectPeaks(s.detectSigma, kAlignStars, &p.report.detected));
  p.report.sky = p.measurer->Sky();
  f.pixels.clear();
  p.header = std::move(f);
  return p;
}

// Calls job(0 .. count-1) on `threads` threads, each taking the next index when done;
// the first exception thrown stops the others and is thrown again here.
template <typename Job> void ForEach(std::size_t count, int threads, const std::atomic<bool>& cancel, Job job) {
  std::atomic<std::size_t> next{0};
  std::exception_ptr failure;
  std::mutex failureLock;
  auto work = [&] {
    for (;;) {
      if (cancel.load()) return;
      const std::size_t i = next.fetch_add(1);
      if (i >= count) return;
      try {
        job(i);
      } catch (...) {
        std::lock_guard<std::mutex> guard(failureLock);
        if (!failure) failure = std::current_exception();
        next = count;
        return;
      }
    }
  };
  std::vector<std::thread> pool;
  const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(std::clamp(threads, 1, 16)), count));
  for (int t = 1; t < n; ++t)
    pool.emplace_back(work);
  work();
  for (auto& t : pool)
    t.join();
  if (failure) std::rethrow_exception(failure);
}

std::vector<Point> Positions(const std::vector<Detection>& stars) {
  std::vector<Point> out;
  out.reserve(stars.size());
  for (const Detection& d : stars)
    out.push_back(d.at);
  return out;
}

// The reference's stars that align frames: those the quick search of every other frame
// can find, without a missing or saturated pixel near their centre. A saturated core is
// masked, and the centre found around it moves from frame to frame with the noise, so
// the brightest stars of a real camera would make no common pattern. All of them when
// too few are left.
std::vector<Point> PatternPositions(const std::vector<Point>& catalog, const FrameMeasurer& reference) {
  std::vector<Point> out;
  for (const Point& at : catalog)
    if (!reference.MaskedNear(at)) out.push_back(at);
  return out.size() >= 8 ? out : catalog;
}

struct Outcome {
  FrameReport report;
  StarRows row;
};

// The aperture used where a star's light curve cannot choose: 1.5 x FWHM when measured.
std::size_t FallbackAperture(const ReduceSettings& s) {
  if (s.aperture) return 0;
  const auto& f = s.apertureFactors;
  const auto it = std::find(f.begin(), f.end(), 1.5);
  return it != f.end() ? static_cast<std::size_t>(it - f.begin()) : f.size() / 2;
}

// The frame aligned to the catalog. The tolerance comes from the reference's seeing
// (a defocused frame's own FWHM would let chance pairs in among a dense reference),
// and the match must be significant over the frame's area.
MatchResult Align(const Context& ctx, const Prepared& p) {
  MatchOptions mo;
  mo.tolerance = std::clamp(0.5 * ctx.seeing, 1.5, 4.0);
  mo.area = static_cast<double>(ctx.width) * static_cast<double>(ctx.height);
  return MatchStars(ctx.pattern, Positions(p.stars), mo);
}

// `ready`: the frame as the reference sample prepared it, if kept.
Outcome Process(const std::string& path, const Context& ctx, Prepared ready) {
  Outcome out;
  // The sample was prepared before the reference's size and binning were known.
  if (ready.measurer && (ready.measurer->Width() != ctx.width || ready.measurer->Height() != ctx.height ||
                         Binning(ready.header) != ctx.binning))
    ready = {};
  Prepared p = ready.measurer ? std::move(ready) : Prepare(path, ctx, false);
  out.report = p.report;
  if (!p.measurer) return out;
  FrameReport& r = out.report;
  const MatchResult match = Align(ctx, p);
  if (!match.ok) {
    r.reason = "not aligned: " + match.error;
    return out;
  }
  r.transform = match.transform;
  r.matched = static_cast<int>(match.pairs.size());
  r.rms = match.rms;
  const ApertureSet set = AperturesFor(ctx.settings, r.fwhm);
  r.radii = set.radii;
  r.aperture = set.radii[FallbackAperture(ctx.settings)];
  r.hot = static_cast<int>(ctx.hotPixels.size());
  const double exposure = r.exposure > 0 ? r.exposure : 1.0;
  std::vector<Point> at(ctx.catalog.size());
  for (std::size_t i = 0; i < ctx.catalog.size(); ++i)
    at[i] = match.transform.Apply(ctx.catalog[i]);
  out.row = MeasureStars(*p.measurer, at, set, r.fwhm, exposure, ctx.settings.zeroPoint, ctx.settings.minSnr);
  r.used = true;
  return out;
}

// The reference: the given frame, or the one with the most stars among a sample,
// taken from the frames of the sample's most common size and binning (one odd frame
// must not decide the field for the others). The sample frames stay prepared for the
// measuring (`kept`, by path) while they hold no more than kKeptPixels pixels in all;
// the hot pixels found are masked on them afterwards.
constexpr std::size_t kKeptPixels = 40'000'000;

std::vector<std::string> ReferenceCandidates(const ReduceSettings& s) {
  std::vector<std::string> candidates;
  if (!s.reference.empty()) return {s.reference};
  const std::size_t n = s.frames.size();
  const std::size_t take = std::min<std::size_t>(n, kReferenceSample);
  for (std::size_t k = 0; k < take; ++k)
    candidates.push_back(s.frames[take > 1 ? k * (n - 1) / (take - 1) : 0]);
  candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
  return candidates;
}

std::string SizeKey(const Prepared& p) {
  return std::to_string(p.measurer->Width()) + "x" + std::to_string(p.measurer->Height()) + "/" + Binning(p.header);
}

// The index of the sample's reference among the prepared frames (-1: none): the most
// detections among the frames of the most common size; ties go to the earlier frame.
int PickReference(const std::vector<Prepared>& sample) {
  std::unordered_map<std::string, int> frames;
  for (const Prepared& p : sample)
    if (p.measurer) ++frames[SizeKey(p)];
  int best = -1;
  for (int k = 0; k < static_cast<int>(sample.size()); ++k) {
    const Prepared& p = sample[static_cast<std::size_t>(k)];
    if (!p.measurer) continue;
    if (best < 0) {
      best = k;
      continue;
    }
    const Prepared& b = sample[static_cast<std::size_t>(best)];
    const int pf = frames[SizeKey(p)], bf = frames[SizeKey(b)];
    if (pf > bf || (pf == bf && p.report.detected > b.report.detected)) best = k;
  }
  return best;
}

Prepared ChooseReference(Context& ctx, const std::atomic<bool>& cancel, std::string& error,
                         std::unordered_map<std::string, Prepared>& kept) {
  const ReduceSettings& s = ctx.settings;
  const std::vector<std::string> candidates = ReferenceCandidates(s);
  std::vector<Prepared> sample(candidates.size());
  ForEach(candidates.size(), s.threads, cancel,
          [&](std::size_t k) { sample[k] = Prepare(candidates[k], ctx, candidates.size() == 1); });
  if (cancel.load()) return {};
  const int chosen = PickReference(sample);
  if (chosen < 0) {
    error = s.reference.empty() ? "No frame of the sample could serve as the reference:"
                                : "The reference frame " + NameOf(s.reference) + " cannot be used:";
    for (const Prepared& p : sample)
      error += (s.reference.empty() ? "\n  " + NameOf(p.report.file) + ": " : " ") + p.report.reason;
    return {};
  }
  Prepared best = std::move(sample[static_cast<std::size_t>(chosen)]);
  // Its calibrated pixels go into the field; a sample of several kept none.
  if (best.calibrated.empty()) best = Prepare(best.report.file, ctx, true);
  if (!best.measurer) {
    error = "The reference frame " + NameOf(best.report.file) + " cannot be used: " + best.report.reason;
    return {};
  }
  // Pixels repaired as sharp on most frames of the reference's size are the sensor's
  // hot pixels.
  std::unordered_map<std::size_t, int> sharp;
  int sampled = 0;
  std::size_t keptPixels = 0;
  const std::string size = SizeKey(best);
  for (Prepared& p : sample) {
    if (!p.measurer || SizeKey(p) != size) continue;
    ++sampled;
    for (std::size_t i : p.measurer->Repaired())
      ++sharp[i];
    const auto pixels = static_cast<std::size_t>(p.measurer->Width() * p.measurer->Height());
    if (keptPixels + pixels > kKeptPixels) continue;
    keptPixels += pixels;
    std::string path = p.report.file;
    kept[path] = std::move(p);
  }
  for (std::size_t i : best.measurer->Repaired())
    ++sharp[i];
  ++sampled;
  // Only the reference is searched in full: its stars are the catalog. Its quick
  // search stays for its own measuring.
  Prepared quick;
  quick.report = best.report;
  quick.stars = best.stars;
  quick.header = best.header;
  std::vector<Detection> all = best.measurer->Detect(s.detectSigma);
  best.report.detected = static_cast<int>(all.size());
  TakeStars(best, all);
  kept[best.report.file] = std::move(quick); // the measurer follows once the catalog is built
  if (sampled >= 3)
    for (auto [i, count] : sharp)
      if (2 * count > sampled) ctx.hotPixels.push_back(i);
  std::sort(ctx.hotPixels.begin(), ctx.hotPixels.end());
  for (auto& [path, p] : kept)
    if (p.measurer) p.measurer->MaskHotPixels(ctx.hotPixels);
  return best;
}

// The reference's stars for the plate solver, found with saturated cores whole: the
// measuring masks them, and a centre found around such a hole is pixels off, which
// bends a solution fitted to it. The reference's own list when the frame cannot be
// read again.
std::vector<Detection> StarsForSolving(const Context& ctx, const Prepared& ref) {
  if (!ctx.settings.sky.solve) return {};
  frames::FrameImage f;
  try {
    f = frames::ReadFrame(ref.report.file);
  } catch (const CommandError&) {
    return ref.stars;
  }
  std::vector<float> pixels = std::move(f.pixels);
  MaskZeroBorder(pixels, f.width, f.height);
  double exposure = ref.report.exposure;
  if (!Calibrate(ctx.masters, pixels, f.width, f.height, exposure).empty()) return ref.stars;
  FrameMeasurer whole(std::move(pixels), f.width, f.height, ref.report.gain, 0.0, ctx.hotPixels, {}, false);
  if (!whole.Ok()) return ref.stars;
  return whole.Detect(ctx.settings.detectSigma);
}

// The catalog: the reference's stars, brightest first.
void BuildCatalog(Context& ctx, const Prepared& ref) {
  for (const Detection& d : ref.stars) {
    if (ctx.catalog.size() >= kMaxStars) break;
    ctx.catalog.push_back(d.at);
  }
  ctx.pattern = PatternPositions(ctx.catalog, *ref.measurer);
}

// Each star's aperture chosen from its light curves; the table written with it, the
// frames' counts of measured stars and the stars' reports filled in.
std::string ChooseAndTabulate(const Context& ctx, double referenceFwhm, std::vector<Outcome>& outcomes,
                              const std::vector<std::size_t>& rows, ReduceResult& result) {
  const ReduceSettings& s = ctx.settings;
  std::vector<const StarRows*> used;
  for (std::size_t i : rows)
    used.push_back(&outcomes[i].row);
  const std::vector<int> chosen = ChooseApertures(used, FallbackAperture(s));
  result.starReports = SummariseStars(used, chosen, ctx.catalog, AperturesFor(s, referenceFwhm).radii);
  result.apertureFactors = s.aperture ? std::vector<double>{*s.aperture} : s.apertureFactors;
  const auto& factors = result.apertureFactors;
  const auto widest = static_cast<std::size_t>(std::max_element(factors.begin(), factors.end()) - factors.begin());
  TableWriter table(ctx.catalog.size(), s.system);
  std::vector<float> mag(ctx.catalog.size()), err(ctx.catalog.size());
  for (std::size_t i : rows) {
    Outcome& o = outcomes[i];
    o.report.measured = 0;
    const std::vector<double> correction = ApertureCorrections(o.row, widest);
    for (std::size_t k = 0; k < ctx.catalog.size(); ++k) {
      const auto a = static_cast<std::size_t>(chosen[k]);
      const std::size_t j = a * o.row.stars + k;
      mag[k] = static_cast<float>(static_cast<double>(o.row.mag[j]) - correction[a]);
      err[k] = o.row.err[j];
      if (std::isfinite(mag[k])) ++o.report.measured;
    }
    table.Add(o.report.jd, mag, err);
  }
  for (std::size_t i : rows)
    result.frames[i].measured = outcomes[i].report.measured;
  return table.Text();
}

} // namespace

ReduceResult Reduce(const ReduceSettings& s, const ReduceProgress& progress, const std::atomic<bool>& cancel) {
  ReduceResult result;
  if (s.frames.size() < 2) {
    result.error = "At least two frames are needed.";
    return result;
  }
  if (result.error = CheckOutputFolder(s.out); !result.error.empty()) return result;
  Context ctx{s, {}, 0, 0, {}, {}, {}, {}};
  try {
    ctx.masters = LoadMasters(s.bias, s.dark, s.flat);
    if (!s.dark.empty()) result.darkNote = DarkNote(ctx.masters);
  } catch (const CommandError& e) {
    result.error = e.what();
    return result;
  }
  std::unordered_map<std::string, Prepared> kept;
  Prepared ref = ChooseReference(ctx, cancel, result.error, kept);
  if (cancel.load()) {
    result.cancelled = true;
    result.error = "The reduction was cancelled; nothing was written.";
    return result;
  }
  if (!ref.measurer) return result;
  result.reference = ref.report.file;
  ctx.width = ref.measurer->Width();
  ctx.height = ref.measurer->Height();
  ctx.binning = Binning(ref.header);
  ctx.seeing = ref.report.fwhm;
  BuildCatalog(ctx, ref);
  result.sky = SolveReference(s.sky, ref.header, StarsForSolving(ctx, ref), ctx.width, ctx.height, ref.stars);
  // Its pixels are measured again with the others.
  if (auto it = kept.find(ref.report.file); it != kept.end()) {
    it->second.measurer = std::move(ref.measurer);
    it->second.measurer->MaskHotPixels(ctx.hotPixels);
  }
  ref.measurer.reset();
  if (ctx.catalog.size() < 3) {
    result.error = "The reference frame " + NameOf(ref.report.file) + " shows fewer than three stars.";
    return result;
  }
  double ra = 0, dec = 0;
  if (s.system != TimeSystem::Utc) {
    auto r = s.ra, d = s.dec;
    for (auto [rk, dk] : {std::pair{"RA", "DEC"}, std::pair{"OBJCTRA", "OBJCTDEC"}}) {
      if (!r)
        if (auto t = ref.header.String(rk)) r = ParseRightAscension(*t);
      if (!d)
        if (auto t = ref.header.String(dk)) d = ParseDeclination(*t);
    }
    if (!r || !d) {
      result.error = "HJD and BJD need the target's position: give --ra and --dec (the reference has no RA/DEC).";
      return result;
    }
    ra = result.ra = *r;
    dec = result.dec = *d;
  }

  // Every frame on the worker threads, each holding one frame at a time.
  const int total = static_cast<int>(s.frames.size());
  std::vector<Outcome> outcomes(s.frames.size());
  int done = 0;
  std::mutex lock;
  ForEach(s.frames.size(), s.threads, cancel, [&](std::size_t i) {
    Outcome o;
    try {
      Prepared ready;
      {
        std::lock_guard<std::mutex> guard(lock);
        if (auto it = kept.find(s.frames[i]); it != kept.end()) {
          ready = std::move(it->second);
          kept.erase(it);
        }
      }
      o = Process(s.frames[i], ctx, std::move(ready));
    } catch (const std::exception& e) {
      o.report.file = s.frames[i];
      o.report.reason = std::string("failed: ") + e.what();
    }
    outcomes[i] = std::move(o);
    std::lock_guard<std::mutex> guard(lock);
    ++done;
    if (progress) progress(done, total);
  });
  if (cancel.load()) {
    result.cancelled = true;
    result.error = "The reduction was cancelled; nothing was written.";
    return result;
  }

  // Rows by time; a frame taken at the time of an earlier one is left out.
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    FrameReport& r = outcomes[i].report;
    if (!r.used) continue;
    r.jd = CorrectTime(r.jd, s.system, ra, dec);
    order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return outcomes[a].report.jd < outcomes[b].report.jd; });
  std::vector<std::size_t> rows;
  for (std::size_t i : order) {
    if (!rows.empty() && std::abs(outcomes[i].report.jd - outcomes[rows.back()].report.jd) < 5e-8) {
      outcomes[i].report.used = false;
      outcomes[i].report.reason = "duplicate time: the same as " + NameOf(outcomes[rows.back()].report.file);
      continue;
    }
    rows.push_back(i);
  }
  for (auto& o : outcomes)
    result.frames.push_back(o.report);
  result.stars = static_cast<int>(ctx.catalog.size());
  result.rows = static_cast<int>(rows.size());
  if (rows.size() < 2) {
    result.error = "Fewer than two frames could be reduced (" + std::to_string(rows.size()) + " of " +
                   std::to_string(total) + "); see the reasons above.";
    return result;
  }

  std::error_code ec;
  const std::string folder = FolderOf(s.out);
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  FieldFiles files;
  files.table = ChooseAndTabulate(ctx, ref.report.fwhm, outcomes, rows, result);
  // Catalog magnitudes: the reference's own measurement, else its detection flux.
  std::vector<double> catalogMag(ctx.catalog.size());
  const double refExposure = ref.report.exposure > 0 ? ref.report.exposure : 1.0;
  for (std::size_t k = 0; k < ctx.catalog.size(); ++k)
    catalogMag[k] = s.zeroPoint - 2.5 * std::log10(ref.stars[k].flux / refExposure);
  std::vector<std::string> flags;
  for (const StarReport& star : result.starReports)
    flags.push_back(star.flags);
  files.catalog = CatalogText(ctx.catalog, catalogMag, CatalogSky(result.sky, ctx.catalog), flags);
  files.records = WcsRecords(result.sky);
  files.report = ReportText(s, result);
  files.pixels = std::move(ref.calibrated);
  files.width = ctx.width;
  files.height = ctx.height;
  for (const char* key : {"OBJECT", "DATE-OBS", "TIME-OBS", "FILTER", "TELESCOP", "INSTRUME"})
    if (auto v = ref.header.String(key)) files.textCards.emplace_back(key, *v);
  if (ref.report.exposure > 0) files.numberCards.emplace_back("EXPTIME", ref.report.exposure);
  files.numberCards.emplace_back("JD-MID", ref.report.jd);
  if (!WriteField(s.out, files, result.written, result.error)) return result;
  result.ok = true;
  return result;
}

} // namespace morvik::reduction
