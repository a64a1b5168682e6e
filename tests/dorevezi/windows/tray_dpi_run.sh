#!/usr/bin/env bash
# Opens the tray menu at LogPixels 96 and 144 (HKCU\Control Panel\Desktop) for its screenshots, in a
# private copy of the test prefix under its own display and wineserver. The copy links the menu
# font to the CJK font as a Chinese system does, so the Chinese items are drawn.
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
  wine reg add "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink" /v Tahoma \
    /t REG_MULTI_SZ /d "NotoSansCJK-Regular.ttc,Noto Sans CJK SC" /f >/dev/null 2>&1 ||
    { echo "FAIL: could not link the menu font"; exit 1; }
  for dpi in 96 144; do
    wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
      { echo "FAIL: could not set LogPixels to $dpi"; exit 1; }
    echo "--- LogPixels $dpi"
    DV_EXPECTED_DPI=$dpi wine "$1" --gtest_filter=TrayTest.RightPressOpensTheMenuAtTheCursorAndItsItemsReachTheOwner ||
      { echo "FAIL at LogPixels $dpi"; exit 1; }
  done
' tray_dpi_run "$tests"
