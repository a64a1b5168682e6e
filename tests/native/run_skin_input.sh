#!/usr/bin/env bash
# Builds the markup parse and the zip reader natively (clang-14, address and undefined-behaviour
# sanitizers, libFuzzer) with minizip's reader compiled from the sources the set-up keeps, runs
# the markup table natively and fuzzes each reader for a bounded time.
# Longer runs on demand: tests/native/run_skin_input.sh <build dir> <seconds>.
# The corpora the fuzzers grow stay in <build dir>/corpus; crashes land in <build dir>/artifacts.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$root/build/native-skin}
seconds=${2:-60}
# shellcheck disable=SC1091
. "$root/build/setup.env"
sources=$DEPS_PREFIX/src
[ -f "$sources/minizip/.complete" ] || { echo "minizip's sources are missing: run tools/setup/setup.sh" >&2; exit 1; }

cmake -S "$root/tests/native" -B "$out" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14 \
  -DMINIZIP_SOURCE_DIR="$sources" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" --target markup_native_test markup_fuzzer zip_fuzzer

"$out/markup_native_test"

# Seeds: the markup seeds as UTF-16, the archives the resource tests carry.
rm -rf "$out/seeds"
mkdir -p "$out/seeds/markup" "$out/seeds/zip" "$out/corpus/markup" "$out/corpus/zip" "$out/artifacts"
for file in "$root"/tests/native/seeds/markup/*.xml; do
  iconv -f UTF-8 -t UTF-16LE "$file" >"$out/seeds/markup/$(basename "$file").utf16"
done
cp "$root"/tests/ui/resources/fixtures/*.zip "$out/seeds/zip/"

for reader in markup zip; do
  "$out/${reader}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/$reader-" "$out/corpus/$reader" "$out/seeds/$reader"
done
