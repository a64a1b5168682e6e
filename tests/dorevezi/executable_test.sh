#!/usr/bin/env bash
# dorevezi.exe is PE32+, GUI, x86-64, imports only Windows' own DLLs, and starts under Wine
# from a folder that holds nothing else.
set -u
exe=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*"; exit 1; }

headers=$(x86_64-w64-mingw32-objdump -p "$exe") || fail "objdump could not read $exe"
grep -q 'file format pei-x86-64' <<<"$headers" || fail "not a 64-bit PE file"
grep -Eq '^Magic[[:space:]]+020b' <<<"$headers" || fail "not PE32+"
grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" || fail "not a GUI program"
foreign=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" |
  grep -Ev '^(kernel32|user32|gdi32|gdiplus|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|winmm|ws2_32|wldap32|crypt32|bcrypt|msvcrt|msimg32|imm32|iphlpapi|version|uxtheme|dwmapi|secur32|normaliz|rpcrt4|usp10|api-ms-win-[a-z0-9-]+)\.dll$')
[ -z "$foreign" ] || fail "imports DLLs that Windows does not ship: $foreign"

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$exe" "$dir/dorevezi.exe"
(cd "$dir" && exec "$root/tools/testenv/wine-exec.sh" dorevezi.exe) &
pid=$!
found=
for _ in $(seq 150); do
  if xdotool search --name '^Dorevezi$' >/dev/null 2>&1; then found=1; break; fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
[ -n "$found" ] || fail "no window titled Dorevezi appeared"
echo "PASS: dorevezi.exe is a self-contained PE32+ GUI program and starts under Wine"
