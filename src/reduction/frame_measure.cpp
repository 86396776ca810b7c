#include "reduction/frame_measure.hpp"

#include "reduction/cosmic.hpp"
#include "reduction/fwhm.hpp"

extern "C" {
#include <sep.h>
}

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <numbers>
#include <unordered_map>

namespace morvik::reduction {
namespace {

constexpr std::uint8_t kBad = pixel::kBad;
constexpr std::uint8_t kHot = pixel::kHot;
constexpr std::size_t kRadiusCount = 60;
constexpr std::size_t kWindowedCount = 200;

sep_image Image(const float* data, const std::uint8_t* mask, long w, long h, double noise, double gain) {
  sep_image im{};
  im.data = data;
  im.mask = mask;
  im.dtype = SEP_TFLOAT;
  im.mdtype = SEP_TBYTE;
  im.w = static_cast<int>(w);
  im.h = static_cast<int>(h);
  im.noiseval = noise;
  im.noise_type = noise > 0 ? SEP_NOISE_STDDEV : SEP_NOISE_NONE;
  im.gain = gain;
  im.maskthresh = 0.0;
  return im;
}

// Reorders v.
template <typename T> double Median(std::vector<T>& v) {
  if (v.empty()) return 0;
  auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

} // namespace

const char* LossName(Loss loss) {
  switch (loss) {
  case Loss::Edge:
    return "edge";
  case Loss::Saturated:
    return "saturated";
  case Loss::Masked:
    return "masked pixel";
  case Loss::Sky:
    return "no sky";
  case Loss::NoFlux:
    return "no flux";
  case Loss::None:
    break;
  }
  return "";
}

std::vector<Detection> MergeSameStar(const std::vector<Detection>& stars, double radius) {
  std::vector<Detection> out;
  out.reserve(stars.size());
  // Kept stars on a grid of cells one radius wide: only the 3 x 3 cells around need a look.
  std::unordered_map<long long, std::vector<std::size_t>> grid;
  const double cell = std::max(radius, 1.0);
  auto key = [cell](long cx, long cy) {
    return (static_cast<long long>(cx) << 32) ^ static_cast<long long>(cy & 0xffffffff);
  };
  for (const Detection& d : stars) {
    const long cx = static_cast<long>(std::floor(d.at.x / cell)), cy = static_cast<long>(std::floor(d.at.y / cell));
    Detection* same = nullptr;
    for (long dy = -1; dy <= 1 && same == nullptr; ++dy)
      for (long dx = -1; dx <= 1 && same == nullptr; ++dx)
        if (auto it = grid.find(key(cx + dx, cy + dy)); it != grid.end())
          for (std::size_t k : it->second)
            if (std::hypot(out[k].at.x - d.at.x, out[k].at.y - d.at.y) < radius) {
              same = &out[k];
              break;
            }
    if (same != nullptr) {
      same->flux += d.flux;
      continue;
    }
    grid[key(cx, cy)].push_back(out.size());
    out.push_back(d);
  }
  return out;
}

FrameMeasurer::FrameMeasurer(std::vector<float> pixels, long width, long height, double gain, double saturation,
                             const std::vector<std::size_t>& hotPixels, const std::vector<std::size_t>& saturatedPixels,
                             bool cosmic)
    : width_(width), height_(height), gain_(gain), data_(std::move(pixels)),
      mask_(static_cast<std::size_t>(width * height), 0) {
  std::vector<std::size_t> masked;
  // NaN and the infinities fail the first test. Blocks without such a pixel are
  // passed over after one quick look.
  auto bad = [saturation](float v) {
    return !(std::abs(v) <= std::numeric_limits<float>::max()) ||
           (saturation > 0 && static_cast<double>(v) >= saturation);
  };
  auto flagOf = [saturation](float v) {
    return saturation > 0 && static_cast<double>(v) >= saturation ? pixel::kSaturated : pixel::kBad;
  };
  constexpr std::size_t kBlock = 4096;
  for (std::size_t start = 0; start < data_.size(); start += kBlock) {
    const std::size_t stop = std::min(data_.size(), start + kBlock);
    if (saturation <= 0) {
      bool any = false;
      for (std::size_t i = start; i < stop; ++i)
        any |= !(std::abs(data_[i]) <= std::numeric_limits<float>::max());
      if (!any) continue;
    }
    for (std::size_t i = start; i < stop; ++i)
      if (bad(data_[i])) {
        mask_[i] = flagOf(data_[i]);
        data_[i] = 0.0f;
        masked.push_back(i);
      }
  }
  for (std::size_t i : saturatedPixels)
    if (i < mask_.size()) {
      mask_[i] = pixel::kSaturated;
      data_[i] = 0.0f;
      masked.push_back(i);
    }
  for (std::size_t i : hotPixels)
    if (i < mask_.size() && mask_[i] == 0) {
      mask_[i] = kHot;
      masked.push_back(i);
    }
  // Missing pixels read as 0 would pull the background down; they are masked, and
  // saturated ones keep nothing of their value either.
  sep_bkg* bkg = nullptr;
  if (std::min(width_, height_) >= 256) {
    // Meshes of 64 x 64 pixels. Their statistics come from every other pixel of every
    // other row: a quarter of the work, the same meshes, the same noise per pixel.
    const long w = (width_ + 1) / 2, h = (height_ + 1) / 2;
    thread_local std::vector<float> sample;
    thread_local std::vector<std::uint8_t> sampleMask;
    sample.resize(static_cast<std::size_t>(w * h));
    sampleMask.resize(sample.size());
    for (long y = 0; y < h; ++y)
      for (long x = 0; x < w; ++x) {
        const std::size_t from = static_cast<std::size_t>(2 * y * width_ + 2 * x);
        sample[static_cast<std::size_t>(y * w + x)] = data_[from];
        sampleMask[static_cast<std::size_t>(y * w + x)] = mask_[from];
      }
    const sep_image im = Image(sample.data(), sampleMask.data(), w, h, 0, 0);
    if (sep_background(&im, 32, 32, 3, 3, 0.0, &bkg) != 0) return;
    // The same meshes laid over the whole frame.
    bkg->w = static_cast<int>(width_);
    bkg->h = static_cast<int>(height_);
    bkg->bw = 64;
    bkg->bh = 64;
  } else {
    const sep_image im = Image(data_.data(), mask_.data(), width_, height_, 0, 0);
    const int box = static_cast<int>(std::clamp(std::min(width_, height_) / 4, 16L, 64L));
    if (sep_background(&im, box, box, 3, 3, 0.0, &bkg) != 0) return;
  }
  sky_ = sep_bkg_global(bkg);
  skyRms_ = sep_bkg_globalrms(bkg);
  ok_ = sep_bkg_subarray(bkg, data_.data(), SEP_TFLOAT) == 0;
  sep_bkg_free(bkg);
  for (std::size_t i : masked)
    data_[i] = 0.0f;
  if (ok_ && cosmic) repaired_ = RepairCosmicRays(data_, mask_, width_, height_, skyRms_, gain_);
}

void FrameMeasurer::MaskHotPixels(const std::vector<std::size_t>& hotPixels) {
  for (std::size_t i : hotPixels)
    if (i < mask_.size() && mask_[i] == 0) {
      mask_[i] = kHot;
      data_[i] = 0.0f;
    }
}

std::vector<Detection> FrameMeasurer::Detect(double thresholdSigma) const {
  std::vector<Detection> out;
  if (!ok_ || skyRms_ <= 0) return out;
  // Room for the pixels of the objects of a crowded frame (set
  // once: the setting is global to SEP).
  static std::once_flag pixelStack;
  std::call_once(pixelStack, [] { sep_set_extract_pixstack(1'000'000); });
  const sep_image im = Image(data_.data(), mask_.data(), width_, height_, skyRms_, gain_);
  static const float kernel[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
  sep_catalog* cat = nullptr;
  if (sep_extract(&im, static_cast<float>(thresholdSigma), SEP_THRESH_REL, 5, kernel, 3, 3, SEP_FILTER_CONV, 32, 0.005,
                  1, 1.0, &cat) != 0) {
    if (cat != nullptr) sep_catalog_free(cat);
    return out;
  }
  std::vector<Candidate> found;
  found.reserve(static_cast<std::size_t>(cat->nobj));
  for (int i = 0; i < cat->nobj; ++i) {
    // Hot pixels and most cosmic-ray hits light fewer pixels than any star.
    if (cat->flux[i] <= 0 || cat->tnpix[i] < 5) continue;
    Candidate f;
    f.d.at = {cat->x[i], cat->y[i]};
    f.d.flux = cat->flux[i];
    f.d.clean = (cat->flag[i] & (SEP_OBJ_TRUNC | SEP_OBJ_MERGED)) == 0;
    f.a = cat->a[i];
    found.push_back(f);
  }
  sep_catalog_free(cat);
  return Refine(found);
}

bool FrameMeasurer::MaskedNear(Point at) const {
  const long cx = std::lround(at.x), cy = std::lround(at.y);
  for (long y = std::max(0L, cy - 3); y <= std::min(height_ - 1, cy + 3); ++y)
    for (long x = std::max(0L, cx - 3); x <= std::min(width_ - 1, cx + 3); ++x)
      if ((mask_[static_cast<std::size_t>(y * width_ + x)] & (kBad | pixel::kSaturated)) != 0) return true;
  return false;
}

std::vector<Detection> FrameMeasurer::DetectPeaks(double thresholdSigma, std::size_t keep, int* found) const {
  if (found != nullptr) *found = 0;
  if (!ok_ || skyRms_ <= 0 || width_ < 7 || height_ < 7) return {};
  const float threshold = static_cast<float>(thresholdSigma * skyRms_);
  std::vector<Candidate> peaks;
  for (long y = 3; y + 3 < height_; ++y) {
    const float* row = data_.data() + y * width_;
    for (long x = 3; x + 3 < width_; ++x) {
      const float v = row[x];
      if (v <= threshold) continue;
      // A peak stands above the pixels before it and no lower than those after it (a
      // plateau counts once), and lights at least five of its 3 x 3 pixels.
      const float* up = row - width_;
      const float* down = row + width_;
      if (!(v > up[x - 1] && v > up[x] && v > up[x + 1] && v > row[x - 1] && v >= row[x + 1] && v >= down[x - 1] &&
            v >= down[x] && v >= down[x + 1]))
        continue;
      int lit = 0;
      for (long dy = -1; dy <= 1; ++dy)
        for (long dx = -1; dx <= 1; ++dx)
          lit += row[dy * width_ + x + dx] > threshold ? 1 : 0;
      if (lit < 5) continue;
      // Nor does anything brighter stand two pixels off: the noise on a trailed or
      // broad star makes no second peak.
      bool highest = true;
      for (long dy = -2; dy <= 2 && highest; ++dy)
        for (long dx = -2; dx <= 2; ++dx)
          if ((std::abs(dx) == 2 || std::abs(dy) == 2) && row[dy * width_ + x + dx] > v) {
            highest = false;
            break;
          }
      if (!highest) continue;
      // Flux in the 5 x 5 box; half-maximum area (7 x 7) for the size; barycentre of
      // the 3 x 3 core; no masked pixel in the 7 x 7 box.
      Candidate c;
      double flux = 0, sx = 0, sy = 0, core = 0;
      int halfArea = 0;
      for (long dy = -3; dy <= 3; ++dy)
        for (long dx = -3; dx <= 3; ++dx) {
          const std::size_t i = static_cast<std::size_t>((y + dy) * width_ + x + dx);
          const float u = data_[i];
          if (u >= 0.5f * v) ++halfArea;
          if ((mask_[i] & (kBad | pixel::kSaturated)) != 0) c.d.clean = false;
          if (std::abs(dx) > 2 || std::abs(dy) > 2) continue;
          flux += static_cast<double>(u);
          if (std::abs(dx) <= 1 && std::abs(dy) <= 1 && u > 0) {
            core += static_cast<double>(u);
            sx += static_cast<double>(u) * static_cast<double>(dx);
            sy += static_cast<double>(u) * static_cast<double>(dy);
          }
        }
      // Saturated cores are masked: the peaks around them would only mislead.
      if (flux <= 0 || !c.d.clean) continue;
      c.d.at = {static_cast<double>(x) + sx / core, static_cast<double>(y) + sy / core};
      c.d.flux = flux;
      // The half-maximum area of a Gaussian is pi (FWHM / 2)^2, and sigma = FWHM / 2.3548.
      c.a = 2.0 * std::sqrt(static_cast<double>(halfArea) / std::numbers::pi) / 2.3548;
      peaks.push_back(c);
    }
  }
  if (found != nullptr) *found = static_cast<int>(peaks.size());
  if (peaks.size() > keep) {
    std::nth_element(peaks.begin(), peaks.begin() + static_cast<std::ptrdiff_t>(keep), peaks.end(),
                     [](const Candidate& l, const Candidate& r) { return l.d.flux > r.d.flux; });
    peaks.resize(keep);
  }
  return Refine(peaks);
}

std::vector<Detection> FrameMeasurer::Refine(std::vector<Candidate>& found) const {
  std::vector<Detection> out;
  const sep_image im = Image(data_.data(), mask_.data(), width_, height_, skyRms_, gain_);
  std::sort(found.begin(), found.end(), [](const Candidate& l, const Candidate& r) { return l.d.flux > r.d.flux; });
  // Half-light radii of the brightest objects: enough for the FWHM and for telling
  // sharp hits from stars where it matters most.
  out.reserve(found.size());
  for (std::size_t k = 0; k < found.size(); ++k) {
    Detection d = found[k].d;
    if (k < kRadiusCount) {
      const double rmax = std::clamp(6.0 * found[k].a + 2.0, 3.0, 30.0);
      const double frac = 0.5;
      double r = 0;
      short flag = 0;
      if (sep_flux_radius(&im, d.at.x, d.at.y, rmax, 0, 5, 0, nullptr, &frac, 1, &r, &flag) == 0) d.radius = r;
      if ((flag & (SEP_APER_HASMASKED | SEP_APER_TRUNC)) != 0) d.clean = false;
      if (d.radius < 0.5) continue;
    }
    out.push_back(d);
  }
  // Windowed centroids (a Gaussian of the frame's FWHM as weight) are far steadier
  // than the isophotal barycentres; the brightest stars carry the alignment.
  const double sigma = std::max(Fwhm(out), 1.0) / 2.3548;
  for (std::size_t k = 0; k < out.size() && k < kWindowedCount; ++k) {
    Detection& d = out[k];
    double x = 0, y = 0;
    int iterations = 0;
    short flag = 0;
    if (sep_windowed(&im, d.at.x, d.at.y, sigma, 5, 0, &x, &y, &iterations, &flag) == 0 && std::isfinite(x) &&
        std::isfinite(y) && std::hypot(x - d.at.x, y - d.at.y) < 2.0 * sigma)
      d.at = {x, y};
  }
  return out;
}

double FrameMeasurer::Fwhm(const std::vector<Detection>& detections) {
  // The brightest quarter (at least five, at most 50) gives the FWHM: faint stars'
  // radii are noisy.
  std::vector<double> radii;
  const std::size_t take = std::clamp<std::size_t>(detections.size() / 4, 5, 50);
  for (const Detection& d : detections) {
    if (!d.clean || d.radius <= 0) continue;
    radii.push_back(d.radius);
    if (radii.size() >= take) break;
  }
  // For a Gaussian the half-light radius is half the FWHM.
  return 2.0 * Median(radii);
}

double FrameMeasurer::SeeingFwhm(const std::vector<Detection>& stars) const {
  const double halfLight = Fwhm(stars);
  std::vector<Point> bright, all;
  all.reserve(stars.size());
  for (const Detection& d : stars) {
    all.push_back(d.at);
    if (d.clean && bright.size() < 200) bright.push_back(d.at);
  }
  const double fitted = ProfileFwhm(View(), bright, all, halfLight, skyRms_);
  return fitted > 0 ? fitted : halfLight;
}

// The flags of the pixels within `radius` + 1 of `at`, or-ed.
std::uint8_t FrameMeasurer::MaskNear(Point at, double radius) const {
  const double reach = radius + 1.0;
  const long x0 = std::max(0L, static_cast<long>(std::floor(at.x - reach)));
  const long x1 = std::min(width_ - 1, static_cast<long>(std::ceil(at.x + reach)));
  const long y0 = std::max(0L, static_cast<long>(std::floor(at.y - reach)));
  const long y1 = std::min(height_ - 1, static_cast<long>(std::ceil(at.y + reach)));
  std::uint8_t flags = 0;
  for (long y = y0; y <= y1; ++y)
    for (long x = x0; x <= x1; ++x) {
      const double dx = static_cast<double>(x) - at.x, dy = static_cast<double>(y) - at.y;
      if (dx * dx + dy * dy <= reach * reach) flags |= mask_[static_cast<std::size_t>(y * width_ + x)];
    }
  return flags;
}

// The annulus's clean pixels outside the neighbours' circles, and their level.
SkyLevel FrameMeasurer::AnnulusLevel(Point at, const ApertureSet& set, const std::vector<Point>& neighbours) const {
  thread_local std::vector<float> ring;
  ring.clear();
  const double outer2 = set.skyOuter * set.skyOuter, inner2 = set.skyInner * set.skyInner;
  const double mask2 = set.maskRadius * set.maskRadius;
  // Only the neighbours whose circles reach the annulus.
  thread_local std::vector<Point> near;
  near.clear();
  for (const Point& q : neighbours)
    if (std::hypot(q.x - at.x, q.y - at.y) < set.skyOuter + set.maskRadius) near.push_back(q);
  const long y0 = std::max(0L, static_cast<long>(std::floor(at.y - set.skyOuter)));
  const long y1 = std::min(height_ - 1, static_cast<long>(std::ceil(at.y + set.skyOuter)));
  const long x0 = std::max(0L, static_cast<long>(std::floor(at.x - set.skyOuter)));
  const long x1 = std::min(width_ - 1, static_cast<long>(std::ceil(at.x + set.skyOuter)));
  for (long y = y0; y <= y1; ++y) {
    const double dy = static_cast<double>(y) - at.y;
    for (long x = x0; x <= x1; ++x) {
      const double dx = static_cast<double>(x) - at.x;
      const double r2 = dx * dx + dy * dy;
      const std::size_t i = static_cast<std::size_t>(y * width_ + x);
      if (r2 < inner2 || r2 > outer2 || mask_[i] != pixel::kClean) continue;
      bool covered = false;
      for (const Point& q : near) {
        const double qx = static_cast<double>(x) - q.x, qy = static_cast<double>(y) - q.y;
        if (qx * qx + qy * qy <= mask2) {
          covered = true;
          break;
        }
      }
      if (!covered) ring.push_back(data_[i]);
    }
  }
  return AnnulusSky(ring.data(), ring.size(), skyRms_);
}

// The light in the circle less the sky's share, its error from the pixels' noise, the
// star's photons and the uncertainty of the level (which every pixel of the circle
// shares: area x its error).
Measurement FrameMeasurer::Photometry(Point at, double radius, const SkyLevel& sky, bool clearAround) const {
  Measurement m;
  m.at = at;
  const CircleSum c = SumCircle(View(), at, radius);
  if (c.edge) {
    m.loss = Loss::Edge;
    return m;
  }
  const std::uint8_t near = clearAround ? 0 : MaskNear(at, radius);
  if (c.saturated || (near & pixel::kSaturated) != 0) {
    m.loss = Loss::Saturated;
    return m;
  }
  if (c.blocked || (near & kBad) != 0) {
    m.loss = Loss::Masked;
    return m;
  }
  if (!sky.ok) {
    m.loss = Loss::Sky;
    return m;
  }
  m.replaced = c.replaced;
  m.flux = c.sum - sky.level * c.area;
  const double skyErr = c.area * sky.levelErr;
  const double photons = std::max(m.flux, 0.0) / gain_;
  m.fluxErr = std::sqrt(c.area * sky.sigma * sky.sigma + photons + skyErr * skyErr);
  m.ok = m.flux > 0 && std::isfinite(m.flux) && m.fluxErr > 0;
  if (!m.ok) m.loss = Loss::NoFlux;
  return m;
}

// A star that stands clear of the noise in its central pixel is re-centred (windowed
// centroid) when it moves no more than `radius`.
Point FrameMeasurer::Recentre(Point at, double fwhm, double radius) const {
  const long px = std::lround(at.x), py = std::lround(at.y);
  if (radius <= 0 || px < 0 || py < 0 || px >= width_ || py >= height_ ||
      data_[static_cast<std::size_t>(py * width_ + px)] <= 10.0f * static_cast<float>(skyRms_))
    return at;
  const sep_image im = Image(data_.data(), mask_.data(), width_, height_, skyRms_, gain_);
  double x = at.x, y = at.y;
  int iterations = 0;
  short flag = 0;
  // A window narrower than 2 px would pull an undersampled star to its pixel's centre.
  const double sigma = std::max(fwhm, 2.0) / 2.3548;
  if (sep_windowed(&im, at.x, at.y, sigma, 5, 0, &x, &y, &iterations, &flag) == 0 && std::isfinite(x) &&
      std::isfinite(y) && std::hypot(x - at.x, y - at.y) <= radius)
    return {x, y};
  return at;
}

std::vector<Measurement> FrameMeasurer::Measure(Point at, const ApertureSet& set, double fwhm, double recentreRadius,
                                                const std::vector<Point>& neighbours) const {
  at = Recentre(at, fwhm, recentreRadius);
  const SkyLevel sky = AnnulusLevel(at, set, neighbours);
  std::vector<Measurement> out;
  out.reserve(set.radii.size());
  const bool clear = MaskNear(at, *std::max_element(set.radii.begin(), set.radii.end())) == 0;
  for (double r : set.radii)
    out.push_back(Photometry(at, r, sky, clear));
  return out;
}

Measurement FrameMeasurer::Measure(Point at, const Aperture& aperture, double fwhm, double recentreRadius) const {
  ApertureSet set;
  set.radii = {aperture.radius};
  set.skyInner = aperture.skyInner;
  set.skyOuter = aperture.skyOuter;
  return Measure(at, set, fwhm, recentreRadius, {}).front();
}

} // namespace morvik::reduction
