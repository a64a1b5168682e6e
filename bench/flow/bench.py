#!/usr/bin/env python3
"""Hashing benchmark: the game flow's prepare state hashing a game folder that has no version list
(through `dvcli flow update` under Wine), beside Debian's native md5sum over the same files.

The data is the demo release's game 10077_1_0 (about 2,800 files, 318 MB), copied once into the work
folder without its version_map.txt. The stand-in's gate refuses every query, so the launcher flow ends
at once and the game flow hashes, then stops. The hashing time is taken from dvcli's progress lines as
they arrive: from the game flow's first progress message (1 %, so about 1 % of the files are not
timed) to its message of 90 %, and scaled to the whole; the refused gate query before it (three TLS
tries) is not in it. Wine's per-file cost (opening and closing each file) is.
Every run is warm (the files are read once before). Prints each run and the throughput ratio.

Run through bench/flow/run.sh, which builds dvcli and provides the Wine session.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "tools"))
from standin_support import Standin  # noqa: E402

WINE_EXEC = os.path.join(ROOT, "tools", "testenv", "wine-exec.sh")
EXCLUDED = {"save", "update", "exception", "cef_temp"}


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def game_folder(workdir):
    game = os.path.join(workdir, "game")
    if os.path.isdir(game):
        return game
    release = os.path.join(workdir, "release")
    if not os.path.isdir(release):
        subprocess.run([sys.executable, os.path.join(ROOT, "tools", "standin", "release.py"), "generate",
                        "--out", release, "--profile", "demo"], check=True, stdout=subprocess.DEVNULL)
    # A real copy: the release's trees are hard links into one store.
    shutil.copytree(os.path.join(release, "installed", "game-10077_1_0"), game + ".tmp")
    os.remove(os.path.join(game + ".tmp", "version_map.txt"))
    os.rename(game + ".tmp", game)
    return game


def files_of(game):
    found = []
    for folder, subfolders, names in os.walk(game):
        subfolders[:] = [s for s in subfolders if s not in EXCLUDED]
        found += [os.path.join(folder, n) for n in names]
    return found


def run_md5sum(files):
    start = time.monotonic()
    subprocess.run(["xargs", "-0", "md5sum"], input="\0".join(files).encode(), stdout=subprocess.DEVNULL,
                   check=True)
    return time.monotonic() - start


def run_dvcli(dvcli, launcher, game, proxy):
    env = dict(os.environ, HTTPS_PROXY=proxy, NO_PROXY="127.0.0.1,localhost")
    process = subprocess.Popen([WINE_EXEC, dvcli, "flow", "update", "--game", windows_path(game)], cwd=launcher,
                               env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    in_game = False
    first = last = None
    for raw in process.stdout:
        line = raw.decode("utf-8", "replace").strip()
        if line.startswith("state Prepare game"):
            in_game = True
        elif in_game and line.startswith("check "):
            now = time.monotonic()
            if first is None:
                first = (now, int(line.split()[1]))
            if line == "check 90":
                last = now
    process.wait()
    if first is None or last is None or first[1] >= 90:
        raise RuntimeError("dvcli printed no hashing progress")
    return (last - first[0]) * 90.0 / (90 - first[1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dvcli", required=True)
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    os.makedirs(args.workdir, exist_ok=True)
    game = game_folder(args.workdir)
    files = files_of(game)
    total = sum(os.path.getsize(f) for f in files)
    print(f"data: {len(files)} files, {total / 1e6:.1f} MB")
    run_md5sum(files)  # warm the page cache
    launcher = os.path.join(args.workdir, "launcher")
    os.makedirs(os.path.join(launcher, "save"), exist_ok=True)
    os.makedirs(os.path.join(args.workdir, "standin"), exist_ok=True)
    with Standin({"gate": {"urls": {"DlcAddr": []}, "keys": []}}, os.path.join(args.workdir, "standin")) as standin:
        with open(os.path.join(launcher, "save", "setting.json"), "w") as f:
            json.dump({"GateURLs": [standin.addresses["gate"]], "CAFile": standin.addresses["ca_windows"]}, f)
        results = {"dvcli": [], "md5sum": []}
        for _ in range(args.runs):
            results["dvcli"].append(run_dvcli(args.dvcli, launcher, game, standin.addresses["proxy"]))
            results["md5sum"].append(run_md5sum(files))
    for name, times in results.items():
        best = min(times)
        print(f"{name:7s} runs " + " ".join(f"{t:.3f}s" for t in times) +
              f"  best {best:.3f}s  {total / best / 1e6:.1f} MB/s")
    ratio = min(results["md5sum"]) / min(results["dvcli"])
    print(f"dvcli throughput / md5sum throughput: {ratio:.2f}")


if __name__ == "__main__":
    main()
