#!/usr/bin/env bash
# Runs a test program's filtered tests at each given LogPixels (HKCU\Control Panel\Desktop), set in a
# private copy of the test prefix named by the suffix, under its own display and wineserver. The
# tests learn the value from DV_EXPECTED_DPI.
# Usage: dpi_run.sh <prefix suffix> <test executable> <gtest filter> <LogPixels>...
set -u
suffix=$1
tests=$2
filter=$3
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)
base=${WINEPREFIX:-}
if [ -z "$base" ]; then
  # shellcheck disable=SC1091
  . "$root/build/setup.env"
  base=$WINEPREFIX
fi
export DV_WINEPREFIX="${base%/}-$suffix"
"$root/tools/testenv/session.sh" bash -c '
  tests=$1
  filter=$2
  shift 2
  for dpi in "$@"; do
    wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
      { echo "FAIL: could not set LogPixels to $dpi"; exit 1; }
    echo "--- LogPixels $dpi"
    DV_EXPECTED_DPI=$dpi wine "$tests" --gtest_filter="$filter" || { echo "FAIL at LogPixels $dpi"; exit 1; }
  done
' dpi_run "$tests" "$filter" "$@"
