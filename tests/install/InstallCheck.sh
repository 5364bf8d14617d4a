#!/usr/bin/env bash
# Installs the build into a temporary root and checks what a user gets there:
# a valid desktop entry and metainfo, manual pages that render cleanly and say
# all that --help says, and both programs working from their installed place.
# Usage: InstallCheck.sh CMAKE BUILD_DIR BUILT_WIROLOT_RENDER APP_ID
# An APP_ID of "none" checks a build without the window.
set -euo pipefail
cmake=$1 build=$2 built_render=$3 id=$4
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

DESTDIR=$root "$cmake" --install "$build" --prefix /usr >/dev/null
usr=$root/usr

pages=(wirolot-render)
if [ "$id" != none ]; then
  desktop=$usr/share/applications/$id.desktop
  desktop-file-validate "$desktop"
  appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml"
  appstreamcli validate-tree --no-net "$root"  # its launchable is the desktop entry above
  exec_name=$(sed -n 's/^Exec=//p' "$desktop")
  [ -x "$usr/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -f "$usr/share/icons/hicolor/32x32/apps/$icon.png" ] || fail "no 32x32 icon $icon"
  pages+=(wirolot)
elif [ -e "$usr/bin/wirolot" ] || [ -d "$usr/share/applications" ]; then
  fail "the window is installed by a build without it"
fi

for page in "${pages[@]}"; do
  file=$usr/share/man/man1/$page.1.gz
  [ -f "$file" ] || fail "no manual page $page(1)"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page(1) renders with warnings: $warnings"
done
# Compared without blanks and case, so that the page may wrap, indent and make
# headings of its own ("Usage:" and "or:" become SYNOPSIS, "Options:" OPTIONS).
squeeze() { tr -d ' \t\n' | tr '[:upper:]' '[:lower:]'; }
manual=$(LC_ALL=C MANWIDTH=200 man --nh --nj -l "$usr/share/man/man1/wirolot-render.1.gz" | squeeze)
while IFS= read -r line; do
  text=$(printf '%s' "$line" | squeeze)
  text=${text#usage:}
  text=${text#or:}
  text=${text%:}
  [ -z "$text" ] || [[ $manual == *"$text"* ]] || fail "wirolot-render(1) lacks the --help line: $line"
done < <("$usr/bin/wirolot-render" --help)

cd "$root"
"$usr/bin/wirolot-render" --out installed.png
"$built_render" --out built.png
cmp installed.png built.png || fail "the installed wirolot-render draws the defaults differently"

if [ "$id" = none ]; then
  echo "install check passed (no window)"
  exit 0
fi
QT_QPA_PLATFORM=offscreen "$usr/bin/wirolot" &
pid=$!
sleep 3
kill -0 "$pid" 2>/dev/null || fail "the installed wirolot ended by itself"
kill "$pid"
wait "$pid" || true
echo "install check passed"
