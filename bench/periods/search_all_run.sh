#!/usr/bin/env bash
# --period-search-all on a generated field (10 000 stars x 1 000 frames over 30 nights,
# about 20 000 frequencies per star) against astropy's "fast" Lomb-Scargle looped over
# the same stars and frequencies, in stars per second. morvik's time is that of the run
# with the search less that of the same run without it.
#
#   bench/periods/search_all_run.sh [BUILD_DIR] [STARS]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build-bench}
BUILD=$(cd "$BUILD" && pwd)
STARS=${2:-10000}
PY=/usr/bin/python3
cmake --build "$BUILD" -j2 --target morvik-cli morvik-fieldgen >/dev/null
CLI=$(find "$BUILD" -name morvik-cli -type f -perm -u+x | head -n 1)
GEN=$(find "$BUILD" -name morvik-fieldgen -type f -perm -u+x | head -n 1)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
"$GEN" --out f --stars "$STARS" --frames 1000 --nights 30 --seed 7 >/dev/null
COMP=$(awk '/^comparison/{print $2}' f_variables.txt)
OPTS=(--method gls --approximate --min-period 0.015 --oversampling 10)
now() { date +%s.%N; }
t0=$(now); "$CLI" f.fit --comp "$COMP" --table t.dat --quiet; t1=$(now)
"$CLI" f.fit --comp "$COMP" --period-search-all all.csv "${OPTS[@]}" --quiet; t2=$(now)
"$PY" - "$WORK" "$t0" "$t1" "$t2" <<'PYEOF'
import sys, time
import numpy as np
from astropy.timeseries import LombScargle
work, t0, t1, t2 = sys.argv[1], *map(float, sys.argv[2:])
base = (t1 - t0)
ours = max(1e-9, (t2 - t1) - base)
rows = [l.split() for l in open(f"{work}/t.dat") if not l.startswith("#")]
data = np.array(rows, dtype=float)
t = data[:, 0]
searched = [int(l.split(",")[0]) for l in open(f"{work}/all.csv").read().splitlines()[1:]]
start = time.perf_counter()
for star in searched:
    y, dy = data[:, 2 * star - 1], data[:, 2 * star]
    ok = y < 99.0
    ts = t[ok]
    span = ts.max() - ts.min()
    f = np.arange(1.0 / (span / 2.0), 1.0 / 0.015, 1.0 / (10.0 * span))
    LombScargle(ts, y[ok], dy[ok]).power(f, method="fast")
astropy = time.perf_counter() - start
n = len(searched)
print(f"--period-search-all, {n} stars x {len(t)} frames, about {len(f)} frequencies each (gls, --approximate):")
print(f"  morvik {n / ours:.0f} stars/s ({ours:.1f} s beyond the {base:.1f} s run), "
      f"astropy fast looped {n / astropy:.0f} stars/s ({astropy:.1f} s): ratio {astropy / ours:.1f}x")
PYEOF
