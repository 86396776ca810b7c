"""The peers of the period search benchmark, timed on the inputs search_bench wrote:
astropy's LombScargle ("cython": exact; "fast": approximate), astropy's
BoxLeastSquares on the same periods and durations, and the numpy Lafler-Kinman scan.

    search_peers.py DIR CASE      prints "ms T" and the case's comparison figures
                                  (box least squares: "cpu C", its processor time)
"""
import sys
import time

import numpy as np

sys.path.insert(0, __file__.rsplit("/", 1)[0])


def load(folder, name):
    return [np.fromfile(f"{folder}/{name}_{part}.bin") for part in ("t", "y", "dy", "freq", "power")]


def best(fn, repeats):
    b, out = float("inf"), None
    for _ in range(repeats):
        t0 = time.perf_counter()
        out = fn()
        b = min(b, time.perf_counter() - t0)
    return b * 1000.0, out


def main():
    folder, case = sys.argv[1], sys.argv[2]
    t, y, dy, freq, ours = load(folder, "gls" if case == "glsfast" else case)
    if case == "gls":
        from astropy.timeseries import LombScargle
        ls = LombScargle(t, y, dy)
        ms, p = best(lambda: ls.power(freq, method="cython"), 1)
        np.save(f"{folder}/cython.npy", p)
        print(f"ms {ms:.3f} max_rel_diff {np.max(np.abs(p - ours) / np.maximum(np.abs(p), 1e-3)):.3e}")
    elif case == "glsfast":
        from astropy.timeseries import LombScargle
        ls = LombScargle(t, y, dy)
        exact = np.load(f"{folder}/cython.npy") if __import__("os").path.exists(f"{folder}/cython.npy") else ours
        fast_ms, pf = best(lambda: ls.power(freq, method="fast"), 3)
        mine = np.fromfile(f"{folder}/glsfast_power.bin")
        print(f"ms {fast_ms:.3f} astropy_fast_diff {np.max(np.abs(pf - exact)):.3e} "
              f"morvik_fast_diff {np.max(np.abs(mine - exact)):.3e}")
    elif case == "bls":
        from astropy.timeseries import BoxLeastSquares
        durations = np.fromfile(f"{folder}/bls_durations.bin")
        model = BoxLeastSquares(t, -y, dy)  # magnitudes: a transit is a rise; astropy looks for dips
        periods = np.sort(1.0 / freq)
        c0 = time.process_time()
        ms, r = best(lambda: model.power(periods, durations), 1)
        cpu = (time.process_time() - c0) * 1000.0
        found = periods[np.argmax(r.power)]
        print(f"ms {ms:.3f} cpu {cpu:.3f} best_period {found:.5f} ours {1.0 / freq[np.argmax(ours)]:.5f}")
    elif case == "lk":
        from lk_numpy import lafler_kinman
        den = np.sum((y - y.mean()) ** 2)
        dt = t - t.min()
        ms, theta = best(lambda: lafler_kinman(dt, y, freq, den), 1)
        print(f"ms {ms:.3f} max_rel_diff {np.max(np.abs(theta - ours) / np.abs(ours)):.3e}")


if __name__ == "__main__":
    main()
