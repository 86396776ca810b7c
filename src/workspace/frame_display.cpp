#include "workspace/frame_display.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "common/errors.hpp"
#include "common/format.hpp"
#include "frames/frame_file.hpp"

namespace morvik {
namespace {

constexpr double kNoMin = 131070.0;
constexpr std::size_t kSampleSize = 500000;

// What the frames reader says that is worth more than the frame object's refusal: what
// the file holds instead of an image, or a size beyond the reader's limit. That a file
// holds no data says less than the frame object's word on its sizes.
bool SaysMore(const std::string& message, const std::string& refusal) {
  if (message.rfind("The frame is", 0) == 0) return true;
  if (message.find("of the compressed image") != std::string::npos) return true; // a tile found damaged
  if (message == "no image: the file holds no data") return refusal.rfind("The frame is", 0) != 0;
  return message.rfind("no image:", 0) == 0;
}

std::string SizeText(long w, long h) { return std::to_string(w) + " x " + std::to_string(h) + " pixels"; }

// Up to kSampleSize finite values taken at a regular step over the frame.
template <class Get> std::vector<float> Sample(long width, long height, Get get) {
  const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const std::size_t step = std::max<std::size_t>(1, count / kSampleSize);
  std::vector<float> values;
  values.reserve(count / step + 1);
  for (std::size_t i = 0; i < count; i += step) {
    const double v = get(static_cast<long>(i % static_cast<std::size_t>(width)),
                         static_cast<long>(i / static_cast<std::size_t>(width)));
    if (std::isfinite(v)) values.push_back(static_cast<float>(v));
  }
  return values;
}

// t rounded to the nearest of 0 ... 255; frames of a hundred million pixels pass here
// three times, so no library call (halves go up, a difference no eye sees).
inline std::size_t Grey(double t) { return !(t > 0.0) ? 0 : t >= 255.0 ? 255 : static_cast<std::size_t>(t + 0.5); }

// The figures of the frame object's rendering, computed the same way (positive values
// only for the minimum, the histogram and the mean; NaN takes no part) over any pixels.
template <class Get> void Statistics(TFits& f, Get get, Log& log) {
  double minVal = kNoMin;
  double maxVal = -kNoMin;
  for (long y = 0; y < f.Height; ++y)
    for (long x = 0; x < f.Width; ++x) {
      const double v = get(x, y);
      if (v > maxVal) maxVal = v;
      if (v < minVal && v > 0.0) minVal = v;
    }
  f.MinVal = minVal;
  f.MaxVal = maxVal;
  if (maxVal == minVal) {
    log.Add("ERROR 200: max=min.");
    return;
  }
  const double a = 1.0 / (maxVal - minVal);
  const double c = -minVal * a;
  f.Histogram.fill(0);
  double sum = 0.0;
  for (long y = 0; y < f.Height; ++y)
    for (long x = 0; x < f.Width; ++x) {
      const double v = get(x, y);
      if (!(v > 0.0)) continue;
      sum += v;
      ++f.Histogram[Grey((v * a + c) * 255.0)];
    }
  f.MeanVal = sum / (static_cast<double>(f.Width) * static_cast<double>(f.Height));
  int fullest = -1;
  std::int32_t most = 0;
  for (int b = 0; b < 256; ++b)
    if (f.Histogram[static_cast<std::size_t>(b)] > most) {
      fullest = b;
      most = f.Histogram[static_cast<std::size_t>(b)];
    }
  f.BgVal = fullest < 0 ? 0.0 : minVal + (maxVal - minVal) * (fullest / 255.0);
}

void LevelRange(TFits& f) {
  const int level = std::clamp(f.Contrast, 0, 16);
  if (level == 16) {
    f.MinK = f.MinVal;
    f.MaxK = f.MaxVal;
  } else if (level >= 3) {
    f.MinK = f.BgVal;
    f.MaxK = level * f.BgVal / 2.0;
  } else {
    f.MinK = (level + 1) * f.BgVal * 0.25;
    f.MaxK = (level + 1) * f.BgVal;
  }
}

// Fills the bitmap from MinK and MaxK; missing pixels (NaN) are black. An empty range
// shows what is above it white, below it black, on it mid-grey.
template <class Get> void FillBitmap(TFits& f, Get get) {
  f.Bitmap_.SetSize(f.Width, f.Height);
  const double s = 1.0 / (f.MaxK - f.MinK);
  const double o = -f.MinK * s;
  const bool empty = !(f.MaxK > f.MinK) || !std::isfinite(s) || !std::isfinite(o);
  for (long y = 0; y < f.Height; ++y) {
    std::uint8_t* p = f.Bitmap_.Line(static_cast<int>(y));
    for (long x = 0; x < f.Width; ++x, p += 3) {
      const double v = get(x, y);
      std::uint8_t g = 0;
      if (v > f.MaxK)
        g = 255;
      else if (!(v >= f.MinK))
        g = 0;
      else
        g = empty ? 128 : static_cast<std::uint8_t>(Grey((v * s + o) * 255.0));
      p[0] = p[1] = p[2] = g;
    }
  }
}

template <class Get, class Stats> void Render(TFits& f, bool automatic, Get get, Stats statistics, Log& log) {
  f.Rendered = true;
  statistics();
  const auto started = std::chrono::steady_clock::now();
  log.Add("min=" + FormatGeneral(f.MinVal) + " max=" + FormatGeneral(f.MaxVal) + " bgval=" + FormatGeneral(f.BgVal));
  if (automatic) {
    std::vector<float> sample = Sample(f.Width, f.Height, get);
    const DisplayRange r = AutomaticRange(sample);
    f.MinK = r.minK;
    f.MaxK = r.maxK;
    log.Add("automatic contrast: mink=" + FormatGeneral(f.MinK) + " maxk=" + FormatGeneral(f.MaxK));
  } else {
    LevelRange(f);
    log.Add("mink=" + FormatGeneral(f.MinK) + " maxk=" + FormatGeneral(f.MaxK));
  }
  FillBitmap(f, get);
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
  log.Add(FormatMessage("loaded in %.5d ms", {static_cast<long long>(elapsed)}));
}

double Percentile(std::vector<float>& v, double fraction) {
  const auto k = static_cast<std::size_t>(std::nearbyint(fraction * static_cast<double>(v.size() - 1)));
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
  return static_cast<double>(v[k]);
}

} // namespace

DisplayRange AutomaticRange(std::vector<float>& values) {
  if (values.empty()) return {};
  const double median = Percentile(values, 0.5);
  const double low = Percentile(values, 0.0025);
  const double high = Percentile(values, 0.9975);
  double spread = 0.0;
  {
    std::vector<float> deviations(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
      deviations[i] = static_cast<float>(std::fabs(static_cast<double>(values[i]) - median));
    spread = 1.4826 * Percentile(deviations, 0.5); // a Gaussian's sigma
  }
  // Skies of integers that barely vary, and frames of few values, have no spread about
  // the median: the width of the middle of the values, or of all of them, stands in.
  if (!(spread > 0.0)) spread = (Percentile(values, 0.8413) - Percentile(values, 0.1587)) / 2.0;
  if (!(spread > 0.0)) spread = (high - low) / 6.0;
  if (!(spread > 0.0)) spread = std::max(1.0, std::fabs(median) * 1e-3);
  DisplayRange r;
  r.minK = median - 3.0 * spread;
  r.maxK = median + std::clamp(high - median, 6.0 * spread, 12.0 * spread);
  return r;
}

std::size_t AvailableMemory() {
  std::ifstream in("/proc/meminfo");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream fields(line.substr(13));
    std::size_t kb = 0;
    fields >> kb;
    return kb * 1024;
  }
  return 0;
}

void OpenLargeFrame(Workspace& ws, const std::string& path, const std::string& refusal) {
  frames::ReadOptions headerOnly;
  headerOnly.headerOnly = true;
  headerOnly.maxSide = ws.LargeFrameSide;
  frames::ReadOptions whole;
  whole.maxSide = ws.LargeFrameSide;
  frames::FrameImage image;
  try {
    image = frames::ReadFrame(path, headerOnly);
    // The pixels, the bitmap and the picture (when it must grow), and some room.
    const long w = image.width;
    const long h = image.height;
    const double needed = static_cast<double>(w) * static_cast<double>(h) * (sizeof(float) + 3.0 + 3.0) + 64e6;
    const std::size_t available = AvailableMemory();
    if (available > 0 && needed > static_cast<double>(available))
      throw CommandError("The frame is " + SizeText(w, h) + ": it needs " +
                         std::to_string(static_cast<long long>(needed / 1e6)) + " MB of memory and " +
                         std::to_string(available / 1000000) + " MB are free.");
    image = frames::ReadFrame(path, whole);
  } catch (const CommandError& e) {
    if (SaysMore(e.what(), refusal)) throw;
    throw CommandError(refusal);
  }

  auto frame = std::make_unique<frames::FrameImage>(std::move(image));
  TFits& f = *ws.Frame;
  f.Header.Clear();
  for (const frames::HeaderCard& c : frame->cards) {
    if (c.record.compare(8, 2, "= ") != 0) continue; // the cards the frame object keeps carry "="
    f.Header.SetCard(c.keyword, c.value, c.comment.empty() ? std::string() : "/ " + c.comment);
  }
  f.FileName = path;
  f.Width = static_cast<std::int32_t>(frame->width);
  f.Height = static_cast<std::int32_t>(frame->height);
  f.BitPix = frame->bitpix;
  f.PixelBytes = std::abs(frame->bitpix) / 8;
  const double scale = frame->Number("BSCALE").value_or(0.0);
  f.BScale = scale == 0.0 ? 1.0 : scale;
  f.BZero = frame->Number("BZERO").value_or(0.0);
  f.BlankCount = 0;
  f.TrailWords = 0;
  f.Loaded = true;
  ws.log.Add("Read " + SizeText(frame->width, frame->height) + " from HDU " + std::to_string(frame->hdu) +
             (frame->compressed ? " (tile-compressed)" : "") + ", BITPIX " + std::to_string(frame->bitpix));
  if (frame->missing > 0)
    ws.log.Add(FormatMessage("The file ends before its pixel data does: %d of %d pixels are missing.",
                             {frame->missing, static_cast<long long>(frame->pixels.size())}));
  ws.LargeFrame = std::move(frame);
}

void RenderLargeFrame(Workspace& ws) {
  const frames::FrameImage& image = *ws.LargeFrame;
  const float* pixels = image.pixels.data();
  const auto width = static_cast<std::size_t>(image.width);
  const auto get = [pixels, width](long x, long y) {
    return static_cast<double>(pixels[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)]);
  };
  TFits& f = *ws.Frame;
  f.SetContrast(ws.settings.ContrastLevel);
  Render(
      f, ws.settings.AutoContrast, get, [&] { Statistics(f, get, ws.log); }, ws.log);
}

void RenderAutomatic(TFits& frame, Log& log) {
  if (frame.Width <= 0 || frame.Height <= 0) return;
  const TFits& f = frame;
  const auto get = [&f](long x, long y) { return f.Data(static_cast<int>(x) + 1, static_cast<int>(y) + 1); };
  // The frame object's own statistics, exactly as its rendering computes them.
  Render(
      frame, true, get,
      [&] {
        frame.FindMinMax();
        frame.BuildHistogram(log);
      },
      log);
}

} // namespace morvik
