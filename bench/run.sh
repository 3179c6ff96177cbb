#!/bin/sh
# Builds the benchmarks into build-bench and runs the open/save benchmark.
# Usage: bench/run.sh [--utf8] [size in MB, default 50]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build-bench" -DTAVIRO_BENCH=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-bench" -j"$(nproc)" --target bench_document
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" exec "$root/build-bench/bench/bench_document" "$@"
