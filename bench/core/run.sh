#!/usr/bin/env bash
# Run followed by Search Variables on a generated field (10 000 stars x 1 000 rows by
# default): morvik against a vectorised numpy peer doing the same computation, both
# timed in this run on the same table (read once per process, reading not timed), the
# peer checked to give the same statistics; the ratio to one memcpy of the records; and
# the peak resident memory of a separate process that reads the table and runs.
# Prints ratios; asserts no times.
#
#   bench/core/run.sh [BUILD_DIR]      (default: build-bench; built only if missing)
# Environment: CORE_STARS, CORE_FRAMES (field size), CORE_RUNS (timed rounds, best kept).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
HERE="$ROOT/bench/core"
BUILD=${1:-$ROOT/build-bench}
STARS=${CORE_STARS:-10000}
FRAMES=${CORE_FRAMES:-1000}
RUNS=${CORE_RUNS:-5}
PY=/usr/bin/python3

BENCH="$BUILD/bench/core/morvik-bench-core"
FIELDGEN="$BUILD/tools/fieldgen/morvik-fieldgen"
if [ ! -x "$BENCH" ] || [ ! -x "$FIELDGEN" ]; then
  if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVIK_BUILD_BENCH=ON \
      -DMORVIK_BUILD_TESTS=OFF -DMORVIK_BUILD_UI=OFF >/dev/null
  fi
  cmake --build "$BUILD" -j2 --target morvik-bench-core morvik-fieldgen >/dev/null
fi

# The field is kept between runs: generating it is not what is measured.
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

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
value() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }

# Ours before and after the peer, best kept: the machine is shared.
ours1=$("$BENCH" time "$BASE" "$WIDTH" "$HEIGHT" "$COMP" "$MAG" "$RUNS" "$WORK/ours.bin")
peer_status=0
peer=$("$PY" "$HERE/core_numpy.py" "$BASE" "$WIDTH" "$HEIGHT" "$COMP" "$MAG" "$RUNS" "$WORK/ours.bin") || peer_status=$?
ours2=$("$BENCH" time "$BASE" "$WIDTH" "$HEIGHT" "$COMP" "$MAG" "$RUNS" "$WORK/ours2.bin")
memory=$("$BENCH" memory "$BASE" "$WIDTH" "$HEIGHT" "$COMP" "$MAG")
cmp -s "$WORK/ours.bin" "$WORK/ours2.bin" && repeat=identical || repeat=DIFFERENT

"$PY" - "$ours1" "$ours2" "$peer" "$memory" "$repeat" "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)" <<'PYEOF'
import sys
def fields(line):
    return dict(kv.split("=", 1) for kv in line.split())
o1, o2, peer, mem = (fields(a) for a in sys.argv[1:5])
repeat, cores, load = sys.argv[5:8]
best = lambda key: min(float(o1[key]), float(o2[key]))
wall, cpu, run, search, copy = (best(k) for k in ("run_search_s", "cpu_s", "run_s", "search_s", "memcpy_s"))
run_cpu, search_cpu = best("run_cpu_s"), best("search_cpu_s")
nwall, ncpu = float(peer["numpy_s"]), float(peer["numpy_cpu_s"])
print(f"== Run + Search Variables: {o1['stars']} stars x {o1['rows']} rows, {o1['used']} comparison stars, "
      f"measurements {float(o1['records_mb']):.0f} MB ({cores} cores, load {load}) ==")
print("   the table is read once per process (LoadPhotometryTable / numpy.loadtxt) and the reading is not timed;")
print("   best of several rounds of the computation alone")
print(f"   {'':30s} {'wall s':>8s} {'cpu s':>8s}")
print(f"   {'morvik Run + Search Variables':30s} {wall:8.3f} {cpu:8.3f}   (Run {run:.3f} / {run_cpu:.3f}, "
      f"Search {search:.3f} / {search_cpu:.3f})")
print(f"   {'numpy peer':30s} {nwall:8.3f} {ncpu:8.3f}")
print(f"   {'one memcpy of the measurements':30s} {copy:8.3f}")
print(f"   speed-up over numpy: {nwall / wall:.1f}x wall, {ncpu / cpu:.1f}x cpu (target >= 5x);"
      f" morvik / memcpy: {wall / copy:.1f}x (the floor is 1x)")
print(f"   same statistics: {peer['compared']} values compared, {peer['mismatches']} outside a relative 1e-9 "
      f"(counts and flags exactly), largest relative difference {peer['max_rel_diff']} ({peer['worst_field']});"
      f" two runs of morvik {repeat}")
records, peak = float(mem["records_mb"]), float(mem["peak_mb"])
print("== Peak memory of one process that reads the table, runs and searches ==")
print(f"   records (measurements + rows + stars) {records:.1f} MB, VmHWM {peak:.1f} MB: "
      f"{float(mem['peak_ratio']):.2f}x the records (target <= 1.5x)")
print(f"   of which the workspace before reading (frame buffer) {float(mem['workspace_rss_mb']):.1f} MB; "
      f"peak while reading {float(mem['read_peak_mb']):.1f} MB; Run + Search added "
      f"{float(mem['run_growth_mb']):.1f} MB over the loaded data")
PYEOF
[ "$peer_status" -eq 0 ] && [ "$repeat" = identical ]
