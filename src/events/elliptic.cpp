#include "events/elliptic.hpp"

#include <algorithm>
#include <cmath>

namespace morvik::events {

namespace {
// With every argument within this relative distance of the mean, the fifth-order
// series leaves an error below 1e-16 (Carlson 1995, eq. 2.2 and 2.3).
constexpr double kTolerance = 1e-3;
} // namespace

double CarlsonRF(double x, double y, double z) {
  for (int i = 0; i < 200; ++i) {
    const double a = (x + y + z) / 3.0;
    const double dev = std::max({std::abs(a - x), std::abs(a - y), std::abs(a - z)});
    if (dev <= kTolerance * a) {
      const double X = 1.0 - x / a, Y = 1.0 - y / a, Z = -(X + Y);
      const double e2 = X * Y - Z * Z, e3 = X * Y * Z;
      return (1.0 - e2 / 10.0 + e3 / 14.0 + e2 * e2 / 24.0 - 3.0 * e2 * e3 / 44.0) / std::sqrt(a);
    }
    const double sx = std::sqrt(x), sy = std::sqrt(y), sz = std::sqrt(z);
    const double lambda = sx * sy + sx * sz + sy * sz;
    x = 0.25 * (x + lambda);
    y = 0.25 * (y + lambda);
    z = 0.25 * (z + lambda);
  }
  return std::nan("");
}

double CarlsonRD(double x, double y, double z) {
  double sum = 0.0, fac = 1.0;
  for (int i = 0; i < 200; ++i) {
    const double a = (x + y + 3.0 * z) / 5.0;
    const double dev = std::max({std::abs(a - x), std::abs(a - y), std::abs(a - z)});
    if (dev <= kTolerance * a) {
      const double X = 1.0 - x / a, Y = 1.0 - y / a, Z = -(X + Y) / 3.0;
      const double e2 = X * Y - 6.0 * Z * Z;
      const double e3 = (3.0 * X * Y - 8.0 * Z * Z) * Z;
      const double e4 = 3.0 * (X * Y - Z * Z) * Z * Z;
      const double e5 = X * Y * Z * Z * Z;
      const double series = 1.0 - 3.0 * e2 / 14.0 + e3 / 6.0 + 9.0 * e2 * e2 / 88.0 - 3.0 * e4 / 22.0 -
                            9.0 * e2 * e3 / 52.0 + 3.0 * e5 / 26.0;
      return 3.0 * sum + fac * series / (a * std::sqrt(a));
    }
    const double sx = std::sqrt(x), sy = std::sqrt(y), sz = std::sqrt(z);
    const double lambda = sx * sy + sx * sz + sy * sz;
    sum += fac / (sz * (z + lambda));
    fac *= 0.25;
    x = 0.25 * (x + lambda);
    y = 0.25 * (y + lambda);
    z = 0.25 * (z + lambda);
  }
  return std::nan("");
}

double CarlsonRC(double x, double y) {
  for (int i = 0; i < 200; ++i) {
    const double a = (x + 2.0 * y) / 3.0;
    const double s = (y - a) / a;
    if (std::abs(s) <= kTolerance) {
      return (1.0 + s * s * (3.0 / 10.0 + s * (1.0 / 7.0 + s * (3.0 / 8.0 + s * 9.0 / 22.0)))) / std::sqrt(a);
    }
    const double lambda = 2.0 * std::sqrt(x) * std::sqrt(y) + y;
    x = 0.25 * (x + lambda);
    y = 0.25 * (y + lambda);
  }
  return std::nan("");
}

double CarlsonRJ(double x, double y, double z, double p) {
  double sum = 0.0, fac = 1.0;
  for (int i = 0; i < 200; ++i) {
    const double a = (x + y + z + 2.0 * p) / 5.0;
    const double dev = std::max({std::abs(a - x), std::abs(a - y), std::abs(a - z), std::abs(a - p)});
    if (dev <= kTolerance * a) {
      const double X = 1.0 - x / a, Y = 1.0 - y / a, Z = 1.0 - z / a;
      const double P = -(X + Y + Z) / 2.0;
      const double e2 = X * Y + X * Z + Y * Z - 3.0 * P * P;
      const double e3 = X * Y * Z + 2.0 * e2 * P + 4.0 * P * P * P;
      const double e4 = (2.0 * X * Y * Z + e2 * P + 3.0 * P * P * P) * P;
      const double e5 = X * Y * Z * P * P;
      const double series = 1.0 - 3.0 * e2 / 14.0 + e3 / 6.0 + 9.0 * e2 * e2 / 88.0 - 3.0 * e4 / 22.0 -
                            9.0 * e2 * e3 / 52.0 + 3.0 * e5 / 26.0;
      return 3.0 * sum + fac * series / (a * std::sqrt(a));
    }
    const double sx = std::sqrt(x), sy = std::sqrt(y), sz = std::sqrt(z);
    const double lambda = sx * sy + sx * sz + sy * sz;
    const double alpha = std::pow(p * (sx + sy + sz) + sx * sy * sz, 2);
    const double beta = p * (p + lambda) * (p + lambda);
    sum += fac * CarlsonRC(alpha, beta);
    fac *= 0.25;
    x = 0.25 * (x + lambda);
    y = 0.25 * (y + lambda);
    z = 0.25 * (z + lambda);
    p = 0.25 * (p + lambda);
  }
  return std::nan("");
}

double BulirschCel(double kc, double p, double a, double b) {
  constexpr double kHalfPi = 1.5707963267948966;
  kc = std::abs(kc);
  if (kc == 0.0 || !(p > 0.0)) return std::nan("");
  double e = kc, m = 1.0;
  p = std::sqrt(p);
  b /= p;
  for (int i = 0; i < 60; ++i) {
    const double f = a;
    a += b / p;
    double g = e / p;
    b += f * g;
    b += b;
    p += g;
    g = m;
    m += kc;
    if (std::abs(g - kc) <= g * 1e-9) break;
    kc = 2.0 * std::sqrt(e);
    e = kc * m;
  }
  return kHalfPi * (a * m + b) / (m * (m + p));
}

void BulirschCelPair(double kc, double p1, double a1, double b1, double p2, double a2, double b2, double& cel1,
                     double& cel2) {
  constexpr double kHalfPi = 1.5707963267948966;
  kc = std::abs(kc);
  if (kc == 0.0 || !(p1 > 0.0) || !(p2 > 0.0)) {
    cel1 = cel2 = std::nan("");
    return;
  }
  double e = kc, m = 1.0;
  p1 = std::sqrt(p1);
  p2 = std::sqrt(p2);
  b1 /= p1;
  b2 /= p2;
  for (int i = 0; i < 60; ++i) {
    const double f1 = a1, f2 = a2;
    const double i1 = 1.0 / p1, i2 = 1.0 / p2; // one division each instead of two
    a1 += b1 * i1;
    a2 += b2 * i2;
    const double g1 = e * i1, g2 = e * i2;
    b1 = 2.0 * (b1 + f1 * g1);
    b2 = 2.0 * (b2 + f2 * g2);
    p1 += g1;
    p2 += g2;
    const double g = m;
    m += kc;
    if (std::abs(g - kc) <= g * 1e-9) break;
    kc = 2.0 * std::sqrt(e);
    e = kc * m;
  }
  cel1 = kHalfPi * (a1 * m + b1) / (m * (m + p1));
  cel2 = kHalfPi * (a2 * m + b2) / (m * (m + p2));
}

double EllipticK(double k) { return CarlsonRF(0.0, 1.0 - k * k, 1.0); }

double EllipticE(double k) {
  const double y = 1.0 - k * k;
  return CarlsonRF(0.0, y, 1.0) - k * k / 3.0 * CarlsonRD(0.0, y, 1.0);
}

double EllipticPi(double n, double k) {
  const double y = 1.0 - k * k;
  return CarlsonRF(0.0, y, 1.0) + n / 3.0 * CarlsonRJ(0.0, y, 1.0, 1.0 - n);
}

} // namespace morvik::events
