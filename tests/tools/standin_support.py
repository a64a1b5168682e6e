"""Shared helpers of the stand-in tests: a check counter that prints a pass/fail summary, a running
stand-in started from a scenario and stopped by its process id, and its control endpoint."""

import atexit
import http.client
import json
import shutil
import glob
import os
import subprocess
import sys
import tempfile
import time
import urllib.parse

SOURCE_DIR = os.environ.get("DV_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
STANDIN_DIR = os.path.join(SOURCE_DIR, "tools", "standin")
sys.path.insert(0, STANDIN_DIR)


class Checks:
    def __init__(self, title):
        self.title = title
        self.passed = 0
        self.failed = []

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"PASS {name}")
        else:
            self.failed.append(name)
            print(f"FAIL {name}{': ' + str(detail) if detail != '' else ''}")
        return ok

    def equal(self, name, actual, expected):
        return self.check(name, actual == expected, f"got {actual!r}, expected {expected!r}")

    def finish(self):
        print(f"{self.title}: {self.passed} passed, {len(self.failed)} failed")
        for name in self.failed:
            print(f"  failed: {name}")
        global _passed
        _passed = not self.failed
        return 0 if not self.failed else 1


# The folders work_dir made in this process, removed at its exit when its checks passed (after the
# stand-ins writing into them have stopped).
_work_dirs = []
_passed = False


@atexit.register
def _remove_work_dirs():
    if _passed:
        for folder in _work_dirs:
            shutil.rmtree(folder, ignore_errors=True)


def work_dir(name):
    """A new folder for one test run. A passing run removes it at its exit; under the build folder
    only the latest failed run of each test is kept, for diagnosis: repeated runs would otherwise fill
    the disk with releases."""
    base = os.environ.get("DV_BINARY_DIR")
    root = os.path.join(base, "tools-tests") if base else None
    if root:
        os.makedirs(root, exist_ok=True)
        for old in glob.glob(os.path.join(root, glob.escape(name) + "-*")):
            shutil.rmtree(old, ignore_errors=True)
    folder = tempfile.mkdtemp(prefix=name + "-", dir=root)
    _work_dirs.append(folder)
    return folder



class Standin:
    """A stand-in process for one scenario; use as a context manager."""

    def __init__(self, scenario, folder, extra_args=()):
        self.folder = folder
        self.scenario_path = os.path.join(folder, "scenario.json")
        with open(self.scenario_path, "w") as f:
            json.dump(scenario, f, indent=1)
        self.run_dir = os.path.join(folder, "run")
        self.extra_args = list(extra_args)
        self.process = None
        self.addresses = None

    def __enter__(self):
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(STANDIN_DIR, "standin.py"), "serve", "--quiet", "--scenario",
             self.scenario_path, "--run-dir", self.run_dir, *self.extra_args])
        path = os.path.join(self.run_dir, "addresses.json")
        deadline = time.time() + 20
        while not os.path.exists(path):
            if self.process.poll() is not None or time.time() > deadline:
                self.stop()
                raise RuntimeError("the stand-in did not start")
            time.sleep(0.05)
        with open(path) as f:
            self.addresses = json.load(f)
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def control(self, method, path, value=None):
        url = urllib.parse.urlsplit(self.addresses["control"])
        connection = http.client.HTTPConnection(url.hostname, url.port, timeout=30)
        body = json.dumps(value).encode() if value is not None else None
        connection.request(method, path, body=body)
        response = connection.getresponse()
        data = json.loads(response.read() or b"null")
        connection.close()
        if response.status >= 400:
            raise RuntimeError(f"control {method} {path}: {response.status} {data}")
        return data
