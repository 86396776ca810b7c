#!/usr/bin/python3
"""Writes the small hand-made bad inputs of the hardening tests into this folder.

Run it again after changing a case; large inputs are made by the tests themselves.
Every FITS case is a variation of one 4 x 3 frame with 16-bit pixels 1 ... 12.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def card(text):
    assert len(text) <= 80, text
    return text.ljust(80).encode("ascii")


def value_card(key, value):
    return card(f"{key:<8}= {value:>20}")


BASE = [("SIMPLE", "T"), ("BITPIX", "16"), ("NAXIS", "2"), ("NAXIS1", "4"), ("NAXIS2", "3")]
PIXELS = b"".join(struct.pack(">h", v) for v in range(1, 13))


def header(cards, end=True, pad=True):
    h = b"".join(value_card(k, v) for k, v in cards)
    if end:
        h += card("END")
    if pad:
        h += b" " * (-len(h) % 2880)
    return h


def with_card(key, value):
    """The base cards with key set to value (None: without the card)."""
    out = []
    for k, v in BASE:
        if k == key:
            if value is not None:
                out.append((k, value))
        else:
            out.append((k, v))
    if key not in dict(BASE) and value is not None:
        out.append((key, value))
    return out


def write(sub, name, data):
    os.makedirs(os.path.join(HERE, sub), exist_ok=True)
    with open(os.path.join(HERE, sub, name), "wb") as f:
        f.write(data)


# Garbage that starts with neither "#", "SIMPLE" nor "<": the same bytes for all readers.
GARBAGE = bytes((i * 151 + 17) % 256 for i in range(3000))

# --- FITS frames ---------------------------------------------------------------------
write("fits", "empty.fit", b"")
write("fits", "garbage.fit", GARBAGE)
write("fits", "no_end.fit", header(BASE, end=False) + PIXELS)
write("fits", "end_only.fit", header([]) + PIXELS)
write("fits", "cut_in_header.fit", header(BASE)[:200])
write("fits", "cut_in_blanks.fit", header(BASE)[:1000])
write("fits", "cut_in_pixels.fit", header(BASE) + PIXELS[:9])
for name, value in [("0", "0"), ("minus1", "-1"), ("2201", "2201"), ("100000", "100000"),
                    ("512.0", "512.0"), ("empty", "''"), ("missing", None)]:
    write("fits", f"naxis1_{name}.fit", header(with_card("NAXIS1", value)) + PIXELS)
    write("fits", f"naxis2_{name}.fit", header(with_card("NAXIS2", value)) + PIXELS)
for name, value in [("0", "0"), ("7", "7"), ("minus16", "-16"), ("128", "128")]:
    write("fits", f"bitpix_{name}.fit", header(with_card("BITPIX", value)) + PIXELS)
write("fits", "bzero_text.fit", header(with_card("BZERO", "'many'")) + PIXELS)
write("fits", "bscale_text.fit", header(with_card("BSCALE", "'twice'")) + PIXELS)
# Pixels near the largest double: their sum and the display range overflow.
write("fits", "huge_pixels.fit", header([("SIMPLE", "T"), ("BITPIX", "-64"), ("NAXIS", "2"), ("NAXIS1", "2"),
                                         ("NAXIS2", "1")]) + struct.pack(">dd", 1.7e308, 1.7e308))

# --- photometry tables ---------------------------------------------------------------
H = b"# JD mag err\r\n# made by hand\r\n"
write("table", "empty.dat", b"")
write("table", "garbage.dat", GARBAGE)
write("table", "one_line.dat", b"# JD mag err\r\n")
write("table", "two_lines.dat", H)
write("table", "even_columns.dat", H + b"2450000.1 12.1 0.01 13.2\r\n2450000.2 12.2 0.02 13.3\r\n")
write("table", "odd_columns.dat", H + b"2450000.1 12.1 0.01 13.2 0.02\r\n2450000.2 12.2 0.02 13.3 0.03\r\n")
write("table", "too_large.dat", H + b"2450000.1 12.1 1e309\r\n")
write("table", "minus_zero.dat", H + b"2450000.1 -0 -0.0\r\n2450000.2 12.2 0.02\r\n")
write("table", "nan.dat", H + b"2450000.1 12.1 0.01\r\n2450000.2 nan 0.02\r\n")
write("table", "decimal_comma.dat", H + b"2450000.1 12.1 0.01\r\n2450000.2 1,5 0.02\r\n")
write("table", "no_final_line_end.dat", H + b"2450000.1 12.1 0.01\r\n2450000.2 12.2 0.02")
write("table", "cr_only.dat", b"# JD\r# x\r2450000.1 12.1 0.01\r2450000.2 12.2 0.02\r")
write("table", "nul_byte.dat", H + b"2450000.1 12.1\x000.01\r\n2450000.2 12.2 0.02\r\n")

# --- star catalogs -------------------------------------------------------------------


def catalog(stars, head=b'<?xml version="1.0"?>\n'):
    return head + b"<cat_file><stars>\n" + b"".join(s + b"\n" for s in stars) + b"</stars></cat_file>\n"


write("catalog", "empty.xml", b"")
write("catalog", "garbage.xml", GARBAGE)
write("catalog", "not_xml.xml", b"id x y m\n1 10 20 12.5\n")
write("catalog", "unclosed.xml", b'<cat_file><stars><s id="1" x="1" y="2" m="3"/>')
write("catalog", "id_0.xml", catalog([b'<s id="0" x="1" y="2" m="3"/>', b'<s id="2" x="4" y="5" m="6"/>']))
write("catalog", "id_minus1.xml", catalog([b'<s id="-1" x="1" y="2" m="3"/>', b'<s id="2" x="4" y="5" m="6"/>']))
write("catalog", "id_40001.xml",
      catalog([b'<s id="40001" x="1" y="2" m="3"/>', b'<s id="40000" x="4" y="5" m="6"/>']))
write("catalog", "id_1e10.xml", catalog([b'<s id="2" x="4" y="5" m="6"/>', b'<s id="1e10" x="1" y="2" m="3"/>']))
write("catalog", "id_x.xml", catalog([b'<s id="2" x="4" y="5" m="6"/>', b'<s id="x" x="1" y="2" m="3"/>']))
write("catalog", "duplicate_ids.xml",
      catalog([b'<s id="3" x="1" y="2" m="3"/>', b'<s id="3" x="7" m="9"/>']))
write("catalog", "missing_attributes.xml",
      catalog([b'<s x="1" y="2" m="3"/>', b'<s id="4"/>', b'<s id="5" y="8"/>']))
write("catalog", "no_stars.xml", b"<cat_file><other/></cat_file>\n")
write("catalog", "internal_entity.xml",
      catalog([b'<s id="1" x="1" y="2" m="&mag;"/>'],
              b'<?xml version="1.0"?>\n<!DOCTYPE cat_file [<!ENTITY mag "12.5">]>\n'))
