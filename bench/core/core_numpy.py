#!/usr/bin/python3
"""The peer of the core benchmark: Run (raw statistics, automatic choice of the
comparison stars, weight iteration, frame zero points) followed by the variability
indices, vectorised with numpy over the whole table, with the default settings.

    core_numpy.py BASE W H COMP MAG RUNS OURS

Reads BASE.dat with numpy.loadtxt and BASE.xml once (not timed), times RUNS rounds of
the computation (best kept), then compares every per-star statistic with the ones
morvik wrote to OURS. Prints one line of key=value pairs.
"""
import sys
import time
import xml.etree.ElementTree as ET

import numpy as np

# Default settings of the settings page.
FRAME_BORDER, FRAME_BORDER_PX, PART4SELECT = 10, 50, 70
VARIANCE_FACTOR, NOT_MORE_COMP = 1.5, 1000
STAR_SIGMA_FACTOR, DATA_SIGMA_FACTOR = 2.0, 2.0
LARGEST_WEIGHT = 1e300
FIELDS = ["Mean", "MeanW", "NValid", "MeanErr", "Variance", "Used", "Weight", "RunMean", "NAccepted",
          "RunMeanW", "RunVariance", "ChiSq", "RunMedian", "Mad", "RobustMedian", "ExcessVariance",
          "VonNeumann"]
EXACT = {"NValid", "Used", "NAccepted"}


def load(base):
    table = np.loadtxt(base + ".dat", comments="#", ndmin=2)
    mag, err = table[:, 1::2], table[:, 2::2]
    valid = (mag < 99.0) & (err < 9.0)
    mag = np.where(valid, mag, 0.0)
    err = np.where(valid, err, 0.0)
    stars = mag.shape[1]
    x, y = np.zeros(stars), np.zeros(stars)
    for s in ET.parse(base + ".xml").getroot().find("stars").iter("s"):
        i = int(s.get("id")) - 1
        if 0 <= i < stars:
            x[i], y[i] = float(s.get("x", 0)), float(s.get("y", 0))
    return mag, err, valid, x, y


def inverse_square(err, mask):
    w = 1.0 / (err * err)
    return np.where(mask & np.isfinite(w), w, 0.0)


def median_of(values, mask, n):
    """Median of the masked values of every column; 0 for fewer than two values.

    Only the middle values are needed: the missing values of a column are split into
    -inf below and +inf above its accepted ones, as evenly as they go, which puts the
    column's middle values at the table's own middle positions whatever its count. One
    partition of every column then finds them."""
    rows = values.shape[0]
    absent = ~mask
    below = (rows - n + 1) // 2
    low = absent & (np.cumsum(absent, axis=0) <= below)
    padded = np.where(mask, values, np.where(low, -np.inf, np.inf))
    k = [(rows - 1) // 2, rows // 2]
    part = np.partition(np.ascontiguousarray(padded.T), k, axis=1)
    lo = below + (np.maximum(n, 1) - 1) // 2
    hi = below + n // 2
    a = np.where(lo == k[0], part[:, k[0]], part[:, k[1]])
    b = np.where(hi == k[0], part[:, k[0]], part[:, k[1]])
    return np.where(n >= 2, (a + b) / 2.0, 0.0)


def compute(mag, err, valid, x, y, width, height, comp, comp_mag):
    rows, stars = mag.shape
    out = {}
    # Raw statistics. Sums along axis 0 add the rows in table order, as morvik does.
    n = valid.sum(axis=0)
    nf = np.maximum(n, 1).astype(float)
    mean = np.where(n > 0, mag.sum(axis=0) / nf, 0.0)
    mean_err = np.where(n > 0, err.sum(axis=0) / nf, 0.0)
    w = inverse_square(err, valid)
    sw, swm = w.sum(axis=0), (w * mag).sum(axis=0)
    mean_w = np.where(sw > 0, swm / np.where(sw > 0, sw, 1.0), mean)
    mean_w = np.where(np.isfinite(mean_w), mean_w, mean)
    d = np.where(valid, mag - mean_w, 0.0)
    variance = np.where(n >= 2, (d * d).sum(axis=0) / nf, 0.0)
    mean_variance = variance.sum() / stars

    # Automatic choice: the first NOT_MORE_COMP qualifying stars by id.
    bx = max(width // FRAME_BORDER, FRAME_BORDER_PX)
    by = max(height // FRAME_BORDER, FRAME_BORDER_PX)
    presence = PART4SELECT / 100.0 * rows
    qualifies = ((n >= presence) & (variance <= VARIANCE_FACTOR * mean_variance) & (bx <= x) & (x <= width - bx)
                 & (by <= y) & (y <= height - by))
    used = qualifies & (np.cumsum(qualifies) <= NOT_MORE_COMP)

    # Weight iteration.
    var_used = variance[used]
    wt = np.ones(var_used.size)
    previous = 0.0
    for r in range(1, 21):
        total = wt.sum()
        wt = wt / total if total > 0 else np.ones(wt.size)
        v = np.where(wt < 1.0, var_used / np.where(wt < 1.0, 1.0 - wt, 1.0), 0.0)
        wt = np.where(v > 0, np.minimum(1.0 / np.where(v > 0, v * v, 1.0), LARGEST_WEIGHT), 0.0)
        s = wt.sum()
        if r >= 2 and s != 0 and abs(s - previous) / s < 1e-8:
            break
        previous = s
    total = wt.sum()
    weight = np.zeros(stars)
    weight[used] = wt / total if total > 0 else 1.0
    run_mean = mean - mean[comp - 1] + comp_mag

    # Frame zero points and ensemble magnitudes.
    cw = np.where(used & (weight > 0), weight, 0.0)
    wsum = valid.astype(float) @ cw
    asum = d @ cw
    z = np.where(wsum > 0, asum / np.where(wsum > 0, wsum, 1.0), 0.0)
    count = valid.sum(axis=1)
    frame_err = np.where(count > 0, err.sum(axis=1) / np.maximum(count, 1), 0.0)
    mean_sigma_all = frame_err.sum() / rows
    q = mag - z[:, None]
    q[q == 0.0] = 1e-50
    run_mag = np.where(valid, q - mean_w[comp - 1] + comp_mag, 0.0)

    # Variability indices.
    acc = valid & (err <= STAR_SIGMA_FACTOR * mean_err) & (frame_err <= DATA_SIGMA_FACTOR * mean_sigma_all)[:, None]
    na = acc.sum(axis=0)
    naf = np.maximum(na, 1).astype(float)
    w = inverse_square(err, acc)
    weighted = w.sum(axis=0)
    m_acc = np.where(acc, run_mag, 0.0)
    plain = m_acc.sum(axis=0) / naf
    mw = np.where(weighted > 0, (w * run_mag).sum(axis=0) / np.where(weighted > 0, weighted, 1.0), plain)
    median = median_of(run_mag, acc, na)
    dev = np.where(acc, run_mag - mw, 0.0)
    d2 = dev * dev
    sum_s = d2.sum(axis=0)
    e2 = np.where(w > 0, err * err, 1.0)
    chi = np.where(w > 0, d2 / e2, 0.0).sum(axis=0)
    a = np.abs(run_mag - median)
    robust = np.where(w > 0, a / np.where(w > 0, err, 1.0), 0.0).sum(axis=0)
    mad = median_of(a, acc, na)
    excess = np.where(acc, d2 - err * err, 0.0).sum(axis=0)
    step = np.where(acc[1:] & acc[:-1], run_mag[1:] - run_mag[:-1], 0.0)
    vsum = (step * step).sum(axis=0)
    scale = mw * mw * na
    some = na > 0
    out["Mean"], out["MeanW"], out["NValid"], out["MeanErr"] = mean, np.where(n > 0, mean_w, 0.0), n, mean_err
    out["Variance"], out["Used"], out["Weight"], out["RunMean"] = variance, used, weight, run_mean
    out["NAccepted"] = na
    out["RunMeanW"] = np.where(some, mw, 0.0)
    out["RunVariance"] = np.where(some, sum_s / naf, 0.0)
    out["ChiSq"] = np.where(some, chi, 0.0)
    out["RunMedian"] = median
    out["Mad"] = mad
    out["RobustMedian"] = np.where(na > 1, robust / np.maximum(na - 1, 1), np.where(na == 1, 0.1, 0.0))
    out["ExcessVariance"] = np.where(some & (scale != 0), excess / np.where(scale != 0, scale, 1.0), 0.0)
    out["VonNeumann"] = np.where(some & (vsum > 0), sum_s / np.where(vsum > 0, vsum, 1.0), 0.0)
    totals = {"UsedCount": int(used.sum()), "MeanVariance": mean_variance, "MeanSigmaAll": mean_sigma_all}
    return out, totals


def compare(out, totals, path, stars, tolerance=1e-9):
    """Largest relative difference of the real-valued fields and the count of values
    outside the tolerance (counts and flags must agree exactly)."""
    raw = np.fromfile(path, dtype=np.float64)
    head, ours = raw[:3], raw[3:].reshape(stars, len(FIELDS))
    worst, bad, worst_field = 0.0, 0, "-"
    bad += int(head[0] != totals["UsedCount"])
    pairs = [("MeanVariance", head[1], totals["MeanVariance"]), ("MeanSigmaAll", head[2], totals["MeanSigmaAll"])]
    for name, a, b in pairs:
        rel = abs(a - b) / max(abs(a), abs(b), 1e-300)
        bad += int(rel > tolerance)
        if rel > worst:
            worst, worst_field = rel, name
    for k, name in enumerate(FIELDS):
        a, b = ours[:, k], np.asarray(out[name], dtype=np.float64)
        if name in EXACT:
            bad += int(np.count_nonzero(a != b))
            continue
        rel = np.abs(a - b) / np.maximum(np.maximum(np.abs(a), np.abs(b)), 1e-300)
        bad += int(np.count_nonzero(rel > tolerance))
        if rel.max() > worst:
            worst, worst_field = float(rel.max()), name
    return worst, worst_field, bad, stars * len(FIELDS) + 3


def main():
    base = sys.argv[1]
    width, height, comp, comp_mag = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
    runs, ours = int(sys.argv[6]), sys.argv[7]
    t0 = time.perf_counter()
    mag, err, valid, x, y = load(base)
    load_s = time.perf_counter() - t0
    best_wall, best_cpu = float("inf"), float("inf")
    for _ in range(runs):
        w0, c0 = time.perf_counter(), time.process_time()
        with np.errstate(all="ignore"):
            out, totals = compute(mag, err, valid, x, y, width, height, comp, comp_mag)
        best_wall = min(best_wall, time.perf_counter() - w0)
        best_cpu = min(best_cpu, time.process_time() - c0)
    worst, field, bad, compared = compare(out, totals, ours, mag.shape[1])
    print(f"numpy_s={best_wall:.4f} numpy_cpu_s={best_cpu:.4f} load_s={load_s:.2f} used={totals['UsedCount']} "
          f"compared={compared} mismatches={bad} max_rel_diff={worst:.3g} worst_field={field}")
    return 0 if bad == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
