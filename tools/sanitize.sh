#!/usr/bin/env bash
# AddressSanitizer + UndefinedBehaviorSanitizer build of the whole program
# with its tests, and the regression corpus replayed through the fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${SANITIZE_BUILD_DIR:-build-sanitize}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTESSIVANE_KALDRIS_ONLY=OFF -DTESSIVANE_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The test executable carries a QApplication whose platform libraries keep
# allocations to the end; leaks are checked on the decoder-only replay below.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
    ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -E kaldris_corpus_replay
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    "$build/tests/fuzz/kaldris_fuzz_replay" tests/corpus/kaldrisf
