#!/usr/bin/python3
"""Writes the small frames that the cfitsio frame reading is tested with, using astropy
as an independent writer, and beside each one what astropy reads back.

Run with Debian's interpreter (it has numpy and astropy):
    /usr/bin/python3 tests/data/frames/make_fixtures.py

Every image is 7 pixels wide (NAXIS1) and 5 high (NAXIS2). `<name>.txt` holds one line
"x y value" per pixel in file order, x and y from 1, the value as astropy's scaled
value rounded to single precision (repr, "nan" for a missing pixel). `<name>.cards`
holds the image header's cards as astropy sees them, one 80-character card a line.
Files that hold no image get `<name>.txt` with the one line of the expected refusal.
"""

import gzip
import os
import shutil

import numpy as np
from astropy.io import fits

HERE = os.path.dirname(os.path.abspath(__file__))
WIDTH, HEIGHT = 7, 5
N = WIDTH * HEIGHT


def ramp(dtype, values, shape=(HEIGHT, WIDTH)):
    arr = np.array(values, dtype=dtype)
    assert arr.size == N, arr.size
    return arr.reshape(shape)


def expected_pixels(path, index):
    with fits.open(path) as hdul:
        data = np.array(hdul[index].data, dtype=np.float64)
    data = data.reshape(HEIGHT, WIDTH)
    with np.errstate(over="ignore"):
        as_float = np.clip(data, -np.finfo(np.float32).max, np.finfo(np.float32).max).astype(np.float32)
    return as_float


def write_expected(name, path, index):
    values = expected_pixels(path, index)
    with open(os.path.join(HERE, name + ".txt"), "w", encoding="ascii") as out:
        for y in range(HEIGHT):
            for x in range(WIDTH):
                v = float(values[y, x])
                out.write("%d %d %s\n" % (x + 1, y + 1, "nan" if np.isnan(v) else repr(v)))
    with fits.open(path) as hdul:
        header = hdul[index].header
        with open(os.path.join(HERE, name + ".cards"), "w", encoding="ascii") as out:
            for card in header.cards:
                # A long string stands on several cards.
                image = card.image
                for at in range(0, len(image), 80):
                    out.write(image[at:at + 80] + "\n")


def write(name, hdul, index, file_name=None):
    path = os.path.join(HERE, file_name or name + ".fits")
    hdul.writeto(path, overwrite=True, output_verify="exception")
    write_expected(name, path, index)
    print("wrote", path)
    return path


def refusal(name, hdul, message):
    path = os.path.join(HERE, name + ".fits")
    hdul.writeto(path, overwrite=True, output_verify="exception")
    with open(os.path.join(HERE, name + ".txt"), "w", encoding="ascii") as out:
        out.write(message + "\n")
    print("wrote", path)


def main():
    # An empty primary followed by an image extension, with the header cards as
    # observers' software writes them.
    ext = fits.ImageHDU(ramp(np.uint16, [1000 + 977 * i % 60000 for i in range(N)]), name="SCI")
    h = ext.header
    h["OBJECT"] = ("SZ Lyn / field 2", "a ' /' inside the string")
    h["EXPTIME"] = (30.0, "seconds")
    h.add_comment("first comment")
    h.add_history("calibrated: bias, dark / flat")
    h.add_comment("second comment")
    h["NOTES"] = ("A long note that goes on past the end of one card and so is continued "
                  "over CONTINUE cards, as the standard allows for long strings", "long")
    h.append(("FILTER", "V", "first"), end=True)
    h.append(("FILTER", "R", "repeated keyword"), end=True)
    h["JD"] = (2458000.123456789, "Julian Date")
    write("extension", fits.HDUList([fits.PrimaryHDU(), ext]), 1)

    # gzip of the same file.
    with open(os.path.join(HERE, "extension.fits"), "rb") as src:
        with open(os.path.join(HERE, "extension.fits.gz"), "wb") as raw:
            with gzip.GzipFile(fileobj=raw, mode="wb", mtime=0) as dst:
                shutil.copyfileobj(src, dst)
    print("wrote extension.fits.gz")

    # Tile-compressed (Rice) 32-bit integers, with a few user cards.
    comp = fits.CompImageHDU(ramp(np.int32, [-70000 + 12345 * i for i in range(N)]), compression_type="RICE_1")
    comp.header["OBJECT"] = "compressed"
    comp.header["GAIN"] = (1.5, "e-/ADU")
    write("compressed", fits.HDUList([fits.PrimaryHDU(), comp]), 1, "compressed.fits.fz")

    # Lossless GZIP tile compression of 64-bit floats.
    compf = fits.CompImageHDU(ramp(np.float64, [0.5 * i - 3.25 for i in range(N)]), compression_type="GZIP_1",
                              quantize_level=0.0)
    write("compressed_float", fits.HDUList([fits.PrimaryHDU(), compf]), 1, "compressed_float.fits.fz")

    # A cube with one plane.
    write("plane", fits.HDUList([fits.PrimaryHDU(ramp(np.int16, [i * 11 - 100 for i in range(N)],
                                                      (1, HEIGHT, WIDTH)))]), 0)

    # 8 bits with a scale and offset.
    b8 = fits.PrimaryHDU(ramp(np.float64, [-5.0 + 0.5 * (i * 7 % 256) for i in range(N)]))
    b8.scale("uint8", bscale=0.5, bzero=-5.0)
    write("bitpix8_scaled", fits.HDUList([b8]), 0)

    # 32 bits with BZERO (unsigned 32-bit).
    write("bitpix32_bzero", fits.HDUList([fits.PrimaryHDU(ramp(np.uint32, [4000000000 - 99999 * i for i in range(N)]))]), 0)

    # 64-bit floats with a huge value (beyond single precision) and a tiny one.
    write("float64_range", fits.HDUList([fits.PrimaryHDU(ramp(np.float64, [1e300, -1e300, 5e-324, 0.1]
                                                               + [i * 0.25 for i in range(N - 4)]))]), 0)

    # BLANK: stored -32768 is a missing pixel.
    blank = fits.PrimaryHDU(ramp(np.int16, [-32768 if i % 5 == 0 else i * 100 - 1500 for i in range(N)]))
    blank.header["BLANK"] = -32768
    blank.header["BZERO"] = 100.0
    blank.header["BSCALE"] = 2.0
    write("blank", fits.HDUList([blank]), 0)

    # NaN pixels in a float frame with a zero border (a registered, calibrated frame).
    nan = ramp(np.float32, [np.nan if i % 6 == 1 else (0.0 if i < 7 else i - 20.5) for i in range(N)])
    write("nan", fits.HDUList([fits.PrimaryHDU(nan)]), 0)

    # A file cut short inside its pixels: 16-bit, the last 20 bytes of data missing
    # (the last 10 pixels).
    short = os.path.join(HERE, "short.fits")
    fits.PrimaryHDU(ramp(np.int16, [i for i in range(N)])).writeto(short, overwrite=True)
    with fits.open(short) as hdul:
        with open(os.path.join(HERE, "short.cards"), "w", encoding="ascii") as out:
            for card in hdul[0].header.cards:
                out.write(card.image + "\n")
    with open(short, "r+b") as f:
        f.truncate(2880 + 2 * N - 20)
    with open(os.path.join(HERE, "short.txt"), "w", encoding="ascii") as out:
        for y in range(HEIGHT):
            for x in range(WIDTH):
                i = y * WIDTH + x
                out.write("%d %d %s\n" % (x + 1, y + 1, "nan" if i >= N - 10 else repr(float(i))))
    print("wrote", short)

    # Files that hold no frame.
    table = fits.BinTableHDU.from_columns([fits.Column(name="x", format="E", array=np.arange(3, dtype=np.float32))])
    refusal("table", fits.HDUList([fits.PrimaryHDU(), table]), "no image: the file holds a binary table")
    ascii_table = fits.TableHDU.from_columns([fits.Column(name="x", format="F8.2", array=np.arange(3.0))])
    refusal("ascii_table", fits.HDUList([fits.PrimaryHDU(), ascii_table]), "no image: the file holds an ASCII table")
    refusal("cube", fits.HDUList([fits.PrimaryHDU(np.zeros((3, HEIGHT, WIDTH), dtype=np.int16))]),
            "no image: the file holds a cube of 3 planes")
    refusal("hypercube", fits.HDUList([fits.PrimaryHDU(np.zeros((1, 1, HEIGHT, WIDTH), dtype=np.int16))]),
            "no image: the file holds an image of 4 axes")
    refusal("vector", fits.HDUList([fits.PrimaryHDU(np.zeros(9, dtype=np.int16))]),
            "no image: the file holds a one-dimensional array")
    refusal("empty", fits.HDUList([fits.PrimaryHDU()]), "no image: the file holds no data")


if __name__ == "__main__":
    main()
