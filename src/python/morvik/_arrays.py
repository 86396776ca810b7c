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


def _search_points(t, y, dy):
    # The period search leaves out points whose error is not a positive number as well.
    t, y, dy = _finite_points(t, y, dy)
    if dy is not None:
        keep = dy > 0.0
        t, y, dy = np.ascontiguousarray(t[keep]), np.ascontiguousarray(y[keep]), np.ascontiguousarray(dy[keep])
    return t, y, dy


def _grid_periodogram(name):
    # Generalised Lomb-Scargle with a floating mean and weights 1/dy^2 (Zechmeister &
    # Kuerster 2009, A&A 496, 577), its multi-harmonic form (Schwarzenberg-Czerny 1996,
    # ApJ 460, L107) and the spectral window, as the period search computes them.
    def compute(t, y, dy, frequencies, min_period=_core.SEARCH_MIN_PERIOD, max_period=0.0,
                oversampling=_core.SEARCH_OVERSAMPLING, harmonics=_core.SEARCH_HARMONICS, threads=0):
        t, y, dy = _search_points(t, y, dy)
        if frequencies is None:
            first, step, count = _core.search_grid(t, float(min_period), float(max_period or 0.0),
                                                   float(oversampling))
            power = _core.grid_power(name, t, y, dy, first, step, count, int(harmonics), int(threads))
            return np.arange(count, dtype=np.float64) * step + first, power
        freq = np.ascontiguousarray(frequencies, dtype=np.float64)
        grid = _regular_grid(freq)
        if grid is not None:
            first, step, count = grid
            power = _core.grid_power(name, t, y, dy, first, step, count, int(harmonics), int(threads))
            return np.arange(count, dtype=np.float64) * step + first, power
        return freq, _core.frequency_power(name, t, y, dy, freq, int(harmonics), [], 0, int(threads))
    return compute


def _regular_grid(freq):
    # (first, step, count) when freq is first + k step, as np.linspace makes it (its last
    # value may differ by a rounding): such a grid is computed the fast way, and the
    # frequencies returned are the grid's own.
    if freq.ndim != 1 or freq.size < 3:
        return None
    step = (freq[-1] - freq[0]) / (freq.size - 1)
    grid = np.arange(freq.size, dtype=np.float64) * step + freq[0]
    if not step > 0.0 or not np.array_equal(grid[:-1], freq[:-1]):
        return None
    if abs(grid[-1] - freq[-1]) > 4 * np.spacing(abs(freq[-1])):
        return None
    return float(freq[0]), float(step), int(freq.size)


def _box_least_squares(t, y, dy, frequencies, min_period=_core.SEARCH_MIN_PERIOD, max_period=0.0,
                       oversampling=_core.SEARCH_OVERSAMPLING, durations=None, bins=_core.BLS_BINS, threads=0):
    # Kovacs, Zucker & Mazeh 2002, A&A 391, 369: the fraction of the weighted variance
    # that the best box of the given durations removes. Without frequencies: the
    # search's own box grid, finer than the common one by the duty cycle.
    t, y, dy = _search_points(t, y, dy)
    durations = list(_core.BLS_DURATIONS if durations is None else map(float, durations))
    if frequencies is None:
        frequencies = _core.box_grid(t, float(min_period), float(max_period or 0.0), float(oversampling),
                                     durations, int(bins))
    freq = np.ascontiguousarray(frequencies, dtype=np.float64)
    return freq, _core.frequency_power("bls", t, y, dy, freq, 0, durations, int(bins), int(threads))


def _gls_fap(power, t, y, dy, frequencies):
    # Baluev 2008, MNRAS 385, 1279: the analytic bound for a peak found anywhere up to
    # the highest frequency searched.
    t, _, dy = _search_points(t, y, dy)
    return _core.baluev_fap(float(power), len(t), float(np.max(frequencies)), t, dy)


# Period search methods by name. "lk" is the Lafler-Kinman periodogram command's own
# theta (its grid and denominator); the others are the periodograms of the period search.
PERIOD_METHODS = {
    "lk": PeriodMethod(_lafler_kinman, "min"),
    "gls": PeriodMethod(_grid_periodogram("gls"), "max", _gls_fap),
    "mhgls": PeriodMethod(_grid_periodogram("mhgls"), "max"),
    "bls": PeriodMethod(_box_least_squares, "max"),
    "window": PeriodMethod(_grid_periodogram("window"), "max"),
}


def _method(name):
    try:
        return PERIOD_METHODS[name]
    except KeyError:
        raise NotImplementedError(f"period search method {name!r} is not available; available methods: "
                                  + ", ".join(sorted(PERIOD_METHODS))) from None


def periodogram(t, y, dy=None, method="lk", frequencies=None, **options):
    """The periodogram of one light curve: (frequencies in cycles per unit of t, power).
    Points that are not finite numbers are left out.

    "lk" (Lafler-Kinman) gives theta, small at a true period. Without frequencies the
    program's own grid is used: from 1 / (t[-1] - t[0]) to 1 / 0.007 in steps of
    0.01 / (t[-1] - t[0]), at most 10 000 frequencies.

    "gls" (generalised Lomb-Scargle, floating mean, weights 1/dy^2, power in [0, 1]),
    "mhgls" (the same with `harmonics` terms, 3 by default), "bls" (box least squares
    with `durations` in days and `bins` phase bins) and "window" (the spectral window)
    are the periodograms of search_periods. Without frequencies they use its grid, set
    by min_period, max_period (0: the time span) and oversampling; "bls" its own
    finer grid. Evenly spaced frequencies (np.linspace) are computed as a grid, sines
    advanced by rotation (within 1e-13 of direct values); any others one by one.
    Points with an error that is not positive are left out, and dy=None weighs every
    point equally. `threads` (0: every core) does not change the result."""
    t, y, dy = _finite_points(t, y, dy)
    return _method(method).compute(t, y, dy, frequencies, **options)


SEARCH_METHODS = ["gls", "mhgls", "lk", "bls"]  # "all", in the batch program's order
PEAK_COLUMNS = ["method", "rank", "frequency", "period", "period_error", "power", "fap", "fap_is_bound", "alias"]


def search_periods(t, y, dy=None, method="gls,mhgls,lk", min_period=_core.SEARCH_MIN_PERIOD, max_period=None,
                   oversampling=_core.SEARCH_OVERSAMPLING, fap_rounds=0, seed=1, top_peaks=5,
                   harmonics=_core.SEARCH_HARMONICS, threads=0, approximate=False, trend="auto"):
    """The period search of morvik-cli --period-search on one light curve.

    method: "lk", "gls", "mhgls", "bls", a list or comma-separated string of them, or
    "all". The grid runs from 1 / max_period (None: the time span) to
    1 / min_period in steps of 1 / (oversampling x span). fap_rounds > 0 adds a
    permutation false-alarm probability of every method's best peak, driven by seed.
    trend: "none", "linear", "quadratic" or "auto" (linear when the span exceeds 10
    times the longest period searched), fitted with every model and in the null
    hypothesis.

    Returns a dict: the combined answer (period, period_error, power, fap,
    fap_is_bound, fap_text, method, agreeing, methods_run, second_period, note, window,
    at_grid_edge), trend, constant (True: the magnitudes do not vary, found is False and
    the note says "no significant period"), points, grid (first, step, count), peaks (a
    DataFrame of PEAK_COLUMNS: the top peaks of every method refined off the grid,
    best first, period_error 0 and fap -1 where not known, fap_is_bound where the fap
    is the floor of the permutation rounds, alias marks), periodograms ({method:
    (frequencies, power)}), box (bls: duration of the winning box, mid-time, depth),
    box_stats (bls: depth error, SNR, SDE) and window_peaks. A FAP that is a floor is
    a bound: fap_text gives it as "< 0.048"."""
    names = SEARCH_METHODS if method == "all" else (method.split(",") if isinstance(method, str) else list(method))
    t, y, dy = _finite_points(t, y, dy)
    r = _core.search_periods(t, y, dy, [n.strip() for n in names], float(min_period), float(max_period or 0.0),
                             float(oversampling), int(fap_rounds), int(seed), int(top_peaks), int(harmonics),
                             int(threads), bool(approximate), str(trend))
    peaks = pd.DataFrame(r.pop("peaks"), columns=PEAK_COLUMNS)
    peaks["rank"] = peaks["rank"].astype(np.int64)
    r["peaks"] = peaks
    periodograms = {}
    for m in r.pop("periodograms"):
        periodograms[m["method"]] = (np.asarray(m["frequency"], dtype=np.float64), m["power"])
        if "box" in m:
            r["box"] = m["box"]
            r["box_stats"] = m["box_stats"]
    r["periodograms"] = periodograms
    return r


def best_period(frequencies, power, method="lk"):
    """(period, power) at the best frequency of a periodogram; NaN when it holds no
    number."""
    power = np.asarray(power, dtype=np.float64)
    finite = np.isfinite(power)
    if not finite.any():
        return float("nan"), float("nan")
    lowest = _method(method).best == "min"
    score = np.where(finite, power, np.inf if lowest else -np.inf)
    k = int(np.argmin(score) if lowest else np.argmax(score))
    return 1.0 / float(frequencies[k]), float(power[k])


SUMMARY_COLUMNS = ["NPoints"] + INDEX_COLUMNS + ["BestPeriod", "BestPower", "FAP"]


def light_curve_summary(curves, frequencies=None, method="gls"):
    """Indices and best period of many light curves. curves: an iterable of (star, t,
    mag, err) with arrays (err may be None). Returns a DataFrame indexed by star with
    SUMMARY_COLUMNS. method is one of PERIOD_METHODS, where the best period is the
    periodogram's best on `frequencies` (None: the method's own grid of each curve), or
    "search": the combined answer of search_periods with its defaults. FAP, the
    false-alarm probability of the best period, is NaN for methods that define none
    (Lafler-Kinman, mhgls, bls). A curve without variance, too short or of no time
    span gets NaN."""
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
    fap = None if method == "search" else _method(method).fap
    periods, powers, faps = [], [], []
    variance = table["RunVariance"].to_numpy()
    for (_, t, m, e), v in zip(curves, variance):
        period = best = probability = float("nan")
        try:
            if not v > 0.0:
                pass  # a constant curve has no period (rounding alone would make one)
            elif method == "search":
                r = search_periods(t, m, e)
                if r["found"]:
                    period, best = r["period"], r["power"]
                    probability = r["fap"] if r["fap"] >= 0.0 else float("nan")
            else:
                freq, power = periodogram(t, m, e, method=method, frequencies=frequencies)
                period, best = best_period(freq, power, method)
                if fap is not None:
                    probability = fap(best, *_finite_points(t, m, e), freq)
        except _core.MorvikError:
            pass  # a zero time span or too few points: no period
        periods.append(period)
        powers.append(best)
        faps.append(probability)
    table["BestPeriod"] = np.array(periods, dtype=np.float64)
    table["BestPower"] = np.array(powers, dtype=np.float64)
    table["FAP"] = np.array(faps, dtype=np.float64)
    table.index = pd.Index(stars, name="star")
    return table
