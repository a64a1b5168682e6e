#!/usr/bin/env bash
# Takes the main window's screenshots at LogPixels 144 (HKCU\Control Panel\Desktop), set in a private
# copy of the test prefix, under its own display and wineserver.
# Usage: main_form_dpi_run.sh <main_form_tests executable>
set -u
tests=$1
root=$(cd "$(dirname "$0")/../../.." && pwd)
base=${WINEPREFIX:-}
if [ -z "$base" ]; then
  # shellcheck disable=SC1091
  . "$root/build/setup.env"
  base=$WINEPREFIX
fi
export DV_WINEPREFIX="${base%/}-main-form-dpi"
# At 144 DPI the window is about 1500 x 900: the screen must hold it whole.
export DV_SCREEN_SIZE=1920x1200
"$root/tools/testenv/session.sh" bash -c '
  wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 ||
    { echo "FAIL: could not set LogPixels"; exit 1; }
  DV_EXPECTED_DPI=144 wine "$1" --gtest_filter="MainFormScreenshots.*"
' main_form_dpi_run "$tests"
