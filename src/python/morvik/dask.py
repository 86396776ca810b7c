"""Indices and best periods of many light curves on a Dask cluster.

The per-star work is the core's, mapped over the partitions of a Dask collection; Dask
schedules it on whatever cluster the caller's dask.distributed.Client connects to (or
on the local scheduler without one). Each partition is computed exactly as
morvik.light_curve_summary computes it in one process, so the result does not depend
on the cluster.
"""

import dask
import dask.bag as db
import dask.dataframe as dd
import numpy as np
import pandas as pd

from ._arrays import SUMMARY_COLUMNS, light_curve_summary

__all__ = ["light_curve_table"]


def _meta():
    columns = {c: pd.Series(dtype=np.float64) for c in SUMMARY_COLUMNS}
    columns["NPoints"] = pd.Series(dtype=np.int64)
    columns["NAccepted"] = pd.Series(dtype=np.uint16)
    frame = pd.DataFrame(columns)
    frame.index = pd.Index([], dtype=np.int64, name="star")
    return frame


def _star_keys(points, star):
    # The star column, or the index when the stars are the index.
    if star in points.columns:
        return points[star].to_numpy()
    return points.index.get_level_values(star).to_numpy()


def _frame_partition(points, columns, frequencies, method):
    star, t, mag, err = columns
    curves = [(s, g[t].to_numpy(np.float64), g[mag].to_numpy(np.float64),
               None if err is None else g[err].to_numpy(np.float64))
              for s, g in points.groupby(_star_keys(points, star), sort=True)]
    return light_curve_summary(curves, frequencies=frequencies, method=method)


def _bag_partition(records, frequencies, method):
    curves = []
    for r in records:
        star, t, mag = r[0], r[1], r[2]
        err = r[3] if len(r) > 3 else None
        curves.append((star, np.asarray(t, np.float64), np.asarray(mag, np.float64),
                       None if err is None else np.asarray(err, np.float64)))
    return light_curve_summary(curves, frequencies=frequencies, method=method)


def light_curve_table(data, frequencies=None, method="gls", columns=("star", "t", "mag", "err")):
    """A lazy Dask DataFrame, indexed by star, of the variability indices, the best
    period and its false-alarm probability (morvik.SUMMARY_COLUMNS) of every light curve.

    data is either
    - a Dask DataFrame of points with the columns named by `columns` (star, time,
      magnitude, error; the error name may be None; the star may be the index), where every point of a star lies
      in one partition (for example one partition per field or per block of stars), in
      time order; or
    - a Dask Bag of (star, t, mag, err) records with array-like t, mag, err.

    method: as for morvik.light_curve_summary; by default the generalised Lomb-Scargle
    periodogram with its analytic false-alarm probability, fast enough for millions of
    curves; "search" for the combined answer of the full period search.
    frequencies: one grid for every curve; without it each curve uses the method's
    own grid for its time span. Call .compute() on the
    result: it runs on the active dask.distributed Client, if any.
    """
    meta = _meta()
    if isinstance(data, dd.DataFrame):
        return data.map_partitions(_frame_partition, tuple(columns), frequencies, method, meta=meta,
                                   align_dataframes=False)
    if isinstance(data, db.Bag):
        parts = [dask.delayed(_bag_partition)(p, frequencies, method) for p in data.to_delayed()]
        return dd.from_delayed(parts, meta=meta, verify_meta=False)
    raise TypeError("light_curve_table takes a Dask DataFrame or a Dask Bag of light curves")
