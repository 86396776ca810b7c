#!/bin/sh
# Plate solving with hints: morvik-cli --solve (our detection, then the solver on our
# star list) against solve-field run by hand on the image (its own source extraction)
# with the same scale and position hints and the same processor-time limit. Frames:
# generated 640 x 480 frames of real Tycho-2 sky at 6"/px (rotated, meridian-flipped,
# mirrored) and three real 1024 x 1024 frames of the AG Peg field at 31.7"/px.
# Prints per frame the processor time (user + system, seconds) of each, the ratio, and
# how far apart the two solutions put the frame's centre.
#   MORVIK_SOLVE_TIME=30 (default)
set -e
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${MORVIK_BENCH_BUILD:-$ROOT/build-bench}
LIMIT=${MORVIK_SOLVE_TIME:-30}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVIK_BUILD_BENCH=ON \
    -DMORVIK_BUILD_TESTS=OFF -DMORVIK_BUILD_UI=OFF >/dev/null
fi
cmake --build "$BUILD" -j2 --target morvik-cli morvik-skyframes >/dev/null
command -v solve-field >/dev/null || { echo "astrometry: solve-field is missing (scripts/install-deps)"; exit 2; }
PY=/usr/bin/python3

WORK=$BUILD/astrometry-bench
rm -rf "$WORK"
mkdir -p "$WORK/frames"
SKY="$BUILD/tools/skyframes/morvik-skyframes"
"$SKY" --out "$WORK/g1" --rotation 33 >/dev/null && cp "$WORK/g1/sky_0001.fits" "$WORK/frames/gen_rot33.fits"
"$SKY" --out "$WORK/g2" --rotation 33 --flip --ra 82.5 --dec 64.2 --seed 4 >/dev/null &&
  cp "$WORK/g2/sky_0001.fits" "$WORK/frames/gen_flip.fits"
"$SKY" --out "$WORK/g3" --rotation 250 --mirror --seed 9 >/dev/null && cp "$WORK/g3/sky_0001.fits" "$WORK/frames/gen_mirror.fits"
# The real frames lie in shared/ beside the project folder; MORVIK_REAL_FRAMES names another place.
REAL=${MORVIK_REAL_FRAMES:-$ROOT/../shared/data/real/agpeg}
for f in t_e_20150608_381_1_1_1 t_e_20150701_281_1_1_1 t_e_20150825_225_1_1_1; do
  [ -f "$REAL/$f.fits.gz" ] && gzip -dc "$REAL/$f.fits.gz" >"$WORK/frames/agpeg_$f.fits"
done

# The hints as the header gives them: PIXSCALE +-10 %, RA/DEC or OBJCTRA/OBJCTDEC,
# within twice the diagonal.
hints() {
  $PY - "$1" <<'PYEOF'
import sys, math
from astropy.io import fits
from astropy.coordinates import Angle
h = fits.getheader(sys.argv[1])
s = float(h['PIXSCALE'])
lo, hi = 0.9 * s, 1.1 * s
ra = h.get('RA', h.get('OBJCTRA')); dec = h.get('DEC', h.get('OBJCTDEC'))
out = f"--scale-units arcsecperpix --scale-low {lo:.4f} --scale-high {hi:.4f}"
if ra is not None and dec is not None:
    r = Angle(ra, unit='hourangle').deg if isinstance(ra, str) else float(ra)
    d = Angle(dec, unit='deg').deg if isinstance(dec, str) else float(dec)
    rad = 2 * math.hypot(h['NAXIS1'], h['NAXIS2']) * hi / 3600
    out += f" --ra {r:.6f} --dec {d:.6f} --radius {rad:.4f}"
print(out)
PYEOF
}

cputime() { awk '{printf "%.2f", $1 + $2}' "$1"; }

printf "%-34s %9s %9s %9s %7s %9s\n" frame "morvik s" "solver s" "peer s" ratio "centre dx"
for frame in "$WORK"/frames/*.fits; do
  name=$(basename "$frame" .fits)
  H=$(hints "$frame")
  # Morvik: detection and the solver on its star list, in one process tree.
  /usr/bin/time -f "%U %S" -o "$WORK/$name.morvik.time" "$BUILD/src/app/cli/morvik-cli" "$frame" --solve \
    --solve-time "$LIMIT" --quiet >"$WORK/$name.morvik.out" 2>&1 || true
  solver=$(sed -n 's/.*, \([0-9.]*\) s of processor time.*/\1/p' "$WORK/$name.morvik.out")
  # The peer: solve-field on the image, the same hints and limit, no plots.
  mkdir -p "$WORK/$name.peer"
  # shellcheck disable=SC2086
  /usr/bin/time -f "%U %S" -o "$WORK/$name.peer.time" solve-field "$frame" --overwrite --no-plots \
    --dir "$WORK/$name.peer" --cpulimit "$LIMIT" --new-fits none --corr none --rdls none --match none \
    --index-xyls none $H >"$WORK/$name.peer.log" 2>&1 || true
  m=$(cputime "$WORK/$name.morvik.time")
  p=$(cputime "$WORK/$name.peer.time")
  ratio=$(awk -v a="$p" -v b="$m" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  # The centres both printed, compared.
  mc=$(sed -n 's/Plate solution: centre \([^,]*\),.*/\1/p' "$WORK/$name.morvik.out")
  pc=$(sed -n 's/.*Field center: (RA H:M:S, Dec D:M:S) = (\(.*\)).*/\1/p' "$WORK/$name.peer.log" | tr ',' ' ')
  dx=$($PY -c "
from astropy.coordinates import SkyCoord; import astropy.units as u, sys
m, p = '''$mc''', '''$pc'''
print('%.1f\"' % SkyCoord(m, unit=(u.hourangle, u.deg)).separation(SkyCoord(p, unit=(u.hourangle, u.deg))).arcsec if m and p else '-')
" 2>/dev/null || echo -)
  [ -n "$solver" ] || solver="none"
  printf "%-34s %9s %9s %9s %7s %9s\n" "$name" "$m" "$solver" "$p" "$ratio" "$dx"
done
echo "morvik s: processor time of morvik-cli --solve (reading, detection, solver); solver s: of the solver alone;"
echo "peer s: solve-field on the image; ratio: peer / morvik (above 1: Morvik faster); centre dx: the two solutions' centres."
