"""The numpy/emcee peer of the transit benchmark: the same occultation model (Mandel &
Agol 2002, quadratic limb darkening, with Bulirsch's cel for the complete elliptic
integrals, vectorised), the same constant baseline solved at every step, the same
priors; scipy's Levenberg-Marquardt, then emcee's stretch move, 32 walkers x 5000 steps.

    ma_numpy.py DIR   ->  "wall_ms W cpu_ms C t0 T sigma S rp R"
"""
import sys
import time

import emcee
import numpy as np
from scipy.optimize import least_squares


def cel(kc, p, a, b):
    kc = np.abs(kc)
    e = kc.copy()
    m = np.ones_like(kc)
    p = np.sqrt(p)
    b = b / p
    for _ in range(60):
        f = a
        a = a + b / p
        g = e / p
        b = 2.0 * (b + f * g)
        p = g + p
        g = m
        m = m + kc
        if np.all(np.abs(g - kc) <= g * 1e-9):
            break
        kc = 2.0 * np.sqrt(e)
        e = kc * m
    return 0.5 * np.pi * (a * m + b) / (m * (m + p))


def occulted(p, z, u1, u2):
    """Relative flux; the general cases (partial and full occultation, p < 1)."""
    z = np.abs(z)
    flux = np.ones_like(z)
    c2, c4 = u1 + 2 * u2, -u2
    norm = 1 - c2 / 3 - c4 / 2
    a, b = (z - p) ** 2, (z + p) ** 2
    q = p * p - z * z
    part = (z > abs(1 - p)) & (z < 1 + p)
    if part.any():
        zz, aa, bb, qq = z[part], a[part], b[part], q[part]
        k1 = np.arccos(np.clip((1 - p * p + zz * zz) / (2 * zz), -1, 1))
        k0 = np.arccos(np.clip((p * p + zz * zz - 1) / (2 * p * zz), -1, 1))
        le = (p * p * k0 + k1 - 0.5 * np.sqrt(np.maximum(0, 4 * zz * zz - (1 + zz * zz - p * p) ** 2))) / np.pi
        kc = np.sqrt(np.maximum(0, (bb - 1) / (4 * zz * p)))
        ck = (1 - bb) * (2 * bb + aa - 3) - 3 * qq * (bb - 2)
        ce = 4 * p * zz * (zz * zz + 7 * p * p - 4)
        ld = (cel(kc, np.ones_like(kc), ck + ce, ck + ce * kc * kc) - 3 * qq / aa * cel(kc, 1 / aa, 1.0, 1.0)) / (
            9 * np.pi * np.sqrt(p * zz))
        eta2 = 0.5 * p * p * (p * p + 2 * zz * zz)
        eta = (k1 + 2 * eta2 * k0 - 0.25 * (1 + 5 * p * p + zz * zz) * np.sqrt(np.maximum(0, (1 - aa) * (bb - 1)))) / (
            2 * np.pi)
        step = np.where(p > zz, 2.0 / 3.0, 0.0)
        flux[part] = 1 - ((1 - c2) * le + c2 * (ld + step) - c4 * eta) / norm
    inside = z <= 1 - p
    if inside.any():
        zz, aa, bb, qq = z[inside], a[inside], b[inside], q[inside]
        zz = np.maximum(zz, 1e-12)
        kc = np.sqrt(np.maximum(0, (1 - bb) / (1 - aa)))
        ck = 1 - 5 * zz * zz + p * p + qq * qq
        ce = (1 - aa) * (zz * zz + 7 * p * p - 4)
        ld = 2 * (cel(kc, np.ones_like(kc), ck + ce, ck + ce * kc * kc) - 3 * qq / aa * cel(kc, bb / aa, 1.0, 1.0)) / (
            9 * np.pi * np.sqrt(1 - aa))
        eta = 0.5 * p * p * (p * p + 2 * zz * zz)
        step = np.where(p > zz, 2.0 / 3.0, 0.0)
        flux[inside] = 1 - ((1 - c2) * p * p + c2 * (ld + step) - c4 * eta) / norm
    return flux


def main():
    t, y, dy = np.loadtxt(sys.argv[1] + "/night.txt", unpack=True)
    period, u1, u2 = 3.0, 0.45, 0.22
    w = 1 / dy ** 2

    def shape(theta):
        t0, p, ars, b = theta
        phase = 2 * np.pi * (t - t0) / period
        z = np.sqrt((ars * np.sin(phase)) ** 2 + (b * np.cos(phase)) ** 2)
        z = np.where(np.cos(phase) > 0, z, 2 + p + ars)
        return occulted(p, z, u1, u2)

    def residuals(theta):
        s = shape(theta)
        c = np.sum(w * y * s) / np.sum(w * s * s)
        return (y - c * s) / dy

    def log_prob(theta):
        t0, p, ars, b = theta
        if not (t[0] - period / 2 < t0 < t[-1] + period / 2 and 1e-4 < p < 1 and 1.2 < ars < 1000 and 0 <= b < 1 + p):
            return -np.inf
        r = residuals(theta)
        return -0.5 * np.dot(r, r)

    w0, c0 = time.perf_counter(), time.process_time()
    start = np.array([t[np.argmin(y)], 0.1, 10.0, 0.3])
    fit = least_squares(residuals, start, method="lm")
    best = fit.x
    cov = np.linalg.pinv(fit.jac.T @ fit.jac)
    rng = np.random.default_rng(1)
    p0 = best + rng.normal(size=(32, 4)) * np.sqrt(np.abs(np.diag(cov))) * 0.1
    p0[:, 3] = np.abs(p0[:, 3])
    sampler = emcee.EnsembleSampler(32, 4, log_prob)
    sampler.run_mcmc(p0, 5000)
    chain = sampler.get_chain(discard=1250, flat=True)
    wall, cpu = 1000 * (time.perf_counter() - w0), 1000 * (time.process_time() - c0)
    lo, mid, hi = np.percentile(chain[:, 0], [16, 50, 84])
    print(f"wall_ms {wall:.1f} cpu_ms {cpu:.1f} t0 {mid:.7f} sigma {(hi - lo) / 2:.7f} "
          f"rp {np.median(chain[:, 1]):.5f}")


if __name__ == "__main__":
    main()
