#!/bin/sh
# Frame benchmarks: LoadFromFile against cfitsio, Render against one pass over the
# pixels. Builds the benchmark in the shared bench build folder unless it is there.
set -e
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${MORVIK_BENCH_BUILD:-$ROOT/build-bench}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVIK_BUILD_BENCH=ON \
    -DMORVIK_BUILD_TESTS=OFF -DMORVIK_BUILD_UI=OFF >/dev/null
fi
cmake --build "$BUILD" -j2 --target fits_bench >/dev/null
exec "$BUILD/bench/fits/fits_bench" "$@"
