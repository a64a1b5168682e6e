#!/usr/bin/env python3
"""The demo command: nginx serves the release (exact ranges, empty 404 probes), the stand-in answers the
gate with nginx's addresses, the launcher's settings file is written, and both servers are gone, by
their process ids, once the command ends."""

import json
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from standin_support import SOURCE_DIR, Checks, work_dir  # noqa: E402

PROBE = r"""
import json, os, subprocess, sys
run = os.environ["DV_STANDIN_RUN"]
a = json.load(open(os.path.join(run, "addresses.json")))
nginx_pid = int(open(os.path.join(run, "nginx", "nginx.pid")).read())
def curl(*args):
    r = subprocess.run(["curl", "-s", "--cacert", a["ca"], "-w", "\n%{http_code} %{size_download} %{http_version}",
                        *args], capture_output=True)
    body, _, tail = r.stdout.rpartition(b"\n")
    return [r.returncode] + tail.decode().split() + [body.decode("latin-1")]
release = a["release"]
manifest = json.load(open(os.path.join(release, "manifest.json")))
current = manifest["game"]["current"]
data = open(os.path.join(release, "cdn", "game-" + current, "UnityPlayer.dll"), "rb").read()
result = {
    "pids": [a["pid"], nginx_pid],
    "range": curl("-r", "100-199", a["nginx"] + "/game-" + current + "/UnityPlayer.dll?t=9"),
    "expected": data[100:200].decode("latin-1"),
    "probe": curl("-r", "0-0", a["nginx"] + "/game-" + current + "/patchs/10077_2_0/TOLV.exe.patch"),
    "gate": curl(a["gate"] + "get/urls?key=K&udid=U"),
    "proxy": curl("-x", os.environ["HTTPS_PROXY"], "https://gate.dorevezi.invalid/pre_download?channel=CN&udid=U"),
    "nginx": a["nginx"],
    "setting": json.load(open(os.path.join(run, "setting.json"))),
    "gate_url": a["gate"],
}
json.dump(result, open(sys.argv[1], "w"))
"""


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    return True


def main():
    c = Checks("demo servers")
    folder = work_dir("demo")
    try:
        result_file = os.path.join(folder, "result.json")
        env = dict(os.environ, DV_DEMO_CACHE=os.path.join(folder, "cache"))
        r = subprocess.run([os.path.join(SOURCE_DIR, "tools", "standin", "demo.sh"), "--build", folder, "--profile",
                            "test", "--", sys.executable, "-c", PROBE, result_file],
                           capture_output=True, text=True, timeout=240, env=env)
        c.check("demo.sh runs the command and returns its status", r.returncode == 0, r.stderr[-2000:])
        c.check("demo.sh prints the addresses", "content server (nginx)" in r.stdout and "proxy" in r.stdout, r.stdout)
        result = json.load(open(result_file))
        code, status, size, version, body = result["range"]
        c.check("nginx answers a range with 206 and exactly the bytes", (code, status, size) == (0, "206", "100")
                and body == result["expected"], result["range"][:4])
        c.check("nginx speaks HTTP/2", version == "2", version)
        c.equal("nginx answers a missing probe with an empty 404", result["probe"][:3], [0, "404", "0"])
        gate = json.loads(result["gate"][4])
        c.check("the gate hands out nginx as the content server",
                gate["DlcAddr"][0].startswith(result["nginx"] + "/game-") and
                json.loads(gate["Others"])["PreDlcAddr"] == [result["nginx"] + "/predownload/"], gate)
        info = json.loads(result["proxy"][4])["info"]
        c.check("the built-in gate host answers through the proxy",
                json.loads(info[0])["CN_pc_addr"] == [result["nginx"] + "/predownload/"], result["proxy"])
        setting = result["setting"]
        c.check("setting.json names the gate, tracking and the test CA",
                setting["GateURLs"] == [result["gate_url"]] and setting["CAFile"].startswith("Z:\\") and
                "TrackURL" in setting, setting)
        deadline = time.time() + 5
        while any(alive(p) for p in result["pids"]) and time.time() < deadline:
            time.sleep(0.1)
        c.check("both servers are stopped when the command ends", not any(alive(p) for p in result["pids"]),
                result["pids"])
    finally:
        status = c.finish()
        if status == 0:
            shutil.rmtree(folder, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
