#!/usr/bin/env python3
"""The release generator: version lists that describe their trees in both forms, patch lists whose
patches turn each older version's file into the current one, the probe object that selects the patch
extension, broken patches that fail as listed, and the same bytes on every run."""

import hashlib
import json
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from standin_support import STANDIN_DIR, Checks, work_dir  # noqa: E402
import patchformat as pf  # noqa: E402
import release  # noqa: E402


def md5_of(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def read_list(path):
    """(version, {path: (md5, size)}) of a version list in either form, as the launcher reads it."""
    with open(path) as f:
        value = json.load(f)
    if value.get("list") is not None:
        return value["version"], {k: (v["md5"], v["size"]) for k, v in value["list"].items()}
    entries = {k: (v["md5"], v["size"]) for k, v in value.items()}
    return entries.pop("version")[0], entries


def order_key(version):
    a, b, c = (int(p) for p in version.split("_"))
    return a, c, b


def main():
    c = Checks("release generator")
    folder = work_dir("release")
    try:
        out = os.path.join(folder, "one")
        tolv = os.path.join(folder, "TOLV.exe")
        with open(tolv, "wb") as f:
            f.write(b"MZ stand-in executable")
        r = subprocess.run([sys.executable, os.path.join(STANDIN_DIR, "release.py"), "generate", "--out", out,
                            "--tolv", tolv], capture_output=True, text=True)
        c.check("generate runs", r.returncode == 0, r.stderr[-2000:])
        manifest = json.load(open(os.path.join(out, "manifest.json")))

        versions = manifest["game"]["versions"] + [manifest["game"]["predownload"]]
        c.check("game versions ascend in the launcher's order (A, then C, then B)",
                sorted(versions, key=order_key) == versions and versions[2] == "10077_0_1", versions)

        bad = [f"{tree}/{p}" for tree, files in manifest["trees"].items() for p, e in files.items()
               if md5_of(os.path.join(out, tree, *p.split("/"))) != e["md5"]]
        c.check("every placed file has the md5 the manifest names", not bad, bad[:5])

        for version, rel in manifest["game"]["installed"].items():
            listed_version, entries = read_list(os.path.join(out, rel, "version_map.txt"))
            tree = {p: (e["md5"], e["size"]) for p, e in manifest["trees"][rel].items()}
            c.check(f"installed {version}: flat version list names its files and version",
                    listed_version == version and entries == tree)
        for version, info in manifest["game"]["cdn"].items():
            listed_version, entries = read_list(os.path.join(out, info["root"], "version_map.txt"))
            c.check(f"content server {version}: version list matches the tree",
                    listed_version == version and entries == {p: (e["md5"], e["size"]) for p, e in
                                                              manifest["trees"][info["root"]].items()})
        current = manifest["game"]["cdn"]["10077_0_1"]
        first = read_list(os.path.join(out, current["root"], "version_map.txt"))[1]
        c.check("game lists carry the files the launcher handles specially",
                "TOLV.exe" in first and all(p in first for p in release.ALTERNATE_NAMES) and
                first["TOLV_Data/empty.flag"][1] == 0)
        exe = open(os.path.join(out, current["root"], "TOLV.exe"), "rb").read()
        c.check("TOLV.exe is the given executable, stamped with the release", exe.startswith(b"MZ stand-in"))
        tolvs = {md5_of(os.path.join(out, rel, "TOLV.exe")) for rel in manifest["game"]["installed"].values()}
        c.equal("TOLV.exe differs in every version", len(tolvs), 3)

        # Every patch of every patch folder turns the old version's file into the current one.
        patch_sets = [(v, old, info, manifest["game"]["installed"][old]) for v, cdn in manifest["game"]["cdn"].items()
                      for old, info in cdn["patches"].items()]
        patch_sets.append(("10078_0_0", "10077_0_1", manifest["predownload"]["patches"]["10077_0_1"],
                           manifest["game"]["installed"]["10077_0_1"]))
        launcher = manifest["launcher"]
        patch_sets.append(("1.0.1", "1.0.0", launcher["cdn"]["patches"]["1.0.0"], launcher["installed"]["root"]))
        roots = {"10078_0_0": manifest["predownload"]["root"], "1.0.1": launcher["cdn"]["root"]}
        for target, old, info, old_root in patch_sets:
            target_root = manifest["game"]["cdn"][target]["root"] if target in manifest["game"]["cdn"] else roots[target]
            listed_version, entries = read_list(os.path.join(out, info["folder"], "patch_list.txt"))
            form = "list" if json.load(open(os.path.join(out, info["folder"], "patch_list.txt"))).get("list") else "flat"
            problems = []
            for path, (md5, size) in entries.items():
                for ext in info["ext"]:
                    patch = os.path.join(out, info["folder"], *(path + ext).split("/"))
                    if md5_of(patch) != md5 or os.path.getsize(patch) != size:
                        problems.append(f"{path}{ext}: list entry")
                    old_file = os.path.join(out, old_root, *path.split("/"))
                    if not os.path.exists(old_file):  # the installed launcher has no executable of its own
                        continue
                    new = pf.apply_container(old_file, patch)
                    if hashlib.md5(new).hexdigest() != manifest["trees"][target_root][path]["md5"]:
                        problems.append(f"{path}{ext}: result")
            c.check(f"patches {old} -> {target} ({form} form, {','.join(info['ext'])}) round-trip",
                    entries and not problems and form == info["form"] and sorted(entries) == info["files"],
                    problems[:5])
        probes = {old: os.path.exists(os.path.join(out, info["folder"], "TOLV.exe.patch"))
                  for old, info in current["patches"].items()}
        c.equal("probe object TOLV.exe.patch present only where .patch is used", probes,
                {"10077_1_0": True, "10077_2_0": False})

        listed_version, entries = read_list(os.path.join(out, launcher["cdn"]["root"], "dorevezi_version_map.txt"))
        names = {"dorevezi.exe", "resources.zip"} | set(release.FONTS)
        c.check("launcher list (list form) names the executable, skin, four fonts and cef files",
                listed_version == "1.0.1" and names <= set(entries) and any(p.startswith("cef/") for p in entries))
        installed_version, installed = read_list(os.path.join(out, launcher["installed"]["root"],
                                                              "dorevezi_version_map.txt"))
        c.check("installed launcher at 1.0.0 differs from 1.0.1", installed_version == "1.0.0" and
                {p for p in entries if entries[p] != installed.get(p)} >
                {"dorevezi.exe", "resources.zip", "LomaN.ttf", "cef/resources.pak"})
        lp = launcher["cdn"]["patches"]["1.0.0"]
        c.check("launcher patches under patchs/1_0_0 with both extensions",
                lp["folder"].endswith("patchs/1_0_0") and lp["ext"] == [".patch", ".qzdiff"] and
                "dorevezi.exe" in lp["files"] and "resources.zip" not in lp["files"])

        errors = []
        for item in manifest["broken"]:
            try:
                pf.apply_container(os.path.join(out, item["old"]), os.path.join(out, item["file"]))
                errors.append(f"{item['file']} applied")
            except pf.PatchError as e:
                if e.name != item["error"]:
                    errors.append(f"{item['file']}: {e.name}")
        c.check("each broken patch fails with the error the manifest names", manifest["broken"] and not errors, errors)
        c.equal("the patch they break is valid", pf.apply_container(os.path.join(out, "broken", "old.bin"),
                                                                     os.path.join(out, "broken", "valid.patch")),
                open(os.path.join(out, "broken", "new.bin"), "rb").read())
        installed_file = os.path.join(out, manifest["game"]["installed"]["10077_1_0"], "UnityPlayer.dll")
        c.equal("installed trees of the test profile are copies, safe to write into", os.stat(installed_file).st_nlink, 1)

        again = os.path.join(folder, "two")
        release.generate(again, tolv=tolv)
        c.check("a second run gives the same release", json.load(open(os.path.join(again, "manifest.json"))) == manifest)

        large = release.Catalogue("test", 1, True, b"MZ")
        c.equal("--with-large adds a file of two download pieces", large.sizes[release.LARGE_FILE], 32 * 1024 * 1024 + 1)

        cache = os.path.join(folder, "cache")
        first_path = release.demo(cache, "test", None, None, None)
        stamp = os.stat(os.path.join(first_path, ".complete")).st_mtime_ns
        second_path = release.demo(cache, "test", None, None, None)
        c.check("demo release is made once and kept", first_path == second_path and
                os.stat(os.path.join(second_path, ".complete")).st_mtime_ns == stamp)
    finally:
        status = c.finish()
        if status == 0:
            shutil.rmtree(folder, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
