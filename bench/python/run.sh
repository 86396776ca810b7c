#!/usr/bin/env bash
# Indices + period search over many light curves through morvik.dask on a LocalCluster
# of 1 and of 2 workers, against astropy's LombScargle looped in one process. Prints
# light curves per second and ratios; asserts no times.
#
#   bench/python/run.sh [BUILD_DIR] [CURVES]   (defaults: build-bench, 100000)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build-bench}
CURVES=${2:-100000}

if [ ! -f "$BUILD/build.ninja" ] && [ ! -f "$BUILD/Makefile" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVIK_BUILD_BENCH=ON \
    -DMORVIK_BUILD_TESTS=OFF -DMORVIK_BUILD_UI=OFF >/dev/null
fi
cmake --build "$BUILD" -j2 --target morvik_python >/dev/null

echo "== morvik.dask over many light curves ($(nproc) cores) =="
PYTHONPATH="$BUILD/python" /usr/bin/python3 "$(dirname "$0")/bench_dask.py" "$CURVES" 200
