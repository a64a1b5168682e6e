#!/usr/bin/env bash
# `dvcli patch` applies a real bsdiff patch, converted into the launcher's container, with both
# appliers to the same new file, and exits non-zero with the result printed for a broken patch.
set -u
dvcli=$1
root=$(cd "$(dirname "$0")/../../.." && pwd)
wine_exec=$root/tools/testenv/wine-exec.sh
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

python3 - "$dir" <<'PY' || fail "could not make the old and new files"
import random, sys
rng = random.Random(7)
old = bytearray(rng.randbytes(1 << 20) + bytes(range(256)) * 2048)
new = bytearray(old)
for _ in range(2000):
    new[rng.randrange(len(new))] = rng.randrange(256)
new[300000:300000] = rng.randbytes(5000)
del new[900000:910000]
open(sys.argv[1] + "/old.bin", "wb").write(old)
open(sys.argv[1] + "/new.bin", "wb").write(new)
PY
python3 "$root/tools/standin/patchformat.py" make "$dir/old.bin" "$dir/new.bin" "$dir/file.patch" >/dev/null ||
  fail "could not make the patch"

for mode in memory stream; do
  out=$("$wine_exec" "$dvcli" patch --mode $mode "$dir/old.bin" "$dir/new-$mode.bin" "$dir/file.patch") ||
    fail "$mode: exit $? ($out)"
  grep -q '^result=0 error=0 ' <<<"$out" || fail "$mode: unexpected output: $out"
  cmp -s "$dir/new-$mode.bin" "$dir/new.bin" || fail "$mode: the new file differs"
done

head -c 100 "$dir/file.patch" >"$dir/cut.patch"
for mode in memory stream; do
  out=$("$wine_exec" "$dvcli" patch --mode $mode "$dir/old.bin" "$dir/cut-$mode.bin" "$dir/cut.patch")
  code=$?
  [ $code -eq 1 ] || fail "$mode: a cut patch exited $code"
  grep -q '^result=-1 ' <<<"$out" || fail "$mode: unexpected output for a cut patch: $out"
done
echo "PASS: dvcli patch applies a converted bsdiff patch with both appliers and refuses a cut one"
