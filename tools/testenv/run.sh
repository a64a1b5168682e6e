#!/usr/bin/env bash
# `make run`: starts the launcher under Wine. It uses the caller's X display when there is
# one; without, it runs on a private Xvfb display and saves a screenshot after a few seconds.
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${1:-build/win}
exe="$ROOT/$BUILD/bin/dorevezi.exe"
[ -f "$exe" ] || { echo "run: $exe is missing; build first" >&2; exit 1; }

if [ -n "${DISPLAY:-}" ]; then
  DV_USE_DISPLAY=1 exec "$ROOT/tools/testenv/session.sh" "$ROOT/tools/testenv/wine-exec.sh" "$exe"
fi

shot="$ROOT/$BUILD/dorevezi-screenshot.png"
"$ROOT/tools/testenv/session.sh" bash -c '
  "$1" "$2" & pid=$!
  sleep "${DV_RUN_SECONDS:-8}"
  import -window root "$3" 2>/dev/null && echo "run: no display, so the launcher ran on Xvfb; screenshot: $3"
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; exit 0
' run "$ROOT/tools/testenv/wine-exec.sh" "$exe" "$shot"
