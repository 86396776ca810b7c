import csv
import os
import subprocess

import numpy as np
import pytest
from astropy.timeseries import LombScargle

import morvik
from morvik import _core


def series(n=90, seed=4, period=0.61, span=30.0):
    rng = np.random.default_rng(seed)
    t = np.sort(rng.uniform(0.0, span, n))
    dy = rng.uniform(0.01, 0.04, n)
    y = 12.0 + 0.1 * np.sin(2 * np.pi * t / period) + rng.normal(0.0, 1.0, n) * dy
    return t, y, dy


def test_periodograms_equal_those_of_the_search():
    t, y, dy = series()
    found = morvik.search_periods(t, y, dy, method="all", max_period=5.0)
    assert found["period"] == pytest.approx(0.61, rel=0.01)
    first, step, count = found["grid"]
    for method in ["gls", "mhgls", "bls"]:
        freq, power = morvik.periodogram(t, y, dy, method=method, max_period=5.0)
        f2, p2 = found["periodograms"][method]
        assert np.array_equal(freq, f2) and np.array_equal(power, p2), method
        # The peaks are refined off the grid: within a step of the grid's best, and as high.
        best = found["peaks"][found["peaks"]["method"] == method].iloc[0]
        grid_period, grid_power = morvik.best_period(freq, power, method)
        assert abs(1.0 / grid_period - 1.0 / best["period"]) <= np.diff(freq).max(), method
        assert best["power"] >= grid_power - 1e-12, method
    # At frequencies off the grid every value is computed directly: within the
    # rotation's rounding of the grid's values.
    pick = np.arange(1, count, 37) + np.arange(len(range(1, count, 37))) % 3  # uneven steps
    _, direct = morvik.periodogram(t, y, dy, method="gls", frequencies=found["periodograms"]["gls"][0][pick])
    np.testing.assert_allclose(direct, found["periodograms"]["gls"][1][pick], rtol=0, atol=1e-12)
    # Evenly spaced frequencies go the grid's way, up to np.linspace's last value.
    spaced = np.linspace(first, first + 99 * step, 100)
    f3, p3 = morvik.periodogram(t, y, dy, method="gls", frequencies=spaced)
    assert np.array_equal(p3, found["periodograms"]["gls"][1][:100]) and np.allclose(f3, spaced, rtol=1e-15)
    window = morvik.periodogram(t, y, dy, method="window", frequencies=[0.0, 1.0])[1]
    assert window[0] == pytest.approx(1.0) and 0.0 < window[1] < 1.0


def test_gls_and_its_fap_equal_astropy():
    t, y, dy = series(n=150, seed=9, period=2.3)
    freq = np.linspace(0.02, 5.0, 3000)
    _, power = morvik.periodogram(t, y, dy, method="gls", frequencies=freq)
    ls = LombScargle(t, y, dy, fit_mean=True, center_data=True, normalization="standard")
    expected = ls.power(freq, method="cython")
    np.testing.assert_allclose(power, expected, rtol=1e-8, atol=1e-12)
    # astropy takes the highest frequency of its own grid up to the one asked for.
    fmax = ls.autofrequency(maximum_frequency=freq[-1])[-1]
    for z in [0.05, 0.15, 0.3]:  # from near 1 to far below
        ours = morvik.PERIOD_METHODS["gls"].fap(z, t, y, dy, [fmax])
        theirs = ls.false_alarm_probability(z, method="baluev", maximum_frequency=freq[-1])
        assert ours == pytest.approx(theirs, rel=1e-9), z


def fap_matches(text, value, bound):
    """A FAP field against the module's: a floor of the permutation rounds reads "< 0.048"
    (two digits), any other value in full."""
    if text.startswith("<"):
        return bound and float(text[1:]) == pytest.approx(value, rel=0.02)
    return not bound and float(text) == value


def test_search_equals_the_batch_program(field_files, tmp_path):
    frame, comp, _ = field_files
    star = 12
    options = ["--method", "all", "--max-period", "1.2", "--fap-rounds", "20", "--seed", "7"]
    subprocess.run([os.environ["MORVIK_CLI"], str(frame), "--comp", str(comp), "--quiet",
                    "--period-search", f"{star}=peaks.csv"] + options, cwd=tmp_path, check=True)
    with open(tmp_path / "peaks.csv", newline="") as f:
        rows = list(csv.DictReader(f))

    field = morvik.open_field(frame)
    field.run(comp=comp)
    lc = field.light_curve(star)
    lc = lc[lc["valid"]]
    err = lc["err"].to_numpy()
    found = morvik.search_periods(lc["time"], lc["run_mag"], None if (err == 0).any() else err, method="all",
                                  max_period=1.2, fap_rounds=20, seed=7, threads=1)
    combined = rows.pop(0)
    assert combined["method"] == "combined" and combined["note"].startswith(found["method"])
    assert [float(combined[k]) for k in ("period", "period_error", "power")] == \
        [found[k] for k in ("period", "period_error", "power")]
    assert fap_matches(combined["fap"], found["fap"], found["fap_is_bound"])
    peaks = found["peaks"]
    assert len(peaks) == len(rows)
    for row, (_, peak) in zip(rows, peaks.iterrows()):
        assert (row["method"], int(row["rank"]), row["alias"]) == (peak["method"], peak["rank"], peak["alias"])
        assert [float(row[k]) for k in ("frequency", "period", "period_error", "power")] == \
            [peak[k] for k in ("frequency", "period", "period_error", "power")]
        assert fap_matches(row["fap"], peak["fap"], peak["fap_is_bound"])


@pytest.mark.parametrize("call,error,message", [
    (lambda t: morvik.search_periods(t[:7], t[:7]), morvik.MorvikError, "at least 8"),
    (lambda t: morvik.search_periods(t, t, method="pdm"), ValueError, "unknown period search method"),
    (lambda t: morvik.search_periods(t, t, min_period=2.0, max_period=1.0), morvik.MorvikError, ""),
    (lambda t: morvik.periodogram(t, t, method="gls", oversampling=1e9), morvik.MorvikError, "frequencies"),
    (lambda t: _core.frequency_power("bls", t, t[:5], None, [1.0], 0, [0.1], 20), ValueError, "same length"),
])
def test_refusals(call, error, message):
    with pytest.raises(error, match=message):
        call(np.linspace(0.0, 10.0, 40))


def test_unusable_points_are_left_out():
    t, y, dy = series(n=60)
    spoiled_t, spoiled_y, spoiled_dy = np.append(t, [31.0, 32.0]), np.append(y, [np.nan, 3.0]), np.append(dy, [1, 0])
    for method in ["gls", "bls"]:
        assert np.array_equal(morvik.periodogram(t, y, dy, method=method)[1],
                              morvik.periodogram(spoiled_t, spoiled_y, spoiled_dy, method=method)[1]), method
    a = morvik.search_periods(t, y, dy)
    b = morvik.search_periods(spoiled_t, spoiled_y, spoiled_dy)
    assert (a["points"], a["period"], a["fap"]) == (b["points"], b["period"], b["fap"]) == (60, a["period"], a["fap"])
