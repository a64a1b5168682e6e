"""The ready state's background check for a pre-download and the game update's take-over of what was
pre-downloaded, run by `dvcli flow` under Wine against the stand-in's releases: the chain of five requests
and the page it ends with, a requested pre-download restarted by that check after a game flow stopped it,
and the update to the pre-downloaded release (files taken over, a damaged one fetched again, the notice of
an unfinished pre-download).
Usage: test_predownload_update.py <dvcli.exe>"""

import json
import os
import shutil
import subprocess
import sys

from dl_support import BUILT_SKIN, Checks, Log, Standin, windows_path, work_dir
from test_flow import TEXTS, list_entries, read_json
from test_predownload import (CURRENT, NEXT, RELEASE_PY, Run, World, expected_files, folder_state, md5_file,
                              transfers)

CHAIN = ["/pre_download", "/get/urls", "/game/version_map.txt", "/predl/version_map.txt",
         "/predl/patchs/%s/patch_list.txt" % CURRENT]


class Ready(Run):
    def __init__(self, code, lines):
        super().__init__(code, lines)
        self.sizes = [int(l.split("size=")[1]) for l in lines if l.startswith("predl 1 ") and "size=" in l]
        self.changed = "game-version-changed" in lines


def with_ready_settings(w, launcher):
    # The check period then no longer depends on the machine's uptime (the tick count follows it).
    launcher.set_setting({"CAFile": w.standin.addresses["ca_windows"], "GateURLs": [w.standin.addresses["gate"]],
                          "UpdateInterval": 1})
    return launcher


def run_flow(w, launcher, *args):
    code, lines = launcher.run("flow", *args, proxy=w.standin.addresses["proxy"], timeout=240)
    return Ready(code, lines)


def next_release_current(w, pre_dlc_check=False):
    """The stand-in serves the pre-downloaded release as the current game release."""
    root = os.path.join(w.release, "cdn", "predownload")
    w.standin.control("PUT", "/scenario", {
        "mounts": {"/launcher/": os.path.join(w.release, "cdn", "launcher"), "/game/": root, "/predl/": root},
        "gate": {"urls": {"DlcAddr": ["{main}/game/"], "Others": {"PatchOption": 2, "PreDlcCheck": pre_dlc_check}}},
        "faults": [], "echo_ip": "203.0.113.7"})


def counted_size(release):
    """The size the check announces: the patch's size for each file the patch list names, else the file's."""
    root = os.path.join(release, "cdn", "predownload")
    installed = list_entries(os.path.join(release, "installed", "game-" + CURRENT, "version_map.txt"))
    remote = list_entries(os.path.join(root, "version_map.txt"))
    patches = list_entries(os.path.join(root, "patchs", CURRENT, "patch_list.txt"))
    return sum(patches[k]["size"] if k in patches else e["size"] for k, e in remote.items()
               if k not in installed or installed[k]["md5"] != e["md5"])


def game_is_next(release, game):
    """Keys of the next release's list whose file in the game folder is missing or wrong."""
    remote = list_entries(os.path.join(release, "cdn", "predownload", "version_map.txt"))
    return sorted(k for k, e in remote.items()
                  if not os.path.exists(os.path.join(game, k)) or md5_file(os.path.join(game, k)) != e["md5"])


def list_form_copy(w, source, name):
    """A copy of a content-server root whose version list is in the list form."""
    target = os.path.join(w.folder, name)
    if not os.path.exists(target):
        shutil.copytree(source, target)
        path = os.path.join(target, "version_map.txt")
        version = read_json(path)["version"]
        version = version["md5"] if isinstance(version, dict) else version
        entries = list_entries(path)
        with open(path, "w") as f:
            json.dump({"version": version, "list": entries}, f)
    return target


def test_ready_chain(c, w):
    size = counted_size(w.release)
    empty = os.path.join(w.folder, "no-game")
    os.makedirs(empty, exist_ok=True)
    list_forms = {"/game/": list_form_copy(w, os.path.join(w.release, "cdn", "game-" + CURRENT), "game-list"),
                  "/predl/": list_form_copy(w, os.path.join(w.release, "cdn", "predownload"), "predl-list")}
    table = [
        # name, installed game, faults, mounts replaced, chain asked, last page, update announced
        ("the current release installed", CURRENT, [], {}, CHAIN, (1, 0), False),
        ("both lists in the list form", CURRENT, [], list_forms, CHAIN, (1, 0), False),
        ("a failing pre_download query", CURRENT, [{"path": "/pre_download", "status": 500}], {}, CHAIN, (1, 0),
         False),
        ("an older release installed", "10077_2_0", [], {}, CHAIN[:4], (0, 0), True),
        ("no game installed", None, [], {}, [], None, False),
    ]
    for name, version, faults, mounts, chain, page, changed in table:
        w.scenario(faults=faults)
        if mounts:
            scenario = w.standin.control("GET", "/scenario")
            w.standin.control("POST", "/scenario", {"mounts": dict(scenario["mounts"], **mounts)})
        launcher = with_ready_settings(w, w.launcher())
        game = w.game(version) if version else empty
        log = Log(w.standin)
        run = run_flow(w, launcher, "launcher", "--game", windows_path(game), "--ready", "2")
        entries = log.entries()
        # A failing request is tried again at once: one request for the chain.
        entries = [e for i, e in enumerate(entries) if i == 0 or e["path"] != entries[i - 1]["path"]]
        paths = [e["path"] for e in entries]
        start = paths.index("/pre_download") if "/pre_download" in paths else len(paths)
        asked = [p for p in paths[start:] if p in CHAIN]
        c.check(f"ready chain, {name}: one chain, its requests in a row: {chain}",
                paths[start:start + len(chain)] == chain and asked == chain and run.code == 0,
                (paths, run.lines))
        if chain:
            query = entries[start]["query"] or ""
            c.check(f"ready chain, {name}: the pre-download query names the channel and the device",
                    query.startswith("channel=CN&udid=") and len(query) > len("channel=CN&udid="), query)
        c.equal(f"ready chain, {name}: the page", run.pages[-1:], [page] if page else [])
        if page == (1, 0):
            c.equal(f"ready chain, {name}: the size counts patches for patched files", run.sizes, [size])
        c.equal(f"ready chain, {name}: the new release announced", run.changed, changed)


def test_requested_restarts(c, w):
    # The whole file sends its first bytes, then hangs: the game flow starts while it downloads.
    w.scenario(faults=[{"path": "/predl/TOLV_Data/*", "stall": 8, "stall_after": 20000}])
    files = expected_files(w.release)
    release_root = os.path.join(w.release, "cdn", "predownload")
    fast = sum(os.path.getsize(os.path.join(release_root, *url[len("/predl/"):].split("/")))
               for _, url in files.values() if "/patchs/" in url)
    launcher, game = with_ready_settings(w, w.launcher()), w.game()
    log = Log(w.standin)
    # Every patch and the whole file's first bytes: the patches are all done when the game flow starts.
    run = run_flow(w, launcher, "predownload", "--game", windows_path(game), "--update-at", str(fast + 20000),
                   "--ready", "2")
    folder = folder_state(launcher)
    got = {k: md5_file(os.path.join(folder, k)) for k in files if os.path.exists(os.path.join(folder, k))}
    stopped = run.pages.index((-1, -1)) if (-1, -1) in run.pages else None
    c.check("restart: stopped by the game flow (page -1), then the ready state's check restarts it to the end",
            stopped is not None and run.pages[-1] == (3, 0) and 2 in [p for p, _ in run.pages[stopped:]] and
            run.request == "0" and not run.boxes, run.lines)
    c.check("restart: every file right, the list complete",
            got == {k: v[0] for k, v in files.items()} and
            os.path.exists(os.path.join(folder, "predownload_version_map.txt")) and
            not os.path.exists(os.path.join(folder, "tmp_predownload_version_map.txt")), (got, os.listdir(folder)))
    entries = [e for e in log.entries() if e["method"] == "GET" and e["range"] != "bytes=0-0"]
    asked = [e["path"] for e in entries]
    # The stop: the game flow's gate query, the first one after the transfers began. A file whose whole
    # answer ended well before it was on disk by then (one still in flight is rightly asked again).
    first_transfer = next(i for i, e in enumerate(entries) if e["path"] in {u for _, u in files.values()})
    stop = next(e["start"] for e in entries[first_transfer:] if e["path"] == "/get/urls")
    sizes = {url: os.path.getsize(os.path.join(release_root, *url[len("/predl/"):].split("/")))
             for _, url in files.values()}
    done = {e["path"] for e in entries if e["path"] in sizes and e["range"] == "bytes=0-%d" % (sizes[e["path"]] - 1)
            and e["bytes"] == sizes[e["path"]] and e["end"] < stop - 1.0}
    c.check("restart: the files done before the stop are not fetched again",
            done and all(asked.count(u) == 1 for u in done), (done, asked))


def fill(w, launcher, game):
    """A complete pre-download of the next release: (whether it completed, the run)."""
    w.scenario()
    run = w.run(launcher, game)
    return run.pages[-1:] == [(3, 0)], run


def test_take_over(c, w):
    files = expected_files(w.release)
    # The game update fetches from the game's servers what the pre-download fetched from its own.
    game_urls = {k: url.replace("/predl/", "/game/", 1) for k, (_, url) in files.items()}

    launcher, game = w.launcher(), w.game()
    ok, run = fill(w, launcher, game)
    c.check("take-over: the pre-download is complete first", ok, run.lines)
    next_release_current(w)
    log = Log(w.standin)
    run = run_flow(w, launcher, "update", "--game", windows_path(game))
    asked = transfers(log)
    folder = folder_state(launcher)
    c.check("take-over: the update ends in the ready state", run.states[-1:] == [("EnterGame", "game")], run.lines)
    c.equal("take-over: no pre-downloaded file is fetched", sorted(asked & set(game_urls.values())), [])
    c.equal("take-over: every game file as the release lists it", game_is_next(w.release, game), [])
    c.equal("take-over: the pre-downloaded files are gone from their folder",
            sorted(k for k in files if os.path.exists(os.path.join(folder, k))), [])

    # One patch damaged on disk, the gate's check option off: that patch alone comes again.
    launcher, game = w.launcher(), w.game()
    ok, run = fill(w, launcher, game)
    c.check("damaged: the pre-download is complete first", ok, run.lines)
    damaged = sorted(k for k in files if k.endswith(".patch"))[0]
    path = os.path.join(folder_state(launcher), damaged)
    with open(path, "r+b") as f:
        first = f.read(1)
        f.seek(0)
        f.write(bytes([first[0] ^ 0xFF]))
    next_release_current(w, pre_dlc_check=False)
    log = Log(w.standin)
    run = run_flow(w, launcher, "update", "--game", windows_path(game))
    asked = transfers(log)
    c.equal("damaged: exactly that patch is fetched again", sorted(asked & set(game_urls.values())),
            [game_urls[damaged]])
    c.equal("damaged: every game file as the release lists it", game_is_next(w.release, game), [])

    # A pre-download stopped half-way: the update takes what is there over and says the rest comes now.
    w.scenario(faults=[{"path": "/predl/TOLV_Data/*", "stall": 8, "stall_after": 20000}])
    release_root = os.path.join(w.release, "cdn", "predownload")
    fast = sum(os.path.getsize(os.path.join(release_root, *url[len("/predl/"):].split("/")))
               for _, url in files.values() if "/patchs/" in url)
    launcher, game = w.launcher(), w.game()
    w.run(launcher, game, "--update-at", str(fast))
    folder = folder_state(launcher)
    done = sorted(k for k, (md5, _) in files.items() if os.path.exists(os.path.join(folder, k)) and
                  not os.path.exists(os.path.join(folder, k + ".cfg")) and md5_file(os.path.join(folder, k)) == md5)
    c.check("unfinished: the pre-download was stopped with some files done",
            done and os.path.exists(os.path.join(folder, "tmp_predownload_version_map.txt")), os.listdir(folder))
    next_release_current(w)
    log = Log(w.standin)
    run = run_flow(w, launcher, "update", "--game", windows_path(game))
    asked = transfers(log)
    notices = [b for b in run.boxes if b[1] == TEXTS["STRING_ERROR_DLC_CLOSE"]]
    c.check("unfinished: the notice opens once, with a single confirm button, and the page is cleared after it",
            len(notices) == 1 and notices[0][3] == "" and notices[0][4] == TEXTS["STRING_CONFIRM"] and
            (0, 0) in run.pages, run.lines)
    c.equal("unfinished: the files done before are not fetched", sorted(asked & {game_urls[k] for k in done}), [])
    c.equal("unfinished: every game file as the release lists it", game_is_next(w.release, game), [])


def main():
    dvcli = sys.argv[1]
    c = Checks("pre-download and update")
    folder = work_dir("predownload_update")
    release = os.path.join(folder, "release")
    subprocess.run([sys.executable, RELEASE_PY, "generate", "--out", release, "--profile", "test",
                    "--resources", BUILT_SKIN], check=True, stdout=subprocess.DEVNULL)
    with Standin({"mounts": {}}, folder) as standin:
        w = World(c, dvcli, folder, standin, release)
        test_ready_chain(c, w)
        test_requested_restarts(c, w)
        test_take_over(c, w)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
