#!/usr/bin/env python3
"""The patch container: patches round-trip through the reference applier for a table of cases, each
checked against expected bytes, a plain byte-by-byte applier and, where the old position never goes
below 0, Debian's bspatch (which reads before the old file for negative positions); real bsdiff output
converts and applies; each broken variant fails with its own error; the command line works."""

import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from standin_support import STANDIN_DIR, Checks, work_dir  # noqa: E402
import patchformat as pf  # noqa: E402

MIB = 1024 * 1024


def bspatch(folder, old, payload):
    """What Debian's bspatch makes of the same payload."""
    old_path, patch_path, new_path = (os.path.join(folder, n) for n in ("bs.old", "bs.patch", "bs.new"))
    with open(old_path, "wb") as f:
        f.write(old)
    with open(patch_path, "wb") as f:
        f.write(pf.payload_to_bsdiff40(payload))
    subprocess.run(["bspatch", old_path, new_path, patch_path], check=True)
    with open(new_path, "rb") as f:
        return f.read()


def naive_apply(old, triples, diff, extra, new_size):
    new = bytearray()
    old_pos = diff_pos = extra_pos = 0
    for x, y, z in triples:
        for i in range(x):
            byte = diff[diff_pos + i]
            if 0 <= old_pos + i < len(old):
                byte = (byte + old[old_pos + i]) & 0xFF
            new.append(byte)
        new += extra[extra_pos:extra_pos + y]
        diff_pos += x
        extra_pos += y
        old_pos += x + z
    return bytes(new[:new_size])


def round_trip_cases():
    """(name, old, triples, diff, extra, new size, expected bytes or None, bspatch agrees)"""
    rng = random.Random(3)
    old = rng.randbytes(4096)
    cases = []
    # one triple: add 16 diff bytes to the old start, then 8 extra bytes
    diff = bytes(rng.randrange(4) for _ in range(16))
    expected = bytes((d + o) & 0xFF for d, o in zip(diff, old)) + b"EXTRA-08"
    cases.append(("one triple", old, [(16, 8, 0)], diff, b"EXTRA-08", 24, expected, True))
    # several triples, moving the old position forwards and backwards
    triples = [(100, 10, 500), (50, 0, -400), (30, 5, 2000), (20, 0, -3000)]
    diff = rng.randbytes(200)
    extra = rng.randbytes(15)
    new_size = sum(x + y for x, y, _ in triples)
    cases.append(("several triples, negative and positive z", old, triples, diff, extra, new_size, None, True))
    # old positions past the end and before the start add nothing
    triples = [(10, 0, 4090), (20, 0, -5000), (30, 0, 0)]
    diff = rng.randbytes(60)
    expected = bytes((diff[i] + old[i]) & 0xFF for i in range(10)) + diff[10:30] + diff[30:60]
    cases.append(("old positions past the end and before the start", old, triples, diff, b"", 60, expected, False))
    # a new size of 0
    cases.append(("new size 0", old, [], b"", b"", 0, b"", True))
    # an output over 50 MiB: copy a 52 MiB old file with a few changed bytes, then extra bytes
    big_old = random.Random(5).randbytes(52 * MIB)
    diff = bytearray(52 * MIB)
    for position in (0, 7, 50 * MIB - 1, 50 * MIB, 52 * MIB - 1):
        diff[position] = 1
    extra = b"tail of the big file"
    big_new = bytearray(big_old)
    for position in (0, 7, 50 * MIB - 1, 50 * MIB, 52 * MIB - 1):
        big_new[position] = (big_new[position] + 1) & 0xFF
    cases.append(("output over 50 MiB", big_old, [(52 * MIB, len(extra), 0)], bytes(diff), extra,
                  52 * MIB + len(extra), bytes(big_new) + extra, None))
    return cases


def main():
    c = Checks("patch format")
    folder = work_dir("patchformat")
    try:
        for name, old, triples, diff, extra, new_size, expected, bspatch_agrees in round_trip_cases():
            payload = pf.build_payload(triples, diff, extra, new_size)
            container = pf.pack_container(payload, level=1)
            result = pf.apply_container(old, container)
            if expected is not None:
                c.check(f"round trip: {name} (expected bytes)", result == expected)
            if bspatch_agrees is not None:
                c.check(f"round trip: {name} (same as a byte-by-byte applier)",
                        result == naive_apply(old, triples, diff, extra, new_size))
            if bspatch_agrees:
                c.check(f"round trip: {name} (same as bspatch)", result == bspatch(folder, old, payload))

        # A stream that inflates past raw size + 1000 is inflated again into twice the raw size.
        payload = pf.build_payload([(4, 4, 0)], b"\x01" * 4, b"WXYZ", 8) + b"\0" * 3000
        container = pf.pack_container(payload + b"\0" * 2000, raw_size=len(payload))
        c.equal("inflating past raw size + 1000 retries with twice the raw size",
                pf.apply_container(pf.OLD_SAMPLE, container), pf.NEW_SAMPLE)

        # Real bsdiff output: inserted, removed and changed stretches of a random file.
        rng = random.Random(11)
        old = rng.randbytes(300_000)
        new = bytearray(old)
        new[1000:1000] = rng.randbytes(777)
        del new[50_000:52_000]
        new[100_000:100_100] = rng.randbytes(100)
        new += rng.randbytes(5000)
        paths = {n: os.path.join(folder, n) for n in ("old.bin", "new.bin", "made.patch", "applied.bin")}
        for n, data in (("old.bin", old), ("new.bin", bytes(new))):
            with open(paths[n], "wb") as f:
                f.write(data)
        figures = pf.bsdiff_to_container(paths["old.bin"], paths["new.bin"], paths["made.patch"])
        c.check("bsdiff output converts (payload holds the three blocks uncompressed)",
                figures["raw_size"] > 0 and open(paths["made.patch"], "rb").read(4) ==
                figures["raw_size"].to_bytes(4, "little"))
        payload = pf.read_container(open(paths["made.patch"], "rb").read())
        c.check("converted payload starts with BSDIFN40", payload[:8] == b"BSDIFN40")
        c.check("bsdiff triples include a negative or positive z", any(z != 0 for _, _, z in pf.iter_triples(payload)))
        r = subprocess.run([sys.executable, os.path.join(STANDIN_DIR, "patchformat.py"), "apply", paths["old.bin"],
                            paths["made.patch"], paths["applied.bin"]], capture_output=True, text=True)
        c.check("command line apply gives the new file", r.returncode == 0 and
                open(paths["applied.bin"], "rb").read() == bytes(new), r.stderr)
        r = subprocess.run([sys.executable, os.path.join(STANDIN_DIR, "patchformat.py"), "make", paths["old.bin"],
                            paths["new.bin"], paths["made.patch"]], capture_output=True, text=True)
        c.check("command line make", r.returncode == 0 and "payload" in r.stdout, r.stderr)

        # Every broken variant fails with the error it was made for, also from the command line.
        seen = set()
        for variant, data, error in pf.broken_variants():
            seen.add(error)
            try:
                pf.apply_container(pf.OLD_SAMPLE, data)
                c.check(f"broken: {variant}", False, "applied without an error")
            except pf.PatchError as e:
                c.equal(f"broken: {variant} fails with {error}", e.name, error)
        path = os.path.join(folder, "broken.patch")
        with open(path, "wb") as f:
            f.write(dict((v, d) for v, d, _ in pf.broken_variants())["wrong-magic"])
        r = subprocess.run([sys.executable, os.path.join(STANDIN_DIR, "patchformat.py"), "apply", paths["old.bin"],
                            path, os.path.join(folder, "x")], capture_output=True, text=True)
        c.check("command line names the error", r.returncode == 2 and "bad-magic" in r.stderr, r.stderr)
        missing = set(pf.ERRORS) - seen - {"payload-size-mismatch"}
        c.check("a broken variant for every error of the applier", not missing, missing)
        c.equal("the sample patch applies", pf.apply_container(pf.OLD_SAMPLE, pf.VALID_SAMPLE), pf.NEW_SAMPLE)
        short = pf.pack_container(pf.build_payload([(4, 4, 0)], b"\x01" * 4, b"WXYZ", 8))
        raw = int.from_bytes(short[:4], "little") + 10
        try:
            pf.read_container(raw.to_bytes(4, "little") + short[4:])
            c.check("a stream shorter than its raw size is refused", False)
        except pf.PatchError as e:
            c.equal("a stream shorter than its raw size is refused", e.name, "payload-size-mismatch")
    finally:
        status = c.finish()
        if status == 0:
            shutil.rmtree(folder, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
