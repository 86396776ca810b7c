#pragma once
// The local sky level of an aperture from the pixels of its annulus.

#include <cstddef>

namespace morvik::reduction {

struct SkyLevel {
  bool ok = false;
  double level = 0;    // ADU per pixel
  double sigma = 0;    // scatter of one pixel, ADU
  double levelErr = 0; // uncertainty of the level, ADU
  std::size_t count = 0;
};

// Clipped at 3 sigma about the median until stable (at most five passes). When the
// clipping leaves sigma within 20 % of its first value the annulus is clean and the
// clipped mean is the level; otherwise it is crowded and the mode is taken as
// 2.5 median - 1.5 mean (Bertin & Arnouts 1996, A&AS 117, 393, section 3.1), or the
// median where the mean and median differ by more than 0.3 sigma and the mode estimate
// would only follow the crowding. `ring` is reordered. sigmaGuess > 0 starts the clip.
SkyLevel AnnulusSky(float* ring, std::size_t n, double sigmaGuess);

} // namespace morvik::reduction
