"""Transit fits and times of minimum on numpy arrays: the same numbers as morvik-cli
--transit and --minima, as pandas tables."""

import io
from typing import NamedTuple, Optional

import numpy as np
import pandas as pd

from . import _core


class TransitFit(NamedTuple):
    summary: pd.DataFrame  # one row per parameter: best, p16, p50, p84, minus, plus, free
    info: dict             # baseline, BIC of each candidate, chi2, beta, sampler figures
    points: pd.DataFrame   # time, flux, error, model, baseline, residual


def _sections(text):
    return [s for s in text.split("\n\n") if s.strip()]


def _table(section):
    return pd.read_csv(io.StringIO(section), float_precision="round_trip")


def fit_transit(t, y, dy=None, *, period=3.0, t0=None, ld=None, fit_ld=False, filter="V", teff=5750.0,
                baseline=None, exposure=0.0, walkers=32, steps=5000, seed=1, magnitudes=False, airmass=None,
                columns=None):
    """Fit a transit to relative flux y (or magnitudes with magnitudes=True).

    ld=(u1, u2) fixes the limb darkening; otherwise it comes from the table by filter and
    teff, free about it with fit_ld=True. baseline="time2+airmass" fixes the baseline;
    by default the BIC chooses among polynomials in time, with and without airmass (an
    array) and the extra columns (a dict of name -> array, up to four). exposure is in
    seconds.
    Returns TransitFit(summary, info, points); summary is indexed by parameter name.
    """
    text = _core.fit_transit_csv(np.asarray(t, float), np.asarray(y, float),
                                 None if dy is None else np.asarray(dy, float), bool(magnitudes), float(period),
                                 None if t0 is None else float(t0), None if ld is None else tuple(map(float, ld)),
                                 bool(fit_ld), str(filter), float(teff), baseline, float(exposure), int(walkers),
                                 int(steps), int(seed), None if airmass is None else np.asarray(airmass, float),
                                 list(columns or {}), [np.asarray(v, float) for v in (columns or {}).values()])
    params, figures, points = _sections(text)
    summary = _table(params).set_index("parameter")
    info = {}
    candidates = {}
    for line in figures.splitlines():
        key, _, value = line.partition(",")
        if key == "baseline_bic":
            name, _, bic = value.rpartition(",")
            candidates[name] = float(bic)
            continue
        try:
            info[key] = int(value) if value.isdigit() else float(value)
        except ValueError:
            info[key] = value
    info["baseline_bic"] = candidates
    return TransitFit(summary, info, _table(points))


def minima(t, y, *, ephemeris=None, period=None, magnitudes=False):
    """Times of minimum (Kwee-van Woerden), one a night, of brightness y (flux, or
    magnitudes with magnitudes=True). ephemeris=(t0, p) gives cycles and O-C; with
    period alone the ephemeris is fitted to the minima found.

    Returns (table, ephemeris dict).
    """
    text = _core.minima_csv(np.asarray(t, float), np.asarray(y, float), bool(magnitudes),
                            None if ephemeris is None else tuple(map(float, ephemeris)),
                            None if period is None else float(period))
    parts = _sections(text)
    table = _table(parts[0])
    eph = {}
    for line in parts[1].splitlines() if len(parts) > 1 else []:
        key, _, value = line.partition(",")
        if key == "covariance":
            eph[key] = [float(v) for v in value.split(",")]
        elif key == "ephemeris":
            eph[key] = value
        else:
            eph[key] = float(value)
    return table, eph
