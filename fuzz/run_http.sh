#!/bin/sh
# Builds the HTTP parser fuzz target with clang and runs it for a short while.
# Usage: fuzz/run_http.sh [seconds, default 60]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DTAVIRO_FUZZ=ON \
    -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build-fuzz" -j2 --target fuzz_http
corpus="$root/build-fuzz/corpus-http"
mkdir -p "$corpus"
printf 'HTTP/1.0 200 OK\r\nSet-Cookie: a=1\r\n\r\nbody' >"$corpus/ok"
printf 'HTTP/1.1 301 Moved\nLocation: /x\n\n' >"$corpus/redirect"
printf 'http://host:8080/path?q=1' >"$corpus/address"
exec "$root/build-fuzz/fuzz/fuzz_http" -max_total_time="${1:-60}" -max_len=4096 "$corpus"
