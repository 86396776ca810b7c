#!/usr/bin/env bash
# Photometry table reader against numpy.loadtxt on the same generated table
# (1 000 rows x 10 000 stars, about 130 MB): exactness, peak memory, time ratios.
#
#   bench/table/run.sh [build-folder]      (default: build-bench, or $MORVIK_BENCH_BUILD)
# Environment: TABLE_ROWS, TABLE_STARS (sizes), TABLE_RUNS (timed runs per peer, best kept).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:-${MORVIK_BENCH_BUILD:-$repo/build-bench}}
rows=${TABLE_ROWS:-1000}
stars=${TABLE_STARS:-10000}
runs=${TABLE_RUNS:-5}
python=/usr/bin/python3

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVIK_BUILD_BENCH=ON \
    -DMORVIK_BUILD_TESTS=OFF -DMORVIK_BUILD_UI=OFF >/dev/null
fi
cmake --build "$build" -j2 --target morvik-bench-table >/dev/null
bench="$build/bench/table/morvik-bench-table"

data="$build/bench-data"
mkdir -p "$data"
table="$data/table_${rows}x${stars}.dat"
if [ ! -f "$table" ]; then
  "$bench" generate "$table" "$rows" "$stars"
fi
size_mb=$(($(stat -c %s "$table") / 1048576))

echo "== Photometry table reader: ${rows} rows x ${stars} stars, ${size_mb} MB =="
echo "-- exactness (every number against strtod):"
"$bench" verify "$table"

# One read per process, so that each starts from an empty heap; CPU time from
# /usr/bin/time, wall time as measured around the read itself.
cpu_of() { awk '{print $1 + $2}' "$1"; }
best_wall_ours=""
best_cpu_ours=""
best_wall_numpy=""
best_cpu_numpy=""
peak_line=""
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
min() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b + 0 < a + 0) print b; else print a }'; }
for ((i = 0; i < runs; i++)); do
  out=$(/usr/bin/time -f "%U %S" -o "$tmp" "$bench" load "$table")
  wall=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$out")
  best_wall_ours=$(min "$best_wall_ours" "$wall")
  best_cpu_ours=$(min "$best_cpu_ours" "$(cpu_of "$tmp")")
  peak_line=$out
  out=$(/usr/bin/time -f "%U %S" -o "$tmp" "$python" "$here/numpy_peer.py" "$table" 1)
  wall=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$out")
  best_wall_numpy=$(min "$best_wall_numpy" "$wall")
  # The interpreter's start and imports are not part of loadtxt: subtract them.
  /usr/bin/time -f "%U %S" -o "$tmp.base" "$python" -c "import numpy" 2>/dev/null
  cpu=$(awk -v a="$(cpu_of "$tmp")" -v b="$(cpu_of "$tmp.base")" 'BEGIN { print a - b }')
  best_cpu_numpy=$(min "$best_cpu_numpy" "$cpu")
done
rm -f "$tmp.base"

echo "-- memory of one read (peak resident growth against the records filled):"
echo "   $(sed -n 's/.*\(records_mb=.*\)/\1/p' <<<"$peak_line")   (target peak_ratio <= 1.3)"
echo "-- time, best of $runs interleaved runs (load average: $(cut -d' ' -f1-3 /proc/loadavg)):"
printf "   %-22s %10s %10s\n" "" "wall s" "cpu s"
printf "   %-22s %10.3f %10.3f\n" "LoadPhotometryTable" "$best_wall_ours" "$best_cpu_ours"
printf "   %-22s %10.3f %10.3f\n" "numpy.loadtxt" "$best_wall_numpy" "$best_cpu_numpy"
awk -v wo="$best_wall_ours" -v wn="$best_wall_numpy" -v co="$best_cpu_ours" -v cn="$best_cpu_numpy" \
  'BEGIN { printf "   speed-up over numpy: %.2fx wall, %.2fx cpu (target >= 5x)\n", wn / wo, cn / co }'
