#!/usr/bin/env bash
# Fails if the committed manual page is not what help2man makes of --help now
# (the date and the generator's comment aside).
# Usage: ManPageCheck.sh PAGE HELP2MAN-COMMAND...
set -euo pipefail
page=$1
shift
body() { grep -v -e '^\.TH ' -e '^\.\\"'; }
if ! diff <(body <"$page") <("$@" | body); then
  echo "FAIL: $page is out of date; run: cmake --build build --target man-page" >&2
  exit 1
fi
