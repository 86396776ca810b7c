import os
import subprocess

import numpy as np
import pandas as pd
import pytest
from astropy.io import fits

import morvik

# The same session through morvik-cli and through Python: (command-line options,
# keyword arguments of run, deletions (star, row), deleted frames).
SESSIONS = [
    ([], {}, [], []),
    (["--presence", "60", "--skip-less", "30", "--variance-factor", "2", "--star-sigma", "2.5", "--data-sigma", "1.5",
      "--delete", "3:5", "--delete", "9:0", "--delete-frame", "7"],
     dict(presence=60, skip_less=30, variance_factor=2, star_sigma=2.5, data_sigma="1.5"), [(3, 5), (9, 0)], [7]),
    (["--ensemble", "4,6,8", "--comp-mag", "10.5"], dict(ensemble=[4, 6, 8], comp_mag=10.5), [], []),
]


@pytest.mark.parametrize("options,settings,deletions,frames", SESSIONS)
def test_every_output_equals_the_batch_program(field_files, tmp_path, options, settings, deletions, frames):
    frame, comp, _ = field_files
    cli = tmp_path / "cli"
    cli.mkdir()
    outputs = ["--stats", "stats.csv", "--chart", "chart.csv", "--table", "table.txt", "--lightcurve", "3=lc.dat",
               "--periodogram", "12=pg.dat", "--image", "img.bmp", "--histogram"]
    subprocess.run([os.environ["MORVIK_CLI"], str(frame), "--comp", str(comp), "--quiet"] + options + outputs,
                   cwd=cli, check=True)
    histogram = frame.with_name(frame.name + "_histsigma.txt")  # written beside the frame
    cli_histogram = histogram.read_bytes()
    histogram.unlink()

    field = morvik.open_field(frame)
    for star, row in deletions:
        field.delete(star, row)
    for row in frames:
        field.delete_frame(row)
    field.run(comp=comp, **settings)
    field.search()
    py = tmp_path / "py"
    py.mkdir()
    field.save_stats(py / "stats.csv")
    field.save_chart(py / "chart.csv")
    field.save_table(py / "table.txt")
    field.save_light_curve(3, py / "lc.dat")
    field.save_periodogram(12, py / "pg.dat")
    field.save_image(py / "img.bmp")
    field.save_histogram()
    for name in ["stats.csv", "chart.csv", "table.txt", "lc.dat", "pg.dat", "img.bmp"]:
        assert (py / name).read_bytes() == (cli / name).read_bytes(), name
    assert histogram.read_bytes() == cli_histogram

    expected = pd.read_csv(cli / "stats.csv", float_precision="round_trip")
    pd.testing.assert_frame_equal(field.stats(), expected, check_exact=True)
    assert list(field.stats().columns) == open(cli / "stats.csv").readline().strip().split(",")


def test_arrays_show_the_table_and_the_frame(field_files):
    frame, comp, _ = field_files
    field = morvik.open_field(frame)
    mag, err, run, valid = field.measurements()
    assert mag.shape == (field.rows, field.stars)
    assert not field.times.flags.writeable and not field.pixels.flags.writeable

    # The frame as astropy reads it: pixel (x, y) at [y - 1, x - 1].
    with fits.open(frame) as hdul:
        assert np.array_equal(field.pixels, hdul[0].data.astype(np.float64))

    # A row is a view of the table: clearing Valid there deletes the measurement.
    row = field.row(4)
    assert np.array_equal(row["Mag"], mag[4]) and np.array_equal(row["Err"], err[4])
    row["Valid"][2] = False
    assert not field.measurements()[3][4, 2] and not field.light_curve(3)["valid"][4]
    field.delete_frame(5)
    assert not field.measurements()[3][5].any()

    # The catalog as the stats table reports it.
    field.run(comp=comp)
    field.search()
    stats = field.stats()
    cat = field.catalog
    assert np.array_equal(cat["m"].to_numpy(), stats["m"].to_numpy())
    assert np.array_equal(cat["x"].to_numpy(), stats["x"].to_numpy())
    lc = field.light_curve(comp)
    assert np.array_equal(lc["time"].to_numpy(), field.times)
    assert np.array_equal(lc["run_mag"].to_numpy(), field.measurements()[2][:, comp - 1])


def test_failures_raise_with_the_program_messages(field_files, tmp_path):
    frame, comp, _ = field_files
    with pytest.raises(morvik.MorvikError, match="^File not found.$"):
        morvik.open_field(tmp_path / "none.fit")
    field = morvik.open_field(frame)
    with pytest.raises(morvik.MorvikError, match="Please choose a comparison star"):
        field.run(comp=0)
    with pytest.raises(morvik.MorvikError, match="no Run"):
        field.periodogram(1)
    with pytest.raises(IndexError):
        field.delete(field.stars + 1, 0)
    with pytest.raises(IndexError):
        field.delete_frame(field.rows)
    with pytest.raises(IndexError):
        field.light_curve(0)
    with pytest.raises(ValueError, match="presence"):
        field.run(comp=comp, presence=0)
    with pytest.raises(morvik.MorvikError, match="Cannot write"):
        field.save_stats(tmp_path / "no" / "such" / "folder.csv")


@pytest.mark.parametrize("missing,warning", [
    ("xml", "field.xml is missing: no catalog beside the table: positions and catalog magnitudes are unknown"),
    ("dat", "field.dat is missing: no table beside the frame: there are no measurements to run"),
])
def test_a_missing_companion_is_warned_and_leaves_nothing(field_files, tmp_path, missing, warning):
    frame, _, _ = field_files
    for suffix in ("fit", "dat", "xml"):
        if suffix != missing:
            (tmp_path / ("field." + suffix)).write_bytes(frame.with_suffix("." + suffix).read_bytes())
    with pytest.warns(UserWarning) as caught:
        field = morvik.open_field(tmp_path / "field.fit")
    assert [str(w.message) for w in caught] == [warning]
    if missing == "xml":
        assert field.stars > 0


def test_a_comparison_outside_the_field_is_refused_after_a_good_run(field_files):
    frame, comp, _ = field_files
    field = morvik.open_field(frame)
    field.run(comp=comp)
    for bad in (0, 999, -5):
        with pytest.raises(morvik.MorvikError) as refused:
            field.run(comp=bad)
        assert str(refused.value) == (f"Please choose a comparison star: comp {bad} is no star of this field "
                                      f"(its ids run from 1 to {field.stars})")
