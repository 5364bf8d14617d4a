#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan + libFuzzer) and runs each
# for a bounded time from the seed corpus. A finding fails the run: its whole
# report is printed and the input that caused it is kept in build-fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DWIROLOT_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$(nproc)"
mkdir -p build-fuzz/findings
for target in convert render view interior palette extended; do
  [ -x build-fuzz/tests/fuzz/fuzz_$target ] || continue  # extended: on x86 only
  work=$(mktemp -d)
  if [ -d tests/fuzz/corpus/$target ]; then cp tests/fuzz/corpus/$target/* "$work"/; fi
  echo "fuzzing $target for ${seconds}s"
  status=0
  build-fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=4096 -timeout=20 \
    -artifact_prefix=build-fuzz/findings/$target- "$work" >"$work.log" 2>&1 || status=$?
  if ((status)); then
    grep -v "^#[0-9]" "$work.log"  # the report without the progress lines
    finding=$(sed -n 's/.*Test unit written to \([^ ]*\).*/\1/p' "$work.log" | tail -1)
    echo "fuzz.sh: fuzz_$target failed (status $status); finding: ${finding:-none written}" \
      "(replay: build-fuzz/tests/fuzz/fuzz_$target ${finding:-FILE})" >&2
    rm -rf "$work" "$work.log"
    exit 1
  fi
  tail -3 "$work.log"
  rm -rf "$work" "$work.log"
done
