#!/usr/bin/env bash
# Starts the servers the launcher talks to, on 127.0.0.1: nginx as the content server (CDN) serving the
# demo release, and the Python stand-in as the gate, tracking and attribution recorders, public-IP echo
# and CONNECT proxy for the launcher's built-in host names. Prints their addresses and writes, into the
# run folder, "addresses.json", a "setting.json" for the launcher's "save" folder and "env.sh".
# Both servers are stopped by their process ids on exit, Ctrl-C or TERM.
#
#   tools/standin/demo.sh [--build DIR] [--run-dir DIR] [--profile demo|test] [--launcher-update]
#                         [-- COMMAND ...]
#
# With a COMMAND it runs it with the servers up (HTTPS_PROXY, NO_PROXY and DV_STANDIN_RUN set) and stops
# them when it ends, returning its exit status; without, it waits until interrupted.
# --launcher-update also offers launcher release 1.0.1 (the launcher then updates itself from it).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
HERE=$ROOT/tools/standin
BUILD=build/win
RUN=
PROFILE=demo
LAUNCHER_UPDATE=0
CACHE=${DV_DEMO_CACHE:-/var/cache/dorevezi/demo}
while [ $# -gt 0 ]; do
  case "$1" in
    --build) BUILD=$2; shift 2 ;;
    --run-dir) RUN=$2; shift 2 ;;
    --profile) PROFILE=$2; shift 2 ;;
    --launcher-update) LAUNCHER_UPDATE=1; shift ;;
    --) shift; break ;;
    *) echo "demo: unknown argument $1" >&2; exit 2 ;;
  esac
done
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
RUN=${RUN:-$BUILD/standin-run}
case "$RUN" in /*) ;; *) RUN=$ROOT/$RUN ;; esac

nginx_pid=
standin_pid=
stop() {
  local status=$?
  trap - EXIT INT TERM
  if [ -n "$standin_pid" ]; then kill "$standin_pid" 2>/dev/null || true; wait "$standin_pid" 2>/dev/null || true; fi
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  exit "$status"
}
trap stop EXIT
trap 'exit 130' INT TERM

release_args=(--profile "$PROFILE" --cache "$CACHE")
[ -f "$BUILD/bin/TOLV.exe" ] && release_args+=(--tolv "$BUILD/bin/TOLV.exe")
[ "$LAUNCHER_UPDATE" = 1 ] && [ -f "$BUILD/bin/dorevezi.exe" ] && release_args+=(--dorevezi "$BUILD/bin/dorevezi.exe")
echo "demo: preparing the $PROFILE release (made once, then kept in $CACHE)" >&2
RELEASE=$(python3 "$HERE/release.py" demo "${release_args[@]}")

rm -rf "$RUN"
mkdir -p "$RUN/nginx/logs" "$RUN/nginx/tmp"
: >"$RUN/nginx/.missing"
python3 "$HERE/certs.py" "$RUN/certs" >/dev/null

nginx_port=$(python3 "$HERE/standin.py" free-port)
# Started as root, nginx would hand its workers to "nobody", who may not read a release in a private
# folder; the workers keep the starting user instead (they only listen on loopback).
nginx_user=
[ "$(id -u)" = 0 ] && nginx_user="user root;"
cat >"$RUN/nginx/nginx.conf" <<EOF
$nginx_user
worker_processes 2;
daemon off;
pid $RUN/nginx/nginx.pid;
error_log $RUN/nginx/logs/error.log warn;
events { worker_connections 512; }
http {
  access_log $RUN/nginx/logs/access.log;
  client_body_temp_path $RUN/nginx/tmp/body;
  proxy_temp_path $RUN/nginx/tmp/proxy;
  fastcgi_temp_path $RUN/nginx/tmp/fastcgi;
  uwsgi_temp_path $RUN/nginx/tmp/uwsgi;
  scgi_temp_path $RUN/nginx/tmp/scgi;
  types { text/plain txt; }
  default_type application/octet-stream;
  sendfile on;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$nginx_port ssl http2;
    ssl_certificate $RUN/certs/server.pem;
    ssl_certificate_key $RUN/certs/server.key;
    root $RELEASE/cdn;
    # A missing object is a 404 with an empty body, as the launcher's probe expects.
    location / { }
    error_page 404 =404 /.missing;
    location = /.missing { internal; root $RUN/nginx; }
  }
}
EOF
nginx -p "$RUN/nginx" -c "$RUN/nginx/nginx.conf" -e "$RUN/nginx/logs/error.log" &
nginx_pid=$!
NGINX=https://127.0.0.1:$nginx_port
for _ in $(seq 100); do
  curl -s -o /dev/null --cacert "$RUN/certs/ca.pem" "$NGINX/" && break
  kill -0 "$nginx_pid" 2>/dev/null || { echo "demo: nginx did not start:" >&2; cat "$RUN/nginx/logs/error.log" >&2; exit 1; }
  sleep 0.05
done

python3 - "$RUN/scenario.json" "$RELEASE" "$LAUNCHER_UPDATE" <<'EOF'
import json, sys
out, release, launcher_update = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
manifest = json.load(open(f"{release}/manifest.json"))
current = manifest["game"]["current"]
others = {"PatchOption": 2, "UseWebExtraParam": False, "DeleteLogTXT": False, "PreDlcCheck": True,
          "TransToGame": {"source": "demo"}, "PreDlcAddr": ["{nginx}/predownload/"]}
if launcher_update:
    others["DlcAddr"] = ["{nginx}/launcher/"]
scenario = {
    "gate": {"urls": {"DlcAddr": [f"{{nginx}}/game-{current}/"], "Others": others},
             "pre_download": {"CN_pc_addr": ["{nginx}/predownload/"]}},
    "mounts": {"/cdn/": f"{release}/cdn"},
    "echo_ip": "203.0.113.10",
}
json.dump(scenario, open(out, "w"), indent=1)
EOF

python3 "$HERE/standin.py" serve --quiet --scenario "$RUN/scenario.json" --run-dir "$RUN" --certs "$RUN/certs" \
  --extern "nginx=$NGINX" &
standin_pid=$!
for _ in $(seq 200); do
  [ -s "$RUN/addresses.json" ] && break
  kill -0 "$standin_pid" 2>/dev/null || { echo "demo: the stand-in did not start" >&2; exit 1; }
  sleep 0.05
done

python3 - "$RUN" "$NGINX" "$RELEASE" <<'EOF'
import json, sys
run, nginx, release = sys.argv[1:4]
a = json.load(open(f"{run}/addresses.json"))
a["nginx"] = nginx
a["release"] = release
json.dump(a, open(f"{run}/addresses.json.tmp", "w"), indent=2)
import os
os.replace(f"{run}/addresses.json.tmp", f"{run}/addresses.json")
setting = {"GateURLs": [a["gate"]], "TrackURL": a["track"], "CAFile": a["ca_windows"]}
with open(f"{run}/setting.json", "w") as f:
    json.dump(setting, f, indent="\t")
with open(f"{run}/env.sh", "w") as f:
    f.write(f"export HTTPS_PROXY={a['proxy']}\nexport NO_PROXY=127.0.0.1,localhost\nexport DV_STANDIN_RUN={run}\n")
print(f"""demo servers are up
  gate, tracking, attribution, echo  {a['gate']}
  content server (nginx)             {nginx}/  (game-*/, launcher/, predownload/)
  proxy for the built-in hosts       {a['proxy']}   (HTTPS_PROXY)
  control endpoint                   {a['control']}
  test CA                            {a['ca']}
  launcher settings                  {run}/setting.json  (copy to the launcher's save\\setting.json)
  environment                        {run}/env.sh
  release                            {release}""")
EOF

export HTTPS_PROXY NO_PROXY DV_STANDIN_RUN
HTTPS_PROXY=$(python3 -c "import json,sys;print(json.load(open(sys.argv[1]))['proxy'])" "$RUN/addresses.json")
NO_PROXY=127.0.0.1,localhost
DV_STANDIN_RUN=$RUN
if [ $# -gt 0 ]; then
  set +e
  "$@"
  exit $?
fi
echo "demo: Ctrl-C stops the servers" >&2
while kill -0 "$standin_pid" 2>/dev/null && kill -0 "$nginx_pid" 2>/dev/null; do sleep 0.5; done
echo "demo: a server ended" >&2
exit 1
