#!/usr/bin/env bash
# Registers the system-browser stand-in for http and https (HKCR, where Wine's shell looks) in a private copy
# of the test prefix, never in the shared one, and opens a link through the real shell there,
# under its own display and wineserver.
# Usage: open_link_run.sh <core_link_tests executable> <sysbrowser executable>
set -u
tests=$1
browser=$2
root=$(cd "$(dirname "$0")/../../.." && pwd)
base=${WINEPREFIX:-}
if [ -z "$base" ]; then
  # shellcheck disable=SC1091
  . "$root/build/setup.env"
  base=$WINEPREFIX
fi
export DV_WINEPREFIX="${base%/}-sysbrowser"
"$root/tools/testenv/session.sh" bash -c '
  command="\"$(winepath -w "$2")\" \"%1\""
  for scheme in http https; do
    wine reg add "HKCR\\$scheme\\shell\\open\\command" /ve /d "$command" /f >/dev/null 2>&1 ||
      { echo "FAIL: could not register the browser for $scheme"; exit 1; }
  done
  DV_SYSBROWSER_REGISTERED=1 wine "$1" --gtest_filter=OpenLinkTest.TheSystemBrowserGetsTheExactAddress
' open_link_run "$tests" "$browser"
