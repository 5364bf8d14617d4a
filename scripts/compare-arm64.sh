#!/usr/bin/env bash
# Draws views with wirolot-render built for x86-64 and for arm64 (run under
# qemu-aarch64), each with both commands, and compares the pictures: the first
# TABLE views of tests/render/x87-pictures.txt and RANDOM random views, every
# fifth of them with the reference engine too. The PNG files must be
# identical byte for byte (the same libpng and zlib encode the same pixels the
# same way), so a difference in any pixel fails.
# Usage: compare-arm64.sh X86_RENDER ARM64_RENDER [RANDOM [TABLE [SEED]]]
set -euo pipefail
cd "$(dirname "$0")/.."
x86=$1 arm=$2 random=${3:-200} table=${4:-1000} seed=${5:-$RANDOM}
export OMP_WAIT_POLICY=passive  # spares wirolot-render its restart to set it
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One line per view: size, options, nine texts.
awk -v n="$table" '!/^#/ && ++k <= n {
  texts = $5; for (i = 6; i <= 13; ++i) texts = texts " " $i
  print $2 "x" $3, "-", texts
}' tests/render/x87-pictures.txt >"$work/views"
# Near the edge of the Mandelbrot set or inside the Julia set's box, spans
# from the whole picture down to a few floats, some with a box of their own.
awk -v n="$random" -v seed="$seed" 'BEGIN {
  srand(seed)
  split("1 7 15 40 64 65 150 1000 4000 0.5 2.5", limits, " ")
  for (v = 0; v < n; ++v) {
    cr = -2 + 2.5 * rand(); ci = -1.2 + 2.4 * rand()
    span = 4 * 10 ^ (-5.5 * rand())
    box = v % 3 ? "-3 3 -2 2" : sprintf("%.9g %.9g %.9g %.9g", -1 - 3 * rand(), 0.5 + 3 * rand(), -0.5 - 2 * rand(), 0.5 + 2 * rand())
    printf "%dx%d %s %.9g %.9g %.9g %.9g %s %s\n", 40 + int(120 * rand()), 30 + int(90 * rand()),
      v % 5 ? "-" : "--reference", cr - span / 2, cr + span / 2, ci - span * 0.375, ci + span * 0.375,
      box, limits[1 + v % 11]
  }
}' >>"$work/views"

same=0 different=0
while read -r size engine texts; do
  options=(--size "$size")
  [ "$engine" = - ] || options+=("$engine")
  for command in "" --julia; do
    # shellcheck disable=SC2086  # the nine texts split into words
    "$x86" ${command} "${options[@]}" --out "$work/x86.png" -- $texts
    # shellcheck disable=SC2086
    qemu-aarch64 "$arm" ${command} "${options[@]}" --out "$work/arm64.png" -- $texts
    if cmp -s "$work/x86.png" "$work/arm64.png"; then
      same=$((same + 1))
    else
      different=$((different + 1))
      echo "differs: ${command:---mandelbrot} ${options[*]} $texts" >&2
    fi
  done
done <"$work/views"
echo "arm64 and x86-64 pictures (random views from seed $seed): $same identical, $different different"
[ "$different" -eq 0 ]
