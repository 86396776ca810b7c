#!/usr/bin/env bash
# The period search against its peers in this run: exact generalised Lomb-Scargle
# (5 000 points x 100 000 frequencies) against astropy "cython" and "fast", box least
# squares against astropy's BoxLeastSquares on the same periods and durations,
# Lafler-Kinman on a full grid against the numpy scan. Prints ratios; asserts no times.
#
#   bench/periods/search_run.sh [BUILD_DIR]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build-bench}
PY=/usr/bin/python3
if [ ! -f "$BUILD/build.ninja" ] && [ ! -f "$BUILD/Makefile" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVIK_BUILD_BENCH=ON \
    -DMORVIK_BUILD_TESTS=OFF -DMORVIK_BUILD_UI=OFF >/dev/null
fi
cmake --build "$BUILD" -j2 --target search_bench >/dev/null
BIN=$(find "$BUILD" -name search_bench -type f -perm -u+x | head -n 1)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

echo "== Period search ($(nproc) cores) =="
"$BIN" "$WORK" | while read -r _ name _ points _ freqs _ ms rest; do
  peer=$("$PY" "$(dirname "$0")/search_peers.py" "$WORK" "$name")
  "$PY" - "$name" "$points" "$freqs" "$ms" "$peer" "$rest" <<'PYEOF'
import sys
name, points, freqs, ms, peer, rest = sys.argv[1:]
mine = dict(zip(rest.split()[0::2], rest.split()[1::2]))
ms = float(ms)
f = peer.split()
v = dict(zip(f[0::2], f[1::2]))
theirs = float(v["ms"])
label = {"gls": "astropy LombScargle cython", "glsfast": "astropy LombScargle fast", "bls": "astropy BoxLeastSquares",
         "lk": "numpy scan"}[name]
print(f"{name}: {points} points x {freqs} frequencies: morvik {ms:.1f} ms, {label} {theirs:.1f} ms, "
      f"ratio {theirs / ms:.1f}x")
if name == "gls":
    print(f"  morvik exact against cython: max rel diff {v['max_rel_diff']}")
elif name == "glsfast":
    print(f"  largest power difference from the exact periodogram: morvik approximate "
          f"{v['morvik_fast_diff']}, astropy fast {v['astropy_fast_diff']}")
elif name == "bls":
    print(f"  best period: astropy {v['best_period']}, morvik {v['ours']}")
    cpu1, theirs_cpu = float(mine["cpu1"]), float(v["cpu"])
    print(f"  processor time, morvik on one thread against astropy: {theirs_cpu:.1f} / {cpu1:.1f} ms = "
          f"{theirs_cpu / cpu1:.1f}x (unaffected by other load; wall ratios are, on a shared machine)")
else:
    print(f"  max rel diff {v['max_rel_diff']}")
PYEOF
done
