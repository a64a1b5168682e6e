#!/usr/bin/env bash
# Times the window's repaints against one UpdateLayeredWindow of the same surface, under Wine
# on Xvfb (tools/testenv/session.sh). Prints each median and its ratio to that floor.
#   bench/ui_paint/run.sh       (BUILD=build/win by default; set DV_WINEPREFIX as for the tests)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$ROOT"
BUILD=${BUILD:-build/win}
[ -f "$BUILD/build.ninja" ] || make build BUILD="$BUILD" >/dev/null
cmake "$BUILD" >/dev/null  # picks up bench/ui_paint in a tree configured before it existed
cmake --build "$BUILD" --target ui_paint_bench >/dev/null
tools/testenv/session.sh wine "$BUILD/bin/ui_paint_bench.exe"
