#!/usr/bin/env python3
"""Deterministic game, launcher and pre-download releases for tests and the demo, with patches in the
launcher's format made from real bsdiff output.

    release.py generate --out DIR [--profile test|demo] [--seed N] [--with-large]
                        [--tolv EXE] [--dorevezi EXE] [--resources ZIP]
    release.py demo [--cache DIR] [--profile demo|test] [--tolv EXE] [--dorevezi EXE] [--resources ZIP]

`generate` writes into DIR (which must not exist or be empty):

    manifest.json                      what was made: versions, folders, every file's md5 and size
    cdn/game-<V>/                      a content-server root whose current game release is V: every file,
                                       "version_map.txt" (flat form) and "patchs/<old>/" with
                                       "patch_list.txt" and the patches from each older version
    cdn/launcher/                      launcher 1.0.1: "dorevezi_version_map.txt" (list form), its files,
                                       "patchs/1_0_0/" (list form; every patch as .patch and .qzdiff)
    cdn/predownload/                   the next game release with the patches from the current one
    installed/game-<V>/                a game folder at version V, with its "version_map.txt"
    installed/launcher-1.0.0/          a launcher folder at 1.0.0 (no executable of its own unless --dorevezi,
                                       whose program is then launcher 1.0.0 itself)
    broken/                            one broken patch per failure of the launcher's applier, plus the
                                       patch they break (valid.patch) and its old and new file

Game versions: 10077_1_0 < 10077_2_0 < 10077_0_1 (current) < 10078_0_0 (pre-download) in the launcher's
order (the third number ranks above the second). Patch folders: under cdn/game-10077_0_1, patchs/10077_1_0
is in flat form with ".patch" files, patchs/10077_2_0 in list form with ".qzdiff" files (and so no
"TOLV.exe.patch": the launcher's probe picks ".qzdiff" there).

The demo profile is a few thousand files and some hundreds of MB; its trees are hard links into one
store, so copy a tree before a program writes into it. `demo` makes (once, keyed by the inputs) and
prints the folder of such a release under the cache folder (default /var/cache/dorevezi/demo).
"""

import argparse
import hashlib
import io
import json
import os
import random
import shutil
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import patchformat  # noqa: E402

GAME_VERSIONS = ["10077_1_0", "10077_2_0", "10077_0_1"]
CURRENT = "10077_0_1"
PREDOWNLOAD = "10078_0_0"
LAUNCHER_OLD, LAUNCHER_NEW = "1.0.0", "1.0.1"
FONTS = ["SourceHanSansCNRegular.ttf", "SourceHanSansCNBold.ttf", "LomaN.ttf", "LomaB.ttf"]
ALTERNATE_NAMES = {
    "TOLV_Data/Resources/unity_default_resources": "TOLV_Data/Resources/unity default resources",
    "TOLV_Data/Plugins/x86_64/VuplexWebViewChromium/Vuplex_WebView.vuplex":
        "TOLV_Data/Plugins/x86_64/VuplexWebViewChromium/Vuplex WebView.vuplex",
}
LARGE_FILE = "TOLV_Data/StreamingAssets/video/intro.bin"
LARGE_SIZE = 32 * 1024 * 1024 + 1  # two download pieces, the second of one byte
PATCH_LIMIT = 1024 * 1024  # files changed between versions stay below this, so bsdiff stays quick
KB = 1024


def jsoncpp_text(value):
    """JSON as the launcher writes it: tab indentation, sorted members, " : " between name and value."""
    return json.dumps(value, indent="\t", sort_keys=True, separators=(",", " : "))


def flat_list(version, entries):
    out = {path: {"md5": md5, "size": size} for path, (md5, size) in entries.items()}
    out["version"] = {"md5": version, "size": 0}
    return jsoncpp_text(out)


def list_form(version, entries):
    return jsoncpp_text({"version": version,
                         "list": {path: {"md5": md5, "size": size} for path, (md5, size) in entries.items()}})


class Catalogue:
    """Which files each game version holds and how their content is made."""

    def __init__(self, profile, seed, with_large, tolv_bytes):
        self.seed = seed
        self.tolv_bytes = tolv_bytes
        rng = random.Random(f"{seed}/catalogue/{profile}")
        base = {
            "TOLV.exe": None,
            "UnityPlayer.dll": 300 * KB,
            "TOLV_Data/Resources/unity_default_resources": 48 * KB,
            "TOLV_Data/Plugins/x86_64/VuplexWebViewChromium/Vuplex_WebView.vuplex": 20 * KB,
            "TOLV_Data/globalgamemanagers": 64 * KB,
            "TOLV_Data/level0": 120 * KB,
            "TOLV_Data/empty.flag": 0,
            "TOLV_Data/StreamingAssets/config/settings.json": 1 * KB,
        }
        if profile == "test":
            for i in range(16):
                base[f"TOLV_Data/StreamingAssets/bundles/bundle_{i:03d}.ab"] = rng.randint(2 * KB, 96 * KB)
            steps = {"10077_2_0": (3, 2, 1), CURRENT: (3, 1, 1), PREDOWNLOAD: (3, 1, 0)}
        else:
            for i in range(2800):
                roll = rng.random()
                size = (rng.randint(1024 * KB, 4096 * KB) if roll < 0.015 else
                        rng.randint(64 * KB, 384 * KB) if roll < 0.165 else rng.randint(4 * KB, 64 * KB))
                base[f"TOLV_Data/StreamingAssets/bundles/{i % 64:02x}/bundle_{i:04d}.ab"] = size
            with_large = True
            steps = {"10077_2_0": (20, 5, 3), CURRENT: (20, 5, 3), PREDOWNLOAD: (25, 5, 2)}
        if with_large:
            base[LARGE_FILE] = LARGE_SIZE
        self.sizes = dict(base)
        # version -> {path: generation}; the generation counts the changes a file has had
        self.versions = {GAME_VERSIONS[0]: {path: 0 for path in base}}
        self.versions[GAME_VERSIONS[0]]["TOLV.exe"] = GAME_VERSIONS[0]
        fixed_changes = {"10077_2_0": ["TOLV_Data/Resources/unity_default_resources",
                                       "TOLV_Data/StreamingAssets/config/settings.json"],
                         CURRENT: ["TOLV_Data/Plugins/x86_64/VuplexWebViewChromium/Vuplex_WebView.vuplex",
                                   "TOLV_Data/level0"],
                         PREDOWNLOAD: ["UnityPlayer.dll"]}
        previous = GAME_VERSIONS[0]
        added = 0
        for version in GAME_VERSIONS[1:] + [PREDOWNLOAD]:
            files = dict(self.versions[previous])
            modify, add, remove = steps[version]
            step_rng = random.Random(f"{seed}/plan/{version}")
            bundles = sorted(p for p in files if "/bundles/" in p and self.sizes[p] <= PATCH_LIMIT)
            changed = set(fixed_changes[version]) | set(step_rng.sample(bundles, modify))
            for path in sorted(changed):
                files[path] += 1
            for path in step_rng.sample(sorted(set(bundles) - changed), remove):
                del files[path]
            for _ in range(add):
                path = f"TOLV_Data/StreamingAssets/bundles/added/bundle_{added:03d}.ab"
                added += 1
                self.sizes[path] = step_rng.randint(2 * KB, 64 * KB)
                files[path] = 0
            files["TOLV.exe"] = version  # the executable changes in every release
            self.versions[version] = files
            previous = version

    def content(self, path, generation):
        """The bytes of one generation of a file (TOLV.exe: the executable stamped with the version)."""
        if path == "TOLV.exe":
            return self.tolv_bytes + b"\0DOREVEZI-STANDIN-RELEASE " + str(generation).encode() + b"\0"
        if generation == 0:
            data = random.Random(f"{self.seed}/content/{path}").randbytes(self.sizes[path])
            if path.endswith(".json"):
                data = bytes(0x20 + b % 0x5f for b in data)
            return data
        return mutate(self.content(path, generation - 1), random.Random(f"{self.seed}/edit/{path}/{generation}"))


def mutate(data, rng):
    """A new version of a file: a few overwritten, inserted and removed stretches, as real updates
    have, so that bsdiff finds most of the old file."""
    data = bytearray(data)
    for _ in range(rng.randint(1, 3)):
        span = max(1, min(len(data) // 100 or 1, rng.randint(1, 4096)))
        pos = rng.randint(0, max(0, len(data) - 1))
        kind = rng.choice(["overwrite", "insert", "delete"] if len(data) > span * 2 else ["insert"])
        if kind == "overwrite":
            data[pos:pos + span] = rng.randbytes(len(data[pos:pos + span]))
        elif kind == "insert":
            data[pos:pos] = rng.randbytes(span)
        else:
            del data[pos:pos + span]
    return bytes(data)


class Store:
    """Writes each distinct content once and places it in trees by hard link or copy."""

    def __init__(self, out):
        self.out = out
        self.blobs = os.path.join(out, ".blobs")
        os.makedirs(self.blobs, exist_ok=True)
        self.known = {}

    def put(self, data):
        md5 = hashlib.md5(data).hexdigest()
        if md5 not in self.known:
            path = os.path.join(self.blobs, md5)
            with open(path, "wb") as f:
                f.write(data)
            self.known[md5] = (path, len(data))
        return md5, len(data)

    def place(self, md5, dest, link):
        os.makedirs(os.path.dirname(dest), exist_ok=True)
        if link:
            os.link(self.known[md5][0], dest)
        else:
            shutil.copyfile(self.known[md5][0], dest)


def write_text(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def make_patch(store, old_md5, new_md5, dest_paths):
    """bsdiff of two stored contents, converted; written to every path of dest_paths."""
    with tempfile.TemporaryDirectory(prefix="dv-release-") as tmp:
        out = os.path.join(tmp, "patch")
        patchformat.bsdiff_to_container(store.known[old_md5][0], store.known[new_md5][0], out)
        with open(out, "rb") as f:
            data = f.read()
    for dest in dest_paths:
        os.makedirs(os.path.dirname(dest), exist_ok=True)
        with open(dest, "wb") as f:
            f.write(data)
    return hashlib.md5(data).hexdigest(), len(data)


def deterministic_zip(files):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in files:
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data)
    return buffer.getvalue()


def with_zip_comment(data, comment):
    buffer = io.BytesIO(data)
    with zipfile.ZipFile(buffer, "a") as archive:
        archive.comment = comment
    return buffer.getvalue()


def read_optional(path):
    if not path:
        return None
    with open(path, "rb") as f:
        return f.read()


def generate(out, profile="test", seed=1, with_large=False, tolv=None, dorevezi=None, resources=None):
    if os.path.exists(out) and os.listdir(out):
        raise SystemExit(f"release: {out} is not empty")
    os.makedirs(out, exist_ok=True)
    link_installed = profile != "test"
    store = Store(out)
    tolv_bytes = read_optional(tolv) or (b"MZ" + random.Random(f"{seed}/tolv").randbytes(64 * KB))
    catalogue = Catalogue(profile, seed, with_large, tolv_bytes)
    manifest = {"profile": profile, "seed": seed, "note": "installed/ and cdn/ trees of the demo profile are "
                "hard links: copy a tree before a program writes into it",
                "game": {"versions": GAME_VERSIONS, "current": CURRENT, "predownload": PREDOWNLOAD,
                         "alternate_names": ALTERNATE_NAMES, "installed": {}, "cdn": {}},
                "launcher": {}, "trees": {}, "broken": []}

    entries, stored = {}, {}
    for version, files in catalogue.versions.items():
        for path, gen in files.items():
            if (path, gen) not in stored:
                stored[path, gen] = store.put(catalogue.content(path, gen))
        entries[version] = {path: stored[path, gen] for path, gen in sorted(files.items())}

    def place_tree(rel, version_entries, link):
        for path, (md5, _) in version_entries.items():
            store.place(md5, os.path.join(out, rel, *path.split("/")), link)
        manifest["trees"][rel] = {p: {"md5": m, "size": s} for p, (m, s) in version_entries.items()}

    def patch_folder(root_rel, from_version, to_version, from_entries, to_entries, ext, form, patch_version_text):
        folder = os.path.join(out, root_rel, "patchs", patch_version_text)
        exts = [ext] if isinstance(ext, str) else ext
        patch_entries = {}
        for path, (md5, size) in to_entries.items():
            old = from_entries.get(path)
            if old is None or old[0] == md5 or size == 0:
                continue
            dests = [os.path.join(folder, *(path + e).split("/")) for e in exts]
            patch_entries[path] = make_patch(store, old[0], md5, dests)
        text = flat_list(to_version, patch_entries) if form == "flat" else list_form(to_version, patch_entries)
        write_text(os.path.join(folder, "patch_list.txt"), text)
        return {"from": from_version, "folder": f"{root_rel}/patchs/{patch_version_text}", "ext": exts,
                "form": form, "files": sorted(patch_entries)}

    # Installed game folders and content-server roots of each current release.
    for version in GAME_VERSIONS:
        rel = f"installed/game-{version}"
        place_tree(rel, entries[version], link_installed)
        write_text(os.path.join(out, rel, "version_map.txt"), flat_list(version, entries[version]))
        manifest["game"]["installed"][version] = rel
    for version in GAME_VERSIONS[1:]:
        rel = f"cdn/game-{version}"
        place_tree(rel, entries[version], True)
        write_text(os.path.join(out, rel, "version_map.txt"), flat_list(version, entries[version]))
        patches = {}
        for old in GAME_VERSIONS[:GAME_VERSIONS.index(version)]:
            qz = old == "10077_2_0"
            patches[old] = patch_folder(rel, old, version, entries[old], entries[version], ".qzdiff" if qz else ".patch",
                                        "list" if qz else "flat", old)
        manifest["game"]["cdn"][version] = {"root": rel, "patches": patches}

    # The pre-download release, with patches from the current release.
    rel = "cdn/predownload"
    place_tree(rel, entries[PREDOWNLOAD], True)
    write_text(os.path.join(out, rel, "version_map.txt"), flat_list(PREDOWNLOAD, entries[PREDOWNLOAD]))
    manifest["predownload"] = {"version": PREDOWNLOAD, "root": rel, "patches": {
        CURRENT: patch_folder(rel, CURRENT, PREDOWNLOAD, entries[CURRENT], entries[PREDOWNLOAD], ".patch", "flat", CURRENT)}}

    # The launcher release 1.0.0 (installed) and 1.0.1 (on the content server).
    launcher_rng = random.Random(f"{seed}/launcher")
    exe = read_optional(dorevezi) or (b"MZ" + launcher_rng.randbytes(200 * KB))
    skin = read_optional(resources) or deterministic_zip(
        [("readme.txt", b"Not a skin: made by the release generator for tests.\n"),
         ("data.bin", launcher_rng.randbytes(16 * KB))])
    # Given a real launcher, 1.0.0 is that very program, so a self-update patches a real old file and the
    # updated launcher (the same program with a release mark after it) still runs.
    old_exe = exe if dorevezi else exe + b"\0DOREVEZI-STANDIN-RELEASE 1.0.0\0"
    old_files = {"dorevezi.exe": old_exe, "resources.zip": skin}
    for font in FONTS:
        old_files[font] = random.Random(f"{seed}/font/{font}").randbytes(24 * KB)
    for name, size in (("libcef.dll", 256), ("cef_helper.exe", 64), ("dummy_cmd.exe", 16), ("resources.pak", 96),
                       ("locales/zh-CN.pak", 32)):
        old_files["cef/" + name] = random.Random(f"{seed}/cef/{name}").randbytes(size * KB)
    new_files = dict(old_files)
    new_files["dorevezi.exe"] = exe + b"\0DOREVEZI-STANDIN-RELEASE 1.0.1\0"
    new_files["resources.zip"] = with_zip_comment(skin, b"release 1.0.1")
    new_files["LomaN.ttf"] = mutate(old_files["LomaN.ttf"], random.Random(f"{seed}/font-edit"))
    new_files["cef/resources.pak"] = mutate(old_files["cef/resources.pak"], random.Random(f"{seed}/cef-edit"))
    new_files["cef/locales/en-US.pak"] = random.Random(f"{seed}/cef/en-US").randbytes(32 * KB)
    old_entries = {p: store.put(d) for p, d in sorted(old_files.items())}
    new_entries = {p: store.put(d) for p, d in sorted(new_files.items())}
    rel_old, rel_new = f"installed/launcher-{LAUNCHER_OLD}", "cdn/launcher"
    installed_entries = {p: e for p, e in old_entries.items() if p != "dorevezi.exe" or dorevezi}
    place_tree(rel_old, installed_entries, link_installed)
    write_text(os.path.join(out, rel_old, "dorevezi_version_map.txt"), list_form(LAUNCHER_OLD, old_entries))
    place_tree(rel_new, new_entries, True)
    write_text(os.path.join(out, rel_new, "dorevezi_version_map.txt"), list_form(LAUNCHER_NEW, new_entries))
    patchable = {p: e for p, e in new_entries.items() if p != "resources.zip"}
    launcher_patches = patch_folder(rel_new, LAUNCHER_OLD, LAUNCHER_NEW, old_entries, patchable, [".patch", ".qzdiff"], "list",
                                    LAUNCHER_OLD.replace(".", "_"))
    manifest["launcher"] = {"installed": {"version": LAUNCHER_OLD, "root": rel_old},
                            "cdn": {"version": LAUNCHER_NEW, "root": rel_new, "patches": {LAUNCHER_OLD: launcher_patches}}}

    # Broken patches, one per failure of the applier, all against the same old file.
    broken = os.path.join(out, "broken")
    os.makedirs(broken)
    for name, data in (("old.bin", patchformat.OLD_SAMPLE), ("new.bin", patchformat.NEW_SAMPLE),
                       ("valid.patch", patchformat.VALID_SAMPLE)):
        with open(os.path.join(broken, name), "wb") as f:
            f.write(data)
    for variant, data, error in patchformat.broken_variants():
        with open(os.path.join(broken, variant + ".patch"), "wb") as f:
            f.write(data)
        stage, code = patchformat.ERRORS[error]
        manifest["broken"].append({"file": f"broken/{variant}.patch", "old": "broken/old.bin", "error": error,
                                   "stage": stage, "code": code})

    write_text(os.path.join(out, "manifest.json"), json.dumps(manifest, indent=1, sort_keys=True) + "\n")
    return manifest


def _file_digest(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def demo(cache, profile, tolv, dorevezi, resources):
    """The folder of a release made from these inputs, made once and kept in cache."""
    key = hashlib.sha256()
    for path in sorted(os.path.join(HERE, n) for n in ("release.py", "patchformat.py")):
        key.update(_file_digest(path).encode())
    key.update(profile.encode())
    for path in (tolv, dorevezi, resources):
        key.update((_file_digest(path) if path else "-").encode())
    name = f"{profile}-{key.hexdigest()[:16]}"
    target = os.path.join(cache, name)
    if os.path.exists(os.path.join(target, ".complete")):
        return target
    os.makedirs(cache, exist_ok=True)
    work = tempfile.mkdtemp(dir=cache, prefix=".make-")
    try:
        generate(os.path.join(work, "release"), profile=profile, tolv=tolv, dorevezi=dorevezi, resources=resources)
        open(os.path.join(work, "release", ".complete"), "w").close()
        if os.path.exists(target):
            shutil.rmtree(target)
        os.rename(os.path.join(work, "release"), target)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    # Earlier releases of the same profile are of no further use.
    for other in os.listdir(cache):
        if other.startswith(profile + "-") and other != name:
            shutil.rmtree(os.path.join(cache, other), ignore_errors=True)
    return target


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    for name in ("generate", "demo"):
        p = sub.add_parser(name)
        p.add_argument("--tolv")
        p.add_argument("--dorevezi")
        p.add_argument("--resources")
        if name == "generate":
            p.add_argument("--out", required=True)
            p.add_argument("--profile", choices=["test", "demo"], default="test")
            p.add_argument("--seed", type=int, default=1)
            p.add_argument("--with-large", action="store_true")
        else:
            p.add_argument("--cache", default="/var/cache/dorevezi/demo")
            p.add_argument("--profile", choices=["test", "demo"], default="demo")
    args = parser.parse_args(argv)
    if args.command == "generate":
        manifest = generate(args.out, args.profile, args.seed, args.with_large, args.tolv, args.dorevezi,
                            args.resources)
        files = sum(len(t) for t in manifest["trees"].values())
        print(f"release: {args.out}: {len(manifest['trees'])} trees, {files} placed files")
    else:
        print(demo(args.cache, args.profile, args.tolv, args.dorevezi, args.resources))
    return 0


if __name__ == "__main__":
    sys.exit(main())
