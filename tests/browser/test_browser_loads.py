#!/usr/bin/env python3
"""Loads of a windowless browser of the runtime stand-in, against the server stand-in over HTTPS: each
case gives exactly its events (loading state, address, the resource asked for first, load start and end
with the HTTP status, or the load error with code, text and URL). The stand-in's CA is put into the
machine's "Root" store of the Wine prefix; a second stand-in with a CA of its own stays untrusted."""

import http.server
import os
import shutil
import threading
import socket
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "tools"))
from standin_support import Checks, Standin, work_dir  # noqa: E402
import certs  # noqa: E402

BINARY_DIR = os.environ.get("DV_BINARY_DIR", os.path.join(SOURCE_DIR, "build", "win"))


def probe_folder(folder):
    os.makedirs(os.path.join(folder, "cef"), exist_ok=True)
    shutil.copy(os.path.join(BINARY_DIR, "tests", "browser", "cef_probe.exe"), folder)
    for name in ("libcef.dll", "cef_helper.exe", "dummy_cmd.exe"):
        shutil.copy(os.path.join(BINARY_DIR, "bin", "cef", name), os.path.join(folder, "cef"))


def run_probe(folder, args):
    probe_txt = os.path.join(folder, "probe.txt")
    if os.path.exists(probe_txt):
        os.remove(probe_txt)
    wine_exec = os.path.join(SOURCE_DIR, "tools", "testenv", "wine-exec.sh")
    with open(os.path.join(folder, "wine.log"), "wb") as log:
        subprocess.run([wine_exec, os.path.join(folder, "cef_probe.exe"), *args], cwd=folder,
                       stdin=subprocess.DEVNULL, stdout=log, stderr=log, timeout=240)
    seen = {}
    if os.path.exists(probe_txt):
        for line in open(probe_txt, encoding="utf-8", errors="replace"):
            key, _, value = line.rstrip("\n").partition("=")
            seen[key] = value
    return seen


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class CookieServer(http.server.ThreadingHTTPServer):
    """Plain http on 127.0.0.1: /set sets a persistent and a session cookie, /echo records the cookies it
    gets."""

    def __init__(self):
        self.seen = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                if self.path == "/set":
                    self.send_response(200)
                    self.send_header("Set-Cookie", "keep=1; Max-Age=3600; Path=/")
                    self.send_header("Set-Cookie", "session=1; Path=/")
                else:
                    server.seen.append(self.headers.get("Cookie", ""))
                    self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        super().__init__(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        return f"http://127.0.0.1:{self.server_address[1]}{path}"


def check_cookies(c, folder):
    server = CookieServer()
    try:
        run = os.path.join(folder, "cookies")
        probe_folder(run)
        first = run_probe(run, ["loads", server.url("/set"), server.url("/echo")])
        c.equal("cookies: loads of the first run", [first.get("load0", "").split("; ")[-2:],
                                                     first.get("load1", "").split("; ")[-2:]],
                [["end 200", "state 0"]] * 2)
        second = run_probe(run, ["loads", server.url("/echo")])
        c.equal("cookies: load of the second run", second.get("load0", "").split("; ")[-2:], ["end 200", "state 0"])
        # Both cookies within the run; only the persistent one, from the cache folder, in the next.
        c.equal("cookies: sent back within a run and across runs", [sorted(h.split("; ")) for h in server.seen],
                [["keep=1", "session=1"], ["keep=1"]])
        jar = os.path.join(run, "cef_temp", "CefLocalStorage", "Cookies")
        c.check("cookies: kept in the cache folder", os.path.exists(jar) and "keep" in open(jar).read())
    finally:
        server.shutdown()
        server.server_close()


def main():
    c = Checks("browser loads")
    folder = work_dir("browser_loads")
    site = os.path.join(folder, "site")
    os.makedirs(site, exist_ok=True)
    with open(os.path.join(site, "page.html"), "w") as f:
        f.write("<html><head><title>Page</title></head><body><a href='other.html'>other</a></body></html>")
    untrusted_folder = os.path.join(folder, "untrusted")
    os.makedirs(untrusted_folder, exist_ok=True)
    scenario = {"mounts": {"/site/": site}}
    with Standin(scenario, folder) as s, \
            Standin(scenario, untrusted_folder, ["--certs", os.path.join(untrusted_folder, "certs")]) as untrusted:
        main_url = s.addresses["main"]
        page = main_url + "/site/page.html"
        missing = main_url + "/site/missing.html"
        refused = f"https://127.0.0.1:{free_port()}/site/page.html"
        foreign = untrusted.addresses["main"] + "/site/page.html"
        run = os.path.join(folder, "probe")
        probe_folder(run)
        urls = [page, missing, refused, foreign, "cancel:" + page, "later:" + page, "mailto:someone@example.com",
                "about:blank"]
        seen = run_probe(run, ["loads", "--trust=" + certs.windows_path(s.addresses["ca"]), *urls])
        c.equal("probe ran", seen.get("done"), "1")
        c.equal("stand-in CA trusted in the machine's Root store", seen.get("trusted"), "1")
        c.equal("runtime started", seen.get("initialized"), "1")

        def before(url):
            return f"before GET {url} on io"

        expected = {
            "page": ["state 1", f"address {page}", before(page), "start", "end 200", "state 0"],
            "404": ["state 1", f"address {missing}", before(missing), "start", "end 404", "state 0"],
            "refused port": ["state 1", f"address {refused}", before(refused),
                             f"error -102 net::ERR_CONNECTION_REFUSED {refused}", "state 0"],
            "untrusted certificate": ["state 1", f"address {foreign}", before(foreign),
                                      f"error -202 net::ERR_CERT_AUTHORITY_INVALID {foreign}", "state 0"],
            "cancelled before loading": ["state 1", f"address {page}", before(page),
                                         f"error -3 net::ERR_ABORTED {page}", "state 0"],
            "continued later": ["state 1", f"address {page}", before(page), "start", "end 200", "state 0"],
            "other scheme": ["state 1", "address mailto:someone@example.com", "protocol mailto:someone@example.com",
                             "error -302 net::ERR_UNKNOWN_URL_SCHEME mailto:someone@example.com", "state 0"],
            "about:blank": ["state 1", "address about:blank", "start", "end 200", "state 0"],
        }
        for index, (name, events) in enumerate(expected.items()):
            c.equal(f"events of {name}", seen.get(f"load{index}", "").split("; "), events)
        requested = [e["path"] for e in s.control("GET", "/log")]
        c.equal("the cancelled load reached no server; the others did once each",
                requested.count("/site/page.html"), 2)
    check_cookies(c, folder)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
