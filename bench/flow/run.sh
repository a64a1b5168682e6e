#!/usr/bin/env bash
# Hashing benchmark (on demand, not part of make test): builds dvcli and runs bench.py in a Wine session.
# Usage: bench/flow/run.sh [--runs N] [--workdir DIR]. BUILD (default build/win) names the Windows
# build folder; DV_WINEPREFIX a private prefix. The demo game (about 325 MB) is made once in the work
# folder (default $BUILD/bench-flow).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${BUILD:-build/win}
case $build in /*) ;; *) build=$root/$build ;; esac
# shellcheck disable=SC1091
. "$root/build/setup.env"
cmake --build "$build" --target dvcli >/dev/null
exec "$root/tools/testenv/session.sh" python3 "$root/bench/flow/bench.py" --dvcli "$build/bin/dvcli.exe" \
  --workdir "$build/bench-flow" "$@"
