"""Download, apply and start, run by `dvcli flow` under Wine against the stand-in and a generated release:
an install with the 32 MiB + 1 file, patch updates with both extensions, a wrong patch output caught, kills
by pid at random points then reruns until the flow rests, a destination held open, the game start with
the game-client stand-in, repair, and the launcher updating itself.
Usage: test_apply.py <dvcli.exe> <TOLV.exe> <dorevezi.exe> [windows|windowless]
The cases that show a window (the game client's, the launcher's) and those that show none can run as two
tests, so the second runs beside the tests that hold the display."""

import collections
import hashlib
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import time

from dl_support import BUILT_SKIN, WINE_EXEC, Checks, Log, Standin, windows_path, work_dir
from test_flow import Flow, FROM, RELEASE_PY, TEXTS, TO, World, gate_game, list_entries, read_json

PIECE = 32 * 1024 * 1024
GAME_DIR = "Varnholt Game"


def md5_file(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def wrong_files(game, entries):
    """Files of the game folder whose MD5 differs from the list's (missing ones included)."""
    bad = []
    for key, entry in entries.items():
        path = os.path.join(game, *key.split("/"))
        if not os.path.isfile(path) or md5_file(path) != entry["md5"]:
            bad.append(key)
    return bad


def staged_files(launcher):
    update = os.path.join(launcher.folder, "update")
    found = []
    for root, _, files in os.walk(update):
        found += [os.path.relpath(os.path.join(root, f), update) for f in files]
    return sorted(found)


def applied(flow):
    """apply lines: {path: (action, md5)}."""
    out = {}
    for line in flow.lines:
        if line.startswith("apply "):
            _, path, action, md5 = line.split(" ")
            out[path] = (action, md5)
    return out


def game_requests(entries):
    """Paths asked of the game's content server (without its leading "/game/"), with their bytes."""
    served = collections.defaultdict(int)
    asked = collections.Counter()
    for e in entries:
        if e["path"].startswith("/game/") and e["method"] == "GET" and e["status"] in (200, 206):
            key = e["path"][len("/game/"):]
            asked[key] += 1
            served[key] += e["bytes"]
    return asked, served


def alternates_ok(release, game, entries):
    names = read_json(os.path.join(release, "manifest.json"))["game"]["alternate_names"]
    return all(os.path.isfile(os.path.join(game, *alt.split("/")))
               and md5_file(os.path.join(game, *alt.split("/"))) == entries[key]["md5"]
               for key, alt in names.items() if key in entries)


class Apply:
    def __init__(self, c, w):
        self.c, self.w = c, w
        self.remote = list_entries(os.path.join(w.release, "cdn", "game-" + TO, "version_map.txt"))
        self.cdn_list = os.path.join(w.release, "cdn", "game-" + TO, "version_map.txt")
        self.manifest = read_json(os.path.join(w.release, "manifest.json"))

    def committed(self, game):
        if not os.path.exists(os.path.join(game, "version_map.txt")):
            return False
        with open(self.cdn_list, "rb") as a, open(os.path.join(game, "version_map.txt"), "rb") as b:
            return a.read() == b.read()

    def clean(self, launcher, game):
        """The flow's leftovers are gone: temporary list, apply list, staged files (the launcher's own
        staged files excepted)."""
        left = [f for f in staged_files(launcher)]
        return not os.path.exists(os.path.join(game, "tmp_version_map.txt")) and not left, left


def test_install(c, w, a):
    w.scenario(gate_game())
    launcher = w.launcher()
    game = os.path.join(launcher.folder, GAME_DIR)
    log = Log(w.standin)
    flow = w.run(launcher, "install", "--game", windows_path(game), decide=False)
    asked, served = game_requests(log.entries())
    c.check("install: rests in the ready state", flow.rest.startswith("rest EnterGame game"), flow.lines[-6:])
    c.equal("install: every MD5 matches the list", wrong_files(game, a.remote), [])
    c.check("install: the 32 MiB + 1 file is there", any(e["size"] == PIECE + 1 for e in a.remote.values()))
    c.check("install: version_map.txt committed", a.committed(game))
    clean, left = a.clean(launcher, game)
    c.check("install: temporary list, apply list and staged files gone", clean, left)
    c.check("install: the alternate names are copies", alternates_ok(w.release, game, a.remote))
    files = {k: v for k, v in asked.items() if k in a.remote}
    # An empty file is made on the spot, without a request.
    pieces = {k: (v["size"] + PIECE - 1) // PIECE for k, v in a.remote.items() if v["size"]}
    c.equal("install: each file requested once (one request a piece)", files, pieces)
    c.equal("install: the bytes served are the files' sizes",
            {k: served[k] for k in a.remote}, {k: v["size"] for k, v in a.remote.items()})
    c.check("install: every file reported as moved into place",
            set(applied(flow)) == set(a.remote) and all(v[0] == "move" for v in applied(flow).values()),
            applied(flow))


def test_patch_updates(c, w, a):
    w.scenario(gate_game())
    for version, ext in ((FROM, ".patch"), ("10077_2_0", ".qzdiff")):
        launcher = w.launcher()
        game = w.game(version)
        installed = list_entries(os.path.join(game, "version_map.txt"))
        info = a.manifest["game"]["cdn"][TO]["patches"][version]
        log = Log(w.standin)
        flow = w.run(launcher, *update_args(game), decide=False)
        asked, _ = game_requests(log.entries())
        patch_prefix = f"patchs/{version}/"
        expected = sorted([patch_prefix + k + ext for k in info["files"]] +
                          [k for k in a.remote if k not in installed])
        # The probe of "TOLV.exe.patch" is the same request as that patch's download.
        fetched = sorted(set(k for k in asked if k not in ("version_map.txt", patch_prefix + "patch_list.txt")))
        c.equal(f"update from {version}: the patches ({ext}) and the added files, nothing else", fetched, expected)
        c.equal(f"update from {version}: every MD5 matches the list", wrong_files(game, a.remote), [])
        c.check(f"update from {version}: both alternate names right", alternates_ok(w.release, game, a.remote))
        c.check(f"update from {version}: committed and clean", a.committed(game) and a.clean(launcher, game)[0],
                a.clean(launcher, game)[1])
        c.equal(f"update from {version}: the patched files are reported as patched",
                sorted(k for k, v in applied(flow).items() if v[0] == "patch"), sorted(info["files"]))

    # A file altered behind its list's back: the patch gives the wrong output, which is caught, and
    # that file alone is fetched whole.
    info = a.manifest["game"]["cdn"][TO]["patches"][FROM]
    victim = "TOLV_Data/level0"
    c.check("altered file: it is one the patch list names", victim in info["files"])
    launcher = w.launcher()
    game = w.game(FROM)
    path = os.path.join(game, *victim.split("/"))
    with open(path, "r+b") as f:
        f.seek(100)
        f.write(b"altered behind the list's back")
    log = Log(w.standin)
    flow = w.run(launcher, *update_args(game), decide=False)
    asked, _ = game_requests(log.entries())
    whole = sorted(k for k in asked if k in a.remote)
    added = sorted(k for k in a.remote if k not in list_entries(os.path.join(w.release, "installed", "game-" + FROM,
                                                                             "version_map.txt")))
    c.equal("altered file: fetched whole, besides the added files", whole, sorted(added + [victim]))
    c.equal("altered file: its patch asked once", asked[f"patchs/{FROM}/{victim}.patch"], 1)
    c.equal("altered file: every MD5 right in the end", wrong_files(game, a.remote), [])
    c.check("altered file: committed, ready", a.committed(game) and flow.rest.startswith("rest EnterGame"),
            flow.lines[-4:])


def update_args(game, *extra):
    return ["update", "--game", windows_path(game), *extra]


def kill_runs(c, w, a, name, make, args_of, seed, delays, sequences=10, kills=3):
    """`sequences` fresh folders; in each, `kills` runs killed by pid at random moments, then reruns until
    the flow rests. Every MD5 right; no file whole again once complete; no patch of a file at its target."""
    rng = random.Random(seed)
    points = 0
    for sequence in range(sequences):
        launcher, game = make()
        launcher_env = os.path.join(launcher.folder, "save", "EnvConfig.json")
        with open(launcher_env, "w") as f:
            # About 8 MB/s a transfer, so the kill points spread over download and apply.
            json.dump({"downloadLimit": True, "downloadSpeed": 40000, "gamePath": windows_path(game)}, f)
        log = Log(w.standin)
        completed_before = {}
        for kill in range(kills):
            process = launcher.start("flow", *args_of(game), proxy=w.standin.addresses["proxy"])
            delay = rng.uniform(*delays)
            time.sleep(delay)
            if process.poll() is None:
                os.kill(process.pid, signal.SIGKILL)
                points += 1
            process.wait()
            process.stdout.close()
            # Files complete at the kill: on disk in place with their target content.
            for key, entry in a.remote.items():
                p = os.path.join(game, *key.split("/"))
                if key not in completed_before and os.path.isfile(p) and md5_file(p) == entry["md5"]:
                    completed_before[key] = True
        runs = 0
        flow = None
        while runs < 6:
            runs += 1
            flow = w.run(launcher, *args_of(game), decide=False)
            if flow.rest.startswith("rest EnterGame"):
                break
        asked, served = game_requests(log.entries())
        label = f"{name} kills, sequence {sequence}"
        c.check(f"{label}: rests in the ready state", flow.rest.startswith("rest EnterGame game"), flow.lines[-6:])
        c.equal(f"{label}: every MD5 right", wrong_files(game, a.remote), [])
        c.check(f"{label}: committed", a.committed(game))
        patched_at_target = [k for k, v in applied(flow).items() if v[0] == "patch" and k in completed_before]
        c.equal(f"{label}: no patch of a file already at its target", patched_at_target, [])
        # Bytes served stay within the size plus, per killed run, one second of transfer a file (the
        # resume file's lag) and the bytes in flight.
        lag = 5 * 8 * 1024 * 1024 * kills
        total_size = sum(a.remote[k]["size"] for k in a.remote)
        whole = sum(served[k] for k in a.remote)
        c.check(f"{label}: bytes served {whole} within the size {total_size} plus the lag {lag}",
                whole <= total_size + lag, whole)
        # Each sequence's folders hold a whole game: free the disk as we go.
        shutil.rmtree(launcher.folder, ignore_errors=True)
        shutil.rmtree(game, ignore_errors=True)
    c.check(f"{name} kills: at least 20 runs killed before they ended", points >= 20, points)


def test_kills(c, w, a):
    w.scenario(gate_game())

    def make_install():
        launcher = w.launcher()
        return launcher, os.path.join(launcher.folder, GAME_DIR)

    kill_runs(c, w, a, "install", make_install,
              lambda game: ["install", "--game", windows_path(game)], seed=13, delays=(0.8, 6.0))

    def make_update():
        return w.launcher(), w.game(FROM)

    kill_runs(c, w, a, "patch update", make_update, lambda game: update_args(game), seed=31, delays=(0.5, 2.6))


def test_locked_destination(c, w, a):
    w.scenario(gate_game())
    launcher = w.launcher()
    game = w.game(FROM)
    victim = "TOLV_Data/level0"
    path = windows_path(os.path.join(game, *victim.split("/")))
    # A Windows process holds it open without delete sharing while the flow runs.
    holder = launcher.start("hold", path)
    time.sleep(1.5)
    try:
        flow = w.run(launcher, *update_args(game, "--answer", "no"), decide=False)
    finally:
        os.kill(holder.pid, signal.SIGKILL)
        holder.wait()
    error = flow.errors[-1] if flow.errors else ["", "", ""]
    c.check("locked destination: ExceptionState with Apply Failed naming it",
            flow.rest.startswith("rest Exception") and error[1] == "Apply Failed" and victim in error[2], flow.lines[-6:])
    c.check("locked destination: not committed", not a.committed(game))
    flow = w.run(launcher, *update_args(game), decide=False)
    c.check("locked destination: retry after release completes",
            flow.rest.startswith("rest EnterGame") and a.committed(game) and not wrong_files(game, a.remote),
            flow.lines[-6:])


def test_locked_list(c, w, a):
    """The game's list held open: the files are in place but the commit fails, which is an error; the
    temporary list stays, and a later run commits it without fetching again."""
    w.scenario(gate_game())
    launcher = w.launcher()
    game = w.game(FROM)
    holder = launcher.start("hold", windows_path(os.path.join(game, "version_map.txt")))
    time.sleep(1.5)
    try:
        flow = w.run(launcher, *update_args(game, "--answer", "no"), decide=False)
    finally:
        os.kill(holder.pid, signal.SIGKILL)
        holder.wait()
    error = flow.errors[-1] if flow.errors else ["", "", ""]
    c.check("locked list: Apply Failed naming version_map.txt", flow.rest.startswith("rest Exception")
            and error[1] == "Apply Failed" and "version_map.txt" in error[2], flow.lines[-5:])
    c.check("locked list: the temporary list stays", os.path.exists(os.path.join(game, "tmp_version_map.txt")))
    log = Log(w.standin)
    flow = w.run(launcher, *update_args(game), decide=False)
    asked, _ = game_requests(log.entries())
    c.check("locked list: the next run commits without fetching a file",
            a.committed(game) and not [k for k in asked if k in a.remote] and flow.rest.startswith("rest EnterGame"),
            (sorted(asked), flow.lines[-5:]))


def read_log(path, wait=10):
    deadline = time.time() + wait
    while time.time() < deadline:
        if os.path.exists(path):
            text = open(path, encoding="utf-16-le", errors="replace").read() if open(path, "rb").read(2) in (
                b"\xff\xfe",) else open(path, encoding="utf-8", errors="replace").read()
            if "cwd:" in text:
                return text
        time.sleep(0.2)
    return ""


def run_play(w, launcher, game, *extra):
    """`dvcli flow play` read up to its rest line: the client it starts inherits the output pipe, so
    waiting for the pipe's end would wait for the client."""
    process = launcher.start("flow", "play", "--game", windows_path(game), *extra, proxy=w.standin.addresses["proxy"])
    lines = []
    for raw in process.stdout:
        lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))
        if lines[-1].startswith("rest "):
            break
    process.wait(timeout=60)
    process.stdout.close()
    return Flow(process.returncode, lines)


def test_play(c, w, a, tolv):
    gate = gate_game()
    w.scenario(gate)
    launcher = w.launcher()
    game = os.path.join(launcher.folder, GAME_DIR)
    shutil.copytree(os.path.join(w.release, "installed", "game-" + TO), game)
    for name, data in (("gid.txt", "gid-1234"), ("TransToGame", '{"token": "x"}')):
        with open(os.path.join(launcher.folder, "save", name), "w") as f:
            f.write(data)
    log_path = os.path.join(game, "TOLV_standin.log")
    second_log = os.path.join(game, "second.log")
    # Without a launcher window to register with, the client ends after this wait.
    os.environ["DV_TOLV_WAIT_MS"] = "15000"
    try:
        flow = run_play(w, launcher, game)
        text = read_log(log_path)
        list_md5 = md5_file(os.path.join(game, "version_map.txt"))
        c.check("play: the client's argv[1] is the MD5 of version_map.txt, then win and 0|1",
                f"argv[1]: {list_md5}" in text and "argv[2]: win" in text and "argv[3]: 0|1" in text, text[:600])
        c.check("play: its folder is the working folder", f"cwd: {windows_path(game)}" in text, text[:600])
        moved = all(os.path.exists(os.path.join(game, "save", n)) and
                    not os.path.exists(os.path.join(launcher.folder, "save", n)) for n in ("gid.txt", "TransToGame"))
        c.check("play: gid.txt and TransToGame moved into the game", moved)
        c.check("play: the window hides", "window hide" in flow.lines, flow.lines[-6:])
        # While it runs: the instance box, no second start.
        os.environ["DV_TOLV_LOG"] = windows_path(second_log)
        flow = run_play(w, launcher, game)
        c.equal("play while it runs: the instance box", [b[:2] for b in flow.boxes],
                [[TEXTS["STRING_ERROR_NOTICE"], TEXTS["STRING_ERROR_EXCEED_MAX_GAME_INSTANCE"]]])
        time.sleep(1.0)
        c.check("play while it runs: no second start, no hide",
                not os.path.exists(second_log) and "window hide" not in flow.lines, flow.lines[-6:])
    finally:
        for key in ("DV_TOLV_WAIT_MS", "DV_TOLV_LOG"):
            os.environ.pop(key, None)
    deadline = time.time() + 60
    while time.time() < deadline and "exit:" not in read_log(log_path, 1):
        time.sleep(0.5)
    time.sleep(3)  # the instance mutex goes with the process, a moment after its last log line
    # TOLV.exe removed after the flow (the list still names it, so the flow fetches it back unless the
    # launch itself is made to fail): the client's program removed and the list matching the folder.
    os.remove(os.path.join(game, "TOLV.exe"))
    os.makedirs(os.path.join(game, "TOLV.exe"))  # a folder: listed file missing, and cannot be started
    flow = run_play(w, launcher, game, "--answer", "no")
    c.check("play without a startable client: the check-game box, no hide",
            [TEXTS["STRING_ERROR_NOTICE"], TEXTS["STRING_ERROR_CHECK_GAME_FAILED"]] in [b[:2] for b in flow.boxes]
            and "window hide" not in flow.lines, flow.lines[-8:])


def test_repair(c, w, a):
    w.scenario(gate_game())
    launcher = w.launcher()
    game = w.game(TO)
    victims = ["TOLV_Data/level0", "UnityPlayer.dll"]
    for key in victims:
        with open(os.path.join(game, *key.split("/")), "r+b") as f:
            f.write(b"damaged")
    gone = "TOLV_Data/globalgamemanagers"
    os.remove(os.path.join(game, *gone.split("/")))
    log = Log(w.standin)
    flow = w.run(launcher, "repair", "--game", windows_path(game), decide=False)
    asked, _ = game_requests(log.entries())
    c.equal("repair: exactly the damaged and the deleted files fetched",
            sorted(k for k in asked if k in a.remote), sorted(victims + [gone]))
    c.check("repair: all right and committed", not wrong_files(game, a.remote) and a.committed(game)
            and flow.rest.startswith("rest EnterGame"), flow.lines[-6:])
    c.check("repair: the space-named copies made again", alternates_ok(w.release, game, a.remote))


def launcher_release(w):
    info = read_json(os.path.join(w.release, "manifest.json"))
    new = info["trees"]["cdn/launcher"]
    return new, info["launcher"]["cdn"]["patches"]["1.0.0"]["files"]


def test_self_update_flow(c, w, a):
    """The launcher flow in launcher 1.0.0 (whose program is the built launcher): patched and staged."""
    new, patched = launcher_release(w)
    for forced in (False, True):
        gate = gate_game(launcher_dlc=True)
        if forced:
            gate["urls"]["Others"]["ForceUpdateDorevezi"] = "1"
        w.scenario(gate)
        launcher = w.launcher()
        flow = w.run(launcher, "launcher", decide=False)
        label = "self-update, forced" if forced else "self-update"
        acts = applied(flow)
        c.equal(f"{label}: the patched files are applied by patch", sorted(k for k, v in acts.items()
                                                                           if v[0] == "patch"), sorted(patched))
        staged = os.path.join(launcher.folder, "update", "dorevezi.exe")
        c.check(f"{label}: update\\dorevezi.exe staged at 1.0.1",
                os.path.exists(staged) and md5_file(staged) == new["dorevezi.exe"]["md5"])
        c.equal(f"{label}: resources.zip replaced", md5_file(os.path.join(launcher.folder, "resources.zip")),
                new["resources.zip"]["md5"])
        lists = {}
        for name in ("cef_update.txt", "font_update.txt"):
            path = os.path.join(launcher.folder, "update", name)
            lists[name] = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
        cef = sorted(k for k in new if k.startswith("cef") and k in acts)
        fonts = sorted(k for k in new if k.endswith(".ttf") and k in acts)
        c.check(f"{label}: the runtime and font lists name the staged files",
                cef and fonts and all(k in lists["cef_update.txt"] for k in cef)
                and all(k in lists["font_update.txt"] for k in fonts), lists)
        c.check(f"{label}: the staged runtime and font files are the new ones",
                all(md5_file(os.path.join(launcher.folder, "update", *k.split("/"))) == new[k]["md5"]
                    for k in cef + fonts))
        committed = read_json(os.path.join(launcher.folder, "dorevezi_version_map.txt"))
        c.equal(f"{label}: the launcher list committed", committed.get("version"), "1.0.1")
        no_button = "" if forced else TEXTS["STRING_CANCEL"]
        c.equal(f"{label}: the restart question", [b[:2] + b[3:5] for b in flow.boxes],
                [[TEXTS["STRING_UPDATE_NOTICE"], TEXTS["STRING_UPDATE_DOREVEZI"], no_button, TEXTS["STRING_CONFIRM"]]])
        c.equal(f"{label}: the answer 'no' restarts only when forced",
                [l for l in flow.lines if l.startswith("restart ")], ["restart replace=1"] if forced else [])


def test_launcher_wrong_patch(c, w, a):
    """A launcher file altered behind its list's back: the patch output is wrong, so the flow goes back
    through the download for that file alone, whole."""
    new, patched = launcher_release(w)
    victim = "LomaN.ttf"
    c.check("launcher wrong patch: the font is patched by the release", victim in patched)
    w.scenario(gate_game(launcher_dlc=True))
    launcher = w.launcher()
    with open(os.path.join(launcher.folder, victim), "r+b") as f:
        f.write(b"altered")
    log = Log(w.standin)
    flow = w.run(launcher, "launcher", decide=False)
    asked = collections.Counter(e["path"] for e in log.entries() if e["status"] in (200, 206))
    c.equal("launcher wrong patch: its patch asked once, then the whole file once",
            (asked[f"/launcher/patchs/1_0_0/{victim}.patch"], asked[f"/launcher/{victim}"]), (1, 1))
    c.equal("launcher wrong patch: the other patched files are not fetched whole",
            [k for k in patched if k != victim and asked[f"/launcher/{k}"]], [])
    staged = os.path.join(launcher.folder, "update", victim)
    c.check("launcher wrong patch: the staged font is the new one, the list committed",
            os.path.exists(staged) and md5_file(staged) == new[victim]["md5"]
            and read_json(os.path.join(launcher.folder, "dorevezi_version_map.txt")).get("version") == "1.0.1",
            flow.lines[-6:])
    c.equal("launcher wrong patch: the states go back through the download once",
            flow.names(), ["Prepare", "RequestRemote", "CheckVersion", "RequestPatch", "DownloadFiles", "ApplyUpdate",
                           "DownloadFiles", "ApplyUpdate", "EnterGame"])


def test_update_folder_keys(c, w, a):
    """The game's list naming the launcher is skipped (a staged launcher stays); a key landing on the
    update folder's own files is an error."""
    listed = dict(a.remote)
    listed["dorevezi.exe"] = {"md5": "0" * 32, "size": 3}
    listed["version"] = {"md5": TO, "size": 0}
    w.scenario(gate_game({"CDN": json.dumps(listed)}))
    launcher = w.launcher()
    staged = os.path.join(launcher.folder, "update", "dorevezi.exe")
    os.makedirs(os.path.dirname(staged), exist_ok=True)
    with open(staged, "wb") as f:
        f.write(b"staged launcher")
    game = w.game(FROM)
    log = Log(w.standin)
    flow = w.run(launcher, *update_args(game), decide=False)
    asked, _ = game_requests(log.entries())
    c.check("game list naming dorevezi.exe: not fetched, the staged launcher kept, the update done",
            "dorevezi.exe" not in asked and open(staged, "rb").read() == b"staged launcher"
            and flow.rest.startswith("rest EnterGame") and not wrong_files(game, a.remote), flow.lines[-5:])
    for key in ("apply_list.txt", "predownload/10078_0_0/x.bin", "Font_Update.txt"):
        listed = dict(a.remote)
        listed[key] = {"md5": "0" * 32, "size": 3}
        listed["version"] = {"md5": TO, "size": 0}
        w.scenario(gate_game({"CDN": json.dumps(listed)}))
        flow = w.run(w.launcher(), *update_args(w.game(FROM)), decide=False)
        error = flow.errors[-1] if flow.errors else ["", "", ""]
        c.check(f"game list naming {key}: an error naming it", flow.rest.startswith("rest Exception")
                and error[1:] == ["Invalid Path", key], flow.lines[-5:])


def test_self_update_program(c, w, a, dorevezi, dvcli):
    """dorevezi.exe in launcher 1.0.0 updates itself: the flow stages, the exit message runs the helper."""
    new, _ = launcher_release(w)
    w.scenario(gate_game(launcher_dlc=True))
    launcher = w.launcher()
    program = os.path.join(launcher.folder, "dorevezi.exe")
    c.check("self-update program: launcher 1.0.0 is the built launcher", md5_file(program) == md5_file(dorevezi))
    process = subprocess.Popen([WINE_EXEC, program], cwd=launcher.folder, env=launcher.env(w.standin.addresses["proxy"]),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    staged = os.path.join(launcher.folder, "update", "dorevezi.exe")
    listed = os.path.join(launcher.folder, "dorevezi_version_map.txt")
    try:
        deadline = time.time() + 90
        while time.time() < deadline and not (os.path.exists(staged) and read_json(listed).get("version") == "1.0.1"):
            time.sleep(0.5)
        c.check("self-update program: the flow staged update\\dorevezi.exe and committed the list",
                os.path.exists(staged) and md5_file(staged) == new["dorevezi.exe"]["md5"])
        c.equal("self-update program: resources.zip replaced",
                md5_file(os.path.join(launcher.folder, "resources.zip")), new["resources.zip"]["md5"])
        time.sleep(1.0)
        code, _ = launcher.run("notify", "Dorevezi", "2028")
        c.equal("self-update program: the exit message reached its window", code, 0)
        process.wait(timeout=60)
    finally:
        if process.poll() is None:
            os.kill(process.pid, signal.SIGKILL)
            process.wait()
    helper = os.path.join(launcher.folder, "dorevezi_temp.exe")
    deadline = time.time() + 60
    while time.time() < deadline and (os.path.exists(helper) or md5_file(program) != new["dorevezi.exe"]["md5"]):
        time.sleep(0.5)
    c.equal("self-update program: dorevezi.exe is 1.0.1", md5_file(program), new["dorevezi.exe"]["md5"])
    c.check("self-update program: dorevezi_temp.exe is gone", not os.path.exists(helper))
    # The exit's replace run also copied the staged runtime and font files into place.
    deferred = sorted(k for k in new if k.startswith("cef") or k.endswith(".ttf"))
    placed = {k: os.path.join(launcher.folder, *k.replace("\\", "/").split("/")) for k in deferred}
    wrong = [k for k in deferred if not os.path.isfile(placed[k]) or md5_file(placed[k]) != new[k]["md5"]]
    c.check("self-update program: the runtime and font files match 1.0.1 after the exit", deferred and not wrong,
            wrong)


def main():
    dvcli, tolv, dorevezi = sys.argv[1], sys.argv[2], sys.argv[3]
    c = Checks("download, apply and start")
    part = sys.argv[4] if len(sys.argv) > 4 else ""
    folder = work_dir("apply-" + part if part else "apply")
    release = os.path.join(folder, "release")
    subprocess.run([sys.executable, RELEASE_PY, "generate", "--out", release, "--profile", "test", "--with-large",
                    "--tolv", tolv, "--dorevezi", dorevezi, "--resources", BUILT_SKIN], check=True,
                   stdout=subprocess.DEVNULL)
    only = os.environ.get("DV_APPLY_ONLY", "")
    try:
        return run_tests(c, dvcli, tolv, dorevezi, folder, release, only, part)
    finally:
        # Some hundreds of MB of game copies: kept only while the run lasts.
        shutil.rmtree(folder, ignore_errors=True)


# The cases that show a window on the display.
WINDOW_CASES = {"play", "program"}


def run_tests(c, dvcli, tolv, dorevezi, folder, release, only, part):
    with Standin({"listeners": ["gate2"], "mounts": {}}, folder) as standin:
        w = World(c, dvcli, folder, standin, release)
        a = Apply(c, w)
        tests = [("install", lambda: test_install(c, w, a)), ("updates", lambda: test_patch_updates(c, w, a)),
                 ("locked", lambda: test_locked_destination(c, w, a)),
                 ("lockedlist", lambda: test_locked_list(c, w, a)), ("play", lambda: test_play(c, w, a, tolv)),
                 ("repair", lambda: test_repair(c, w, a)),
                 ("self", lambda: test_self_update_flow(c, w, a)),
                 ("launcherpatch", lambda: test_launcher_wrong_patch(c, w, a)),
                 ("keys", lambda: test_update_folder_keys(c, w, a)),
                 ("program", lambda: test_self_update_program(c, w, a, dorevezi, dvcli)),
                 ("kills", lambda: test_kills(c, w, a))]
        for name, run in tests:
            if only and name not in only.split(","):
                continue
            if part and (name in WINDOW_CASES) != (part == "windows"):
                continue
            run()
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
