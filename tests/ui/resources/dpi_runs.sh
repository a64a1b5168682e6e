#!/usr/bin/env bash
# Runs the DPI probe once for each LogPixels value (HKCU\Control Panel\Desktop), set before
# each run in a private copy of the test prefix, under its own display and wineserver.
# Usage: dpi_runs.sh <dpi probe executable>
set -u
probe=$1
root=$(cd "$(dirname "$0")/../../.." && pwd)
base=${WINEPREFIX:-}
if [ -z "$base" ]; then
  # shellcheck disable=SC1091
  . "$root/build/setup.env"
  base=$WINEPREFIX
fi
export DV_WINEPREFIX="${base%/}-dpi"
"$root/tools/testenv/session.sh" bash -c '
  probe=$1
  for dpi in 96 120 144 192; do
    wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
      { echo "FAIL: could not set LogPixels to $dpi"; exit 1; }
    echo "--- LogPixels $dpi"
    DV_EXPECTED_DPI=$dpi wine "$probe" || { echo "FAIL at LogPixels $dpi"; exit 1; }
  done
  wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
  echo "PASS: scale, rectangles, fonts and image destinations follow LogPixels 96, 120, 144, 192"
' dpi_runs "$probe"
