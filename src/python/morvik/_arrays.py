"""Variability indices and period search on plain arrays, for any light curve."""

import numpy as np
import pandas as pd

from . import _core

INDEX_COLUMNS = ["NAccepted", "RunMeanW", "RunMedian", "RunVariance", "ChiSq", "Mad", "RobustMedian",
                 "ExcessVariance", "VonNeumann"]


def indices(mag, err=None):
    """The variability indices the program computes for a star, of one light curve
    (1-D mag: a dict of numbers) or of many curves of equal length (2-D mag, curves x
    points: a DataFrame, one row per curve). Points whose magnitude or error is not a
    finite number (NaN) are left out, and the points on either side of one are not
    counted as successive. Without err every error is 1."""
    mag = np.asarray(mag, dtype=np.float64)
    single = mag.ndim == 1
    mag2 = np.ascontiguousarray(np.atleast_2d(mag))
    err2 = np.ones_like(mag2) if err is None else np.ascontiguousarray(
        np.atleast_2d(np.asarray(err, dtype=np.float64)))
    result = _core.indices(mag2, err2)
    if single:
        return {k: result[k][0] for k in INDEX_COLUMNS}
    return pd.DataFrame({k: result[k] for k in INDEX_COLUMNS})


def _finite_points(t, y, dy):
    t = np.asarray(t, dtype=np.float64)
    y = np.asarray(y, dtype=np.float64)
    keep = np.isfinite(t) & np.isfinite(y)
    if dy is not None:
        dy = np.asarray(dy, dtype=np.float64)
        keep &= np.isfinite(dy)
        dy = np.ascontiguousarray(dy[keep])
    return np.ascontiguousarray(t[keep]), np.ascontiguousarray(y[keep]), dy


def _lafler_kinman(t, y, dy, frequencies):
    # Lafler & Kinman 1965, ApJS 11, 216: theta is the sum of the squared steps between
    # neighbours in phase order over the sum of squared deviations from the mean. The
    # mean is the one the variability indices use: weighted by 1/dy^2 when dy is given.
    stats = _core.indices(y[np.newaxis, :], (np.ones_like(y) if dy is None else dy)[np.newaxis, :])
    denominator = float(stats["NAccepted"][0]) * stats["RunVariance"][0]
    freq = None if frequencies is None else np.ascontiguousarray(frequencies, dtype=np.float64)
    return _core.lafler_kinman(t, y, denominator, freq)


# Period search methods by name: each returns (frequencies, power) and says whether the
# best period lies at the smallest ("min") or the largest ("max") power.
PERIOD_METHODS = {
    "lk": (_lafler_kinman, "min"),
}


def _method(name):
    try:
        return PERIOD_METHODS[name]
    except KeyError:
        raise NotImplementedError(f"period search method {name!r} is not available; available methods: "
                                  + ", ".join(sorted(PERIOD_METHODS))) from None


def periodogram(t, y, dy=None, method="lk", frequencies=None):
    """The periodogram of one light curve: (frequencies in cycles per unit of t, power).
    For "lk" (Lafler-Kinman) the power is theta, small at a true period. Without
    frequencies the program's own grid is used: from 1 / (t[-1] - t[0]) to 1 / 0.007
    in steps of 0.01 / (t[-1] - t[0]), at most 10 000 frequencies. Points that are not
    finite numbers are left out."""
    compute, _ = _method(method)
    t, y, dy = _finite_points(t, y, dy)
    return compute(t, y, dy, frequencies)


def best_period(frequencies, power, method="lk"):
    """(period, power) at the best frequency of a periodogram; NaN when it is empty."""
    _, best = _method(method)
    power = np.asarray(power)
    if power.size == 0:
        return float("nan"), float("nan")
    k = int(np.argmin(power) if best == "min" else np.argmax(power))
    return 1.0 / float(frequencies[k]), float(power[k])


SUMMARY_COLUMNS = ["NPoints"] + INDEX_COLUMNS + ["BestPeriod", "BestPower", "FAP"]


def light_curve_summary(curves, frequencies=None, method="lk"):
    """Indices and best period of many light curves. curves: an iterable of (star, t,
    mag, err) with arrays (err may be None). Returns a DataFrame indexed by star with
    SUMMARY_COLUMNS. FAP, the false-alarm probability of the best period, is NaN for
    methods that define none (Lafler-Kinman)."""
    curves = list(curves)
    stars = [c[0] for c in curves]
    width = max((len(c[2]) for c in curves), default=0)
    # The indices of every curve in one call: shorter curves are padded with NaN, which
    # is left out at the end of a curve without changing anything.
    mag = np.full((len(curves), width), np.nan)
    err = np.full((len(curves), width), np.nan)
    for i, (_, _, m, e) in enumerate(curves):
        mag[i, :len(m)] = m
        err[i, :len(m)] = 1.0 if e is None else e
    table = indices(mag, err) if curves else pd.DataFrame({k: [] for k in INDEX_COLUMNS})
    table.insert(0, "NPoints", np.array([len(c[2]) for c in curves], dtype=np.int64))
    periods, powers = [], []
    for _, t, m, e in curves:
        try:
            freq, power = periodogram(t, m, e, method=method, frequencies=frequencies)
            period, best = best_period(freq, power, method)
        except _core.MorvikError:
            period, best = float("nan"), float("nan")  # a constant curve or a zero time span
        periods.append(period)
        powers.append(best)
    table["BestPeriod"] = np.array(periods, dtype=np.float64)
    table["BestPower"] = np.array(powers, dtype=np.float64)
    table["FAP"] = np.full(len(curves), np.nan)
    table.index = pd.Index(stars, name="star")
    return table
