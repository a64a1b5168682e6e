#!/usr/bin/env bash
# Builds the portable patch code natively (clang-14, address and undefined-behaviour sanitizers),
# runs its unit tests, regenerates the seed corpus and fuzzes the container and payload reader
# for a bounded time. Longer runs on demand: tests/native/run.sh <build dir> <seconds>.
# The corpus the fuzzer grows stays in <build dir>/corpus; crashes land in <build dir>/artifacts.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$root/build/native}
seconds=${2:-60}

cmake -S "$root/tests/native" -B "$out" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out"

"$out/patch_core_native_test"

rm -rf "$out/seeds"
mkdir -p "$out/seeds" "$out/corpus" "$out/artifacts"
"$out/patch_seed_corpus" "$out/seeds"
# stdout of the target (the in-memory applier's diagnostics) is closed; libFuzzer reports on stderr.
"$out/patch_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=1 \
  -print_final_stats=1 -artifact_prefix="$out/artifacts/" "$out/corpus" "$out/seeds"

# The gate-reply and version-list readers, from the committed seeds.
mkdir -p "$out/gate_corpus"
"$out/gate_reply_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$out/artifacts/gate-" "$out/gate_corpus" "$root/tests/native/gate_seeds"
