#!/usr/bin/env bash
# Download benchmark (on demand, not part of make test): builds dvcli in the build folder and runs
# bench.py in a Wine session against nginx on 127.0.0.1. Usage:
#   bench/download/run.sh [bench.py options: --big-mib N --small-count N --small-kib N --runs N --workdir DIR]
# BUILD (default build/win) names the Windows build folder; DV_WINEPREFIX a private prefix. The data
# (about 1.25 GiB) is made once and kept in the work folder (default $BUILD/bench-download).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${BUILD:-build/win}
case $build in /*) ;; *) build=$root/$build ;; esac
# shellcheck disable=SC1091
. "$root/build/setup.env"
cmake --build "$build" --target dvcli >/dev/null
exec "$root/tools/testenv/session.sh" python3 "$root/bench/download/bench.py" --dvcli "$build/bin/dvcli.exe" \
  --curl "$DEPS_PREFIX/bin/curl.exe" --workdir "$build/bench-download" "$@"
