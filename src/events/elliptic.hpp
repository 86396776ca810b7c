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

// The general complete elliptic integral of R. Bulirsch ("Numerical calculation of
// elliptic integrals and elliptic functions. III", Numer. Math. 13, 305-315, 1969):
//   cel(kc, p, a, b) = int_0^{pi/2} (a cos^2 + b sin^2) / ((cos^2 + p sin^2)
//                      sqrt(cos^2 + kc^2 sin^2)) dphi,  kc != 0, p > 0,
// so K = cel(kc, 1, 1, 1), E = cel(kc, 1, 1, kc^2), Pi(n, k) = cel(kc, 1 - n, 1, 1),
// and a sum of them costs one call. Converges quadratically.
double BulirschCel(double kc, double p, double a, double b);

// Two cel of the same modulus in one pass: the modulus' sequence is shared.
void BulirschCelPair(double kc, double p1, double a1, double b1, double p2, double a2, double b2, double& cel1,
                     double& cel2);

} // namespace morvik::events
