#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the normal build, the
# sanitizer builds, and a bounded fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

cmake --preset default
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"
# The Debian package, built from the tested tree and checked by lintian.
cmake --build --preset default --target package
lintian --fail-on error build/wirolot_*.deb

cmake --preset sanitize
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs"

# The window's threads under ThreadSanitizer. OpenMP's runtime is not
# instrumented, so the preset runs each pass on the worker thread alone.
cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan

if [ -f scripts/fuzz.sh ]; then bash scripts/fuzz.sh; fi
