"""Helpers of the download-manager scripts: a launcher folder with its operator file, dvcli.exe run
under Wine in that folder, and the stand-in's request log and reports."""

import hashlib
import json
import os
import random
import subprocess
import sys
import time

SOURCE_DIR = os.environ.get("DV_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "tools"))

from standin_support import Checks, Standin, work_dir  # noqa: E402,F401

WINE_EXEC = os.path.join(SOURCE_DIR, "tools", "testenv", "wine-exec.sh")
BINARY_DIR = os.environ.get("DV_BINARY_DIR") or os.path.join(SOURCE_DIR, "build", "win")
# The skin the build packs into dorevezi.exe and dvcli.exe. A launcher release ships it as its resources.zip,
# which the programs in a launcher folder read in place of their own once the update folder exists.
BUILT_SKIN = os.path.join(BINARY_DIR, "dorevezi", "skin.zip")


def windows_path(path):
    """How Wine's programs see a Linux path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def make_bytes(size, seed):
    return random.Random(seed).randbytes(size)


def md5_of(data):
    return hashlib.md5(data).hexdigest()


class Launcher:
    """A launcher folder: dvcli runs in it and reads its save\\setting.json, as the launcher does."""

    def __init__(self, dvcli, folder, setting=None):
        self.dvcli = dvcli
        self.folder = folder
        os.makedirs(os.path.join(folder, "save"), exist_ok=True)
        self.set_setting(setting)

    def set_setting(self, setting):
        path = os.path.join(self.folder, "save", "setting.json")
        if setting is None:
            if os.path.exists(path):
                os.remove(path)
            return
        with open(path, "w") as f:
            json.dump(setting, f)

    def env(self, proxy=None):
        env = dict(os.environ)
        for key in ("HTTPS_PROXY", "https_proxy", "HTTP_PROXY", "http_proxy", "ALL_PROXY", "all_proxy"):
            env.pop(key, None)
        if proxy:
            env["HTTPS_PROXY"] = proxy
            env["NO_PROXY"] = "127.0.0.1,localhost"
        return env

    def run(self, *args, proxy=None, timeout=120, stdout=subprocess.PIPE):
        """Runs dvcli to its end: (exit code, output lines)."""
        result = subprocess.run([WINE_EXEC, self.dvcli, *args], cwd=self.folder, env=self.env(proxy),
                                stdout=stdout, stderr=subprocess.PIPE, timeout=timeout)
        out = result.stdout.decode("utf-8", "replace") if result.stdout else ""
        return result.returncode, out.splitlines()

    def start(self, *args, proxy=None, control=False):
        """Starts dvcli and returns the process (stdout a pipe of lines; with control, stdin a pipe of
        dvcli's control commands)."""
        if control:
            args = (*args, "--control")
        return subprocess.Popen([WINE_EXEC, self.dvcli, *args], cwd=self.folder, env=self.env(proxy),
                                stdin=subprocess.PIPE if control else subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def trace(self):
        path = os.path.join(self.folder, "save", "dltrace.log")
        return open(path, encoding="utf-8", errors="replace").read() if os.path.exists(path) else ""


def result_lines(lines):
    return [line for line in lines if line.startswith("result ")]


class Log:
    """The stand-in's request log from a mark on."""

    def __init__(self, standin):
        self.standin = standin
        self.mark = self._next()

    def _next(self):
        entries = self.standin.control("GET", "/log?since=0")
        return (entries[-1]["seq"] + 1) if entries else 1

    def entries(self, settle=0.3):
        # An answer is logged when it ends: give the server a moment after the client is done.
        time.sleep(settle)
        return self.standin.control("GET", f"/log?since={self.mark}")

    def reset(self):
        self.mark = self._next()


def reports_since(standin, count_before):
    return standin.control("GET", "/reports")[count_before:]


def max_overlap(entries):
    """Most requests in progress at one time, from the log's start and end times."""
    events = []
    for e in entries:
        events.append((e["start"], 1))
        events.append((e["end"], -1))
    events.sort(key=lambda item: (item[0], item[1]))
    current = best = 0
    for _, delta in events:
        current += delta
        best = max(best, current)
    return best
