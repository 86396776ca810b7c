#include "reduction/calibration.hpp"

#include <algorithm>
#include <cmath>

#include "common/errors.hpp"
#include "common/files.hpp"
#include "frames/frame_file.hpp"

namespace morvik::reduction {
namespace {

void Take(const std::string& path, const char* role, Masters& m, std::vector<float>& into, double* exposure) {
  if (path.empty()) return;
  frames::FrameImage f;
  try {
    f = frames::ReadFrame(path);
  } catch (const CommandError& e) {
    throw CommandError(std::string("Master ") + role + " " + NameOf(path) + ": " + e.what());
  }
  if (m.width == 0) {
    m.width = f.width;
    m.height = f.height;
  } else if (m.width != f.width || m.height != f.height) {
    throw CommandError(std::string("Master ") + role + " " + NameOf(path) + " differs in size from the other masters");
  }
  if (exposure != nullptr) {
    auto e = f.Number("EXPTIME");
    if (!e) e = f.Number("EXPOSURE");
    *exposure = e.value_or(0.0);
  }
  into = std::move(f.pixels);
}

} // namespace

Masters LoadMasters(const std::string& bias, const std::string& dark, const std::string& flat) {
  Masters m;
  Take(bias, "bias", m, m.bias, nullptr);
  Take(dark, "dark", m, m.dark, &m.darkExposure);
  Take(flat, "flat", m, m.flat, nullptr);
  // A bias given is in the dark and the flat too: what remains is dark current, which
  // grows with the exposure, and the flat's light.
  if (!m.bias.empty()) {
    for (std::vector<float>* master : {&m.dark, &m.flat})
      for (std::size_t i = 0; i < master->size(); ++i)
        (*master)[i] -= m.bias[i];
    m.darkScaled = !m.dark.empty() && m.darkExposure > 0;
  }
  if (!m.flat.empty()) {
    std::vector<float> finite;
    for (float v : m.flat)
      if (std::isfinite(v)) finite.push_back(v);
    if (finite.empty()) throw CommandError("Master flat " + NameOf(flat) + " holds no pixel values");
    auto mid = finite.begin() + static_cast<std::ptrdiff_t>(finite.size() / 2);
    std::nth_element(finite.begin(), mid, finite.end());
    const float median = *mid;
    if (!(median > 0)) throw CommandError("Master flat " + NameOf(flat) + " has a median that is not positive");
    // Pixels of the flat at or below zero cannot be divided by: they become missing.
    for (float& v : m.flat)
      v = v > 0 ? v / median : NAN;
  }
  return m;
}

std::string Calibrate(const Masters& m, std::vector<float>& pixels, long width, long height, double exposure) {
  if (m.Empty()) return {};
  if (width != m.width || height != m.height) return "size differs from the calibration masters";
  const float darkScale = m.darkScaled && exposure > 0 ? static_cast<float>(exposure / m.darkExposure) : 1.0f;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    float v = pixels[i];
    if (!m.bias.empty()) v -= m.bias[i];
    if (!m.dark.empty()) v -= m.dark[i] * darkScale;
    if (!m.flat.empty()) v /= m.flat[i];
    pixels[i] = v;
  }
  return {};
}

std::string DarkNote(const Masters& m) {
  if (m.darkScaled) return "bias removed, scaled by exposure time";
  if (!m.bias.empty()) return "bias removed, not scaled: the dark has no exposure time";
  return "taken to include the bias, not scaled: it must match the frames' exposure";
}

long MaskZeroBorder(std::vector<float>& pixels, long width, long height) {
  long marked = 0;
  auto walk = [&](long start, long step, long count) {
    for (long k = 0; k < count; ++k) {
      float& v = pixels[static_cast<std::size_t>(start + k * step)];
      if (std::isnan(v)) continue; // already marked from the other direction
      if (v != 0.0f) return;
      v = NAN;
      ++marked;
    }
  };
  for (long y = 0; y < height; ++y) {
    walk(y * width, 1, width);
    walk(y * width + width - 1, -1, width);
  }
  for (long x = 0; x < width; ++x) {
    walk(x, width, height);
    walk((height - 1) * width + x, -width, height);
  }
  return marked;
}

} // namespace morvik::reduction
