"""The pre-download of the next release, run by `dvcli flow predownload` under Wine against the stand-in's
pre-download release (10078_0_0, patches from 10077_0_1) and the game-client stand-in: the folder it fills,
kills by pid and the resumed runs, a failing "pre_download" query, the failure table, and a game flow
started while it downloads.
Usage: test_predownload.py <dvcli.exe>"""

import hashlib
import json
import os
import random
import shutil
import subprocess
import sys
import time

from dl_support import BUILT_SKIN, Checks, Launcher, Log, SOURCE_DIR, Standin, WINE_EXEC, windows_path, work_dir
from test_flow import TEXTS, read_json, list_entries

RELEASE_PY = os.path.join(SOURCE_DIR, "tools", "standin", "release.py")
CURRENT, NEXT = "10077_0_1", "10078_0_0"


def md5_file(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


class Run:
    def __init__(self, code, lines):
        self.code, self.lines = code, lines
        self.steps = [int(l.split()[1]) for l in lines if l.startswith("predl-step ")]
        self.pages = [tuple(int(x) for x in l.split()[1:3]) for l in lines if l.startswith("predl ")]
        self.boxes = [l.split("\t")[1:] for l in lines if l.startswith("box\t")]
        self.request = next((l.split()[1] for l in lines if l.startswith("predl-request ")), None)
        self.states = [tuple(l.split()[1:3]) for l in lines if l.startswith("state ")]


class World:
    def __init__(self, c, dvcli, folder, standin, release):
        self.c, self.dvcli, self.folder, self.standin, self.release = c, dvcli, folder, standin, release
        self.count = 0

    def scenario(self, predl_root=None, pre_download=True, others_predl=True, faults=None):
        predl_root = predl_root or os.path.join(self.release, "cdn", "predownload")
        others = {"PatchOption": 2}
        if others_predl:
            others["PreDlcAddr"] = ["{main}/predl/"]
        gate = {"urls": {"DlcAddr": ["{main}/game/"], "Others": others}}
        if pre_download:
            gate["pre_download"] = {"CN_pc_addr": ["{main}/predl/"]}
        self.standin.control("PUT", "/scenario", {
            "mounts": {"/launcher/": os.path.join(self.release, "cdn", "launcher"),
                       "/game/": os.path.join(self.release, "cdn", "game-" + CURRENT), "/predl/": predl_root},
            "gate": gate, "faults": faults or [], "echo_ip": "203.0.113.7"})

    def launcher(self):
        self.count += 1
        path = os.path.join(self.folder, f"launcher-{self.count}")
        shutil.copytree(os.path.join(self.release, "installed", "launcher-1.0.0"), path)
        return Launcher(self.dvcli, path, {"CAFile": self.standin.addresses["ca_windows"],
                                           "GateURLs": [self.standin.addresses["gate"]]})

    def game(self, version=CURRENT):
        self.count += 1
        path = os.path.join(self.folder, f"game-{self.count}")
        shutil.copytree(os.path.join(self.release, "installed", "game-" + version), path)
        return path

    def args(self, game, *extra):
        return ["flow", "predownload", "--game", windows_path(game), *extra]

    def run(self, launcher, game, *extra):
        code, lines = launcher.run(*self.args(game, *extra), proxy=self.standin.addresses["proxy"], timeout=180)
        return Run(code, lines)


class GameClient:
    """The game-client stand-in, running beside dvcli in the same Wine session, logging what it receives."""

    count = 0

    def __init__(self, folder):
        GameClient.count += 1
        self.log = os.path.join(folder, f"tolv-{GameClient.count}.log")
        exe = os.path.join(os.environ.get("DV_BINARY_DIR", os.path.join(SOURCE_DIR, "build", "win")), "bin", "TOLV.exe")
        env = dict(os.environ, DV_TOLV_LOG=windows_path(self.log), DV_TOLV_WAIT_MS="600000", DV_TOLV_POLL_MS="0")
        self.process = subprocess.Popen([WINE_EXEC, exe], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(200):
            if os.path.exists(self.log) and "window" in open(self.log, errors="replace").read():
                break
            time.sleep(0.05)

    def states(self):
        """lParam of every pre-download state message received, in order."""
        if not os.path.exists(self.log):
            return []
        out = []
        for line in open(self.log, encoding="utf-8", errors="replace"):
            if "recv: 2527 " in line:
                out.append(int(line.rsplit("lParam=", 1)[1]))
        return out

    def stop(self):
        self.process.kill()
        self.process.wait()


def expected_files(release):
    """What the pre-download folder must hold: the patch for each file the patch list names, the whole file
    for the rest of the difference, each with its md5."""
    manifest = read_json(os.path.join(release, "manifest.json"))
    root = os.path.join(release, manifest["predownload"]["root"])
    installed = list_entries(os.path.join(release, "installed", "game-" + CURRENT, "version_map.txt"))
    remote = list_entries(os.path.join(root, "version_map.txt"))
    patches = list_entries(os.path.join(root, "patchs", CURRENT, "patch_list.txt"))
    files = {}
    for key, entry in remote.items():
        if key in installed and installed[key]["md5"] == entry["md5"]:
            continue
        if key in patches:
            files[key + ".patch"] = (patches[key]["md5"], "/predl/patchs/" + CURRENT + "/" + key + ".patch")
        else:
            files[key] = (entry["md5"], "/predl/" + key)
    return files


def transfers(log, settle=0.3):
    """The paths of file transfers (the patch-extension probe asks for byte 0 alone)."""
    return {e["path"] for e in log.entries(settle) if e["method"] == "GET" and e["range"] != "bytes=0-0"}


def folder_state(launcher):
    return os.path.join(launcher.folder, "update", "predownload", NEXT)


def test_fill_kill_resume(c, w):
    files = expected_files(w.release)
    c.check("release: the pre-download holds patches and added whole files",
            any(k.endswith(".patch") for k in files) and any(not k.endswith(".patch") for k in files), files)
    w.scenario()
    client = GameClient(w.folder)
    try:
        launcher, game = w.launcher(), w.game()
        log = Log(w.standin)
        run = w.run(launcher, game)
        states = client.states()
    finally:
        client.stop()
    folder = folder_state(launcher)
    got = {os.path.relpath(os.path.join(r, f), folder).replace(os.sep, "/"): md5_file(os.path.join(r, f))
           for r, _, fs in os.walk(folder) for f in fs}
    listed = got.pop("predownload_version_map.txt", None)
    c.equal("fill: every patch and added file, each md5 right, nothing else", got,
            {k: v[0] for k, v in files.items()})
    c.equal("fill: the complete list is the release's list",
            listed, md5_file(os.path.join(w.release, "cdn", "predownload", "version_map.txt")))
    c.equal("fill: pages 2, 2 (transfers), 3", run.pages, [(2, 0), (2, 1), (3, 0)])
    c.check("fill: steps up to 6, then gone; the request cleared",
            run.steps[-3:] == [5, 6, -1] and run.request == "0" and not run.boxes, run.lines)
    c.equal("fill: the game client is told 3, then 4", states, [3, 4])
    paths = [e["path"] for e in log.entries()]
    c.check("fill: the pre-download query answers, so the pre-download asks no gate",
            paths.count("/pre_download") == 1 and paths.count("/get/urls") == 1 and
            "/predl/version_map.txt" in paths and "/predl/patchs/%s/patch_list.txt" % CURRENT in paths, paths)

    # A failing "pre_download" query: the gate's "Others" supplies the servers.
    w.scenario(faults=[{"path": "/pre_download", "status": 500}])
    launcher = w.launcher()
    log = Log(w.standin)
    run = w.run(launcher, w.game())
    paths = [e["path"] for e in log.entries()]
    c.check("pre_download failing: the gate is asked, the pre-download completes",
            paths.count("/get/urls") == 2 and run.pages[-1] == (3, 0) and
            os.path.exists(os.path.join(folder_state(launcher), "predownload_version_map.txt")), (paths, run.lines))

    # The next release's list in the list form: read the same, and recognised as complete.
    list_root = os.path.join(w.folder, "listform")
    if not os.path.exists(list_root):
        shutil.copytree(os.path.join(w.release, "cdn", "predownload"), list_root)
        entries = list_entries(os.path.join(list_root, "version_map.txt"))
        with open(os.path.join(list_root, "version_map.txt"), "w") as f:
            json.dump({"version": NEXT, "list": entries}, f)
    w.scenario(predl_root=list_root)
    launcher = w.launcher()
    run = w.run(launcher, w.game())
    c.check("list-form list: the pre-download completes with that list as its complete list",
            run.pages[-1:] == [(3, 0)] and not run.boxes and
            read_json(os.path.join(folder_state(launcher), "predownload_version_map.txt")).get("version") == NEXT,
            run.lines)

    # Killed by pid at random points, then run again: a file complete before a run is never asked again.
    w.scenario(faults=[{"path": "/predl/*", "delay": 0.5}])
    # One whole run sets the span the kills fall in.
    started = time.time()
    w.run(w.launcher(), w.game())
    span = time.time() - started
    launcher, game = w.launcher(), w.game()
    folder = folder_state(launcher)
    rng = random.Random(14)
    refetched, counts = [], []
    for point in range(20):
        complete = {k for k, (md5, _) in files.items() if os.path.exists(os.path.join(folder, k)) and
                    not os.path.exists(os.path.join(folder, k + ".cfg")) and md5_file(os.path.join(folder, k)) == md5}
        log = Log(w.standin)
        process = launcher.start(*w.args(game), proxy=w.standin.addresses["proxy"])
        time.sleep(rng.uniform(0.3, 1.0) * span)
        process.kill()
        process.wait()
        asked = transfers(log, settle=0.7)
        counts.append(len(complete))
        refetched += [(point, k) for k in complete if files[k][1] in asked]
    log = Log(w.standin)
    complete = {k for k, (md5, _) in files.items() if os.path.exists(os.path.join(folder, k)) and
                not os.path.exists(os.path.join(folder, k + ".cfg")) and md5_file(os.path.join(folder, k)) == md5}
    run = w.run(launcher, game)
    asked = transfers(log)
    counts.append(len(complete))
    c.check("killed 20 times: some kills landed while files were outstanding, after others were done",
            any(0 < n < len(files) for n in counts), counts)
    refetched += [("last", k) for k in complete if files[k][1] in asked]
    c.equal("killed 20 times: no completed file asked again", refetched, [])
    got = {k: md5_file(os.path.join(folder, k)) for k in files if os.path.exists(os.path.join(folder, k))}
    c.check("killed 20 times: the last run finishes with every file right",
            got == {k: v[0] for k, v in files.items()} and run.pages[-1] == (3, 0) and
            os.path.exists(os.path.join(folder, "predownload_version_map.txt")) and
            not os.path.exists(os.path.join(folder, "tmp_predownload_version_map.txt")), (got, run.lines))


def test_failures(c, w):
    bad = os.path.join(w.folder, "bad-list")
    os.makedirs(bad, exist_ok=True)
    with open(os.path.join(bad, "version_map.txt"), "w") as f:
        f.write("{not a list")
    current_root = os.path.join(w.release, "cdn", "game-" + CURRENT)
    table = [
        ("next release equal to the installed one", dict(predl_root=current_root), CURRENT, [],
         TEXTS["STRING_ERROR_DLC_LAST"]),
        ("older than the pending update", {}, CURRENT, ["--remote", "10079_0_0"], TEXTS["STRING_ERROR_DLC_OUTDATED"]),
        ("newer than the pending update", {}, "10077_1_0", ["--remote", CURRENT], TEXTS["STRING_ERROR_DLC_FIRST"]),
        ("an unparsable list", dict(predl_root=bad), CURRENT, [], "PreDlc parse remote Failed: :"),
        ("a gate without PreDlcAddr", dict(pre_download=False, others_predl=False), CURRENT, [], None),
    ]
    for name, scenario, version, extra, text in table:
        w.scenario(**scenario)
        launcher = w.launcher()
        run = w.run(launcher, w.game(version), *extra)
        c.check(f"failure, {name}: page 0, the request cleared, the state gone",
                run.pages[-1:] == [(0, 0)] and run.request == "0" and run.steps[-1:] == [-1], run.lines)
        if text is None:
            c.equal(f"failure, {name}: silent", run.boxes, [])
        else:
            c.check(f"failure, {name}: one box with the text and a single confirm button",
                    len(run.boxes) == 1 and run.boxes[0][2].startswith(text) and run.boxes[0][3] == "" and
                    run.boxes[0][4] == TEXTS["STRING_CONFIRM"], run.boxes)
        c.check(f"failure, {name}: nothing pre-downloaded",
                not os.path.exists(os.path.join(folder_state(launcher), "tmp_predownload_version_map.txt")),
                os.listdir(os.path.join(launcher.folder, "update")) if os.path.isdir(
                    os.path.join(launcher.folder, "update")) else "-")


def test_game_flow_stops_it(c, w):
    # The whole file sends its first bytes, then hangs: the pre-download is still downloading when
    # the game flow starts.
    w.scenario(faults=[{"path": "/predl/TOLV_Data/*", "stall": 8, "stall_after": 20000}])
    files = expected_files(w.release)
    client = GameClient(w.folder)
    try:
        launcher, game = w.launcher(), w.game()
        before = len(w.standin.control("GET", "/reports"))
        release_root = os.path.join(w.release, "cdn", "predownload")
        fast = sum(os.path.getsize(os.path.join(release_root, *url[len("/predl/"):].split("/")))
                   for _, url in files.values() if "/patchs/" in url)
        run = w.run(launcher, game, "--update-at", str(fast))
        states = client.states()
    finally:
        client.stop()
    reports = [r["json"] for r in w.standin.control("GET", "/reports")[before:] if r["kind"] == "tracking"]
    folder = folder_state(launcher)
    c.check("game flow during the download: page -1, the game flow runs",
            (-1, -1) in run.pages and ("Prepare", "game") in run.states and run.request == "1", run.lines)
    c.equal("game flow during the download: the game client told 3, then 2", states, [3, 2])
    speeds = [int(l.split()[2]) for l in run.lines if l.startswith("speed ")]
    # "pause" is reported only when the pump had measured a speed.
    if any(s > 0 for s in speeds):
        c.check("game flow during the download: \"pause\" reported",
                any(r.get("action_type") == "pause" for r in reports if r), reports)
    c.check("game flow during the download: transfers stopped, the list still unfinished",
            os.path.exists(os.path.join(folder, "tmp_predownload_version_map.txt")) and
            not os.path.exists(os.path.join(folder, "predownload_version_map.txt")), os.listdir(folder))
    done_before = [k for k, (md5, _) in files.items() if os.path.exists(os.path.join(folder, k)) and
                   not os.path.exists(os.path.join(folder, k + ".cfg")) and md5_file(os.path.join(folder, k)) == md5]
    # The next start takes it up again from what is on disk.
    w.scenario()
    log = Log(w.standin)
    run = w.run(launcher, game)
    got = {k: md5_file(os.path.join(folder, k)) for k in files if os.path.exists(os.path.join(folder, k))}
    asked = transfers(log)
    c.check("game flow during the download: the next run completes it, the files done before not asked again",
            got == {k: v[0] for k, v in files.items()} and run.pages[-1] == (3, 0) and done_before and
            not any(files[k][1] in asked for k in done_before), (got, run.lines, done_before, asked))


def main():
    dvcli = sys.argv[1]
    c = Checks("pre-download")
    folder = work_dir("predownload")
    release = os.path.join(folder, "release")
    subprocess.run([sys.executable, RELEASE_PY, "generate", "--out", release, "--profile", "test",
                    "--resources", BUILT_SKIN], check=True, stdout=subprocess.DEVNULL)
    with Standin({"mounts": {}}, folder) as standin:
        w = World(c, dvcli, folder, standin, release)
        test_fill_kill_resume(c, w)
        test_failures(c, w)
        test_game_flow_stops_it(c, w)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
