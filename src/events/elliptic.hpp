#pragma once
// Complete elliptic integrals from Carlson's symmetric forms, computed by the
// duplication theorem (B. C. Carlson, "Numerical computation of real or complex
// elliptic integrals", Numerical Algorithms 10, 13-26, 1995).

namespace morvik::events {

double CarlsonRF(double x, double y, double z);
double CarlsonRD(double x, double y, double z);
double CarlsonRJ(double x, double y, double z, double p); // p > 0
double CarlsonRC(double x, double y);                     // y > 0

// Complete integrals of modulus k (0 <= k < 1); Pi uses the convention
// Pi(n, k) = int_0^{pi/2} dphi / ((1 - n sin^2 phi) sqrt(1 - k^2 sin^2 phi)), n < 1.
double EllipticK(double k);
double EllipticE(double k);
double EllipticPi(double n, double k);

} // namespace morvik::events
