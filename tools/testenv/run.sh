#!/usr/bin/env bash
# `make run`: starts the local demo servers (tools/standin/demo.sh: nginx as the content server,
# the stand-in as gate, tracking and echo), points the launcher at them through its operator
# file "save\setting.json", and runs it under Wine. It uses the caller's X display when there is
# one; without, it runs on a private Xvfb display and saves a screenshot after a while.
# Every server and Wine process is stopped, by id, when the launcher ends.
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${1:-build/win}
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
exe="$BUILD/bin/dorevezi.exe"
[ -f "$exe" ] || { echo "run: $exe is missing; build first" >&2; exit 1; }

launch() {
  mkdir -p "$BUILD/bin/save"
  cp "$DV_STANDIN_RUN/setting.json" "$BUILD/bin/save/setting.json"
  if [ -n "${DISPLAY:-}" ]; then
    DV_USE_DISPLAY=1 "$ROOT/tools/testenv/session.sh" "$ROOT/tools/testenv/wine-exec.sh" "$exe"
    return
  fi
  local shot="$BUILD/dorevezi-screenshot.png"
  "$ROOT/tools/testenv/session.sh" bash -c '
    "$1" "$2" & pid=$!
    sleep "${DV_RUN_SECONDS:-10}"
    import -window root "$3" 2>/dev/null && echo "run: no display, so the launcher ran on Xvfb; screenshot: $3"
    # Stopped quietly: a shell may announce a job it saw end by a signal.
    { kill "$pid"; wait "$pid"; } >/dev/null 2>&1; exit 0
  ' run "$ROOT/tools/testenv/wine-exec.sh" "$exe" "$shot"
}
export -f launch
export ROOT BUILD exe
exec "$ROOT/tools/standin/demo.sh" --build "$BUILD" -- bash -c launch
