#!/usr/bin/env bash
# Run + Search Variables + ensemble check + further indices and candidates against Run +
# Search Variables alone, on a generated field (10 000 stars x 1 000 rows by default),
# both timed in the same process on the same table. Prints the ratio (target <= 2x);
# asserts no times.
#
#   bench/ensemble/run.sh [BUILD_DIR]      (default: build-bench; built only if missing)
# Environment: ENSEMBLE_STARS, ENSEMBLE_FRAMES (field size), ENSEMBLE_RUNS (rounds, best kept).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build-bench}
STARS=${ENSEMBLE_STARS:-10000}
FRAMES=${ENSEMBLE_FRAMES:-1000}
RUNS=${ENSEMBLE_RUNS:-3}

BENCH="$BUILD/bench/ensemble/morvik-bench-ensemble"
FIELDGEN="$BUILD/tools/fieldgen/morvik-fieldgen"
if [ ! -x "$BENCH" ] || [ ! -x "$FIELDGEN" ]; then
  if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVIK_BUILD_BENCH=ON \
      -DMORVIK_BUILD_TESTS=OFF -DMORVIK_BUILD_UI=OFF >/dev/null
  fi
  cmake --build "$BUILD" -j2 --target morvik-bench-ensemble morvik-fieldgen >/dev/null
fi

# The same kept field as the core benchmark.
DATA="$BUILD/bench-data/core_${STARS}x${FRAMES}"
BASE="$DATA/field"
mkdir -p "$DATA"
if [ ! -f "$BASE.size" ] || [ ! -f "$BASE.dat" ]; then
  "$FIELDGEN" --out "$BASE" --stars "$STARS" --frames "$FRAMES" --no-image |
    sed -n 's/^Field \([0-9]*\)x\([0-9]*\),.*/\1 \2/p' >"$BASE.size.tmp"
  mv "$BASE.size.tmp" "$BASE.size"
fi
read -r WIDTH HEIGHT <"$BASE.size"
read -r _ COMP MAG < <(grep '^comparison ' "$BASE"_variables.txt)

out=$("$BENCH" "$BASE" "$WIDTH" "$HEIGHT" "$COMP" "$MAG" "$RUNS")
value() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$out"; }
echo "== Run + Search Variables + ensemble check + candidates: $(value stars) stars x $(value rows) rows ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)) =="
echo "   best of $RUNS interleaved rounds, the table read once and not timed"
printf "   %-44s %8s %8s\n" "" "wall s" "cpu s"
printf "   %-44s %8.3f %8.3f\n" "Run + Search Variables" "$(value plain_s)" "$(value plain_cpu_s)"
printf "   %-44s %8.3f %8.3f\n" "the same + ensemble check + candidates" "$(value full_s)" "$(value full_cpu_s)"
awk -v p="$(value plain_s)" -v f="$(value full_s)" -v pc="$(value plain_cpu_s)" -v fc="$(value full_cpu_s)" \
  'BEGIN { printf "   ratio: %.2fx wall, %.2fx cpu (target <= 2x)\n", f / p, fc / pc }'
echo "   alone: the ensemble check $(value check_s) s, the further indices and candidates (on their own pass) $(value candidates_s) s"
echo "   $(value flagged) comparison stars flagged, $(value candidates) candidates"
