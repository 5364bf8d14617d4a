#!/usr/bin/env bash
# Installs what is needed, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"
if [ -x build/app/wirolot ]; then
  exec build/app/wirolot
fi
build/tools/wirolot-render "$@"
