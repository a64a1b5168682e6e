#!/usr/bin/env python3
"""Link clicks in a windowless browser of the runtime stand-in, over HTTPS from the server stand-in: for
each kind of link, the page is loaded afresh, the mouse moves over the link (the pointer becomes a hand)
and clicks it, and the case gives exactly its events: a link asks OnBeforeBrowse and loads (or is
cancelled there; the loaded page's console output reaches OnConsoleMessage), a link to another window asks OnBeforePopup only, another scheme goes to
OnProtocolExecution, a link into the same page changes the address only, and loads that fail report
their errors."""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "tools"))
sys.path.insert(0, HERE)
from standin_support import Checks, Standin, work_dir  # noqa: E402
from test_browser_loads import free_port, probe_folder, run_probe  # noqa: E402
import certs  # noqa: E402

LINKS = [
    # name, href, target
    ("link", "target.html", ""),
    ("link cancelled in OnBeforeBrowse", "cancel.html", ""),
    ("_blank", "popup.html", "_blank"),
    ("mailto", "mailto:someone@example.com", ""),
    ("#x", "#x", ""),
    ("404", "missing.html", ""),
    ("refused port", "{refused}", ""),
    ("untrusted certificate", "{untrusted}", ""),
    ("page with a cancelled image", "image.html", ""),
]


def page(links):
    rows = []
    for index, (_, href, target) in enumerate(links):
        attribute = f' target="{target}"' if target else ""
        rows.append(f'<a href="{href}"{attribute} style="top: {10 + 30 * index}px">link {index}</a>')
    return ("<!DOCTYPE html><html><head><title>Links</title><style>"
            "body { margin: 0; } a { position: absolute; left: 10px; display: block; width: 150px; height: 20px; }"
            "#x { position: absolute; top: 2000px; }"
            "</style></head><body>" + "".join(rows) + '<p id="x">here</p>'
            # A script reads and sets the page's title.
            "<script>document.title = document.title + ' \u94fe\u63a5';</script></body></html>")


def main():
    c = Checks("browser navigation")
    folder = work_dir("browser_navigation")
    site = os.path.join(folder, "site")
    os.makedirs(site, exist_ok=True)
    untrusted_folder = os.path.join(folder, "untrusted")
    os.makedirs(untrusted_folder, exist_ok=True)
    for name in ("target.html", "cancel.html", "popup.html"):
        with open(os.path.join(site, name), "w") as f:
            f.write(f"<html><head><title>{name}</title></head><body>{name}"
                    f"<script>console.log('{name} says hi')</script></body></html>")
    with open(os.path.join(site, "image.html"), "w") as f:
        f.write('<html><body><img src="blocked.png" alt="blocked"></body></html>')
    with open(os.path.join(site, "blocked.png"), "wb") as f:
        f.write(b"not fetched")
    scenario = {"mounts": {"/site/": site}}
    with Standin(scenario, folder) as s, \
            Standin(scenario, untrusted_folder, ["--certs", os.path.join(untrusted_folder, "certs")]) as untrusted:
        base = s.addresses["main"] + "/site/"
        refused = f"https://127.0.0.1:{free_port()}/site/page.html"
        foreign = untrusted.addresses["main"] + "/site/target.html"
        links = [(name, href.format(refused=refused, untrusted=foreign), target) for name, href, target in LINKS]
        with open(os.path.join(site, "links.html"), "w", encoding="utf-8") as f:
            f.write(page(links))
        run = os.path.join(folder, "probe")
        probe_folder(run)
        points = [f"20,{20 + 30 * index}" for index in range(len(links))]
        seen = run_probe(run, ["clicks", "--trust=" + certs.windows_path(s.addresses["ca"]), base + "links.html", *points])
        c.equal("probe ran", seen.get("done"), "1")
        # The probe writes non-ASCII characters as "?".
        c.equal("the title a script set reached OnTitleChange", seen.get("title"), "Links ??")

        def load(url, *outcome):
            return ["state 1", f"address {url}", f"before GET {url} on io", *outcome, "state 0"]

        hover = ["cursor 0", "cursor 2"]
        target = base + "target.html"
        missing = base + "missing.html"
        expected = {
            "link": hover + [f"browse {target}"] + load(target, "start", "console target.html says hi", "end 200"),
            "link cancelled in OnBeforeBrowse": hover + [f"browse {base}cancel.html"],
            "_blank": hover + [f"popup {base}popup.html _blank"],
            "mailto": hover + ["browse mailto:someone@example.com", "protocol mailto:someone@example.com"],
            "#x": hover + [f"address {base}links.html#x"],
            "404": hover + [f"browse {missing}"] + load(missing, "start", "end 404"),
            "refused port": hover + [f"browse {refused}"] + load(refused, f"error -102 net::ERR_CONNECTION_REFUSED {refused}"),
            "untrusted certificate": hover + [f"browse {foreign}"] +
            load(foreign, f"error -202 net::ERR_CERT_AUTHORITY_INVALID {foreign}"),
            # The page's image is asked for once the document is there; cancelling it fails only the
            # image, and the load ends when the page is complete.
            "page with a cancelled image": hover + [f"browse {base}image.html"] +
            load(base + "image.html", "start", f"before GET {base}blocked.png on io", "end 200"),
        }
        for index, (name, events) in enumerate(expected.items()):
            got = seen.get(f"click{index}", "").split("; ")
            # The engine asks again for an image whose first fetch failed: one event a request.
            got = [e for i, e in enumerate(got) if i == 0 or e != got[i - 1] or not e.startswith("before ")]
            c.equal(f"events of {name}", got, events)
        requested = [e["path"] for e in s.control("GET", "/log")]
        c.equal("cancelled links, pop-up links and cancelled images reached no server",
                [requested.count(p) for p in ("/site/cancel.html", "/site/popup.html", "/site/blocked.png")], [0, 0, 0])
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
