"""Variability indices and period search on plain arrays, for any light curve."""

from typing import Callable, NamedTuple, Optional

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


class PeriodMethod(NamedTuple):
    """A period search method: compute(t, y, dy, frequencies) -> (frequencies, power);
    best: "min" when the best period lies at the smallest power, "max" at the largest;
    fap(power at the best frequency, t, y, dy, frequencies) -> its false-alarm
    probability, or None for a method that defines none."""
    compute: Callable
    best: str
    fap: Optional[Callable] = None


# Period search methods by name.
PERIOD_METHODS = {
    "lk": PeriodMethod(_lafler_kinman, "min"),
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
    t, y, dy = _finite_points(t, y, dy)
    return _method(method).compute(t, y, dy, frequencies)


def best_period(frequencies, power, method="lk"):
    """(period, power) at the best frequency of a periodogram; NaN when it is empty."""
    power = np.asarray(power)
    if power.size == 0:
        return float("nan"), float("nan")
    k = int(np.argmin(power) if _method(method).best == "min" else np.argmax(power))
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
    fap = _method(method).fap
    periods, powers, faps = [], [], []
    for _, t, m, e in curves:
        period = best = probability = float("nan")
        try:
            freq, power = periodogram(t, m, e, method=method, frequencies=frequencies)
            period, best = best_period(freq, power, method)
            if fap is not None:
                probability = fap(best, *_finite_points(t, m, e), freq)
        except _core.MorvikError:
            pass  # a constant curve or a zero time span: no period
        periods.append(period)
        powers.append(best)
        faps.append(probability)
    table["BestPeriod"] = np.array(periods, dtype=np.float64)
    table["BestPower"] = np.array(powers, dtype=np.float64)
    table["FAP"] = np.array(faps, dtype=np.float64)
    table.index = pd.Index(stars, name="star")
    return table
