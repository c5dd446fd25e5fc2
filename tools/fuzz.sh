#!/usr/bin/env bash
# Fuzz open+unpack with libFuzzer (clang) for SECONDS (default 600), starting
# from the regression corpus and the generated seeds; new crashers land in
# fuzz-out/crashes. Run by hand, not in CI.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
workers=${FUZZ_WORKERS:-4}
build=build-fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -g -O1"
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSIVANE_KALDRIS_ONLY=ON -DTESSIVANE_FUZZ=ON \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" > /dev/null
cmake --build "$build" -j"$(nproc)" --target kaldris_fuzz
mkdir -p fuzz-out/corpus fuzz-out/crashes
cd fuzz-out
ASAN_OPTIONS=detect_leaks=1 ../"$build"/tests/fuzz/kaldris_fuzz \
    -max_total_time="$seconds" -fork="$workers" -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix=crashes/ -max_len=262144 \
    corpus ../tests/corpus/kaldrisf
