#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan + libFuzzer) and runs each
# for a bounded time from the seed corpus; any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DWIROLOT_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$(nproc)"
for target in convert render extended; do
  [ -x build-fuzz/tests/fuzz/fuzz_$target ] || continue  # extended: on x86 only
  work=$(mktemp -d)
  cp tests/fuzz/corpus/$target/* "$work"/
  echo "fuzzing $target for ${seconds}s"
  build-fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=4096 -timeout=20 \
    -artifact_prefix=build-fuzz/ "$work" 2>&1 | tail -3
  rm -rf "$work"
done
