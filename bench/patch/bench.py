#!/usr/bin/env python3
"""Patch applier benchmark: the launcher's two appliers (through dvcli under Wine) beside Debian's
native bspatch, on the same old/new pair.

Makes an old file of game-archive-like content (incompressible assets, record tables, text) and a new
release of it (assets kept, edited in place, shifted by insertions and deletions, replaced, dropped and
added), diffs the pair with bsdiff, converts the BSDIFF40 patch into the launcher's container, and
applies it with bspatch, `dvcli patch --mode memory` and `dvcli patch --mode stream`. Every output is
compared with the new file. Prints wall time, the appliers' own time (measured inside dvcli) and peak
resident memory of each run, Wine's idle cost (dvcli without a command), and the ratios to bspatch.

Run through bench/patch/run.sh, which builds dvcli and provides the Wine session.
"""

import argparse
import os
import random
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools", "standin"))
import patchformat  # noqa: E402

MIB = 1 << 20


def make_asset(rng, size):
    kind = rng.random()
    if kind < 0.4:  # compressed texture or audio: incompressible
        return rng.randbytes(size)
    if kind < 0.8:  # record table: ids, counters, floats
        records = []
        base = rng.randrange(1 << 20)
        for i in range(size // 16):
            records.append(struct.pack("<IIf4s", base + i, rng.randrange(1000), rng.random() * 100.0,
                                       rng.choice([b"ITEM", b"NPC_", b"QUST", b"SKIL"])))
        data = b"".join(records)
        return data + bytes(size - len(data))
    words = [b"dorevezi", b"quest", b"reward", b"dialog", b"level", b"monster", b"shield", b"{}", b"\n", b"=",
             b"name", b"value", b"0", b"1", b"2", b"true", b"false"]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + b" "
    return bytes(out[:size])


def edit_in_place(rng, data):
    out = bytearray(data)
    for _ in range(max(1, len(out) // 500)):
        pos = rng.randrange(len(out))
        out[pos] = (out[pos] + rng.randrange(1, 256)) & 0xFF
    return bytes(out)


def shift(rng, data):
    out = bytearray(data)
    for _ in range(rng.randrange(1, 6)):
        pos = rng.randrange(len(out))
        if rng.random() < 0.5:
            out[pos:pos] = rng.randbytes(rng.randrange(1, 4096))
        else:
            del out[pos:pos + rng.randrange(1, 4096)]
    return bytes(out)


def make_pair(size, seed):
    """An old archive of about `size` bytes and its next release."""
    rng = random.Random(seed)
    assets = []
    total = 0
    while total < size:
        asset = make_asset(rng, rng.randrange(64 * 1024, 2 * MIB))
        assets.append(asset)
        total += len(asset)
    new_assets = []
    for asset in assets:
        fate = rng.random()
        if fate < 0.55:
            new_assets.append(asset)
        elif fate < 0.75:
            new_assets.append(edit_in_place(rng, asset))
        elif fate < 0.85:
            new_assets.append(shift(rng, asset))
        elif fate < 0.95:
            new_assets.append(make_asset(rng, len(asset)))
        # else: dropped
        if rng.random() < 0.05:
            new_assets.append(make_asset(rng, rng.randrange(64 * 1024, MIB)))
    return b"".join(assets), b"".join(new_assets)


def measured(cmd, out_path):
    """Runs cmd under GNU time; returns (exit status, wall seconds, peak resident KiB, output text).
    (A child forked from this process would report this process's own peak as well.)"""
    rss_path = out_path + ".rss"
    with open(out_path, "w+b") as out:
        start = time.perf_counter()
        code = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_path] + cmd, stdout=out,
                              stderr=subprocess.STDOUT).returncode
        wall = time.perf_counter() - start
        out.seek(0)
        text = out.read().decode("utf-8", "replace")
    with open(rss_path) as f:
        rss = int(f.read().split()[-1])
    os.remove(rss_path)
    return code, wall, rss, text


def first_touch_ms_per_mib():
    """What touching fresh memory costs here: each applier and bspatch pay it for every buffer."""
    import mmap
    size = 64 * MIB
    region = mmap.mmap(-1, size)
    start = time.perf_counter()
    for offset in range(0, size, mmap.PAGESIZE):
        region[offset] = 1
    elapsed = time.perf_counter() - start
    region.close()
    return elapsed * 1000.0 / 64


def in_process_seconds(text):
    for token in text.split():
        if token.startswith("elapsed_ms="):
            return float(token.split("=", 1)[1]) / 1000.0
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dvcli", required=True, help="path of dvcli.exe")
    parser.add_argument("--size-mib", type=float, default=32, help="size of the old file (default 32)")
    parser.add_argument("--runs", type=int, default=3, help="runs per tool; the median is shown (default 3)")
    parser.add_argument("--seed", type=int, default=2024)
    parser.add_argument("--workdir", help="folder for the files (default: a temporary folder)")
    args = parser.parse_args()

    work = args.workdir or tempfile.mkdtemp(prefix="dv-patch-bench-")
    os.makedirs(work, exist_ok=True)
    old_path, new_path = os.path.join(work, "old.bin"), os.path.join(work, "new.bin")
    bsdiff_path, container_path = os.path.join(work, "patch.bsdiff"), os.path.join(work, "patch.container")

    old, new = make_pair(int(args.size_mib * MIB), args.seed)
    with open(old_path, "wb") as f:
        f.write(old)
    with open(new_path, "wb") as f:
        f.write(new)
    start = time.perf_counter()
    subprocess.run(["bsdiff", old_path, new_path, bsdiff_path], check=True)
    diff_seconds = time.perf_counter() - start
    with open(bsdiff_path, "rb") as f:
        payload = patchformat.bsdiff40_to_payload(f.read())
    container = patchformat.pack_container(payload)
    with open(container_path, "wb") as f:
        f.write(container)
    print(f"old {len(old) / MIB:.1f} MiB, new {len(new) / MIB:.1f} MiB; bsdiff took {diff_seconds:.1f} s; "
          f"BSDIFF40 patch {os.path.getsize(bsdiff_path) / MIB:.2f} MiB, container "
          f"{len(container) / MIB:.2f} MiB (payload {len(payload) / MIB:.1f} MiB)")

    wine = os.path.join(ROOT, "tools", "testenv", "wine-exec.sh")
    tools = [
        ("bspatch (native)", lambda out: ["bspatch", old_path, out, bsdiff_path], True),
        ("dvcli memory (Wine)",
         lambda out: [wine, args.dvcli, "patch", "--mode", "memory", old_path, out, container_path], True),
        ("dvcli stream (Wine)",
         lambda out: [wine, args.dvcli, "patch", "--mode", "stream", old_path, out, container_path], True),
        ("Wine idle (dvcli, no command)", lambda out: [wine, args.dvcli], False),
    ]
    # Wine's first start in a session fills caches: not part of any figure.
    measured([wine, args.dvcli], os.path.join(work, "warmup.txt"))

    results = {}
    for name, command, produces in tools:
        runs = []
        for run in range(args.runs):
            out = os.path.join(work, f"out-{len(results)}-{run}.bin")
            if os.path.exists(out):
                os.remove(out)
            code, wall, rss, text = measured(command(out), os.path.join(work, "log.txt"))
            if produces:
                if code != 0:
                    sys.exit(f"{name} failed ({code}): {text.strip()}")
                with open(out, "rb") as f:
                    if f.read() != new:
                        sys.exit(f"{name} wrote a file that differs from the new file")
                os.remove(out)
            runs.append((wall, rss, in_process_seconds(text)))
        runs.sort()
        wall, rss, inside = runs[len(runs) // 2]
        results[name] = (wall, max(r[1] for r in runs) / 1024.0, inside)

    print(f"\n{'':32}{'wall s':>10}{'applier s':>12}{'peak RSS MiB':>15}")
    for name, (wall, rss, inside) in results.items():
        inside_text = f"{inside:.3f}" if inside is not None else "-"
        print(f"{name:32}{wall:>10.3f}{inside_text:>12}{rss:>15.1f}")

    bspatch_wall, bspatch_rss, _ = results["bspatch (native)"]
    idle_wall, idle_rss, _ = results["Wine idle (dvcli, no command)"]
    print("\nagainst bspatch (speed: bspatch time / applier time; memory: applier peak / bspatch peak)")
    for name in ("dvcli memory (Wine)", "dvcli stream (Wine)"):
        wall, rss, inside = results[name]
        print(f"  {name:22} speed {bspatch_wall / wall:5.2f}x with Wine's start, "
              f"{bspatch_wall / inside:6.2f}x applier alone; memory {rss / bspatch_rss:4.2f}x, "
              f"{(rss - idle_rss) / bspatch_rss:4.2f}x above idle Wine")
    mem_wall = results["dvcli memory (Wine)"][0]
    stream_wall, stream_rss, _ = results["dvcli stream (Wine)"]
    print("\naims (with Wine's start counted):")
    print(f"  both appliers at least 2x bspatch's speed: "
          f"{'met' if min(bspatch_wall / mem_wall, bspatch_wall / stream_wall) >= 2 else 'NOT met'}")
    print(f"  streaming peak memory no larger than bspatch's: {'met' if stream_rss <= bspatch_rss else 'NOT met'}"
          f" ({stream_rss:.1f} vs {bspatch_rss:.1f} MiB; Wine idle {idle_rss:.1f} MiB, start {idle_wall:.2f} s)")
    print(f"  (first touch of fresh memory here: {first_touch_ms_per_mib():.2f} ms per MiB)")
    if not args.workdir:
        for name in os.listdir(work):
            os.remove(os.path.join(work, name))
        os.rmdir(work)


if __name__ == "__main__":
    main()
