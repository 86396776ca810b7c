#!/bin/sh
# The reduction against source-extractor: a generated series reduced by morvik-reduce
# (detection, alignment, photometry of every star through its default five apertures
# with the best kept per star, writing the field) and the same frames through
# source-extractor (detection and photometry only) with five fixed apertures of radius
# 3, 4, 5, 6 and 8 px, both on two cores; ratio of the times, peak memory of
# morvik-reduce, and the agreement of the magnitudes of bright stars on the reference
# frame against the peer's 5 px aperture (both sides' offsets taken out by the median).
# source-extractor is a single-threaded build: two of its processes run at once. Its
# detection follows morvik-reduce's (3 sigma, 5 pixels) unless MORVIK_REDUCE_PEER=defaults
# leaves it at its own defaults (1.5 sigma, 3 pixels: more and fainter objects).
#   MORVIK_REDUCE_FRAMES=300 MORVIK_REDUCE_SIZE=2048 MORVIK_REDUCE_STARS=3000 (defaults)
# MORVIK_REDUCE_CAMERA=real writes the frames as a real camera takes them instead:
# seeing of 1.2 to 3.5 px integrated over the pixels, a 12-bit camera without a
# SATURATE card, a quiet sky, hot pixels that stars cross, cosmic rays on stars and a
# bright neighbour; any other value is passed to the generator as its camera options.
set -e
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${MORVIK_BENCH_BUILD:-$ROOT/build-bench}
FRAMES=${MORVIK_REDUCE_FRAMES:-300}
SIZE=${MORVIK_REDUCE_SIZE:-2048}
STARS=${MORVIK_REDUCE_STARS:-3000}
PEER_RADII="3 4 5 6 8"
PEER=${MORVIK_REDUCE_PEER:-matched}
CAMERA=${MORVIK_REDUCE_CAMERA:-}
[ "$CAMERA" = real ] && CAMERA="--fwhm 1.2 3.5 --bits 12 --no-saturate-card --quiet-sky --bright-neighbour"
DETECT="-DETECT_THRESH 3 -ANALYSIS_THRESH 3 -DETECT_MINAREA 5"
[ "$PEER" = defaults ] && DETECT=""
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVIK_BUILD_BENCH=ON \
    -DMORVIK_BUILD_TESTS=OFF -DMORVIK_BUILD_UI=OFF >/dev/null
fi
cmake --build "$BUILD" -j2 --target morvik-reduce morvik-fieldgen >/dev/null
command -v source-extractor >/dev/null || { echo "reduce: source-extractor is missing (scripts/install-deps)"; exit 2; }

WORK=$BUILD/reduce-bench
rm -rf "$WORK"
mkdir -p "$WORK/frames" "$WORK/sex"
"$BUILD/tools/fieldgen/morvik-fieldgen" --series "$WORK/frames/s" --frames "$FRAMES" --width "$SIZE" \
  --height "$SIZE" --stars "$STARS" $CAMERA >/dev/null
echo "series: $FRAMES frames of $SIZE x $SIZE, $STARS stars; morvik-reduce at its default apertures"
[ -n "$CAMERA" ] && echo "camera: $CAMERA"
echo "source-extractor: 2 processes of 1 thread, detection ${DETECT:-at its defaults}, aperture radii $PEER_RADII px"

now() { date +%s.%N; }
t0=$(now)
/usr/bin/time -f "%M %U %S" -o "$WORK/reduce.rss" "$BUILD/src/app/reduce/morvik-reduce" "$WORK/frames" \
  --out "$WORK/out/field" --no-solve >"$WORK/reduce.log"
t1=$(now)

printf 'NUMBER\nX_IMAGE\nY_IMAGE\nFLUX_APER(5)\nFLUXERR_APER(5)\nFLAGS\n' >"$WORK/sex/params"
SHARE=/usr/share/source-extractor
DIAMETERS=$(for r in $PEER_RADII; do printf '%s,' $((r * 2)); done)
DIAMETERS=${DIAMETERS%,}
t2=$(now)
ls "$WORK"/frames/s_*.fits | /usr/bin/time -f "%U %S" -o "$WORK/sex.cpu" xargs -P 2 -I{} sh -c 'f="{}"; source-extractor "$f" -c '"$SHARE"'/default.sex \
  -PARAMETERS_NAME '"$WORK"'/sex/params -FILTER_NAME '"$SHARE"'/default.conv -CATALOG_TYPE ASCII \
  -PHOT_APERTURES '"$DIAMETERS"' -BACKPHOTO_TYPE LOCAL -VERBOSE_TYPE QUIET -CHECKIMAGE_TYPE NONE '"$DETECT"' \
  -CATALOG_NAME '"$WORK"'/sex/$(basename "$f" .fits).cat'
t3=$(now)

exec python3 "$ROOT/bench/reduce/compare.py" "$WORK" "$t0" "$t1" "$t2" "$t3"
