#!/usr/bin/env bash
# Scrolls virtual lists of 100 and 100,000 items by painted wheel and page steps, beside plain
# repaints of the same view and a native owner-data list view, under Wine on Xvfb
# (tools/testenv/session.sh). Prints the time per step and the element count.
#   bench/virtual_list/run.sh   (BUILD=build/win by default; set DV_WINEPREFIX as for the tests)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$ROOT"
BUILD=${BUILD:-build/win}
[ -f "$BUILD/build.ninja" ] || make build BUILD="$BUILD" >/dev/null
cmake "$BUILD" >/dev/null  # picks up bench/virtual_list in a tree configured before it existed
cmake --build "$BUILD" --target virtual_list_bench >/dev/null
tools/testenv/session.sh wine "$BUILD/bin/virtual_list_bench.exe"
