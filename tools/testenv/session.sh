#!/usr/bin/env bash
# Runs a command with a private X display (Xvfb) and the project prefix's own wineserver,
# then stops both by their process ids. The command's exit code is returned.
# With DV_USE_DISPLAY=1 and a DISPLAY set, the caller's display is used instead of Xvfb.
# DV_SCREEN_SIZE (WIDTHxHEIGHT, default 1280x1024) sizes the Xvfb screen.
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck disable=SC1091
. "$ROOT/build/setup.env"
# DV_WINEPREFIX names a private copy of the prefix, for developers who run several
# sessions side by side; it is copied from the cached one on first use.
if [ -n "${DV_WINEPREFIX:-}" ]; then
  if [ ! -f "$DV_WINEPREFIX/.complete" ]; then
    rm -rf "$DV_WINEPREFIX" && mkdir -p "$(dirname "$DV_WINEPREFIX")" && cp -a "$WINEPREFIX" "$DV_WINEPREFIX"
  fi
  WINEPREFIX=$DV_WINEPREFIX
fi
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

tmp=$(mktemp -d)
xvfb_pid=
server_pid=
stop() {
  # Wine detaches its system processes (services.exe, explorer.exe ...) from us: they are
  # found by their prefix and stopped by id before the server.
  "$ROOT/tools/testenv/stop-prefix.sh" "$WINEPREFIX" $server_pid
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -rf "$tmp"
}
trap stop EXIT
trap 'exit 130' INT TERM

if [ "${DV_USE_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 "${DV_SCREEN_SIZE:-1280x1024}x24" -nolisten tcp 3>"$tmp/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
  [ -s "$tmp/display" ] || { echo "session: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(tr -d '\n' <"$tmp/display")"
fi

# A persistent server of our own, so every Wine process of the run shares it and it is
# stopped by id at the end. If one already runs for this prefix, that one is used.
wineserver -f -p 2>/dev/null &
server_pid=$!
# Wait until the server listens, or the first Wine program would start a second one.
server_dir="server-$(printf '%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))"
for _ in $(seq 100); do
  compgen -G "/tmp/.wine-$(id -u)/$server_dir/socket" >/dev/null && break
  compgen -G "${TMPDIR:-/tmp}/wine-*/$server_dir/socket" >/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.05
done
# Wine starts its background services (winedevice, ...) with the first program and they
# inherit that program's output: start them here on /dev/null, or ctest would wait on the
# first test's output pipe until the server stops.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

"$@"
