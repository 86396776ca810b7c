import numpy as np
import pytest

import morvik


def dip(seed=5, depth=0.012, mid=2460000.70):
    rng = np.random.default_rng(seed)
    t = np.arange(2460000.60, 2460000.80, 1.5 / 1440)
    y = 1 - depth * np.exp(-((t - mid) / 0.03) ** 8) + rng.normal(0, 0.002, t.size)
    return t, y


def test_fit_transit_tables_are_seeded_and_find_the_dip():
    t, y = dip()
    a = morvik.fit_transit(t, y, np.full(t.size, 0.002), steps=600, walkers=16, seed=3)
    b = morvik.fit_transit(t, y, np.full(t.size, 0.002), steps=600, walkers=16, seed=3)
    c = morvik.fit_transit(t, y, np.full(t.size, 0.002), steps=600, walkers=16, seed=4)
    assert a.summary.equals(b.summary)
    assert not a.summary.equals(c.summary)
    t0 = a.summary.loc["t0"]
    assert abs(t0["p50"] - 2460000.70) < 3 * max(t0["minus"], t0["plus"])
    assert a.summary.loc["depth", "p50"] == pytest.approx(0.012, rel=0.15)
    assert len(a.points) == t.size and set(a.info["baseline_bic"]) == {"constant", "time1", "time2"}
    # Magnitudes are turned into flux as the CLI turns its light curves.
    m = morvik.fit_transit(t, 10 - 2.5 * np.log10(y), 1.0857 * 0.002 / y, magnitudes=True, steps=600, walkers=16,
                           seed=3)
    assert m.summary.loc["t0", "p50"] == pytest.approx(t0["p50"], abs=t0["plus"])


def test_an_airmass_trend_is_chosen_by_the_bic():
    t, y = dip(seed=8)
    # Setting: the zenith distance grows from 40 to 72 degrees, sec z from 1.3 to 3.2.
    airmass = 1 / np.cos(np.radians(40 + 32 * (t - t[0]) / (t[-1] - t[0])))
    fwhm = np.random.default_rng(2).normal(3.0, 0.2, t.size)
    fit = morvik.fit_transit(t, y * (1 - 0.03 * (airmass - 1)), np.full(t.size, 0.002), steps=300, walkers=16,
                             airmass=airmass, columns={"fwhm": fwhm})
    assert "airmass" in fit.info["baseline"] and "fwhm" not in fit.info["baseline"]
    assert len(fit.info["baseline_bic"]) == 12
    with pytest.raises(ValueError):
        morvik.fit_transit(t, y, airmass=airmass[:-1])


def test_minima_with_an_ephemeris_give_cycles_and_o_c():
    t1, y1 = dip(seed=1, depth=0.3)
    t2, y2 = dip(seed=2, depth=0.3)
    t = np.concatenate([t1, t2 + 7 * 0.8])
    y = np.concatenate([y1, y2])
    table, eph = morvik.minima(t, y, ephemeris=(2460000.70, 0.8))
    assert list(table["cycle"]) == [0, 7]
    assert np.all(np.abs(table["o_c"]) < 5 * table["error"])
    assert eph["ephemeris"] == "given"
