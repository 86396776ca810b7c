#!/usr/bin/python3
"""Writes the small FITS frames the frame reader is tested with, using astropy as an
independent writer, and beside each one the pixel values astropy reads back.

Run with Debian's interpreter (it has numpy and astropy):
    /usr/bin/python3 tests/data/fits/make_fixtures.py

Every frame is 7 pixels wide (NAXIS1) and 5 high (NAXIS2), so that a reader that mixes
up x and y fails. `<name>.txt` holds one line "x y value" per pixel in file order,
x and y counted from 1, the value written with repr() so that it reads back exactly.
The physical values are computed from the stored ones as BSCALE * stored + BZERO in
extended precision and rounded once to double; astropy's own scaled values are checked
against them.
"""

import os
import sys

import numpy as np
from astropy.io import fits

HERE = os.path.dirname(os.path.abspath(__file__))
WIDTH, HEIGHT = 7, 5


def ramp(dtype, values):
    """A HEIGHT x WIDTH array (astropy's row-major order: [y][x]) from a value list."""
    arr = np.array(values, dtype=dtype)
    assert arr.size == WIDTH * HEIGHT, arr.size
    return arr.reshape(HEIGHT, WIDTH)


def write(name, hdu):
    path = os.path.join(HERE, name + ".fits")
    hdu.writeto(path, overwrite=True, output_verify="exception")
    expected = physical_values(path)
    with open(os.path.join(HERE, name + ".txt"), "w", encoding="ascii") as out:
        for y in range(HEIGHT):
            for x in range(WIDTH):
                out.write("%d %d %s\n" % (x + 1, y + 1, repr(float(expected[y, x]))))
    print("wrote", path)


def physical_values(path):
    with fits.open(path, do_not_scale_image_data=True) as hdul:
        header = hdul[0].header
        raw = np.array(hdul[0].data)
        bscale = float(header.get("BSCALE", 1.0)) or 1.0
        bzero = float(header.get("BZERO", 0.0))
    if raw.dtype.kind == "f":
        wide = raw.astype(np.longdouble)
    else:
        wide = np.array([np.longdouble(int(v)) for v in raw.ravel()]).reshape(raw.shape)
    expected = (np.longdouble(bscale) * wide + np.longdouble(bzero)).astype(np.float64)
    with fits.open(path) as hdul:
        scaled = np.array(hdul[0].data, dtype=np.float64)
    # astropy scales small integers in single precision; agree within that.
    if not np.allclose(scaled, expected, rtol=1e-6, atol=1e-6 * max(1.0, abs(bzero))):
        sys.exit("astropy disagrees with the stored values of " + path)
    return expected


def main():
    n = WIDTH * HEIGHT

    data8 = ramp(np.uint8, [0, 1, 2, 127, 128, 200, 255] + [(7 * i + 3) % 256 for i in range(n - 7)])
    write("bitpix8", fits.PrimaryHDU(data8))

    # uint16 is stored as int16 with BZERO 32768.
    data16 = ramp(np.uint16, [0, 1, 32767, 32768, 65535, 1000, 2000] + [(977 * i + 11) % 65536 for i in range(n - 7)])
    write("bitpix16_bzero", fits.PrimaryHDU(data16))

    data32 = ramp(np.int32, [-2147483648, 2147483647, 0, -1, 1, 123456789, -98765]
                  + [(104729 * i - 5000000) for i in range(n - 7)])
    write("bitpix32", fits.PrimaryHDU(data32))

    # Values beyond 2^53 round to the nearest double.
    data64 = ramp(np.int64, [-(2**63), 2**63 - 1, 2**53 + 1, -(2**53) - 3, 0, 7, -7]
                  + [(2**40 + 12345) * (i - 14) for i in range(n - 7)])
    write("bitpix64", fits.PrimaryHDU(data64))

    dataf = ramp(np.float32, [0.0, -0.0, 1.5, -2.25, 1e-30, 3.4e38, 0.1]
                 + [np.float32(i) / np.float32(3.0) - np.float32(5.0) for i in range(n - 7)])
    write("float32", fits.PrimaryHDU(dataf))

    datad = ramp(np.float64, [0.1, -1e-300, 1e300, 2.0 / 3.0, -123456.789, 5e-324, 1.0]
                 + [i * 0.01 - 0.17 for i in range(n - 7)])
    write("float64", fits.PrimaryHDU(datad))

    # Stored int16 with a scale and offset that are not integers.
    scaled = fits.PrimaryHDU(ramp(np.float64, [100.5 + 0.1 * (i * 37 % 600 - 300) for i in range(n)]))
    scaled.scale("int16", bscale=0.1, bzero=100.5)
    write("bscale", scaled)

    # Commentary cards that contain the letters END must not end the header, and a
    # COMMENT with "=" is an ordinary card.
    cards = fits.PrimaryHDU(ramp(np.uint16, [1000 + 17 * i for i in range(n)]))
    cards.header["OBJECT"] = ("M 31", "target")
    cards.header.add_history("----- END patch_headers history -----")
    cards.header.add_comment("APPEND CALENDAR")
    cards.header.add_comment("x = 5 inside a comment")
    cards.header["EXPTIME"] = (30.0, "seconds")
    cards.header.append(("FILTER", "V", "after the commentary cards"), end=True)
    write("cards", cards)

    # The first pixels are stored as bytes 32 32 (blanks); the header is padded with
    # blanks after END to the block boundary.
    blank = ramp(np.int16, [0x2020, 0x2020, 0x2041, 0x4120] + [i * 3 - 40 for i in range(n - 4)])
    write("blank_pixels", fits.PrimaryHDU(blank))

    # The same with exactly 36 cards, so that the header has no padding at all and the
    # data follows the END card directly.
    full = fits.PrimaryHDU(ramp(np.int16, [0x2020, 0x2020, 0x2020] + [i for i in range(n - 3)]))
    while len(full.header) < 35:
        full.header.add_comment("filler card %d" % len(full.header))
    write("blank_pixels_full_block", full)
    assert os.path.getsize(os.path.join(HERE, "blank_pixels_full_block.fits")) == 2 * 2880


if __name__ == "__main__":
    main()
