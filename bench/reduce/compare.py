"""Prints the timing ratio and the magnitude agreement of the reduction benchmark."""
import math
import re
import sys
from pathlib import Path


def main():
    work = Path(sys.argv[1])
    t0, t1, t2, t3 = (float(v) for v in sys.argv[2:6])
    ours, peer = t1 - t0, t3 - t2
    rss, user, system = (work / "reduce.rss").read_text().split()[-3:]
    rss_mb = int(rss) / 1024
    ours_cpu = float(user) + float(system)
    peer_cpu = sum(float(v) for v in (work / "sex.cpu").read_text().split()[-2:])
    report = (work / "out" / "field_reduction.txt").read_text()
    ref = Path(re.search(r"Reference frame: (.*)", report).group(1)).stem
    print(f"morvik-reduce {ours:8.1f} s   source-extractor {peer:8.1f} s   "
          f"ratio {peer / ours:5.2f} (needs >= 2)   peak memory {rss_mb:.0f} MB (needs < 1024)")
    print(f"processor time: morvik-reduce {ours_cpu:8.1f} s   source-extractor {peer_cpu:8.1f} s   "
          f"ratio {peer_cpu / ours_cpu:5.2f}")

    # Our magnitudes of the reference frame's row against source-extractor's aperture
    # magnitudes of the same frame, stars paired by position within 1 pixel.
    cat = re.findall(r'id="(\d+)" x="([-\d.]+)" y="([-\d.]+)"', (work / "out" / "field.xml").read_text())
    jd = None
    for line in report.splitlines():
        if line.startswith(str(work / "frames" / ref)) and "skipped" not in line:
            jd = float(line.split("|")[1])
    rows = (work / "out" / "field.dat").read_bytes().decode().split("\r\n")[2:]
    row = next(r.split() for r in rows if r.strip() and abs(float(r.split()[0]) - jd) < 5e-7)
    sex = []
    for line in (work / "sex" / f"{ref}.cat").read_text().splitlines():
        if line.startswith("#"):
            continue
        # Five fluxes and five errors (radii 3, 4, 5, 6, 8 px): the 5 px one is kept.
        v = line.split()
        x, y, flux, err, flags = v[1], v[2], v[3 + 2], v[8 + 2], v[13]
        if float(flux) > 0 and int(flags) == 0 and float(flux) >= 50 * float(err):
            sex.append((float(x), float(y), -2.5 * math.log10(float(flux))))
    diffs = []
    for sid, x, y in cat:
        mag = float(row[2 * int(sid) - 1])
        if mag >= 99:
            continue
        best = min(sex, key=lambda s: math.hypot(s[0] - float(x), s[1] - float(y)), default=None)
        if best and math.hypot(best[0] - float(x), best[1] - float(y)) < 1.0:
            diffs.append(mag - best[2])
    if not diffs:
        print("no stars in common")
        return 1
    diffs.sort()
    offset = diffs[len(diffs) // 2]
    mad = sorted(abs(d - offset) for d in diffs)[len(diffs) // 2]
    print(f"S/N >= 50 on {ref}: {len(diffs)} stars, median |difference| {mad:.4f} mag (needs <= 0.02)")
    ok = peer / ours >= 2 and rss_mb < 1024 and mad <= 0.02
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
