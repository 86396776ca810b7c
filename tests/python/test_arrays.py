import numpy as np
import pytest

import morvik
from morvik import _core


@pytest.fixture(scope="module")
def searched(field_files):
    """A field after Run and Search with factors that accept every valid measurement."""
    frame, comp, _ = field_files
    field = morvik.open_field(frame)
    field.delete(2, 10)  # a gap inside one light curve
    field.run(comp=comp, star_sigma=1000, data_sigma=1000)
    field.search()
    return field


def test_indices_of_arrays_equal_the_field_search(searched):
    _, err, run, valid = searched.measurements()
    mags = np.where(valid, run, np.nan).T
    table = morvik.indices(mags, err.T)
    stats = searched.stats()
    for column in morvik.INDEX_COLUMNS:
        assert np.array_equal(table[column].to_numpy(), stats[column].to_numpy()), column
    one = morvik.indices(mags[1], err.T[1])
    assert all(one[c] == stats[c][1] for c in morvik.INDEX_COLUMNS)


def test_lafler_kinman_of_arrays_equals_the_field_periodogram(searched):
    stats = searched.stats()
    # A star valid in every row, so that its points span the table's time range.
    star = int(stats[stats["NValid"] == searched.rows]["id"].iloc[-1])
    freq, theta = searched.periodogram(star)
    lc = searched.light_curve(star)
    lc = lc[lc["valid"]]
    s = stats.iloc[star - 1]
    denominator = float(s["NValid"]) * s["RunVariance"]
    t, y = lc["time"].to_numpy(), lc["run_mag"].to_numpy()
    f2, th2 = _core.lafler_kinman(t, y, denominator)
    assert np.array_equal(f2, freq) and np.array_equal(th2, theta)
    picked = freq[::97].copy()
    f3, th3 = _core.lafler_kinman(t, y, denominator, picked)
    assert np.array_equal(f3, picked) and np.array_equal(th3, theta[::97])
    # morvik.periodogram: the same core with the denominator of the curve's own indices.
    f4, th4 = morvik.periodogram(t, y, lc["err"].to_numpy(), frequencies=picked)
    assert np.array_equal(th4, th3)


@pytest.mark.parametrize("mag,expected", [
    ([], dict(NAccepted=0, RobustMedian=0.0)),
    ([np.nan, np.nan], dict(NAccepted=0, RobustMedian=0.0)),
    ([12.5], dict(NAccepted=1, RunMeanW=12.5, RunMedian=0.0, RobustMedian=0.1, VonNeumann=0.0)),
    ([1.0, 2.0, 4.0], dict(NAccepted=3, RunMedian=2.0, Mad=1.0, VonNeumann=(42 / 9) / 5)),
    # The NaN breaks the chain: only the step 1 -> 2 counts.
    ([1.0, 2.0, np.nan, 4.0], dict(NAccepted=3, RunMedian=2.0, VonNeumann=(42 / 9) / 1)),
])
def test_indices_at_the_edges(mag, expected):
    result = morvik.indices(np.array(mag, dtype=np.float64).reshape(1, -1))
    for key, value in expected.items():
        assert result[key][0] == pytest.approx(value), key


def test_periodogram_refusals():
    t = np.linspace(0.0, 10.0, 50)
    with pytest.raises(NotImplementedError, match="available methods: bls, gls, lk, mhgls, window"):
        morvik.periodogram(t, np.sin(t), method="pdm")
    with pytest.raises(morvik.MorvikError, match="Sigma is 0"):
        morvik.periodogram(t, np.full(50, 11.0))
    with pytest.raises(morvik.MorvikError, match="same time"):
        morvik.periodogram(np.zeros(5), np.arange(5.0))
    t = np.sort(np.random.default_rng(3).uniform(0.0, 10.0, 60))
    period, _ = morvik.best_period(*morvik.periodogram(t, np.sin(2 * np.pi * t / 1.7)))
    assert period == pytest.approx(1.7, rel=0.01)


def test_a_method_is_one_entry_of_the_table(monkeypatch):
    grid = np.array([0.5, 1.0, 2.0])
    power = lambda t, y, dy, f: (f, np.array([0.1, 0.7, 0.3]))  # noqa: E731
    monkeypatch.setitem(morvik.PERIOD_METHODS, "peak", morvik.PeriodMethod(power, "max", lambda p, *_: p / 2))
    t = np.linspace(0.0, 5.0, 20)
    row = morvik.light_curve_summary([(7, t, np.sin(t), None)], frequencies=grid, method="peak").loc[7]
    assert (row["BestPeriod"], row["BestPower"], row["FAP"]) == (1.0, 0.7, 0.35)
