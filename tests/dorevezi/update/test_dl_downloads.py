"""The download manager's ranged file downloads, run by dvcli.exe under Wine against the stand-in:
piece sizes and MD5s, resume after a kill, damaged resume files, server faults, the five-transfer
limit, pause, continue, cancel and queueing again, a speed limit on a running transfer, and a full disk.
The files are made on the fly.
Usage: test_dl_downloads.py <dvcli.exe>"""

import json
import os
import signal
import sys
import threading
import time

from dl_support import Checks, Launcher, Log, Standin, make_bytes, max_overlap, md5_of, result_lines, \
    windows_path, work_dir

MIB = 1024 * 1024
PIECE = 32 * MIB
# The per-transfer limit (KB/s, times 204) that makes the kill and pause points reachable: 2 MiB/s.
SLOW_KB = 10280
SLOW_RATE = SLOW_KB * 204


class Release:
    """Files served under /cdn/ (one store, hard-linked under other names for fault rules)."""

    def __init__(self, folder):
        self.cdn = os.path.join(folder, "cdn")
        self.folder = folder
        os.makedirs(self.cdn)
        self.data = {}

    def add(self, name, size=None, seed=0, same_as=None):
        path = os.path.join(self.cdn, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if same_as:
            os.link(os.path.join(self.cdn, same_as), path)
            self.data[name] = self.data[same_as]
        else:
            self.data[name] = make_bytes(size, seed)
            with open(path, "wb") as f:
                f.write(self.data[name])
        return name

    def version_list(self, list_name, names, md5=True):
        entries = {n: {"md5": md5_of(self.data[n]) if md5 else "", "size": len(self.data[n])} for n in names}
        path = os.path.join(self.folder, list_name)
        with open(path, "w") as f:
            json.dump({"version": "1", "list": entries}, f)
        return windows_path(path)


def base(standin, name="main"):
    return standin.addresses["listeners"][name] + "/cdn/"


def results(lines):
    """{path: (code, message)} of the result lines."""
    found = {}
    for line in result_lines(lines):
        parts = line.split(" ", 3)
        found[parts[2]] = (int(parts[1]), parts[3] if len(parts) > 3 else "")
    return found


def progress_within_total(lines):
    pairs = [tuple(map(int, l.split()[1:])) for l in lines if l.startswith("progress ")]
    return all(done <= total for total, done in pairs)


def file_ok(out, name, release):
    path = os.path.join(out, name)
    return os.path.isfile(path) and md5_of(open(path, "rb").read()) == md5_of(release.data[name])


def content(entries, name):
    return [e for e in entries if e["path"] == "/cdn/" + name]


def test_sizes(c, standin, launcher, release):
    names = ["zero.bin", "one.bin", "p32.bin", "p32p1.bin", "big.bin", "big2.bin", "sub/dir/small.bin"]
    listing = release.version_list("sizes.json", names)
    out = os.path.join(launcher.folder, "sizes")
    log = Log(standin)
    process = launcher.start("download", "--cdn", base(standin), "--list", listing, "--out", "sizes", "--web-extra")
    timed_lines = [(time.time(), raw.decode().rstrip()) for raw in process.stdout]
    code = process.wait()
    process.stdout.close()
    lines = [line for _, line in timed_lines]
    entries = log.entries()
    # At full speed a pump pass lasts as long as data keeps coming: the once-a-second progress (and
    # the resume-file rewrite, on the same clock) must still come about once a second.
    moments = [t for t, line in timed_lines if line.startswith("progress ")]
    gaps = [round(b - a, 2) for a, b in zip(moments, moments[1:])]
    c.check("sizes: progress comes about once a second during long full-speed transfers",
            gaps and max(gaps) < 1.6, gaps)
    found = results(lines)
    c.check("sizes: every file reported 0", code == 0 and all(found.get(n) == (0, "") for n in names), lines)
    c.check("sizes: every MD5 matches", all(file_ok(out, n, release) for n in names),
            [n for n in names if not file_ok(out, n, release)])
    c.check("sizes: no resume file remains", not [f for _, _, fs in os.walk(out) for f in fs if f.endswith(".cfg")])
    c.equal("sizes: pieces of at most 32 MiB",
            sorted((e["path"], e["range"]) for e in entries),
            sorted([("/cdn/one.bin", "bytes=0-0"), ("/cdn/p32.bin", f"bytes=0-{PIECE - 1}"),
                    ("/cdn/p32p1.bin", f"bytes=0-{PIECE - 1}"), ("/cdn/p32p1.bin", f"bytes={PIECE}-{PIECE}"),
                    ("/cdn/big.bin", f"bytes=0-{PIECE - 1}"), ("/cdn/big.bin", f"bytes={PIECE}-{2 * PIECE - 1}"),
                    ("/cdn/big.bin", f"bytes={2 * PIECE}-{65 * MIB - 1}"),
                    ("/cdn/big2.bin", f"bytes=0-{PIECE - 1}"), ("/cdn/big2.bin", f"bytes={PIECE}-{2 * PIECE - 1}"),
                    ("/cdn/big2.bin", f"bytes={2 * PIECE}-{65 * MIB - 1}"),
                    ("/cdn/sub/dir/small.bin", "bytes=0-4999")]))
    c.check("sizes: at most five transfers at once", max_overlap(entries) <= 5, max_overlap(entries))
    c.check("sizes: each piece carries the ?t= suffix", all(e["query"].startswith("t=") for e in entries), entries)
    c.check("sizes: progress never passes the total", progress_within_total(lines))

    # A file of size 0 over an old file is emptied; with a wrong md5 it fails its check.
    with open(os.path.join(out, "zero.bin"), "wb") as f:
        f.write(b"left over")
    listing = os.path.join(release.folder, "zero-wrong.json")
    with open(listing, "w") as f:
        json.dump({"list": {"zero.bin": {"md5": md5_of(b"x"), "size": 0}}}, f)
    code, lines = launcher.run("download", "--cdn", base(standin), "--list", windows_path(listing), "--out", "sizes")
    c.check("sizes: an empty file is truncated and checked", results(lines).get("zero.bin") ==
            (-4, "check md5 error") and os.path.getsize(os.path.join(out, "zero.bin")) == 0, lines)


def written_prefix(path, expected, start, end):
    """Bytes from `start` on that already hold the right content (up to end + 1)."""
    with open(path, "rb") as f:
        f.seek(start)
        have = f.read(end + 1 - start)
    want = expected[start:end + 1]
    step = 65536
    for at in range(0, len(have), step):
        if have[at:at + step] != want[at:at + step]:
            for i in range(at, min(at + step, len(have))):
                if have[i] != want[i]:
                    return i
    return len(have)


def test_kill_and_resume(c, standin, launcher, release):
    name = "big.bin"
    data = release.data[name]
    listing = release.version_list("kill.json", [name])
    out = os.path.join(launcher.folder, "kill")
    cfg_path = os.path.join(out, name + ".cfg")
    args = ("download", "--cdn", base(standin), "--list", listing, "--out", "kill", "--limit", str(SLOW_KB))
    allowance = int(SLOW_RATE * 1.5) + MIB  # one second of transfer, the pump's granularity, a chunk
    log = Log(standin)
    expected_ranges = None
    lags, in_flight = [], []
    for point in (0.10, 0.50, 0.90):
        run_log = Log(standin)
        process = launcher.start(*args)
        reached = None
        for raw in process.stdout:
            words = raw.decode().split()
            if words[:1] == ["progress"] and int(words[1]) and point <= int(words[2]) / int(words[1]) < 1:
                reached = int(words[2]) / int(words[1])
                break
            if words[:1] == ["done"]:
                break
        os.kill(process.pid, signal.SIGKILL)
        process.wait()
        process.stdout.close()
        entries = content(run_log.entries(0.5), name)
        if expected_ranges is not None:
            c.equal(f"kill at {point:.0%}: the restart asks exactly the ranges of the resume file",
                    sorted(e["range"] for e in entries[:len(expected_ranges)]), sorted(expected_ranges))
        if reached is None:
            c.check(f"kill at {point:.0%}: point reached", False, "the download ended first")
            break
        cfg = json.load(open(cfg_path))
        expected_ranges = []
        for piece in cfg["infoList"]:
            if piece["begin"] > piece["end"]:
                continue
            written = piece["index"] * PIECE + written_prefix(os.path.join(out, name), data, piece["index"] * PIECE,
                                                              piece["end"])
            lags.append(written - piece["begin"])
            expected_ranges.append(f"bytes={piece['begin']}-{piece['end']}")
            started = [e for e in entries if e["range"] and e["range"].endswith(f"-{piece['end']}")]
            if started:
                asked = int(started[-1]["range"][6:].split("-")[0])
                in_flight.append(started[-1]["bytes"] - (written - asked))
        c.check(f"kill at {point:.0%}: the resume file never claims bytes that are not on disk",
                all(lag >= 0 for lag in lags), lags)
        c.check(f"kill at {point:.0%}: the resume file lags at most one second of transfer",
                all(lag <= allowance for lag in lags), (lags, allowance))
    run_log = Log(standin)
    code, lines = launcher.run(*args)
    entries = content(run_log.entries(), name)
    if expected_ranges is not None:
        c.equal("kill: the last run asks exactly the ranges of the resume file",
                sorted(e["range"] for e in entries[:len(expected_ranges)]), sorted(expected_ranges))
    c.check("kill: the file ends correct", code == 0 and results(lines).get(name) == (0, "")
            and file_ok(out, name, release) and not os.path.exists(cfg_path), lines)
    served = sum(e["bytes"] for e in content(log.entries(), name) if e["status"] in (200, 206))
    bound = len(data) + sum(lags) + sum(max(0, f) for f in in_flight)
    c.check(f"kill: bytes served {served} stay within the file size {len(data)} plus the resume files' lag "
            f"{sum(lags)} and the bytes in flight {sum(max(0, f) for f in in_flight)} when killed",
            served <= bound + MIB, (served, bound))


def test_damaged_resume_files(c, standin, launcher, release):
    size = 300000
    good = md5_of(release.data["dmg.bin"])
    whole = f'{{"index":0,"begin":0,"end":{size - 1}}}'
    cases = {
        "empty": "",
        "truncated": ('{"infoList":[' + whole + '],"md5":"' + good + '"}')[:25],
        "foreign": '{"infoList":[' + whole + '],"md5":"' + md5_of(b"other") + '"}',
        "all-done": f'{{"infoList":[{{"index":0,"begin":{size},"end":{size - 1}}}],"md5":"{good}"}}',
        "huge": f'{{"infoList":[{{"index":0,"begin":100000000000000000000,"end":{size - 1}}}],"md5":"{good}"}}',
        "negative": f'{{"infoList":[{{"index":-1,"begin":-5000,"end":-1}},{{"index":0,"begin":-100,"end":{size - 1}}}],"md5":"{good}"}}',
        "past-size": f'{{"infoList":[{{"index":0,"begin":0,"end":{size + 5000}}}],"md5":"{good}"}}',
        "text": f'{{"infoList":[{{"index":"0","begin":"0","end":"{size - 1}"}}],"md5":"{good}"}}',
        "not-a-list": f'{{"infoList":7,"md5":"{good}"}}',
        "partial": f'{{"infoList":[{{"index":0,"begin":100000,"end":{size - 1}}}],"md5":"{good}"}}',
        "partial-lie": f'{{"infoList":[{{"index":0,"begin":100000,"end":{size - 1}}}],"md5":"{good}"}}',
    }
    out = os.path.join(launcher.folder, "damaged")
    os.makedirs(out)
    names = []
    for case, text in cases.items():
        name = release.add(f"dmg-{case}.bin", same_as="dmg.bin")
        names.append(name)
        garbage = make_bytes(size, 99)
        if case == "partial":
            garbage = release.data[name][:100000] + garbage[100000:]
        with open(os.path.join(out, name), "wb") as f:
            f.write(garbage)
        with open(os.path.join(out, name + ".cfg"), "w") as f:
            f.write(text)
    listing = release.version_list("damaged.json", names)
    log = Log(standin)
    code, lines = launcher.run("download", "--cdn", base(standin), "--list", listing, "--out", "damaged")
    entries = log.entries()
    found = results(lines)
    c.check("damaged resume files: every file ends correct",
            code == 0 and all(found.get(n) == (0, "") and file_ok(out, n, release) for n in names),
            {n: found.get(n) for n in names if found.get(n) != (0, "") or not file_ok(out, n, release)})
    c.check("damaged resume files: no range past the size",
            all(int(e["range"].split("-")[1]) < size for e in entries if e["range"]), entries)
    first_ranges = {n: content(entries, n)[0]["range"] for n in names if content(entries, n)}
    c.equal("damaged resume files: untrusted ones start over, a sound one resumes",
            {n: r for n, r in first_ranges.items() if r != f"bytes=0-{size - 1}"},
            {"dmg-partial.bin": f"bytes=100000-{size - 1}", "dmg-partial-lie.bin": f"bytes=100000-{size - 1}"})
    c.equal("damaged resume files: a resume file that lies is caught by the MD5 and fetched whole again",
            [e["range"] for e in content(entries, "dmg-partial-lie.bin")],
            [f"bytes=100000-{size - 1}", f"bytes=0-{size - 1}"])

    # A file left longer by an earlier version keeps its tail when written in place: the digest taken
    # on the way must not pass it, so it is checked whole, deleted and fetched again.
    name = release.add("dmg-longer.bin", same_as="dmg.bin")
    with open(os.path.join(out, name), "wb") as f:
        f.write(make_bytes(size, 98) + make_bytes(5000, 97))
    listing = release.version_list("longer.json", [name])
    log = Log(standin)
    code, lines = launcher.run("download", "--cdn", base(standin), "--list", listing, "--out", "damaged")
    c.check("longer old file: fetched again and ends correct",
            code == 0 and results(lines).get(name) == (0, "") and file_ok(out, name, release)
            and [e["range"] for e in content(log.entries(), name)] == [f"bytes=0-{size - 1}"] * 2,
            (lines, content(log.entries(), name)))


def test_faults(c, standin, launcher, release):
    out = os.path.join(launcher.folder, "faults")
    run = lambda listing, *bases: launcher.run("download", "--cdn", *bases, "--list", listing, "--out", "faults")

    # An error reply with a body never reaches the file: no MD5 failure, no second whole download.
    name = release.add("f503.bin", same_as="p32p1.bin")
    standin.control("PUT", "/faults", [{"path": "/cdn/" + name, "status": 503, "body": "busy " * 400, "first": 2}])
    log = Log(standin)
    code, lines = run(release.version_list("f503.json", [name]), base(standin))
    entries = content(log.entries(), name)
    c.check("503 with a body on each piece's first request: the file is right",
            code == 0 and file_ok(out, name, release), lines)
    c.equal("503 with a body: then each piece once, not the whole file again",
            sorted((e["status"], e["range"]) for e in entries),
            sorted([(503, f"bytes=0-{PIECE - 1}"), (503, f"bytes={PIECE}-{PIECE}"),
                    (206, f"bytes=0-{PIECE - 1}"), (206, f"bytes={PIECE}-{PIECE}")]))

    # A server that ignores Range: a clear error for a file of several pieces, never a wrong file.
    many, single = release.add("norange.bin", same_as="p32p1.bin"), release.add("norange1.bin", same_as="dmg.bin")
    standin.control("PUT", "/faults", [{"path": "/cdn/norange*", "ignore_range": True}])
    code, lines = run(release.version_list("norange.json", [many, single]), base(standin))
    found = results(lines)
    c.check("ignored range: a several-piece file fails with a clear error",
            found.get(many, (0, ""))[0] == -3 and "ignored the byte range" in found[many][1], found)
    c.check("ignored range: a one-piece file is taken whole and is right",
            found.get(single) == (0, "") and file_ok(out, single, release), found)

    # A connection cut after k bytes resumes from where it stopped.
    name = release.add("cut.bin", same_as="dmg.bin")
    standin.control("PUT", "/faults", [{"path": "/cdn/" + name, "truncate": 123457, "first": 1}])
    log.reset()
    code, lines = run(release.version_list("cut.json", [name]), base(standin))
    c.check("cut connection: resumes from the byte it stopped at", code == 0 and file_ok(out, name, release) and
            [e["range"] for e in content(log.entries(), name)] == ["bytes=0-299999", "bytes=123457-299999"], lines)

    # Without an MD5 only the byte count tells a whole file: a server whose file is shorter than the
    # list says answers a clean, short reply, which must not count as the file.
    name = release.add("short-plain.bin", 200000, seed=8)
    listing = os.path.join(release.folder, "short-plain.json")
    with open(listing, "w") as f:
        json.dump({"list": {name: {"md5": "", "size": 300000}}}, f)
    log.reset()
    code, lines = run(windows_path(listing), base(standin))
    entries = content(log.entries(), name)
    c.check("short file without an MD5: never accepted; the missing bytes are asked for three times",
            code == 1 and results(lines).get(name, (0, ""))[0] < 0 and
            [e["range"] for e in entries] == ["bytes=0-299999"] + ["bytes=200000-299999"] * 2, (lines, entries))

    # Wrong content: three whole downloads per base; the second base succeeds; all bad gives -4.
    one_bad, all_bad = release.add("flip1.bin", same_as="dmg.bin"), release.add("flip2.bin", same_as="dmg.bin")
    standin.control("PUT", "/faults", [{"path": "/cdn/flip1.bin", "listener": "main", "flip": 1000},
                                       {"path": "/cdn/flip2.bin", "flip": 77}])
    log.reset()
    code, lines = run(release.version_list("flip.json", [one_bad, all_bad]), base(standin), base(standin, "cdn2"))
    entries = log.entries()
    found = results(lines)
    c.check("wrong content: the second base gives the right file",
            found.get(one_bad) == (0, "") and file_ok(out, one_bad, release), found)
    c.equal("wrong content: three whole downloads on the first base, then the second",
            [e["listener"] for e in content(entries, one_bad)], ["main"] * 3 + ["cdn2"])
    c.equal("wrong content everywhere: -4 after three whole downloads per base",
            (found.get(all_bad), [e["listener"] for e in content(entries, all_bad)]),
            ((-4, "check md5 error"), ["main"] * 3 + ["cdn2"] * 3))

    # A first base that refuses connections: three tries, then the second base.
    name = release.add("reset.bin", same_as="dmg.bin")
    standin.control("PUT", "/faults", [{"listener": "dead", "reset": "connect"}])
    log.reset()
    code, lines = run(release.version_list("reset.json", [name]), base(standin, "dead"), base(standin))
    entries = log.entries()
    c.check("first base resetting every connection: exactly three tries, then the second base",
            code == 0 and file_ok(out, name, release) and
            [(e["listener"], e["status"]) for e in entries] == [("dead", 0)] * 3 + [("main", 206)], entries)
    name = release.add("refused.bin", same_as="dmg.bin")
    standin.control("PUT", "/faults", [{"listener": "dead", "refuse": True}])
    log.reset()
    code, lines = run(release.version_list("refused.json", [name]), base(standin, "dead"), base(standin))
    c.check("closed port on the first base: the second base gives the file",
            code == 0 and [e["listener"] for e in log.entries()] == ["main"], lines)
    standin.control("DELETE", "/faults")

    # A full disk: the write fails, nothing counts as done, the error says so.
    os.symlink("/dev/full", os.path.join(out, "full.bin"))
    release.add("full.bin", same_as="dmg.bin")
    code, lines = run(release.version_list("full.json", ["full.bin"], md5=False), base(standin))
    found = results(lines)
    c.check("full disk: reported as a write error", code == 1 and found.get("full.bin", (0, ""))[0] == -3 and
            found["full.bin"][1].startswith("write:(") and "errno:112" in found["full.bin"][1], lines)
    c.check("full disk: nothing counted as done", all(l.split()[2] == "0" for l in lines if l.startswith("progress")),
            lines)


class Session:
    """A running dvcli with its control channel; lines are gathered with their arrival time."""

    def __init__(self, process):
        self.process = process
        self.lines = []
        self.changed = threading.Condition()
        self.ended = False
        self.mark = 0
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            with self.changed:
                self.lines.append((time.time(), raw.decode().rstrip()))
                self.changed.notify_all()
        with self.changed:
            self.ended = True
            self.changed.notify_all()

    def wait_for(self, test, timeout=60):
        """The first line since the last command that passes `test`, or None."""
        deadline = time.time() + timeout
        with self.changed:
            while True:
                for item in self.lines[self.mark:]:
                    if test(item[1]):
                        return item
                if self.ended or time.time() >= deadline:
                    return None
                self.changed.wait(max(0.01, deadline - time.time()))

    def send(self, command):
        with self.changed:
            self.mark = len(self.lines)
        self.process.stdin.write((command + "\n").encode())
        self.process.stdin.flush()

    def since(self, moment):
        with self.changed:
            return [line for t, line in self.lines if t >= moment]


def test_pause_cancel_queue(c, standin, launcher, release):
    names = [release.add(f"c{i}.bin", 4 * MIB, seed=100 + i) for i in range(8)]
    listing = release.version_list("control.json", names)
    out = os.path.join(launcher.folder, "control")
    log = Log(standin)
    # Slow enough that a wave outlasts the pauses below even on a loaded machine.
    session = Session(launcher.start("download", "--cdn", base(standin), "--list", listing, "--out", "control",
                                     "--limit", str(SLOW_KB // 4), control=True))
    try:
        c.check("control: the download starts", session.wait_for(
            lambda l: l.startswith("progress ") and l.split()[2] != "0") is not None)
        session.send("pause")
        paused = session.wait_for(lambda l: l == "paused 1")
        c.check("pause: acknowledged", paused is not None and session.wait_for(lambda l: l == "ack pause"),
                session.since(0))
        time.sleep(1.5)
        quiet = session.since(paused[0]) if paused else ["?"]
        c.check("pause: no progress or speed message while paused",
                not [l for l in quiet if l.startswith(("progress", "speed", "result"))], quiet)
        session.send("continue")
        resumed = session.wait_for(lambda l: l == "paused 0")
        c.check("continue: the transfers move again", resumed is not None and session.wait_for(
            lambda l: l.startswith("progress ")) is not None)

        # Cancel while the second wave runs (it starts in the pass that reports the first): no result,
        # and the resume files stay.
        c.check("cancel: the second wave started", session.wait_for(
            lambda l: len([x for x in session.since(0) if x.startswith("result ")]) >= 5, 30) is not None)
        time.sleep(0.6)
        session.send("cancel")
        cancelled = session.wait_for(lambda l: l == "ack cancel")
        reported = {l.split()[2] for l in session.since(0) if l.startswith("result ")}
        unfinished = [n for n in names if n not in reported]
        time.sleep(0.5)
        c.check("cancel: no completion is reported", cancelled is not None and
                not [l for l in session.since(cancelled[0]) if l.startswith("result ")] and unfinished, reported)
        c.check("cancel: the resume files stay", all(os.path.exists(os.path.join(out, n + ".cfg")) for n in unfinished),
                unfinished)
        begins = {n: json.load(open(os.path.join(out, n + ".cfg")))["infoList"][0]["begin"] for n in unfinished}

        # Queueing again resumes; the new limit reaches the running transfers.
        mark = Log(standin)
        session.send("queue")
        c.check("queue: acknowledged", session.wait_for(lambda l: l == "ack queue") is not None)
        session.send("limit 0")
        c.check("limit: applied to the running transfers", session.wait_for(lambda l: l == "ack limit 0") is not None)
        done = session.wait_for(lambda l: l.startswith("done "), 60)
        found = results([l for _, l in session.lines])
        c.check("queue: every file ends right", done is not None and done[1].startswith("done files=8 failed=0")
                and all(found.get(n) == (0, "") and file_ok(out, n, release) for n in names), found)
        resumed_entries = mark.entries()
        first = {n: content(resumed_entries, n)[0]["range"] for n in unfinished if content(resumed_entries, n)}
        c.equal("queue: the cancelled files resume where their resume files stopped",
                first, {n: f"bytes={begins[n]}-{4 * MIB - 1}" for n in unfinished})
        c.check("queue: the cancelled files had made progress", all(begins[n] > 0 for n in unfinished), begins)
        entries = log.entries(0)
        c.check("pause: nothing started while paused",
                paused and resumed and not [e for e in entries if paused[0] < e["start"] < resumed[0]], entries)
        c.check("control: at most five transfers at once", max_overlap(entries) <= 5, max_overlap(entries))
        c.check("control: progress never passes the total", progress_within_total([l for _, l in session.lines]))
    finally:
        if session.process.poll() is None:
            session.process.kill()
        session.process.wait()


def test_pause_at_full_speed(c, standin, launcher, release):
    """Pause and continue without a limit, where a transfer is mostly held by its write callback
    between the TLS records read ahead: the pause takes, and every transfer goes on after it."""
    names = [release.add(f"fast{i}.bin", 16 * MIB, seed=200 + i) for i in range(6)]
    listing = release.version_list("fast.json", names)
    out = os.path.join(launcher.folder, "fast")
    session = Session(launcher.start("download", "--cdn", base(standin), "--list", listing, "--out", "fast",
                                     control=True))
    try:
        session.wait_for(lambda l: l.startswith("progress ") and l.split()[2] != "0", 30)
        session.send("pause")
        paused = session.wait_for(lambda l: l == "paused 1")
        time.sleep(0.5)
        session.send("continue")
        done = session.wait_for(lambda l: l.startswith("done "), 60)
        c.check("full speed: the pause takes before the end", paused is not None and done is not None
                and paused[0] < done[0], session.since(0))
        found = results([l for _, l in session.lines])
        c.check("full speed: after continue every file ends right", done is not None
                and done[1].startswith("done files=6 failed=0")
                and all(found.get(n) == (0, "") and file_ok(out, n, release) for n in names), found)
    finally:
        if session.process.poll() is None:
            session.process.kill()
        session.process.wait()


def test_speed_limit(c, standin, launcher, release):
    """The limit shown on a running transfer: its throughput settles under the limit, and rises again
    when the limit is lifted. libcurl takes data in bursts between its waits (here about 3 MB every
    1.6 s, each told by one progress message), so the limited rate is taken over several of them."""
    name = release.add("limit.bin", PIECE, seed=9)  # one piece: one transfer
    listing = release.version_list("limit.json", [name])
    out = os.path.join(launcher.folder, "limit")
    session = Session(launcher.start("download", "--cdn", base(standin), "--list", listing, "--out", "limit",
                                     "--limit", str(SLOW_KB), control=True))
    try:
        first = session.wait_for(lambda l: l.startswith("progress ") and l.split()[2] != "0", 30)
        time.sleep(7)
        lifted_at = time.time()
        points = [(t, int(l.split()[2])) for t, l in session.lines
                  if first and l.startswith("progress ") and first[0] < t <= lifted_at]
        limited = (points[-1][1] - points[0][1]) / (points[-1][0] - points[0][0]) if len(points) >= 3 else None
        c.check("speed limit: a running transfer stays under its limit",
                limited is not None and SLOW_RATE * 0.5 <= limited <= SLOW_RATE * 1.3, (limited, SLOW_RATE, points))
        session.send("limit 0")
        done = session.wait_for(lambda l: l.startswith("done "), 60)
        lifted = (PIECE - points[-1][1]) / (done[0] - lifted_at) if done and points else None
        c.check("speed limit: lifted, the transfer speeds up", lifted is not None and lifted >= SLOW_RATE * 3,
                (lifted, SLOW_RATE))
        found = results([l for _, l in session.lines])
        c.check("speed limit: the file ends right", done is not None and found.get(name) == (0, "")
                and file_ok(out, name, release), found)
    finally:
        if session.process.poll() is None:
            session.process.kill()
        session.process.wait()


def main():
    dvcli = sys.argv[1]
    c = Checks("download manager file downloads")
    folder = work_dir("dl-downloads")
    release = Release(folder)
    release.add("zero.bin", 0)
    release.add("one.bin", 1, seed=1)
    release.add("p32.bin", PIECE, seed=2)
    release.add("p32p1.bin", PIECE + 1, seed=3)
    release.add("big.bin", 65 * MIB, seed=4)
    release.add("big2.bin", same_as="big.bin")
    release.add("sub/dir/small.bin", 5000, seed=5)
    release.add("dmg.bin", 300000, seed=6)
    scenario = {"listeners": ["cdn2", "dead"], "mounts": {"/cdn/": "cdn"}}
    with Standin(scenario, folder) as standin:
        launcher = Launcher(dvcli, os.path.join(folder, "launcher"), {"CAFile": standin.addresses["ca_windows"]})
        tests = (test_sizes, test_kill_and_resume, test_damaged_resume_files, test_faults, test_pause_cancel_queue,
                 test_pause_at_full_speed, test_speed_limit)
        only = os.environ.get("DV_DL_TESTS")  # a comma-separated subset, for working on one of them
        for test in tests:
            if only and test.__name__ not in only.split(","):
                continue
            started = time.time()
            test(c, standin, launcher, release)
            print(f"-- {test.__name__}: {time.time() - started:.1f} s")
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
