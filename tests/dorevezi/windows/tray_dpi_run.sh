#!/usr/bin/env bash
# Opens the tray menu at LogPixels 96 and 144 (HKCU\Control Panel\Desktop) for its screenshots, in a
# private copy of the test prefix under its own display and wineserver.
# Usage: tray_dpi_run.sh <tray_tests executable>
set -u
tests=$1
root=$(cd "$(dirname "$0")/../../.." && pwd)
base=${WINEPREFIX:-}
if [ -z "$base" ]; then
  # shellcheck disable=SC1091
  . "$root/build/setup.env"
  base=$WINEPREFIX
fi
export DV_WINEPREFIX="${base%/}-tray-dpi"
"$root/tools/testenv/session.sh" bash -c '
  for dpi in 96 144; do
    wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
      { echo "FAIL: could not set LogPixels to $dpi"; exit 1; }
    echo "--- LogPixels $dpi"
    DV_EXPECTED_DPI=$dpi wine "$1" --gtest_filter=TrayTest.RightPressOpensTheMenuAtTheCursorAndItsItemsReachTheOwner ||
      { echo "FAIL at LogPixels $dpi"; exit 1; }
  done
' tray_dpi_run "$tests"
