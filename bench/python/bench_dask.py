"""Variability indices and period search (generalised Lomb-Scargle with its Baluev
false-alarm probability) over many generated light curves through morvik.dask on a
LocalCluster of one and of two worker processes, against astropy's LombScargle (power
and Baluev FAP of the best peak) looped in one process over the same curves and
frequency grid.

    bench_dask.py [CURVES] [POINTS]

Prints light curves per second, the scaling factor from one to two workers and the
ratio against astropy; checks that both clusters give the same table. Asserts no times.
"""
import sys
import time

import dask.bag as db
import numpy as np
from astropy.timeseries import LombScargle
from dask.distributed import Client, LocalCluster

import morvik.dask

BLOCK = 2000  # light curves per partition
GRID = np.linspace(0.05, 5.0, 300)  # cycles per day: periods of 0.2 to 20 days


def block_of_curves(k, points):
    """Block k of light curves: noise, a quarter of them with a sine of random period."""
    rng = np.random.default_rng(k)
    curves = []
    for i in range(BLOCK):
        t = np.sort(rng.uniform(0.0, 30.0, points))
        y = 12.0 + rng.normal(0.0, 0.02, points)
        if i % 4 == 0:
            y += 0.2 * np.sin(2 * np.pi * t / rng.uniform(0.3, 10.0))
        curves.append((k * BLOCK + i, t, y, np.full(points, 0.02)))
    return curves


def curves_bag(count, points):
    blocks = (count + BLOCK - 1) // BLOCK
    return db.from_sequence(range(blocks), npartitions=blocks).map_partitions(
        lambda ks: [c for k in ks for c in block_of_curves(k, points)][:count])


def on_cluster(workers, count, points):
    with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        client.submit(lambda: morvik.dask is not None).result()  # workers up and the module imported
        cpu_before = client.run(time.process_time)
        start = time.perf_counter()
        table = morvik.dask.light_curve_table(curves_bag(count, points), frequencies=GRID,
                                                method="gls").compute()
        wall = time.perf_counter() - start
        cpu_after = client.run(time.process_time)
        cpu = sum(cpu_after[w] - cpu_before[w] for w in cpu_before)
        return wall, cpu, table


def astropy_looped(count, points):
    curves = [c for k in range((count + BLOCK - 1) // BLOCK) for c in block_of_curves(k, points)][:count]
    start = time.perf_counter()
    for _, t, y, e in curves:
        ls = LombScargle(t, y, e)
        ls.false_alarm_probability(ls.power(GRID).max(), method="baluev", maximum_frequency=GRID[-1])
    return time.perf_counter() - start


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    points = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    print(f"{count} light curves of {points} points, {GRID.size} trial frequencies, "
          f"partitions of {BLOCK} curves")
    one, cpu1, table1 = on_cluster(1, count, points)
    two, cpu2, table2 = on_cluster(2, count, points)
    # astropy on a tenth of the curves (at least 2 000): its rate does not depend on the count.
    sample = min(count, max(2000, count // 10))
    peer = astropy_looped(sample, points)
    r1, r2, ra = count / one, count / two, sample / peer
    print(f"morvik.dask, 1 worker : {r1:10.0f} light curves/s (indices + GLS + FAP)")
    print(f"morvik.dask, 2 workers: {r2:10.0f} light curves/s; scaling 1 -> 2 workers: {r2 / r1:.2f}x")
    print(f"  processor time on the workers: {cpu1:.1f} s and {cpu2:.1f} s; light curves per processor-second: "
          f"{count / cpu1:.0f} and {count / cpu2:.0f} (wall-clock ratios suffer from other load on a shared "
          f"machine, these do not)")
    print(f"astropy LombScargle looped, 1 process: {ra:10.0f} light curves/s (GLS + FAP, {sample} curves)")
    print(f"  ratio morvik.dask 1 worker / astropy: {r1 / ra:.2f}x; 2 workers / astropy: {r2 / ra:.2f}x")
    same = table1.sort_index().equals(table2.sort_index())
    print(f"  one and two workers give the same table: {same}")
    return 0 if same and len(table1) == count else 1


if __name__ == "__main__":
    sys.exit(main())
