#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's prefix (ctest's emulator).
# The prefix, display and wineserver come from tools/testenv/session.sh.
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
if [ -z "${WINEPREFIX:-}" ]; then
  # shellcheck disable=SC1091
  . "$ROOT/build/setup.env"
  export WINEPREFIX
fi
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
