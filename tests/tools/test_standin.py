#!/usr/bin/env python3
"""The server stand-in seen by two clients, native curl and the Windows curl.exe under Wine: gate
replies, exact byte ranges, 404 probes, every fault knob, the request log, the CONNECT proxy for the
built-in hosts, the recorders, run-time changes through the control endpoint, parallel connections, and
certificates that chain to the test CA."""

import http.client
import json
import os
import random
import shutil
import ssl
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from standin_support import SOURCE_DIR, Checks, Standin, work_dir  # noqa: E402
import certs  # noqa: E402

FMT = "%{exitcode} %{http_code} %{size_download} %{time_total}\\n"
RESET_CODES = {35, 52, 55, 56}


def make_content(folder):
    files = os.path.join(folder, "files")
    os.makedirs(os.path.join(files, "patchs", "1_0_0"))
    data = random.Random(7).randbytes(200 * 1024)
    names = ["a.bin", "once.bin", "forced404.bin", "f416.bin", "f500.bin", "f503.bin", "whole.bin", "cut.bin",
             "stall.bin", "flip.bin", "slow.bin", "reset.bin", "second.bin", "parallel.bin", "late.bin"]
    for name in names:
        with open(os.path.join(files, name), "wb") as f:
            f.write(data)
    version_map = json.dumps({"version": {"md5": "10077_0_1"}, "a.bin": {"md5": "x", "size": len(data)}})
    with open(os.path.join(files, "version_map.txt"), "w") as f:
        f.write(version_map)
    with open(os.path.join(files, "patchs", "1_0_0", "patch_list.txt"), "w") as f:
        f.write("{}")
    for name in WEB_TYPES:
        with open(os.path.join(files, name), "wb") as f:
            f.write(b"web")
    return data, version_map


# Pages for the embedded browser: their content types.
WEB_TYPES = {"page.html": "text/html; charset=utf-8", "old.htm": "text/html; charset=utf-8",
             "style.css": "text/css; charset=utf-8", "app.js": "application/javascript; charset=utf-8",
             "pic.png": "image/png", "photo.jpg": "image/jpeg", "PHOTO.JPEG": "image/jpeg",
             "blob.xyz": "application/octet-stream"}


def check_content_types(c, addresses):
    context = ssl.create_default_context(cafile=addresses["ca"])
    host, port = addresses["main"].split("//")[1].split(":")
    for name, expected in WEB_TYPES.items():
        conn = http.client.HTTPSConnection(host, int(port), context=context, timeout=10)
        conn.request("GET", "/game/" + name)
        response = conn.getresponse()
        response.read()
        c.equal(f"content type of {name}", (response.status, response.getheader("Content-Type")), (200, expected))
        conn.close()


SCENARIO = {
    "listeners": ["cdn2", "dead", "flaky"],
    "mounts": {"/game/": "files"},
    "gate": {
        "urls": {"DlcAddr": ["{main}/game/", "{cdn2}/game/"], "CDN": {"file": "files/version_map.txt"},
                 "Others": {"DlcAddr": ["{main}/launcher/"], "PatchOption": 2, "UseWebExtraParam": True,
                            "DeleteLogTXT": False, "PreDlcCheck": True, "TransToGame": {"k": 1},
                            "ActivityAddr": "{main}/activity", "PreDlcAddr": ["{main}/pre/"]}},
        "urls_qa": {"DlcAddr": "{main}/qa/", "Others": {"DlcAddr": "{main}/qa-launcher/", "ForceUpdateDorevezi": True}},
        "pre_download": {"CN_pc_addr": ["{main}/pre/", "{cdn2}/pre/"]},
    },
    "echo_ip": "203.0.113.7",
}

FAULTS = [
    {"id": "once", "path": "/game/once.bin", "status": 503, "body": "busy", "first": 1},
    {"id": "forced404", "path": "/game/forced404.bin", "status": 404},
    {"id": "f416", "path": "/game/f416.bin", "status": 416, "body": "no such range"},
    {"id": "f500", "path": "/game/f500.bin", "status": 500, "body": "oops"},
    {"id": "f503", "path": "/game/f503.bin", "status": 503, "body": "later"},
    {"id": "whole", "path": "/game/whole.bin", "ignore_range": True},
    {"id": "cut", "path": "/game/cut.bin", "truncate": 1000},
    {"id": "stall", "path": "/game/stall.bin", "stall": 3, "stall_after": 100},
    {"id": "flip", "path": "/game/flip.bin", "flip": 5},
    {"id": "slow", "path": "/game/slow.bin", "delay": 0.6},
    {"id": "reset", "path": "/game/reset.bin", "reset": True},
    {"id": "second", "path": "/game/second.bin", "status": 500, "skip": 1, "first": 1},
    {"id": "dead", "listener": "dead", "refuse": True},
    {"id": "flaky", "listener": "flaky", "reset": "connect"},
]


def cases(addresses, data, version_map):
    """(name, url, curl options, expectation) for both clients; an expectation is a function of
    (exit code, status, size, seconds, body) that returns an error text or None."""
    main = addresses["main"]
    listeners = addresses["listeners"]

    def expect(code=0, status=None, body=None, size=None, min_time=None, codes=None):
        def judge(exit_code, http_status, got_size, seconds, got_body):
            if (codes and exit_code not in codes) or (not codes and exit_code != code):
                return f"exit code {exit_code}"
            if status is not None and http_status != status:
                return f"status {http_status}"
            if size is not None and got_size != size:
                return f"size {got_size}"
            if body is not None and got_body != body:
                return f"body differs ({len(got_body)} bytes)"
            if min_time is not None and seconds < min_time:
                return f"took {seconds}s"
            return None
        return judge

    def gate_reply(exit_code, status, size, seconds, body):
        if exit_code or status != 200:
            return f"{exit_code} {status}"
        reply = json.loads(body)
        others = json.loads(reply["Others"])
        if reply["DlcAddr"] != [main + "/game/", listeners["cdn2"] + "/game/"]:
            return f"DlcAddr {reply['DlcAddr']}"
        if reply["CDN"] != version_map:
            return "CDN is not the version list's text"
        if others["PatchOption"] != 2 or others["DlcAddr"] != [main + "/launcher/"] or \
                others["PreDlcAddr"] != [main + "/pre/"] or "ForceUpdateDorevezi" in others:
            return f"Others {others}"
        return None

    def gate_qa(exit_code, status, size, seconds, body):
        reply = json.loads(body) if status == 200 else {}
        if reply.get("DlcAddr") != main + "/qa/" or json.loads(reply.get("Others", "{}")).get("ForceUpdateDorevezi") \
                is not True:
            return f"{status} {body[:200]!r}"
        return None

    def pre_download(exit_code, status, size, seconds, body):
        reply = json.loads(body) if status == 200 else {}
        info = reply.get("info", [])
        if len(info) != 1 or json.loads(info[0]) != {"CN_pc_addr": [main + "/pre/", listeners["cdn2"] + "/pre/"]}:
            return f"{status} {body[:200]!r}"
        return None

    flipped = bytearray(data[0:10])
    flipped[5] ^= 0xFF
    return [
        ("gate urls", f"{main}/get/urls?key=WIN10CN_10077_0_1&udid=PC1", [], gate_reply),
        ("gate urls qa", f"{main}/get/urls?key=K&udid=PC1&is_qa=true", [], gate_qa),
        ("gate pre_download", f"{main}/pre_download?channel=CN&udid=PC1", [], pre_download),
        # The gate answers by its query: no device id or another channel is refused.
        ("gate urls without udid", f"{main}/get/urls?key=WIN10CN_10077_0_1", [], expect(status=403)),
        ("gate urls empty udid", f"{main}/get/urls?key=K&udid=", [], expect(status=403)),
        ("gate pre_download other channel", f"{main}/pre_download?channel=US&udid=PC1", [], expect(status=403)),
        ("gate pre_download without udid", f"{main}/pre_download?channel=CN", [], expect(status=403)),
        ("range 206 exact bytes", f"{main}/game/a.bin", ["-r", "1000-1999"],
         expect(status=206, body=data[1000:2000])),
        ("range with ?t= ignored", f"{main}/game/a.bin?t=123456", ["-r", "5-9"], expect(status=206, body=data[5:10])),
        ("range open end", f"{main}/game/a.bin", ["-r", "204000-"], expect(status=206, body=data[204000:])),
        ("range past the end 416", f"{main}/game/a.bin", ["-r", "300000-300010"], expect(status=416, size=0)),
        ("second base address", f"{listeners['cdn2']}/game/a.bin", ["-r", "0-99"], expect(status=206, body=data[:100])),
        ("probe of a missing object 404 empty", f"{main}/game/missing.bin", ["-r", "0-0"], expect(status=404, size=0)),
        ("version list whole", f"{main}/game/version_map.txt", [], expect(status=200, body=version_map.encode())),
        ("knob status 503 first request", f"{main}/game/once.bin", ["-r", "0-9"], expect(status=503, body=b"busy")),
        ("knob status 503 then normal", f"{main}/game/once.bin", ["-r", "0-9"], expect(status=206, body=data[:10])),
        ("knob status 404", f"{main}/game/forced404.bin", ["-r", "0-0"], expect(status=404, size=0)),
        ("knob status 416", f"{main}/game/f416.bin", ["-r", "0-9"], expect(status=416, body=b"no such range")),
        ("knob status 500", f"{main}/game/f500.bin", ["-r", "0-9"], expect(status=500, body=b"oops")),
        ("knob status 503", f"{main}/game/f503.bin", ["-r", "0-9"], expect(status=503, body=b"later")),
        ("knob ignore range", f"{main}/game/whole.bin", ["-r", "0-9"], expect(status=200, body=data)),
        ("knob truncate", f"{main}/game/cut.bin", ["-r", "0-9999"], expect(code=18, status=206, size=1000)),
        ("knob stall", f"{main}/game/stall.bin", ["-r", "0-9999", "-m", "1"], expect(code=28, size=100)),
        ("knob flip one byte", f"{main}/game/flip.bin", ["-r", "0-9"], expect(status=206, body=bytes(flipped))),
        ("knob delay", f"{main}/game/slow.bin", ["-r", "0-9"], expect(status=206, body=data[:10], min_time=0.55)),
        ("knob reset", f"{main}/game/reset.bin", ["-r", "0-9"], expect(codes=RESET_CODES)),
        ("knob skip then first", f"{main}/game/second.bin", ["-r", "0-9"], expect(status=206, body=data[:10])),
        ("knob skip then first (fault)", f"{main}/game/second.bin", ["-r", "0-9"], expect(status=500)),
        ("knob skip then first (after)", f"{main}/game/second.bin", ["-r", "0-9"], expect(status=206)),
        ("knob refuse connections", f"{listeners['dead']}/game/a.bin", ["-r", "0-9"], expect(code=7)),
        # A reset that races the handshake reads as "could not connect" (7) under load.
        ("knob reset on connect", f"{listeners['flaky']}/game/a.bin", ["-r", "0-9"],
         expect(codes=RESET_CODES | {7})),
        ("public ip echo", f"{main}/ip", [], expect(status=200, body=b"203.0.113.7\n")),
        ("tracking post", addresses["track"], ["-H", "Content-Type:application/json; charset=UTF-8", "--data",
                                               '{"log_type":"qzrolepcstarteruiclick","action":"play"}'],
         expect(status=200)),
        ("attribution get", addresses["attribution"] + "?activity_kind=pc_starter&event_name=click_launch_start_open",
         [], expect(status=200)),
    ]


PROXY_CASES = [
    ("proxy gate built-in host", "https://gate.dorevezi.invalid/get/urls?key=K&udid=U", []),
    ("proxy backup gate host", "https://gate-backup.dorevezi.invalid/pre_download?channel=CN&udid=U", []),
    ("proxy public ip host", "https://ip.dorevezi.invalid/", []),
    ("proxy attribution host", "https://attribution.dorevezi.invalid/v1/adjust?event_name=proxy", []),
    ("proxy tracking host", "https://track.dorevezi.invalid/track/json_track?token=t",
     ["-H", "Content-Type:application/json", "--data", '{"via":"proxy"}']),
]


def run_wine(folder, args, timeout=180, env=None):
    """Runs a Windows program under Wine; (exit status, stdout, stderr). Output goes through files: the
    first Wine program of a session starts Wine's background services, which inherit its handles and
    would keep pipes open long after the program ended."""
    wine_exec = os.path.join(SOURCE_DIR, "tools", "testenv", "wine-exec.sh")
    out_path, err_path = os.path.join(folder, "wine.stdout"), os.path.join(folder, "wine.stderr")
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        status = subprocess.run([wine_exec, *args], stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                timeout=timeout, env=env).returncode
    with open(out_path, "rb") as out, open(err_path, "rb") as err:
        return status, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")


def run_native(c, addresses, out_dir, case_list, label):
    ca = addresses["ca"]
    for name, url, options, judge in case_list:
        out = os.path.join(out_dir, "native.out")
        if os.path.exists(out):
            os.remove(out)
        result = subprocess.run(["curl", "-s", "--cacert", ca, "-o", out, "-w", FMT,
                                 *options, url], capture_output=True, text=True, timeout=60)
        code, status, size, seconds = result.stdout.split()
        body = open(out, "rb").read() if os.path.exists(out) else b""
        error = judge(int(code), int(status), int(size), float(seconds), body)
        c.check(f"{label}: {name}", error is None, error)


def run_windows_curl(c, addresses, out_dir, case_list, label, curl_exe, extra=()):
    """All cases in one curl.exe run (one Wine start), separated by --next."""
    ca = certs.windows_path(addresses["ca"])
    args = []
    for i, (name, url, options, judge) in enumerate(case_list):
        if i:
            args.append("--next")
        args += ["-s", "--cacert", ca, "-o", certs.windows_path(os.path.join(out_dir, f"win{i}.out")),
                 "-w", FMT, *extra, *options, url]
    for i in range(len(case_list)):
        path = os.path.join(out_dir, f"win{i}.out")
        if os.path.exists(path):
            os.remove(path)
    _, stdout, stderr = run_wine(out_dir, [curl_exe, *args])
    lines = [line for line in stdout.replace("\r", "").split("\n") if line.strip()]
    if not c.check(f"{label}: one line per transfer", len(lines) == len(case_list),
                   f"{len(lines)} lines, stderr: {stderr[-800:]}"):
        return
    for i, ((name, url, options, judge), line) in enumerate(zip(case_list, lines)):
        code, status, size, seconds = line.split()
        path = os.path.join(out_dir, f"win{i}.out")
        body = open(path, "rb").read() if os.path.exists(path) else b""
        error = judge(int(code), int(status), int(size), float(seconds), body)
        c.check(f"{label}: {name}", error is None, error)


def check_log(c, s, label, first_seq):
    deadline = time.time() + 10
    while True:  # the stalled answer is logged when its stall ends, after the client gave up
        log = s.control("GET", f"/log?since={first_seq}")
        if any(e["path"] == "/game/stall.bin" for e in log) or time.time() > deadline:
            break
        time.sleep(0.1)
    by_path = {}
    for entry in log:
        by_path.setdefault(entry["path"], []).append(entry)
    fields = {"listener", "conn", "method", "path", "query", "range", "status", "bytes", "start", "end", "fault"}
    c.check(f"{label}: log entries carry every field", log and all(fields <= set(e) for e in log))
    c.check(f"{label}: log times ordered", all(e["end"] >= e["start"] for e in log))
    ranged = [e for e in by_path.get("/game/a.bin", []) if e["range"] == "bytes=1000-1999"]
    c.check(f"{label}: log of a ranged request", ranged and ranged[0]["status"] == 206 and
            ranged[0]["bytes"] == 1000 and ranged[0]["method"] == "GET", ranged)
    c.check(f"{label}: log keeps the query", any(e["query"] == "t=123456" for e in by_path.get("/game/a.bin", [])))
    once = [(e["status"], e["fault"]) for e in by_path.get("/game/once.bin", [])]
    c.equal(f"{label}: log of a first-only fault", once, [(503, "once"), (206, None)])
    c.equal(f"{label}: log of skip then first",
            [(e["status"], e["fault"]) for e in by_path.get("/game/second.bin", [])],
            [(206, None), (500, "second"), (206, None)])
    cut = by_path.get("/game/cut.bin", [{}])[0]
    c.check(f"{label}: log of a truncated answer", cut.get("bytes") == 1000 and cut.get("fault") == "cut", cut)
    stall = by_path.get("/game/stall.bin", [{}])[0]
    c.check(f"{label}: log of a stalled answer", stall.get("bytes") == 100 and stall.get("end", 0) -
            stall.get("start", 0) >= 2.5, stall)
    reset = by_path.get("/game/reset.bin", [{}])[0]
    c.check(f"{label}: log of a reset", reset.get("status") == 0 and reset.get("fault") == "reset", reset)
    flaky = [e for e in log if e["listener"] == "flaky"]
    c.check(f"{label}: log of a reset on connect", flaky and flaky[0]["fault"] == "flaky", flaky)
    c.check(f"{label}: nothing reached the refusing listener", not [e for e in log if e["listener"] == "dead"])
    slow = by_path.get("/game/slow.bin", [{}])[0]
    c.check(f"{label}: log of a delayed answer", slow.get("end", 0) - slow.get("start", 0) >= 0.55, slow)
    return log


def check_keep_alive(c, log, label):
    """Transfers of one client run that follow one another on a listener reuse the connection."""
    main = [e["conn"] for e in log if e["listener"] == "main"]
    reused = any(a == b for a, b in zip(main, main[1:]))
    c.check(f"{label}: keep-alive reuses connections", reused, main)


def check_native_keep_alive(c, s):
    seq = len(s.control("GET", "/log")) + 1
    url = s.addresses["main"] + "/game/a.bin"
    subprocess.run(["curl", "-s", "--cacert", s.addresses["ca"], "-r", "0-9", "-o", "/dev/null", url, "-o",
                    "/dev/null", url + "?t=2", "-o", "/dev/null", url + "?t=3"], timeout=30)
    check_keep_alive(c, s.control("GET", f"/log?since={seq}"), "native curl")


def check_parallel(c, s, label):
    # Each answer is held back long enough that six served at once are all in progress together.
    s.control("POST", "/faults", {"id": "parallel", "path": "/game/parallel.bin", "delay": 2.0})
    context = ssl.create_default_context(cafile=s.addresses["ca"])
    port = int(s.addresses["main"].rsplit(":", 1)[1])
    results = []

    def fetch():
        connection = http.client.HTTPSConnection("127.0.0.1", port, context=context, timeout=60)
        connection.request("GET", "/game/parallel.bin", headers={"Range": "bytes=0-99"})
        response = connection.getresponse()
        results.append((response.status, len(response.read())))
        connection.close()

    first_seq = len(s.control("GET", "/log")) + 1
    threads = [threading.Thread(target=fetch) for _ in range(6)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    # The stand-in logs an answer once it is sent, which can come after the client has read it whole.
    deadline = time.time() + 30
    while True:
        logged = s.control("GET", f"/log?since={first_seq}")
        entries = [e for e in logged if e["path"] == "/game/parallel.bin"]
        if len(entries) >= 6 or time.time() > deadline:
            break
        time.sleep(0.05)
    # Served one after another, no answer would begin before the one before it ended.
    overlapping = len(entries) == 6 and max(e["start"] for e in entries) < min(e["end"] for e in entries)
    c.check(f"{label}: six connections served at once", results == [(206, 100)] * 6 and overlapping,
            f"{results}; {[(e['start'], e['end']) for e in entries]}")
    conns = {e["conn"] for e in entries}
    c.equal(f"{label}: six distinct connections in the log", len(conns), 6)


def check_control(c, s, label):
    main = s.addresses["main"]
    ca = s.addresses["ca"]

    def fetch(path, *options):
        r = subprocess.run(["curl", "-s", "--cacert", ca, "-w", "\n%{http_code}", *options, main + path],
                           capture_output=True, timeout=30)
        body, _, status = r.stdout.rpartition(b"\n")
        return int(status), body

    ids = s.control("POST", "/faults", {"path": "/game/late.bin", "status": 500, "body": "x"})["ids"]
    c.equal(f"{label}: fault added at run time applies", fetch("/game/late.bin", "-r", "0-0")[0], 500)
    s.control("DELETE", f"/faults/{ids[0]}")
    c.equal(f"{label}: fault removed at run time", fetch("/game/late.bin", "-r", "0-0")[0], 206)
    s.control("POST", "/scenario", {"gate": {"urls": {"DlcAddr": "{cdn2}/changed/"}}})
    status, body = fetch("/get/urls?key=K&udid=U")
    c.check(f"{label}: gate changed at run time", status == 200 and json.loads(body) ==
            {"DlcAddr": s.addresses["listeners"]["cdn2"] + "/changed/"}, body)
    s.control("POST", "/scenario", {"gate": {"urls": "not json at all"}})
    c.equal(f"{label}: raw gate reply", fetch("/get/urls?key=K&udid=U"), (200, b"not json at all"))
    s.control("POST", "/faults", {"listener": "cdn2", "refuse": True, "id": "cdn2-off"})
    r = subprocess.run(["curl", "-s", "--cacert", ca, "-o", "/dev/null", s.addresses["listeners"]["cdn2"] + "/ip"],
                       timeout=30)
    c.equal(f"{label}: listener refused at run time", r.returncode, 7)
    s.control("DELETE", "/faults/cdn2-off")
    r = subprocess.run(["curl", "-s", "--cacert", ca, "-o", "/dev/null", s.addresses["listeners"]["cdn2"] + "/ip"],
                       timeout=30)
    c.equal(f"{label}: listener open again on the same port", r.returncode, 0)


def check_certificates(c, addresses, curl_exe, out_dir):
    ca, server = addresses["ca"], addresses["server_cert"]
    r = subprocess.run(["openssl", "verify", "-CAfile", ca, server], capture_output=True, text=True)
    c.check("certificates: server certificate chains to the test CA", r.returncode == 0, r.stdout + r.stderr)
    r = subprocess.run(["openssl", "x509", "-in", server, "-noout", "-ext", "subjectAltName"], capture_output=True,
                       text=True)
    names = ["IP Address:127.0.0.1", "DNS:localhost"] + [f"DNS:{h}" for h in certs.builtin_hosts()]
    c.check("certificates: names of the server certificate", all(n in r.stdout for n in names), r.stdout)
    r = subprocess.run(["curl", "-s", "-o", "/dev/null", addresses["main"] + "/ip"], capture_output=True)
    c.equal("certificates: native curl refuses the server without the test CA", r.returncode, 60)
    if curl_exe:
        _, stdout, stderr = run_wine(out_dir, [curl_exe, "-s", "-o", "NUL", "-w", "%{exitcode}",
                                               addresses["main"] + "/ip"])
        c.check("certificates: curl.exe refuses the server without the test CA", stdout.strip() in ("60", "77"),
                stdout + stderr[-300:])


def check_reports(c, s, label, expected_tracking, expected_attribution):
    reports = s.control("GET", "/reports")
    tracking = [r for r in reports if r["kind"] == "tracking"]
    attribution = [r for r in reports if r["kind"] == "attribution"]
    c.check(f"{label}: tracking bodies recorded", [r["json"] for r in tracking] == expected_tracking,
            [r["body"] for r in tracking])
    c.check(f"{label}: attribution queries recorded",
            [dict(r["params"]).get("event_name") for r in attribution] == expected_attribution, attribution)
    s.control("DELETE", "/reports")


def main():
    c = Checks("stand-in servers")
    folder = work_dir("standin")
    deps = os.environ.get("DEPS_PREFIX")
    if not deps:
        env_file = os.path.join(SOURCE_DIR, "build", "setup.env")
        if os.path.exists(env_file):
            deps = dict(line.strip().split("=", 1) for line in open(env_file) if "=" in line).get("DEPS_PREFIX")
    curl_exe = os.path.join(deps, "bin", "curl.exe") if deps else None
    c.check("curl.exe of the set-up exists", curl_exe and os.path.exists(curl_exe), curl_exe)
    if not (curl_exe and os.path.exists(curl_exe)):
        curl_exe = None
    data, version_map = make_content(folder)
    scenario = dict(SCENARIO, faults=FAULTS)
    try:
        with Standin(scenario, folder) as s:
            addresses = s.addresses
            case_list = cases(addresses, data, version_map)
            proxy_list = [(n, u, o, lambda e, st, sz, t, b: None if e == 0 and st == 200 else f"{e} {st}")
                          for n, u, o in PROXY_CASES]

            run_native(c, addresses, folder, case_list, "native curl")
            check_log(c, s, "native curl", 1)
            check_native_keep_alive(c, s)
            run_native(c, addresses, folder, [(n, u, ["-x", addresses["proxy"], *o], j) for n, u, o, j in proxy_list],
                       "native curl")
            check_reports(c, s, "native curl", [{"log_type": "qzrolepcstarteruiclick", "action": "play"},
                                                {"via": "proxy"}], ["click_launch_start_open", "proxy"])
            proxied = [e for e in s.control("GET", "/log") if e["listener"] == "proxy"]
            c.equal("native curl: proxy requests logged with their host", sorted({e["host"] for e in proxied}),
                    sorted(certs.builtin_hosts()))

            if curl_exe:
                s.control("PUT", "/faults", FAULTS)  # fresh counters for the second client
                seq = len(s.control("GET", "/log")) + 1
                run_windows_curl(c, addresses, folder, case_list, "curl.exe", curl_exe)
                log = check_log(c, s, "curl.exe", seq)
                check_keep_alive(c, log, "curl.exe")
                run_windows_curl(c, addresses, folder, proxy_list, "curl.exe", curl_exe,
                                 extra=["-x", addresses["proxy"]])
                check_reports(c, s, "curl.exe", [{"log_type": "qzrolepcstarteruiclick", "action": "play"},
                                                 {"via": "proxy"}], ["click_launch_start_open", "proxy"])
                # The launcher gets the proxy from its environment, as libcurl reads HTTPS_PROXY.
                env = dict(os.environ, HTTPS_PROXY=addresses["proxy"], NO_PROXY="127.0.0.1,localhost")
                _, stdout, stderr = run_wine(folder, [curl_exe, "-s", "--cacert", certs.windows_path(addresses["ca"]),
                                                      "https://ip.dorevezi.invalid/", "--next", "-s", "--cacert",
                                                      certs.windows_path(addresses["ca"]), addresses["main"] + "/ip"],
                                             env=env)
                tail = s.control("GET", "/log")[-2:]
                c.check("curl.exe: HTTPS_PROXY from the environment reaches the built-in hosts, NO_PROXY skips it",
                        stdout.replace("\r", "") == "203.0.113.7\n" * 2 and
                        [e["listener"] for e in tail] == ["proxy", "main"], stdout + stderr[-300:])

            check_parallel(c, s, "parallel")
            check_control(c, s, "control")
            check_certificates(c, addresses, curl_exe, folder)
            check_content_types(c, addresses)
            with open(addresses["log"]) as f:
                lines = [json.loads(line) for line in f]
            logged = s.control("GET", "/log")
            c.check("request log file holds one JSON line per request",
                    [e["seq"] for e in lines] == [e["seq"] for e in logged] and len(lines) > 40, len(lines))
    finally:
        status = c.finish()
        if status == 0:
            shutil.rmtree(folder, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
