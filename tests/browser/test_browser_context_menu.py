#!/usr/bin/env python3
"""Right clicks on a page the server stand-in serves over HTTPS: OnBeforeContextMenu hears where, the link
there and the page, with the runtime's items; a native menu shows only while items remain, and its chosen
item goes to OnContextMenuCommand before the runtime acts on it (Reload loads the page again)."""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "tools"))
sys.path.insert(0, HERE)
from standin_support import Checks, Standin, work_dir  # noqa: E402
from test_browser_loads import probe_folder, run_probe  # noqa: E402
import certs  # noqa: E402

PAGE = """<!DOCTYPE html>
<html><head><title>Menu</title><style>
body { margin: 0; font-size: 20px; }
a { position: absolute; left: 10px; top: 10px; }
</style></head><body><a href="target.html">A link</a></body></html>
"""

ITEMS = "100:&Back;101:&Forward;-1:;102:&Reload;"


def main():
    c = Checks("browser context menu")
    folder = work_dir("browser_context_menu")
    site = os.path.join(folder, "site")
    os.makedirs(site, exist_ok=True)
    with open(os.path.join(site, "menu.html"), "w") as f:
        f.write(PAGE)
    with Standin({"mounts": {"/site/": site}}, folder) as s:
        run = os.path.join(folder, "probe")
        probe_folder(run)
        page = s.addresses["main"] + "/site/menu.html"
        trust = "--trust=" + certs.windows_path(s.addresses["ca"])
        cases = [
            # (what, point, handler's choice, expected OnBeforeContextMenu, menu shown)
            ("on the page, items kept", "300,250", "keep", f"at 300,250 link  page {page} items {ITEMS} frame 1", "1"),
            ("on the link, items cleared", "20,20", "clear",
             f"at 20,20 link {s.addresses['main']}/site/target.html page {page} items {ITEMS} frame 1", "0"),
        ]
        for what, point, choice, asked, shown in cases:
            seen = run_probe(run, ["menu", trust, page, point, choice])
            c.equal(f"{what}: page loaded", seen.get("loaded"), "200")
            c.equal(f"{what}: OnBeforeContextMenu", seen.get("asked_with"), asked)
            c.equal(f"{what}: asked once", seen.get("askings"), "1")
            c.equal(f"{what}: native menu shown", seen.get("menu_shown"), shown)
            c.equal(f"{what}: no load followed the click", seen.get("loads_after_click"), "0")
            if shown == "1":
                c.equal(f"{what}: menu closed by its item's key", seen.get("menu_closed"), "1")
                c.equal(f"{what}: OnContextMenuCommand got Reload", seen.get("command"), "102")
                c.equal(f"{what}: the runtime reloaded the page", seen.get("reloaded"), "200")
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
