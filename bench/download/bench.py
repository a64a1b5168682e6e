#!/usr/bin/env python3
"""Download benchmark: the launcher's download manager (through `dvcli download` under Wine) beside the
Windows curl.exe of the set-up (same libcurl and OpenSSL, same Wine, `--parallel --parallel-max 5`) and
Debian's native aria2c (-x5 -j5), fetching the same data from nginx over TLS (HTTP/2 offered) on
127.0.0.1:

  (a) one file of 1 GiB;
  (b) 1,000 files of 256 KiB.

Every downloaded file is checked against its MD5. Prints wall and CPU time (user + system of the client
process; the Wine server's share is not counted) of each run, the throughput, the ratios to curl.exe,
and Wine's idle cost (dvcli starting and exiting without work). The aims: dvcli at least 1.0 of
curl.exe's throughput on (a) and 0.8 on (b), with no more CPU per byte than curl.exe on either. The
machine may be shared: compare the clients of one run, and repeat it.

Run through bench/download/run.sh, which builds dvcli and provides the Wine session.
"""

import argparse
import hashlib
import json
import os
import random
import resource
import shlex
import shutil
import socket
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools", "standin"))
import certs  # noqa: E402

WINE_EXEC = os.path.join(ROOT, "tools", "testenv", "wine-exec.sh")
MIB = 1 << 20


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_data(folder, big_mib, small_count, small_kib, seed):
    """The two data sets, made once per set of parameters; returns {relative path: md5}."""
    manifest_path = os.path.join(folder, "manifest.json")
    params = {"big_mib": big_mib, "small_count": small_count, "small_kib": small_kib, "seed": seed}
    if os.path.exists(manifest_path):
        with open(manifest_path) as f:
            manifest = json.load(f)
        if manifest.get("params") == params:
            return manifest["big"], manifest["small"]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "small"))
    rng = random.Random(seed)
    digest = hashlib.md5()
    with open(os.path.join(folder, "big.bin"), "wb") as f:
        for _ in range(big_mib // 64):
            chunk = rng.randbytes(64 * MIB)
            digest.update(chunk)
            f.write(chunk)
        rest = rng.randbytes((big_mib % 64) * MIB)
        digest.update(rest)
        f.write(rest)
    big = {"big.bin": [digest.hexdigest(), big_mib * MIB]}
    small = {}
    for i in range(small_count):
        name = f"small/f{i:04d}.bin"
        data = rng.randbytes(small_kib * 1024)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        small[name] = [hashlib.md5(data).hexdigest(), len(data)]
    with open(manifest_path, "w") as f:
        json.dump({"params": params, "big": big, "small": small}, f)
    return big, small


def start_nginx(work, data, cert_paths):
    folder = os.path.join(work, "nginx")
    os.makedirs(os.path.join(folder, "logs"), exist_ok=True)
    os.makedirs(os.path.join(folder, "tmp"), exist_ok=True)
    port = free_port()
    user = "user root;" if os.getuid() == 0 else ""
    conf = os.path.join(folder, "nginx.conf")
    with open(conf, "w") as f:
        f.write(f"""{user}
worker_processes 4;
daemon off;
pid {folder}/nginx.pid;
error_log {folder}/logs/error.log warn;
events {{ worker_connections 1024; }}
http {{
  access_log off;
  client_body_temp_path {folder}/tmp/body;
  proxy_temp_path {folder}/tmp/proxy;
  fastcgi_temp_path {folder}/tmp/fastcgi;
  uwsgi_temp_path {folder}/tmp/uwsgi;
  scgi_temp_path {folder}/tmp/scgi;
  default_type application/octet-stream;
  sendfile on;
  keepalive_requests 100000;
  server {{
    listen 127.0.0.1:{port} ssl http2;
    ssl_certificate {cert_paths['server_pem']};
    ssl_certificate_key {cert_paths['server_key']};
    root {data};
  }}
}}
""")
    process = subprocess.Popen(["nginx", "-p", folder, "-c", conf, "-e", os.path.join(folder, "logs", "error.log")])
    for _ in range(200):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return process, f"https://127.0.0.1:{port}/"
        except OSError:
            if process.poll() is not None:
                break
            time.sleep(0.05)
    process.kill()
    raise RuntimeError("nginx did not start: " + open(os.path.join(folder, "logs", "error.log")).read())


def timed(command, cwd, env=None):
    """Runs a client to its end: (exit code, wall seconds, CPU seconds, output tail)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    result = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return result.returncode, wall, cpu, result.stdout.decode("utf-8", "replace")[-2000:]


def verify(out, files):
    bad = []
    for name, (md5, size) in files.items():
        path = os.path.join(out, name)
        if not os.path.isfile(path) or os.path.getsize(path) != size:
            bad.append(name)
            continue
        digest = hashlib.md5()
        with open(path, "rb") as f:
            for chunk in iter(lambda: f.read(8 * MIB), b""):
                digest.update(chunk)
        if digest.hexdigest() != md5:
            bad.append(name)
    return bad


def run_dvcli(args, work, url, files, out):
    launcher = os.path.join(work, "launcher")
    os.makedirs(os.path.join(launcher, "save"), exist_ok=True)
    with open(os.path.join(launcher, "save", "setting.json"), "w") as f:
        json.dump({"CAFile": windows_path(args.ca)}, f)
    listing = os.path.join(work, "list.json")
    with open(listing, "w") as f:
        json.dump({"version": "1", "list": {n: {"md5": m, "size": s} for n, (m, s) in files.items()}}, f)
    return timed(args.wrap + [WINE_EXEC, args.dvcli, "download", "--cdn", url, "--list", windows_path(listing), "--out",
                  windows_path(out)], launcher)


def run_curl(args, work, url, files, out):
    config = os.path.join(work, "curl.cfg")
    with open(config, "w") as f:
        for name in files:
            # Backslashes are escapes in curl's config files: Windows takes "/" as well.
            target = windows_path(os.path.join(out, name)).replace("\\", "/")
            f.write(f'url = "{url}{name}"\noutput = "{target}"\n')
    return timed(args.wrap + [WINE_EXEC, args.curl, "--parallel", "--parallel-max", "5", "--create-dirs", "--no-progress-meter",
                  "--show-error", "--fail", "--cacert", windows_path(args.ca), "--config", windows_path(config)],
                 work)


def run_aria2c(args, work, url, files, out):
    listing = os.path.join(work, "aria2.txt")
    with open(listing, "w") as f:
        for name in files:
            f.write(f"{url}{name}\n  out={name}\n")
    return timed(["aria2c", "-x5", "-j5", "--ca-certificate=" + args.ca, "-d", out, "-i", listing,
                  "--allow-overwrite=true", "--auto-file-renaming=false", "--file-allocation=none",
                  "--console-log-level=warn", "--summary-interval=0", "--download-result=hide"], work)


CLIENTS = {"dvcli": run_dvcli, "curl.exe": run_curl, "aria2c": run_aria2c}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dvcli", required=True)
    parser.add_argument("--curl", required=True, help="the Windows curl.exe of the set-up")
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--big-mib", type=int, default=1024)
    parser.add_argument("--small-count", type=int, default=1000)
    parser.add_argument("--small-kib", type=int, default=256)
    parser.add_argument("--runs", type=int, default=1, help="runs of each client; the best one is shown")
    parser.add_argument("--seed", type=int, default=11)
    parser.add_argument("--cases", default="a,b", help="a comma-separated subset of a, b")
    parser.add_argument("--clients", default=",".join(CLIENTS), help="a comma-separated subset of the clients")
    parser.add_argument("--wrap", default="", type=shlex.split,
                        help="a command put before the Wine clients, for profiling (say, 'strace -f -c -o FILE')")
    args = parser.parse_args()

    work = os.path.abspath(args.workdir)
    os.makedirs(work, exist_ok=True)
    data = os.path.join(work, "data")
    print(f"data: {args.big_mib} MiB and {args.small_count} x {args.small_kib} KiB in {data}", flush=True)
    big, small = make_data(data, args.big_mib, args.small_count, args.small_kib, args.seed)
    cert_paths = certs.ensure_certs(os.path.join(work, "certs"))
    args.ca = cert_paths["ca_pem"]
    nginx, url = start_nginx(work, data, cert_paths)
    rows = []
    try:
        code, idle, _, _ = timed([WINE_EXEC, args.dvcli], work)
        print(f"Wine idle cost (dvcli without a command): {idle:.2f} s wall", flush=True)
        cases = {"a": ("(a) 1 x %d MiB" % args.big_mib, big),
                 "b": ("(b) %d x %d KiB" % (args.small_count, args.small_kib), small)}
        for case, files in [cases[key] for key in args.cases.split(",")]:
            total = sum(size for _, size in files.values())
            for client, run in [(name, CLIENTS[name]) for name in args.clients.split(",")]:
                best = None
                for _ in range(args.runs):
                    out = os.path.join(work, "out")
                    shutil.rmtree(out, ignore_errors=True)
                    os.makedirs(out)
                    code, wall, cpu, tail = run(args, work, url, files, out)
                    bad = verify(out, files)
                    shutil.rmtree(out, ignore_errors=True)
                    if code != 0 or bad:
                        print(f"{case} {client}: FAILED (exit {code}, {len(bad)} wrong files)\n{tail}", flush=True)
                        best = None
                        break
                    if best is None or wall < best[0]:
                        best = (wall, cpu)
                if best:
                    rows.append((case, client, best[0], best[1], total / best[0] / MIB))
                    print(f"{case} {client}: {best[0]:.2f} s wall, {best[1]:.2f} s CPU, "
                          f"{total / best[0] / MIB:.1f} MiB/s, MD5 ok", flush=True)
    finally:
        nginx.terminate()
        nginx.wait()

    print()
    print(f"{'case':<22}{'client':<10}{'wall s':>9}{'CPU s':>9}{'MiB/s':>9}{'vs curl.exe':>13}")
    for case, client, wall, cpu, rate in rows:
        reference = [r for r in rows if r[0] == case and r[1] == "curl.exe"]
        ratio = f"{rate / reference[0][4]:.2f}" if reference else "-"
        print(f"{case:<22}{client:<10}{wall:>9.2f}{cpu:>9.2f}{rate:>9.1f}{ratio:>13}")
    # The aims: (a) at least 1.0 and (b) at least 0.8 of curl.exe's throughput, and in both no more
    # CPU per byte than curl.exe (the same bytes, so CPU seconds compare directly).
    print()
    for prefix, aim in (("(a)", 1.0), ("(b)", 0.8)):
        dv = [r for r in rows if r[0].startswith(prefix) and r[1] == "dvcli"]
        cu = [r for r in rows if r[0].startswith(prefix) and r[1] == "curl.exe"]
        if dv and cu:
            rate, cpu = dv[0][4] / cu[0][4], dv[0][3] / cu[0][3]
            print(f"{prefix} dvcli / curl.exe: throughput {rate:.2f} (aim: at least {aim:.1f}), "
                  f"CPU per byte {cpu:.2f} (aim: at most 1.0)")
    return 0 if len(rows) == len(args.cases.split(",")) * len(args.clients.split(",")) else 1


if __name__ == "__main__":
    sys.exit(main())
