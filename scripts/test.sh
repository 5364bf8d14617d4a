#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the normal build, on
# x86-64 the arm64 build under qemu, the sanitizer builds, and a bounded
# fuzzing run.
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

if [ "$(dpkg --print-architecture)" = amd64 ]; then
  # Cross-built for arm64: its tests under qemu-aarch64, its package, and the
  # packaged wirolot-render against this machine's on a share of the views
  # (all of them: scripts/compare-arm64.sh build/tools/wirolot-render
  # build-arm64/tools/wirolot-render).
  cmake --preset arm64
  cmake --build --preset arm64 -j "$jobs"
  ctest --preset arm64 -j "$jobs"
  cmake --build --preset arm64 --target package
  lintian --fail-on error build-arm64/wirolot_*_arm64.deb
  packaged=$(mktemp -d)
  dpkg-deb -x build-arm64/wirolot_*_arm64.deb "$packaged"
  bash scripts/compare-arm64.sh build/tools/wirolot-render "$packaged/usr/bin/wirolot-render" 20 20
  rm -rf "$packaged"
fi

cmake --preset sanitize
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs"

# The window's threads under ThreadSanitizer. OpenMP's runtime is not
# instrumented, so the preset runs each pass on the worker thread alone.
cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan

if [ -f scripts/fuzz.sh ]; then bash scripts/fuzz.sh; fi
