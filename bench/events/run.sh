#!/usr/bin/env bash
# A full transit fit of 150 points (least squares, then 32 walkers x 5000 steps):
# morvik against the same model and sampler in numpy with emcee, both timed in this
# run. Prints the ratio of processor times; asserts no times.
#
#   bench/events/run.sh [BUILD_DIR]      (default: build-bench, configured if needed)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build-bench}
PY=/usr/bin/python3

if [ ! -f "$BUILD/build.ninja" ] && [ ! -f "$BUILD/Makefile" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVIK_BUILD_BENCH=ON \
    -DMORVIK_BUILD_TESTS=OFF -DMORVIK_BUILD_UI=OFF >/dev/null
fi
cmake --build "$BUILD" -j2 --target events_bench >/dev/null
BIN=$(find "$BUILD" -name events_bench -type f -perm -u+x | head -n 1)
[ -n "$BIN" ] || { echo "events_bench was not built in $BUILD" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

echo "== Transit fit, 150 points, 32 walkers x 5000 steps (one core) =="
read -r _ points _ wall _ cpu _ t0 _ sigma _ rp < <("$BIN" "$WORK")
# One thread for numpy's kernels, as morvik runs on one.
read -r _ pwall _ pcpu _ pt0 _ psigma _ prp < <(OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 "$PY" "$(dirname "$0")/ma_numpy.py" "$WORK")
"$PY" - "$points" "$wall" "$cpu" "$t0" "$sigma" "$rp" "$pwall" "$pcpu" "$pt0" "$psigma" "$prp" <<'PYEOF'
import sys
points, wall, cpu, t0, sigma, rp, pwall, pcpu, pt0, psigma, prp = sys.argv[1:]
wall, cpu, pwall, pcpu = map(float, (wall, cpu, pwall, pcpu))
print(f"{points} points: morvik {wall:.0f} ms (processor {cpu:.0f} ms), numpy+emcee {pwall:.0f} ms "
      f"(processor {pcpu:.0f} ms)")
print(f"  ratio of processor times numpy+emcee / morvik: {pcpu / cpu:.1f}x (goal >= 30x; fit goal <= 1000 ms)")
print(f"  mid-time morvik {t0} +- {sigma}, numpy+emcee {pt0} +- {psigma}; Rp/R* {rp} and {prp}")
PYEOF
