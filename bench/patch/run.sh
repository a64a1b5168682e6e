#!/usr/bin/env bash
# Patch applier benchmark (on demand, not part of make test): builds dvcli in the build folder and
# runs bench.py in a Wine session. Usage:
#   bench/patch/run.sh [bench.py options: --size-mib N --runs N --seed N --workdir DIR]
# BUILD (default build/win, the folder `make test` builds) names the Windows build folder;
# DV_WINEPREFIX a private prefix.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${BUILD:-build/win}
case $build in /*) ;; *) build=$root/$build ;; esac
cmake --build "$build" --target dvcli >/dev/null
exec "$root/tools/testenv/session.sh" python3 "$root/bench/patch/bench.py" --dvcli "$build/bin/dvcli.exe" "$@"
