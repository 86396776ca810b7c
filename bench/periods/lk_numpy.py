"""The numpy peer of the Lafler-Kinman benchmark: the same scan, vectorised over
chunks of trial frequencies, with a stable argsort of the phases of every frequency.

    lk_numpy.py DIR POINTS [REPEATS]

reads DIR/lkPOINTS_{dt,mag,freq,theta,den}.bin written by periods_bench, prints
"numpy_ms T cpu_ms C max_rel_diff D" (best of REPEATS, wall and processor time; D
against morvik's theta).
"""
import sys
import time

import numpy as np


def lafler_kinman(dt, mags, freqs, denominator, chunk_elements=1 << 20):
    theta = np.empty(len(freqs))
    chunk = max(1, chunk_elements // max(1, len(dt)))
    for k0 in range(0, len(freqs), chunk):
        f = freqs[k0:k0 + chunk]
        x = np.multiply.outer(f, dt)
        phase = x - np.trunc(x)
        phase[phase < 0.0] += 1.0
        order = np.argsort(phase, axis=1, kind="stable")
        m = mags[order]
        d = np.diff(m, axis=1)
        s = (m[:, -1] - m[:, 0]) ** 2 + np.sum(d * d, axis=1)
        theta[k0:k0 + chunk] = s / denominator
    return theta


def main():
    folder, points = sys.argv[1], sys.argv[2]
    repeats = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    base = f"{folder}/lk{points}_"
    dt = np.fromfile(base + "dt.bin")
    mags = np.fromfile(base + "mag.bin")
    freqs = np.fromfile(base + "freq.bin")
    theirs = np.fromfile(base + "theta.bin")
    denominator = np.fromfile(base + "den.bin")[0]
    best = float("inf")
    cpu = float("inf")
    for _ in range(repeats):
        t0 = time.perf_counter()
        c0 = time.process_time()
        theta = lafler_kinman(dt, mags, freqs, denominator)
        cpu = min(cpu, time.process_time() - c0)
        best = min(best, time.perf_counter() - t0)
    diff = np.max(np.abs(theta - theirs) / np.maximum(np.abs(theirs), 1e-300))
    print(f"numpy_ms {best * 1000.0:.3f} cpu_ms {cpu * 1000.0:.3f} max_rel_diff {diff:.3e}")


if __name__ == "__main__":
    main()
