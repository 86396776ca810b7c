#pragma once
// The pixels of one frame of a series: a graded sky, the stars as Moffat profiles,
// photon and read noise, the camera's hot pixels and the frame's cosmic-ray hits.

#include <cstdint>
#include <vector>

#include "series_model.hpp"

namespace fieldgen {

// Row-major counts (pixels[y * width + x]) clipped to 0 ... 65535. The noise of frame k
// follows from seed and k alone, so frames may be rendered in any order.
std::vector<std::uint16_t> RenderFrame(const Series& series, int k, std::uint64_t seed);

// Position (0-based pixel coordinates) of star id on frame k.
void StarOnFrame(const Series& series, int k, int id, double& x, double& y);

} // namespace fieldgen
