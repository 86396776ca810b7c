#!/usr/bin/env bash
# Photometry table reader against numpy.loadtxt on the same generated table
# (1 000 rows x 10 000 stars, about 130 MB): exactness, peak memory, time ratios.
#
#   bench/table/run.sh [build-folder]      (default: build-bench, or $MORVIK_BENCH_BUILD)
# Environment: TABLE_ROWS, TABLE_STARS (sizes), TABLE_RUNS (timed runs per peer, default 7).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:-${MORVIK_BENCH_BUILD:-$repo/build-bench}}
rows=${TABLE_ROWS:-1000}
stars=${TABLE_STARS:-10000}
runs=${TABLE_RUNS:-7}
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
# turns, so that a change in the machine's load falls on both. Wall and CPU (user +
# system) time are measured around the read itself. The machine is shared: medians
# are the figures to compare, the best runs show what an idle machine gives.
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$2"; }
median() { tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
best() { tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -g | head -1; }
wall_ours="" cpu_ours="" wall_numpy="" cpu_numpy="" memory=""
for ((i = 0; i < runs; i++)); do
  out=$("$bench" load "$table")
  wall_ours+=" $(field seconds "$out")"
  cpu_ours+=" $(field cpu "$out")"
  memory=$(sed -n 's/.*\(records_mb=.*\)/\1/p' <<<"$out")
  out=$("$python" "$here/numpy_peer.py" "$table" 1)
  wall_numpy+=" $(field seconds "$out")"
  cpu_numpy+=" $(field cpu "$out")"
done

echo "-- memory of one read (peak resident growth against the records filled):"
echo "   $memory   (target peak_ratio <= 1.3)"
echo "-- time of $runs interleaved runs each, median (best) (load average: $(cut -d' ' -f1-3 /proc/loadavg)):"
printf "   %-22s %18s %18s\n" "" "wall s" "cpu s"
for peer in ours numpy; do
  w="wall_$peer" c="cpu_$peer"
  name=$([ "$peer" = ours ] && echo LoadPhotometryTable || echo numpy.loadtxt)
  printf "   %-22s %9.3f (%6.3f) %9.3f (%6.3f)\n" "$name" "$(median "${!w}")" "$(best "${!w}")" "$(median "${!c}")" "$(best "${!c}")"
done
awk -v wo="$(median "$wall_ours")" -v wn="$(median "$wall_numpy")" -v co="$(median "$cpu_ours")" -v cn="$(median "$cpu_numpy")" \
  -v bwo="$(best "$wall_ours")" -v bwn="$(best "$wall_numpy")" -v bco="$(best "$cpu_ours")" -v bcn="$(best "$cpu_numpy")" \
  'BEGIN { printf "   speed-up over numpy, medians: %.2fx wall, %.2fx cpu; best runs: %.2fx wall, %.2fx cpu (target >= 5x)\n",
           wn / wo, cn / co, bwn / bwo, bcn / bco }'
