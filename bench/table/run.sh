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

# One read per process, so that each starts from an empty heap; the two peers take
# turns. Wall and CPU (user + system) time are measured around the read itself.
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$2"; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b + 0 < a + 0) print b; else print a }'; }
wall_ours="" cpu_ours="" wall_numpy="" cpu_numpy="" memory=""
for ((i = 0; i < runs; i++)); do
  out=$("$bench" load "$table")
  wall_ours=$(min "$wall_ours" "$(field seconds "$out")")
  cpu_ours=$(min "$cpu_ours" "$(field cpu "$out")")
  memory=$(sed -n 's/.*\(records_mb=.*\)/\1/p' <<<"$out")
  out=$("$python" "$here/numpy_peer.py" "$table" 1)
  wall_numpy=$(min "$wall_numpy" "$(field seconds "$out")")
  cpu_numpy=$(min "$cpu_numpy" "$(field cpu "$out")")
done

echo "-- memory of one read (peak resident growth against the records filled):"
echo "   $memory   (target peak_ratio <= 1.3)"
echo "-- time, best of $runs interleaved runs (load average: $(cut -d' ' -f1-3 /proc/loadavg)):"
printf "   %-22s %10s %10s\n" "" "wall s" "cpu s"
printf "   %-22s %10.3f %10.3f\n" "LoadPhotometryTable" "$wall_ours" "$cpu_ours"
printf "   %-22s %10.3f %10.3f\n" "numpy.loadtxt" "$wall_numpy" "$cpu_numpy"
awk -v wo="$wall_ours" -v wn="$wall_numpy" -v co="$cpu_ours" -v cn="$cpu_numpy" \
  'BEGIN { printf "   speed-up over numpy: %.2fx wall, %.2fx cpu (target >= 5x)\n", wn / wo, cn / co }'
