"""Morvik from Python: open a field, run the ensemble photometry, read the variability
indices as a pandas table, and apply the same indices, periodograms and period search
to any light curve held in numpy arrays.

    import morvik
    field = morvik.open_field("sample/field.fit")
    field.run(comp=55)
    field.search()
    stats = field.stats()

Star ids are 1-based and rows 0-based, as on morvik-cli's command line. A failure that
ends a command raises morvik.MorvikError with the program's message.
"""

import io
import os

import numpy as np
import pandas as pd

from . import _core
from ._core import MorvikError

__all__ = ["Field", "MorvikError", "open_field", "indices", "periodogram", "best_period", "light_curve_summary",
           "search_periods", "PERIOD_METHODS", "SEARCH_METHODS", "PEAK_COLUMNS", "PeriodMethod", "INDEX_COLUMNS",
           "SUMMARY_COLUMNS", "fit_transit", "minima", "TransitFit"]

def _text(value):
    """A setting as the text an edit would hold: numbers in their shortest exact form."""
    if value is None or isinstance(value, str):
        return value
    if isinstance(value, (int, np.integer)):
        return str(int(value))
    return repr(float(value))


def _read_csv(text):
    # round_trip: every number reads back to the double the program wrote.
    return pd.read_csv(io.StringIO(text), float_precision="round_trip")


class Field:
    """A frame with its photometry table (<base>.dat) and star catalog (<base>.xml)."""

    def __init__(self, core):
        self._f = core

    stars = property(lambda self: self._f.stars, doc="Number of stars in the table.")
    rows = property(lambda self: self._f.rows, doc="Number of rows (frames) in the table.")
    log = property(lambda self: list(self._f.log), doc="The log lines so far.")
    times = property(lambda self: self._f.times, doc="Frame times (JD): a read-only view, no copy.")
    pixels = property(lambda self: self._f.pixels, doc="Scaled pixels as [y - 1, x - 1]: a read-only view.")
    comp_star = property(lambda self: self._f.comp_star)
    comp_mag = property(lambda self: self._f.comp_mag)
    run_count = property(lambda self: self._f.run_count)

    @property
    def catalog(self):
        """Catalog x, y, m of stars 1 ... stars as a DataFrame indexed by star id."""
        c = self._f.catalog
        return pd.DataFrame({"x": c["x"], "y": c["y"], "m": c["m"]},
                            index=pd.RangeIndex(1, len(c["x"]) + 1, name="id"))

    def row(self, row):
        """The measurements of one row as a structured numpy view (Mag, Err, RunMag,
        Valid), no copy; writing Valid deletes or restores a point."""
        return self._f.row(row)

    def measurements(self):
        """Copies (mag, err, run_mag, valid), each an array of rows x stars."""
        return self._f.measurements()

    def clear_log(self):
        self._f.clear_log()

    def run(self, comp, comp_mag=None, ensemble=None, frame_border=10, frame_border_px=50, presence=70,
            variance_factor="1.5", max_comp="1000", skip_less=20, star_sigma=None, data_sigma=None):
        """Run with comparison star comp. comp_mag defaults to the star's catalog
        magnitude; ensemble lists the stars of a manual ensemble. The settings are those
        of morvik-cli (--frame-border, --frame-border-px, --presence, --variance-factor,
        --max-comp, --skip-less); star_sigma and data_sigma set the two factors that
        the variability search uses."""
        self._set_sigmas(star_sigma, data_sigma)
        self._f.run(int(comp), _text(comp_mag), None if ensemble is None else [int(i) for i in ensemble],
                    int(frame_border), int(frame_border_px), int(presence), _text(variance_factor),
                    _text(max_comp), int(skip_less))

    def _set_sigmas(self, star_sigma, data_sigma):
        self._star_sigma = _text(star_sigma) if star_sigma is not None else getattr(self, "_star_sigma", None)
        self._data_sigma = _text(data_sigma) if data_sigma is not None else getattr(self, "_data_sigma", None)

    def search(self, star_sigma=None, data_sigma=None):
        """Search Variables: the variability indices of every star and the chart points."""
        self._set_sigmas(star_sigma, data_sigma)
        self._f.search(self._star_sigma, self._data_sigma)

    def stats(self):
        """The per-star table of morvik-cli --stats, one row per star in id order."""
        return _read_csv(self._f.stats_csv())

    def chart(self):
        """The points of the variability chart (morvik-cli --chart)."""
        return _read_csv(self._f.chart_csv())

    def light_curve(self, star):
        """Every row of one star: time, mag, err, run_mag and valid, indexed by row."""
        mag, err, run, valid = self._f.star_column(int(star))
        return pd.DataFrame({"time": np.array(self.times), "mag": mag, "err": err, "run_mag": run, "valid": valid},
                            index=pd.RangeIndex(self.rows, name="row"))

    def delete(self, star, row):
        """Deletes the measurement of star in row (clears its Valid flag)."""
        self._f.delete(int(star), int(row))

    def delete_frame(self, row):
        """Deletes every measurement of a row."""
        self._f.delete_frame(int(row))

    def periodogram(self, star):
        """The Lafler-Kinman periodogram of a star after a Run, as the program computes
        it: (frequencies in cycles per day, theta)."""
        return self._f.periodogram(int(star))

    # Exports, as morvik-cli writes them.
    def save_stats(self, path):
        self._f.save_stats(os.fspath(path))

    def save_chart(self, path):
        self._f.save_chart(os.fspath(path))

    def save_table(self, path):
        self._f.save_table(os.fspath(path))

    def save_light_curve(self, star, path):
        self._f.save_light_curve(int(star), os.fspath(path))

    def save_periodogram(self, star, path):
        self._f.save_periodogram(int(star), os.fspath(path))

    def save_histogram(self):
        """The sigma histogram, written beside the frame."""
        self._f.save_histogram()

    def save_image(self, path, marks=True):
        self._f.save_image(os.fspath(path), bool(marks))

    def frame_info(self):
        return self._f.frame_info()

    def header(self):
        return self._f.header()


def open_field(frame):
    """Opens a frame and the table and catalog beside it, as File > Open does."""
    return Field(_core.Field(os.fspath(frame)))


from ._arrays import (INDEX_COLUMNS, PEAK_COLUMNS, PERIOD_METHODS, SEARCH_METHODS, SUMMARY_COLUMNS,  # noqa: E402
                      PeriodMethod, best_period, indices, light_curve_summary, periodogram, search_periods)
from ._events import TransitFit, fit_transit, minima  # noqa: E402
