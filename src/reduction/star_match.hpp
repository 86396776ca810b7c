#pragma once
// Aligning two star lists: triangles of bright stars are compared by the ratios of
// their sides (blind to shift, rotation, mirroring and scale), the best hypothesis is
// the one that brings most stars together, and a least-squares fit over every matched
// pair refines it.

#include <string>
#include <utility>
#include <vector>

namespace morvik::reduction {

struct Point {
  double x = 0;
  double y = 0;
};

// x' = a x + b y + c, y' = d x + e y + f.
struct Affine {
  double a = 1, b = 0, c = 0, d = 0, e = 1, f = 0;
  Point Apply(Point p) const { return {a * p.x + b * p.y + c, d * p.x + e * p.y + f}; }
  double Scale() const;       // mean linear scale
  double RotationDeg() const; // rotation in degrees, (-180, 180]
  bool Mirrored() const;      // negative determinant
};

struct MatchOptions {
  double tolerance = 2.0; // pixels: a pair is two stars at most this far apart
  int brightest = 25;     // stars of each list that form triangles
  double minScale = 0.9;  // accepted scales
  double maxScale = 1.1;
  int minMatches = 5; // fewer matched pairs (or under a quarter of the stars): no alignment
  // Pixels² over which the frame's stars are spread; 0: the box that holds them. The
  // matched pairs must stand far above the number that chance brings within the
  // tolerance at both lists' densities.
  double area = 0;
  // The tolerance narrows to a few times the fit's residuals once a fit is found.
  bool narrowToFit = true;
};

struct MatchResult {
  bool ok = false;
  Affine transform;                       // reference -> frame
  std::vector<std::pair<int, int>> pairs; // (reference index, frame index)
  double rms = 0;                         // pixels, of the final fit
  double chance = 0;                      // pairs expected by chance at the final tolerance
  double tolerance = 0;                   // pixels, the final one
  std::string error;
};

// Both lists brightest first. Finds the transform that maps reference positions onto
// frame positions. A transform far from a similarity (shear, unequal scales) is never
// taken, and a match no better than chance is refused with its figures.
MatchResult MatchStars(const std::vector<Point>& reference, const std::vector<Point>& frame,
                       const MatchOptions& options = {});

// Least-squares affine transform taking from[i] to to[i] (at least three pairs).
bool FitAffine(const std::vector<Point>& from, const std::vector<Point>& to, Affine& out);

} // namespace morvik::reduction
