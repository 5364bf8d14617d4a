#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev fonts-dejavu-core
  libpng-dev libmpfr-dev
  libhwy-dev libomp-dev
  libgtest-dev libbenchmark-dev
  clang libclang-rt-dev
  locales
  help2man dpkg-dev file lintian desktop-file-utils appstream man-db
  ffmpeg
)
# On x86-64 the arm64 build too: the cross compiler, its multiarch libraries,
# and qemu to run what it builds.
if [ "$(dpkg --print-architecture)" = amd64 ]; then
  packages+=(g++-aarch64-linux-gnu qemu-user libhwy-dev:arm64 libpng-dev:arm64 libmpfr-dev:arm64
             libgtest-dev:arm64 libbenchmark-dev:arm64 libgomp1:arm64)
  dpkg --print-foreign-architectures | grep -qx arm64 || dpkg --add-architecture arm64
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
# A locale with a comma decimal separator, for the conversion tests.
if ! locale -a 2>/dev/null | grep -qi '^pl_PL\.utf-\?8$'; then
  localedef -i pl_PL -f UTF-8 pl_PL.UTF-8 || echo "deps.sh: could not generate pl_PL.UTF-8" >&2
fi
