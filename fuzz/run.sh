#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for a while.
# Usage: fuzz/run.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTAVIRO_FUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target fuzz_ftpreply -j2
mkdir -p build-fuzz/corpus/ftpreply
cp fuzz/seeds/ftpreply/* build-fuzz/corpus/ftpreply/ 2>/dev/null || true
build-fuzz/fuzz/fuzz_ftpreply -max_total_time="$seconds" -max_len=200000 \
  build-fuzz/corpus/ftpreply
