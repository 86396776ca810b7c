#pragma once
// The program's fixed capacities, in one place.

#include <cstddef>

namespace morvik {

inline constexpr int kMaxFrameSide = 2200;          // pixels per axis of the frame buffer
inline constexpr int kCatalogSize = 40000;          // catalog entries, ids 1 ... 40 000
inline constexpr int kMaxStars = 65535;             // the star count is 16-bit
inline constexpr int kMaxGridSteps = 10000;         // trial frequencies of a periodogram
inline constexpr int kMinPictureSide = 2048;        // the image view's picture, at least
inline constexpr std::size_t kInitialWorkValues = 100000; // work buffers start at this and grow

} // namespace morvik
