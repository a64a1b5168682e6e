#!/usr/bin/env bash
# Stops, by process id, every process that runs with WINEPREFIX=<prefix>: the wine
# processes a session started, including the system ones (services.exe, explorer.exe ...)
# that Wine detaches from their parent. Usage: stop-prefix.sh <prefix> [pid to keep...]
set -u
prefix=$1
shift
keep=" $$ $PPID $* "
pids=()
for dir in /proc/[0-9]*; do
  pid=${dir#/proc/}
  case "$keep" in *" $pid "*) continue ;; esac
  if tr '\0' '\n' 2>/dev/null <"$dir/environ" | grep -qxF "WINEPREFIX=$prefix"; then
    pids+=("$pid")
  fi
done
[ ${#pids[@]} -eq 0 ] && exit 0
kill "${pids[@]}" 2>/dev/null
for _ in $(seq 20); do
  alive=()
  for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive+=("$pid"); done
  [ ${#alive[@]} -eq 0 ] && exit 0
  sleep 0.1
done
kill -9 "${alive[@]}" 2>/dev/null
exit 0
