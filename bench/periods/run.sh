#!/usr/bin/env bash
# Lafler-Kinman periodogram of one star (1 000 and 5 000 valid measurements over 30
# days, about 10 001 trial frequencies): morvik against a vectorised numpy scan, both
# timed in this run (best of several), and morvik checked bit for bit against the
# literal Shell-sort scan. Prints ratios; asserts no times.
#
#   bench/periods/run.sh [BUILD_DIR]      (default: build-bench, configured if needed)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build-bench}
PY=/usr/bin/python3

if [ ! -f "$BUILD/build.ninja" ] && [ ! -f "$BUILD/Makefile" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVIK_BUILD_BENCH=ON \
    -DMORVIK_BUILD_TESTS=OFF -DMORVIK_BUILD_UI=OFF >/dev/null
fi
cmake --build "$BUILD" -j2 --target periods_bench >/dev/null
BIN=$(find "$BUILD" -name periods_bench -type f -perm -u+x | head -n 1)
[ -n "$BIN" ] || { echo "periods_bench was not built in $BUILD" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

echo "== Lafler-Kinman periodogram ($(nproc) cores) =="
"$BIN" "$WORK" 5 | while read -r _ points _ freqs _ fast _ fast1 _ cpu1 _ literal _ identical; do
  read -r _ numpy _ numpycpu _ diff < <("$PY" "$(dirname "$0")/lk_numpy.py" "$WORK" "$points" 3)
  "$PY" - "$points" "$freqs" "$fast" "$fast1" "$cpu1" "$literal" "$identical" "$numpy" "$numpycpu" "$diff" <<'PYEOF'
import sys
points, freqs, fast, fast1, cpu1, literal, identical, numpy, numpycpu, diff = sys.argv[1:]
fast, fast1, cpu1, literal, numpy, numpycpu = map(float, (fast, fast1, cpu1, literal, numpy, numpycpu))
print(f"{points} points, {freqs} frequencies: morvik {fast:.1f} ms (one thread {fast1:.1f} ms), "
      f"numpy {numpy:.1f} ms, literal Shell sort {literal:.1f} ms")
print(f"  ratio numpy / morvik: {numpy / fast:.1f}x (one thread {numpy / fast1:.1f}x); "
      f"literal / morvik: {literal / fast:.1f}x")
print(f"  processor time, one thread against numpy: {numpycpu:.1f} / {cpu1:.1f} ms = {numpycpu / cpu1:.1f}x "
      f"(unaffected by other load; wall ratios are, on a shared machine)")
print(f"  theta identical to the literal scan, bit for bit: {identical}; numpy agrees within {diff}")
PYEOF
done

bash "$(dirname "$0")/search_run.sh" "$BUILD"
bash "$(dirname "$0")/search_all_run.sh" "$BUILD"
