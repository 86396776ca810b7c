import dask.bag as db
import dask.dataframe as dd
import numpy as np
import pandas as pd
import pytest
from dask.distributed import Client, LocalCluster

import morvik
import morvik.dask


def light_curves(count=24, points=120):
    rng = np.random.default_rng(11)
    curves = []
    for star in range(1, count + 1):
        n = points - star % 5  # curves of unequal length
        t = np.sort(rng.uniform(0.0, 20.0, n))
        y = 12.0 + 0.2 * (star % 3) * np.sin(2 * np.pi * t / (0.5 + star / 10)) + rng.normal(0.0, 0.02, n)
        e = np.full(n, 0.02)
        if star % 7 == 0:
            y[n // 2] = np.nan  # a missing point
        curves.append((star, t, y, e))
    curves.append((count + 1, np.linspace(0.0, 20.0, 30), np.full(30, 12.0), np.full(30, 0.02)))  # constant
    return curves


FREQUENCIES = np.linspace(0.05, 2.5, 400)


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster:
        with Client(cluster) as c:
            yield c


@pytest.mark.parametrize("method", ["gls", "search"])
def test_cluster_result_equals_one_process(client, method):
    curves = light_curves()
    expected = morvik.light_curve_summary(curves, method=method)
    assert list(expected.columns) == morvik.SUMMARY_COLUMNS
    # Every varying curve gets a period and its FAP; the constant one neither.
    assert expected["FAP"].iloc[:-1].between(0.0, 1.0).all()
    assert np.isnan(expected["BestPeriod"].iloc[-1]) and np.isnan(expected["FAP"].iloc[-1])

    bag = db.from_sequence(curves, npartitions=4)
    from_bag = morvik.dask.light_curve_table(bag, method=method).compute()
    pd.testing.assert_frame_equal(from_bag.sort_index(), expected, check_exact=True)

    points = pd.concat([pd.DataFrame({"star": s, "t": t, "mag": y, "err": e}) for s, t, y, e in curves],
                       ignore_index=True)
    # One partition per block of stars: every point of a star in one partition.
    frame = dd.from_pandas(points.set_index("star", drop=False), npartitions=3, sort=True)
    from_frame = morvik.dask.light_curve_table(frame, method=method).compute()
    pd.testing.assert_frame_equal(from_frame.sort_index(), expected, check_exact=True)
    assert len(client.scheduler_info()["workers"]) == 2


def test_a_single_curve_in_the_summary_equals_the_array_functions():
    star, t, y, e = light_curves()[3]  # 0.2 mag at 0.9 d
    rows = {m: morvik.light_curve_summary([(star, t, y, e)], frequencies=FREQUENCIES, method=m).loc[star]
            for m in ["lk", "gls"]}
    for method, row in rows.items():
        freq, power = morvik.periodogram(t, y, e, method=method, frequencies=FREQUENCIES)
        assert (row["BestPeriod"], row["BestPower"]) == morvik.best_period(freq, power, method)
        assert row["RunVariance"] == morvik.indices(y, e)["RunVariance"]
    assert rows["gls"]["FAP"] == morvik.PERIOD_METHODS["gls"].fap(rows["gls"]["BestPower"], t, y, e, FREQUENCIES)
    assert rows["gls"]["BestPeriod"] == pytest.approx(0.9, rel=0.01) and rows["gls"]["FAP"] < 1e-6
    found = morvik.search_periods(t, y, e)
    row = morvik.light_curve_summary([(star, t, y, e)], method="search").loc[star]
    assert (row["BestPeriod"], row["BestPower"], row["FAP"]) == (found["period"], found["power"], found["fap"])


def test_other_collections_are_refused():
    with pytest.raises(TypeError):
        morvik.dask.light_curve_table(light_curves())
