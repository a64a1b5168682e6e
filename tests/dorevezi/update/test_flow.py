"""The update flows from the gate query to the version decision, run by `dvcli flow` under Wine against
the stand-in and a generated release: the launcher flow and its silent failures, a table of game-gate
replies, hashing a game folder without its list, the patch decision, apply-list resume, the disk-space
question on a small drive and an unmapped one, a retried gate failure, and a kill while the flow copies
to an alternate file name.
Usage: test_flow.py <dvcli.exe>"""

import contextlib
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

from dl_support import BUILT_SKIN, Checks, Launcher, Log, SOURCE_DIR, Standin, windows_path, work_dir
from language_file import read_texts

RELEASE_PY = os.path.join(SOURCE_DIR, "tools", "standin", "release.py")
FROM, TO = "10077_1_0", "10077_0_1"

# The skin's Simplified Chinese texts, which the launcher (always in that language) shows in its boxes.
TEXTS = read_texts(SOURCE_DIR, "zh_CN")


class Flow:
    """One `dvcli flow` run: its lines by kind."""

    def __init__(self, code, lines):
        self.code, self.lines = code, lines
        self.states = [tuple(l.split()[1:3]) for l in lines if l.startswith("state ")]
        self.boxes = [l.split("\t")[1:] for l in lines if l.startswith("box\t")]
        self.errors = [l.split("\t")[1:] for l in lines if l.startswith("error\t")]
        self.fetch = sorted(l[6:] for l in lines if l.startswith("fetch "))
        self.patch = sorted(l[6:] for l in lines if l.startswith("patch "))
        self.checks = [int(l.split()[1]) for l in lines if l.startswith("check ")]
        rest = [l for l in lines if l.startswith("rest ")]
        self.rest = rest[-1] if rest else ""
        versions = [l for l in lines if l.startswith("versions ")]
        self.versions = dict(p.split("=", 1) for p in versions[-1].split()[1:]) if versions else {}

    def names(self):
        return [s[0] for s in self.states]

    def game_names(self):
        """The states from the game flow's first on (the launcher flow ends in the game's ready state)."""
        start = self.states.index(("Prepare", "game")) if ("Prepare", "game") in self.states else len(self.states)
        return [s[0] for s in self.states[start:]]


class World:
    """The release, the stand-in and a launcher folder; each case gets fresh game and launcher folders."""

    def __init__(self, c, dvcli, folder, standin, release):
        self.c, self.dvcli, self.folder, self.standin, self.release = c, dvcli, folder, standin, release
        self.count = 0

    def scenario(self, gate, mounts=None):
        standin = self.standin
        scenario = {"mounts": {"/launcher/": os.path.join(self.release, "cdn", "launcher"),
                               "/game/": os.path.join(self.release, "cdn", "game-" + TO)},
                    "gate": gate, "faults": [], "echo_ip": "203.0.113.7"}
        if mounts:
            scenario["mounts"].update(mounts)
        standin.control("PUT", "/scenario", scenario)

    def launcher(self, gate_urls=None):
        self.count += 1
        path = os.path.join(self.folder, f"launcher-{self.count}")
        shutil.copytree(os.path.join(self.release, "installed", "launcher-1.0.0"), path)
        setting = {"CAFile": self.standin.addresses["ca_windows"],
                   "GateURLs": gate_urls or [self.standin.addresses["gate"]]}
        return Launcher(self.dvcli, path, setting)

    def game(self, version=FROM, with_list=True):
        self.count += 1
        path = os.path.join(self.folder, f"game-{self.count}")
        shutil.copytree(os.path.join(self.release, "installed", "game-" + version), path)
        if not with_list:
            os.remove(os.path.join(path, "version_map.txt"))
        return path

    def run(self, launcher, *args, decide=True):
        """With `decide` the flow rests at the download state with its decision; else it runs on."""
        args = (*args, "--decide") if decide else args
        code, lines = launcher.run("flow", *args, proxy=self.standin.addresses["proxy"], timeout=240)
        return Flow(code, lines)


def read_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def list_entries(path):
    data = read_json(path)
    entries = data.get("list", data)
    return {k: v for k, v in entries.items() if k != "version"}


def changed(local, remote):
    return sorted(k for k, v in remote.items() if k not in local or local[k]["md5"] != v["md5"])


def gate_game(extra=None, launcher_dlc=False):
    """A gate reply for the game; the launcher's own check is skipped unless asked (no "DlcAddr")."""
    reply = {"DlcAddr": ["{main}/game/"],
             "Others": {"PatchOption": 2, **({"DlcAddr": "{main}/launcher/"} if launcher_dlc else {})}}
    reply.update(extra or {})
    return {"urls": reply}


def game_args(game, *answers):
    args = ["update", "--game", windows_path(game)]
    for answer in answers:
        args += ["--answer", answer]
    return args


def test_launcher_flow(c, w):
    w.scenario(gate_game(launcher_dlc=True))
    launcher = w.launcher()
    log = Log(w.standin)
    flow = w.run(launcher, "launcher")
    c.equal("launcher flow: the states up to the decision",
            flow.states, [("Prepare", "launcher"), ("RequestRemote", "launcher"), ("CheckVersion", "launcher"),
                          ("RequestPatch", "launcher"), ("DownloadFiles", "launcher")])
    installed = list_entries(os.path.join(w.release, "installed", "launcher-1.0.0", "dorevezi_version_map.txt"))
    remote = list_entries(os.path.join(w.release, "cdn", "launcher", "dorevezi_version_map.txt"))
    c.equal("launcher flow: exactly the changed files are fetched", flow.fetch, changed(installed, remote))
    c.equal("launcher flow: the patch list names the patched files",
            flow.patch, sorted(read_json(os.path.join(w.release, "manifest.json"))
                               ["launcher"]["cdn"]["patches"]["1.0.0"]["files"]))
    entries = log.entries()
    reports = [e for e in entries if e["path"] in ("/track/json_track", "/v1/adjust")]
    requests = [(e["host"] or e["listener"], e["path"], e["query"]) for e in entries if e not in reports]
    c.equal("launcher flow: the start-up report once: detail 13 and its attribution event",
            sorted((e["path"], (re.search(r"event_name=([a-z_]+)", e["query"] or "") or [None, None])[1])
                   for e in reports),
            [("/track/json_track", None), ("/v1/adjust", "click_launch_start_open")])
    c.equal("launcher flow: echo, gate, list, patch list, in this order",
            [r[:2] for r in requests], [("ip.dorevezi.invalid", "/"), ("main", "/get/urls"),
                                        ("main", "/launcher/dorevezi_version_map.txt"),
                                        ("main", "/launcher/patchs/1_0_0/patch_list.txt")])
    query = requests[1][2] if len(requests) > 1 else ""
    c.check("launcher flow: the gate query has the empty game version and a device id",
            re.fullmatch(r"key=WIN10CN_&udid=[A-Za-z0-9._~%-]+", query) is not None, query)
    c.check("launcher flow: no box, no error", not flow.boxes and not flow.errors, flow.lines)

    # Each failure of the launcher's own check ends silently in the ready state.
    cases = [
        ("no DlcAddr in Others", gate_game(), []),
        ("a refused gate", dict(gate_game(launcher_dlc=True), keys=["SOMEONE_ELSE"]), []),
        ("a 500 list", gate_game(launcher_dlc=True), [{"path": "/launcher/dorevezi_version_map.txt", "status": 500}]),
    ]
    for name, gate, faults in cases:
        w.scenario(gate)
        w.standin.control("PUT", "/faults", faults)
        flow = w.run(w.launcher(), "launcher")
        c.check(f"launcher flow, {name}: the ready state next, silently",
                flow.states[-1] == ("EnterGame", "game") and "DownloadFiles" not in flow.names()
                and not flow.boxes and not flow.errors and flow.rest.startswith("rest EnterGame game"), flow.lines)
    w.standin.control("DELETE", "/faults")

    # A remote launcher list without the skin archive, otherwise equal: the archive is deleted, the
    # new list committed, and the flow goes on to the ready state (the options of "Others" applied).
    installed_list = read_json(os.path.join(w.release, "installed", "launcher-1.0.0", "dorevezi_version_map.txt"))
    installed_list["version"] = "1.0.1"
    del installed_list["list"]["resources.zip"]
    skinless = os.path.join(w.folder, "skinless")
    os.makedirs(skinless, exist_ok=True)
    with open(os.path.join(skinless, "dorevezi_version_map.txt"), "w") as f:
        json.dump(installed_list, f)
    gate = gate_game()
    gate["urls"]["Others"].update({"DlcAddr": "{main}/skinless/", "TransToGame": {"token": "té"}})
    w.scenario(gate, {"/skinless/": skinless})
    launcher = w.launcher()
    flow = w.run(launcher, "launcher")
    committed = read_json(os.path.join(launcher.folder, "dorevezi_version_map.txt"))
    c.check("launcher flow, skin archive dropped: deleted, list committed, then ready",
            not os.path.exists(os.path.join(launcher.folder, "resources.zip")) and committed["version"] == "1.0.1"
            and not os.path.exists(os.path.join(launcher.folder, "tmp_dorevezi_version_map.txt"))
            and flow.names() == ["Prepare", "RequestRemote", "CheckVersion", "EnterGame"], flow.lines)
    # Once the ready state is reached, queued reports leave, and settings applied on the UI thread
    # report themselves.
    before = len(w.standin.control("GET", "/reports"))
    flow = w.run(launcher, "launcher", "--report", "click", "click_button", "Play", "--settings", "closeToHide=1")
    got = [r["json"] for r in w.standin.control("GET", "/reports")[before:] if r["kind"] == "tracking"]
    c.check("launcher flow --report --settings: sent from the ready state",
            flow.rest.startswith("rest EnterGame game") and "result 0 queued=0" in flow.lines and
            sorted((r["log_type"], r.get("action", r.get("close_set"))) for r in got if "action_id" not in r) ==
            [("qzrolepcstartersetting", "1"), ("qzrolepcstarteruiclick", "play")], (flow.lines, got))
    trans = os.path.join(launcher.folder, "save", "TransToGame")
    c.check("launcher flow: TransToGame written as tab-indented JSON",
            os.path.exists(trans) and open(trans, encoding="utf-8").read() == '{\n\t"token" : "t\\u00e9"\n}',
            open(trans, encoding="utf-8").read() if os.path.exists(trans) else "missing")


def test_game_gate_table(c, w):
    cdn_list = os.path.join(w.release, "cdn", "game-" + TO, "version_map.txt")
    flat = read_json(cdn_list)
    list_form = {"version": TO, "list": {k: v for k, v in flat.items() if k != "version"}}
    list_folder = os.path.join(w.folder, "listform")
    os.makedirs(list_folder, exist_ok=True)
    with open(os.path.join(list_folder, "version_map.txt"), "w") as f:
        json.dump(list_form, f)
    update_text = TEXTS["STRING_ERROR_UPDATE"]
    not_json_128 = "<" + "x" * 126 + ">"
    not_json_129 = "<" + "x" * 127 + ">"
    two_gates = [w.standin.addresses["gate"], w.standin.addresses["listeners"]["gate2"] + "/"]
    saved = "The information has been saved to file:exception/response.txt"
    # name, gate, mounts, gate URLs, expected states after the launcher flow, error code, text test,
    # detail test, file exception\response.txt expected
    table = [
        ("refused, three tries a base", dict(gate_game(), keys=["WIN10CN_" + "other"]), None, two_gates,
         ["Prepare", "Exception"], -2, lambda t: t == "Request Failed:403",
         lambda d: d.startswith("get/urls?key=WIN10CN_" + FROM + "&udid="), False),
        ("not JSON, 128 bytes", {"urls": not_json_128}, None, None, ["Prepare", "Exception"], 0,
         lambda t: t.startswith("Parse Failed:") and len(t) > len("Parse Failed:"),
         lambda d: d == not_json_128, False),
        ("not JSON, 129 bytes", {"urls": not_json_129}, None, None, ["Prepare", "Exception"], 0,
         lambda t: t.startswith("Parse Failed:"), lambda d: d == saved, True),
        ("no DlcAddr", {"urls": {"Others": {"DlcAddr": "x"}}}, None, None, ["Prepare", "Exception"], 0,
         lambda t: t == "Invalid DlcAddr", lambda d: d.startswith('{"Others":'), False),
        ("valid inline CDN", gate_game({"CDN": {"file": cdn_list}}), None, None,
         ["Prepare", "CheckVersion", "RequestPatch", "DownloadFiles"], None, None, None, False),
        ("invalid inline CDN", gate_game({"CDN": "not a version list"}), None, None,
         ["Prepare", "RequestRemote", "CheckVersion", "RequestPatch", "DownloadFiles"], None, None, None, False),
        ("inline CDN with an unsafe path", gate_game({"CDN": {"../evil.dll": {"md5": "0" * 32, "size": 1}}}),
         None, None, ["Prepare", "RequestRemote", "CheckVersion", "RequestPatch", "DownloadFiles"], None, None,
         None, False),
        ("list-form list", gate_game({"DlcAddr": ["{main}/listform/"]}), {"/listform/": list_folder}, None, ["Prepare", "RequestRemote", "CheckVersion", "RequestPatch", "DownloadFiles"], None, None, None,
         False),
        ("list-form inline CDN", gate_game({"CDN": json.dumps(list_form)}), None, None,
         ["Prepare", "CheckVersion", "RequestPatch", "DownloadFiles"], None, None, None, False),
    ]
    expected_fetch = changed(list_entries(os.path.join(w.release, "installed", "game-" + FROM, "version_map.txt")),
                             list_entries(cdn_list))
    for name, gate, mounts, gates, states, code, text_ok, detail_ok, saved_file in table:
        w.scenario(gate, mounts)
        launcher = w.launcher(gates)
        log = Log(w.standin)
        flow = w.run(launcher, *game_args(w.game()))
        c.equal(f"game gate, {name}: the states", flow.game_names(), states)
        response = os.path.join(launcher.folder, "exception", "response.txt")
        c.equal(f"game gate, {name}: exception\\response.txt", os.path.exists(response), saved_file)
        if code is None:
            c.equal(f"game gate, {name}: the remote version", flow.versions.get("remote"), TO)
            c.equal(f"game gate, {name}: the changed files", flow.fetch, expected_fetch)
            c.check(f"game gate, {name}: no box", not flow.boxes, flow.lines)
            continue
        error = flow.errors[-1] if flow.errors else ["", "", ""]
        c.check(f"game gate, {name}: the error code and text", int(error[0] or 1) == code and text_ok(error[1]),
                error)
        c.check(f"game gate, {name}: the error detail", detail_ok(error[2]), error)
        box = flow.boxes[-1] if flow.boxes else [""] * 6
        detail = (f"{code}\\n" if code else "") + error[1] + f"({error[2]})"
        c.equal(f"game gate, {name}: the update error box",
                box, [TEXTS["STRING_ERROR_NOTICE"], update_text, detail, TEXTS["STRING_CANCEL"],
                      TEXTS["STRING_ERROR_RETRY"], "no"])
        c.check(f"game gate, {name}: rests stopped with the error box mark",
                flow.rest == "rest Exception game errorBoxShowing=1", flow.rest)
        if saved_file:
            with open(response) as f:
                c.equal(f"game gate, {name}: the saved body", f.read(), not_json_129)
        if name.startswith("refused"):
            gate_requests = [e["listener"] for e in log.entries() if e["path"] == "/get/urls"]
            c.equal(f"game gate, {name}: three tries on each base, for each flow",
                    gate_requests, (["main"] * 3 + ["gate2"] * 3) * 2)


def test_hashing_and_patches(c, w):
    remote = list_entries(os.path.join(w.release, "cdn", "game-" + TO, "version_map.txt"))
    game = w.game(with_list=False)
    # Files in folders the hashing leaves out; the remote list below names them with their real
    # digests, so a folder that was hashed would hide them from the files to fetch.
    planted = {"save/a.txt": b"save", "sub/update/b.txt": b"upd", "exception/c.txt": b"exc",
               "deep/er/cef_temp/d.txt": b"cef"}
    listed = dict(remote)
    for rel, data in planted.items():
        path = os.path.join(game, *rel.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        listed[rel] = {"md5": hashlib.md5(data).hexdigest(), "size": len(data)}
    listed["version"] = {"md5": TO, "size": 0}
    w.scenario(gate_game({"CDN": json.dumps(listed)}))
    log = Log(w.standin)
    flow = w.run(w.launcher(), *game_args(game))
    tree = read_json(os.path.join(w.release, "manifest.json"))["trees"]["installed/game-" + FROM]
    tree = {k: v for k, v in tree.items() if k != "version_map.txt"}
    expected = sorted(changed(tree, remote) + list(planted))
    c.equal("hashing: the decision names the files that differ, and the left-out folders' files", flow.fetch,
            expected)
    hashing = [v for v in flow.checks if v <= 90]
    c.check("hashing: progress rises to 90", hashing and hashing[-1] == 90 and hashing == sorted(hashing),
            hashing[-5:])
    c.check("hashing: no version known, whole files without a patch list",
            "RequestPatch" not in flow.names() and not any("patch_list" in e["path"] for e in log.entries()),
            flow.states)
    c.equal("hashing: the local version stays unknown", flow.versions.get("local"), "")

    for option, asks in ((2, True), (0, False)):
        w.scenario(gate_game({"Others": {"PatchOption": option}}))
        log = Log(w.standin)
        flow = w.run(w.launcher(), *game_args(w.game()))
        paths = [e["path"] for e in log.entries()]
        c.equal(f"PatchOption {option}: the patch list is asked", f"/game/patchs/{FROM}/patch_list.txt" in paths,
                asks)
        patched = read_json(os.path.join(w.release, "manifest.json"))["game"]["cdn"][TO]["patches"][FROM]["files"]
        c.equal(f"PatchOption {option}: the patch entries", [p for p in flow.patch if p != "version"],
                sorted(patched) if asks else [])


def test_apply_list(c, w):
    cdn_list = os.path.join(w.release, "cdn", "game-" + TO, "version_map.txt")
    remote = list_entries(cdn_list)
    every = changed(list_entries(os.path.join(w.release, "installed", "game-" + FROM, "version_map.txt")), remote)
    w.scenario(gate_game())
    for name, version, expect_fetch in (("same version", TO, []), ("another version", "10077_2_0", every)):
        launcher = w.launcher()
        game = w.game()
        os.makedirs(os.path.join(launcher.folder, "update"), exist_ok=True)
        apply_list = os.path.join(launcher.folder, "update", "apply_list.txt")
        with open(apply_list, "w") as f:
            json.dump({"version": version, "fileList": every}, f)
        log = Log(w.standin)
        flow = w.run(launcher, *game_args(game))
        fetched_files = [e["path"] for e in log.entries()
                         if e["path"].startswith("/game/") and e["path"] != "/game/version_map.txt"
                         and "patch_list" not in e["path"]]
        c.equal(f"apply list, {name}: the files to fetch", flow.fetch, expect_fetch)
        c.check(f"apply list, {name}: the apply list is deleted", not os.path.exists(apply_list))
        if not expect_fetch:
            with open(cdn_list, "rb") as a, open(os.path.join(game, "version_map.txt"), "rb") as b:
                committed = a.read() == b.read()
            c.check("apply list, same version: committed, nothing fetched, ready",
                    committed and not fetched_files and flow.rest.startswith("rest EnterGame")
                    and not os.path.exists(os.path.join(game, "tmp_version_map.txt"))
                    and flow.versions.get("local") == TO, flow.lines[-4:])


@contextlib.contextmanager
def small_drive(folder, size="64m"):
    """A tmpfs mapped to a free Wine drive letter: (letter, mount point); None when not possible."""
    prefix = os.environ.get("WINEPREFIX", "")
    devices = os.path.join(prefix, "dosdevices")
    mount_point = os.path.join(folder, "drive-" + size)
    os.makedirs(mount_point, exist_ok=True)
    letter = next((l for l in "mnopqrstuvwxy" if not os.path.lexists(os.path.join(devices, l + ":"))), None)
    if not prefix or letter is None or subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs",
                                                       mount_point], stderr=subprocess.DEVNULL).returncode != 0:
        yield None
        return
    link = os.path.join(devices, letter + ":")
    try:
        os.symlink(mount_point, link)
        yield letter, mount_point
    finally:
        if os.path.lexists(link):
            os.remove(link)
        subprocess.run(["umount", mount_point])


def test_disk_space_boundary(c, w):
    """Exactly 4 GiB available is enough; one page less is short (an install into a new folder there)."""
    w.scenario(gate_game())
    for size, short in ((str(4 << 30), False), (str((4 << 30) - 4096), True)):
        with small_drive(w.folder, size) as drive:
            if drive is None:
                c.check("disk space boundary: a tmpfs could be mounted (needs mount rights)", False)
                return
            flow = w.run(w.launcher(), "install", "--game", drive[0].upper() + ":\\new")
            c.equal(f"disk space boundary, {size} bytes available: the install is refused",
                    "install refused" in flow.lines, short)


def free_letter():
    devices = os.path.join(os.environ.get("WINEPREFIX", ""), "dosdevices")
    return next(l for l in "yxwvutsrqp" if not os.path.lexists(os.path.join(devices, l + ":")))


def test_disk_space(c, w):
    w.scenario(gate_game())
    with small_drive(w.folder) as drive:
        if drive is None:
            c.check("disk space: a 64 MiB drive could be mounted (needs mount rights)", False)
            return
        letter, mount_point = drive
        game = os.path.join(mount_point, "game")
        shutil.copytree(os.path.join(w.release, "installed", "game-" + FROM), game)
        windows_game = letter.upper() + ":\\game"
        question = TEXTS["STRING_ERROR_NEED_DISKSPACE_R"].replace("{p2}", " 4.00G").replace("{p1}", letter.upper())
        for answer in ("no", "yes"):
            flow = w.run(w.launcher(), "update", "--game", windows_game, "--answer", answer)
            c.equal(f"small drive, {answer}: one box naming the drive",
                    flow.boxes, [[TEXTS["STRING_ERROR_NOTICE"], question, "", TEXTS["STRING_CANCEL"],
                                  TEXTS["STRING_DOWNLOAD_CONTINUE"], answer]])
            if answer == "no":
                c.check("small drive, no: rests stopped with the error box mark",
                        flow.states[-1] == ("Exception", "game")
                        and flow.rest == "rest Exception game errorBoxShowing=1", flow.lines[-5:])
            else:
                c.check("small drive, yes: goes on to the patch list and the download",
                        flow.names()[-3:] == ["Exception", "RequestPatch", "DownloadFiles"]
                        and flow.rest == "rest DownloadFiles game errorBoxShowing=0", flow.lines[-5:])

        # An install checks first, on the main window's side: a short drive stops it there.
        install = w.run(w.launcher(), "install", "--game", windows_game)
        need = TEXTS["STRING_ERROR_NEED_DISKSPACE"].replace("%ls", " 4.00G", 1)
        c.equal("small drive, install: the install box with the need filled in", install.boxes,
                [[TEXTS["STRING_ERROR_NOTICE"], need, "", "", TEXTS["STRING_CONFIRM"], "no"]])
        c.check("small drive, install: no game flow", "install refused" in install.lines
                and not install.game_names(), install.lines)

    # An unmapped drive: the notice, then the install goes on; the game flow then cannot keep the
    # remote list there, which is an error, not a silent success.
    letter = free_letter().upper()
    flow = w.run(w.launcher(), "install", "--game", letter + ":\\game")
    c.equal("unmapped drive: the unreadable-space notice first",
            flow.boxes[:1], [[TEXTS["STRING_ERROR_NOTICE"], TEXTS["STRING_ERROR_INVALID_DISKSPACE"], "", "",
                              TEXTS["STRING_CONFIRM"], "no"]])
    c.check("unmapped drive: then on into the game flow",
            flow.game_names() == ["Prepare", "RequestRemote", "Exception"],
            flow.states)
    c.check("unmapped drive: the unwritten remote list is the flow's error",
            flow.errors and flow.errors[-1][1].startswith("Write Failed:") and len(flow.boxes) == 2, flow.errors)


ALTERNATE_SOURCE, ALTERNATE_COPY = "TOLV_Data/Resources/unity_default_resources", \
    "TOLV_Data/Resources/unity default resources"


def test_alternate_copy_killed(c, w):
    """The flow killed while it copies a file to the name the client opens: nothing stands under that
    name, and the next run makes the whole copy."""
    w.scenario(gate_game())
    launcher = w.launcher()
    game = w.game()
    source = os.path.join(game, *ALTERNATE_SOURCE.split("/"))
    target = os.path.join(game, *ALTERNATE_COPY.split("/"))
    beside = target + ".replacing"
    if os.path.exists(target):
        os.remove(target)
    # Large enough that the copy takes a while; sparse, so it costs no disk until copied.
    size = 512 * 1024 * 1024
    with open(source, "r+b") as f:
        f.truncate(size)
        f.seek(size - 4)
        f.write(b"tail")
    partial = None
    for _ in range(3):
        process = launcher.start("flow", *game_args(game), "--decide", proxy=w.standin.addresses["proxy"])
        try:
            # The copy under way: a file of either name that is not yet whole.
            while partial is None and process.poll() is None:
                for path in (target, beside):
                    try:
                        got = os.path.getsize(path)
                    except OSError:
                        continue
                    if 0 < got < size:
                        partial = got
                        os.kill(process.pid, signal.SIGKILL)
                        break
                time.sleep(0.005)
        finally:
            if process.poll() is None:
                os.kill(process.pid, signal.SIGKILL)
            process.wait()
            process.stdout.close()
        if partial is not None:
            break
        # Copied whole before it was seen: start again without the copy.
        for path in (target, beside):
            if os.path.exists(path):
                os.remove(path)
    c.check("alternate copy killed: the flow was killed with the copy part-way", partial is not None)
    c.check("alternate copy killed: no part of a copy under the client's name",
            not os.path.exists(target), os.path.getsize(target) if os.path.exists(target) else None)
    flow = w.run(launcher, *game_args(game))
    whole = os.path.exists(target) and os.path.getsize(target) == size
    if whole:
        with open(target, "rb") as f:
            f.seek(size - 4)
            whole = f.read() == b"tail"
    c.check("alternate copy killed: the next run makes the whole copy", whole and flow.rest != "",
            (os.path.getsize(target) if os.path.exists(target) else None, flow.lines[-3:]))
    c.check("alternate copy killed: nothing left beside it", not os.path.exists(beside))
    # Two whole copies of a sparse file: free the disk at once.
    shutil.rmtree(game, ignore_errors=True)


def test_retry(c, w):
    w.scenario(gate_game())
    for answer, last in (("yes", "DownloadFiles"), ("no", "Exception")):
        # The launcher's gate query passes; the game's three tries fail once.
        w.standin.control("PUT", "/faults", [{"path": "/get/urls", "skip": 1, "first": 3, "status": 503}])
        before = len(w.standin.control("GET", "/reports"))
        flow = w.run(w.launcher(), *game_args(w.game(), answer))
        got = [r["json"] for r in w.standin.control("GET", "/reports")[before:] if r["kind"] == "tracking"]
        c.equal(f"gate failing once, retry {answer}: the error box reports \"exception\" once",
                [r.get("action_type") for r in got if r["log_type"] == "qzrolepclauncher"], ["exception"])
        game_names = flow.game_names()
        expected = ["Prepare", "Exception"] + (["Prepare", "RequestRemote", "CheckVersion", "RequestPatch",
                                                 "DownloadFiles"] if answer == "yes" else [])
        c.equal(f"gate failing once, retry {answer}: the game states", game_names, expected)
        c.check(f"gate failing once, retry {answer}: rests in {last}", flow.rest.startswith("rest " + last),
                flow.rest)
    w.standin.control("DELETE", "/faults")


def main():
    dvcli = sys.argv[1]
    c = Checks("update flows")
    folder = work_dir("flow")
    release = os.path.join(folder, "release")
    subprocess.run([sys.executable, RELEASE_PY, "generate", "--out", release, "--profile", "test",
                    "--resources", BUILT_SKIN], check=True, stdout=subprocess.DEVNULL)
    with Standin({"listeners": ["gate2"], "mounts": {}}, folder) as standin:
        w = World(c, dvcli, folder, standin, release)
        test_launcher_flow(c, w)
        test_game_gate_table(c, w)
        test_hashing_and_patches(c, w)
        test_apply_list(c, w)
        test_disk_space(c, w)
        test_disk_space_boundary(c, w)
        test_retry(c, w)
        test_alternate_copy_killed(c, w)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
