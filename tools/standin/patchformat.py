#!/usr/bin/env python3
"""The launcher's binary patch format, made from real bsdiff output, and a reference applier.

A patch file is a container: u32 raw size, u32 packed size (both little-endian), then one zlib stream
that inflates to a "BSDIFN40" payload:

    magic "BSDIFN40" | control length | diff length | new size | control | diff | extra

Numbers are 8 bytes, sign and magnitude (bit 7 of byte 7 is the sign); the launcher reads only the low
32 bits. The control block is a list of triples (x, y, z): add x diff bytes to the old file's bytes at
the old position, copy y extra bytes, then move the old position by x + z. Debian's bsdiff writes the
same triples as "BSDIFF40" with three bzip2 blocks; bsdiff_to_container unpacks them and repacks them.

apply_container mirrors the launcher's checks and names every failure (PatchError.name), with the
launcher's numbering (PatchError.stage, PatchError.code). It is stricter in one place: a stream that
inflates to fewer bytes than the raw size is rejected ("payload-size-mismatch").

Command line:
    patchformat.py make OLD NEW OUT        bsdiff OLD NEW, convert, check the result applies to NEW
    patchformat.py convert BSDIFF OUT      convert an existing BSDIFF40 file
    patchformat.py apply OLD PATCH NEW     apply a container (exit status 2 and the error name on failure)
    patchformat.py info PATCH              print the sizes and the triples
"""

import bz2
import os
import struct
import subprocess
import sys
import tempfile
import zlib

MAGIC = b"BSDIFN40"
BSDIFF_MAGIC = b"BSDIFF40"
HEADER_SIZE = 32
TRIPLE_SIZE = 24

# Every failure the launcher's applier can meet in a patch file, with the stage that finds it and the
# code its streaming applier reports there.
ERRORS = {
    "raw-size-short": ("container", -2),
    "packed-size-short": ("container", -4),
    "packed-data-unreadable": ("container", -5),
    "packed-data-short": ("container", -6),
    "inflate-failed": ("container", -7),
    "payload-size-mismatch": ("container", -7),
    "payload-short": ("header", -6),
    "bad-magic": ("header", -6),
    "negative-length": ("header", -6),
    "diff-block-outside": ("header", -8),
    "extra-block-outside": ("header", -9),
    "control-truncated": ("apply", -1),
    "bad-triple": ("apply", -2),
    "diff-data-short": ("apply", -3),
    "extra-overrun": ("apply", -4),
    "extra-data-short": ("apply", -5),
}


class PatchError(Exception):
    def __init__(self, name, detail=""):
        self.name = name
        self.stage, self.code = ERRORS[name]
        super().__init__(f"{name} ({self.stage} {self.code}){': ' + detail if detail else ''}")


def encode_number(value):
    raw = bytearray(abs(value).to_bytes(8, "little"))
    if value < 0:
        raw[7] |= 0x80
    return bytes(raw)


def decode_number(raw):
    """The launcher's reading: bytes 0-3 as a signed 32-bit value, negated when the sign bit is set."""
    value = int.from_bytes(raw[0:4], "little", signed=True)
    return -value if raw[7] & 0x80 else value


def decode_number64(raw):
    value = int.from_bytes(raw[0:7], "little")
    return -value if raw[7] & 0x80 else value


def build_payload(triples, diff, extra, new_size, control_length=None, diff_length=None, magic=MAGIC):
    """A payload from its parts; the two lengths default to the true block sizes."""
    control = b"".join(encode_number(x) + encode_number(y) + encode_number(z) for x, y, z in triples)
    if control_length is None:
        control_length = len(control)
    if diff_length is None:
        diff_length = len(diff)
    return (magic + encode_number(control_length) + encode_number(diff_length) + encode_number(new_size) +
            control + diff + extra)


def pack_container(payload, raw_size=None, level=9):
    packed = zlib.compress(payload, level)
    if raw_size is None:
        raw_size = len(payload)
    return struct.pack("<II", raw_size, len(packed)) + packed


def _inflate(packed, capacity):
    """zlib's uncompress into a buffer of `capacity` bytes: the data, or None when it did not fit or the
    stream ended early (both are Z_BUF_ERROR there). A corrupt stream raises PatchError."""
    inflater = zlib.decompressobj()
    try:
        out = inflater.decompress(packed, capacity) if capacity > 0 else b""
    except zlib.error as error:
        raise PatchError("inflate-failed", str(error)) from None
    if inflater.eof:
        return out
    if capacity == 0:
        try:
            inflater.decompress(packed, 1)
        except zlib.error as error:
            raise PatchError("inflate-failed", str(error)) from None
        if inflater.eof:
            return b""
    return None


def read_container(data):
    """The payload of a container, checked as the launcher reads it."""
    if len(data) < 4:
        raise PatchError("raw-size-short")
    if len(data) < 8:
        raise PatchError("packed-size-short")
    raw_size, packed_size = struct.unpack_from("<Ii", data, 0)
    if packed_size < 0:
        raise PatchError("packed-data-unreadable", f"packed size {packed_size}")
    packed = data[8:8 + packed_size]
    if len(packed) < packed_size:
        raise PatchError("packed-data-short", f"{len(packed)} of {packed_size} bytes")
    out = _inflate(packed, raw_size + 1000)
    if out is None:
        out = _inflate(packed, raw_size * 2)
        if out is None:
            raise PatchError("inflate-failed", "stream larger than twice the raw size, or cut short")
    if len(out) < raw_size:
        raise PatchError("payload-size-mismatch", f"inflated {len(out)} bytes, raw size {raw_size}")
    return out[:raw_size]


def read_header(payload):
    """(control length, diff length, new size) after the launcher's header checks."""
    if len(payload) < HEADER_SIZE:
        raise PatchError("payload-short", f"{len(payload)} bytes")
    if payload[0:8] != MAGIC:
        raise PatchError("bad-magic", repr(payload[0:8]))
    control_length = decode_number(payload[8:16])
    diff_length = decode_number(payload[16:24])
    new_size = decode_number(payload[24:32])
    if control_length < 0 or diff_length < 0 or new_size < 0:
        raise PatchError("negative-length", f"{control_length}, {diff_length}, {new_size}")
    if HEADER_SIZE + control_length > len(payload):
        raise PatchError("diff-block-outside")
    if HEADER_SIZE + control_length + diff_length > len(payload):
        raise PatchError("extra-block-outside")
    return control_length, diff_length, new_size


def _add_bytes(a, b):
    """Byte-wise sum modulo 256 of two equally long byte strings, on whole big integers: the low seven
    bits of each byte never carry into the next byte, and the top bit is an exclusive or."""
    n = len(a)
    if n == 0:
        return b""
    ia = int.from_bytes(a, "little")
    ib = int.from_bytes(b, "little")
    low = int.from_bytes(b"\x7f" * n, "little")
    high = int.from_bytes(b"\x80" * n, "little")
    total = ((ia & low) + (ib & low)) ^ ((ia ^ ib) & high)
    return total.to_bytes(n, "little")


def _add_old(chunk, old, old_pos):
    """chunk with the old file's bytes from old_pos added wherever they exist."""
    first = max(0, -old_pos)
    last = min(len(chunk), len(old) - old_pos)
    if first >= last:
        return chunk
    summed = _add_bytes(chunk[first:last], old[old_pos + first:old_pos + last])
    return chunk[:first] + summed + chunk[last:]


def iter_triples(payload):
    control_length, _, new_size = read_header(payload)
    pos, produced = HEADER_SIZE, 0
    while produced < new_size and pos + TRIPLE_SIZE <= len(payload):
        x, y, z = (decode_number(payload[pos + i:pos + i + 8]) for i in (0, 8, 16))
        yield x, y, z
        pos += TRIPLE_SIZE
        produced += max(x, 0) + max(y, 0)


def apply_payload(old, payload):
    control_length, diff_length, new_size = read_header(payload)
    if new_size <= 0:
        return b""
    new = bytearray(new_size)
    control_pos = HEADER_SIZE
    diff_pos = HEADER_SIZE + control_length
    extra_pos = diff_pos + diff_length
    new_pos = old_pos = 0
    size = len(payload)
    while new_pos < new_size:
        if control_pos + TRIPLE_SIZE > size:
            raise PatchError("control-truncated", f"triple at {control_pos} of {size}")
        x, y, z = (decode_number(payload[control_pos + i:control_pos + i + 8]) for i in (0, 8, 16))
        control_pos += TRIPLE_SIZE
        if x < 0 or y < 0 or new_pos + x > new_size:
            raise PatchError("bad-triple", f"({x}, {y}, {z}) at new position {new_pos}")
        if diff_pos + x > size:
            raise PatchError("diff-data-short", f"{x} bytes wanted at {diff_pos} of {size}")
        new[new_pos:new_pos + x] = _add_old(payload[diff_pos:diff_pos + x], old, old_pos)
        diff_pos += x
        new_pos += x
        if new_pos + y > new_size:
            raise PatchError("extra-overrun", f"{y} extra bytes at new position {new_pos}")
        if extra_pos + y > size:
            raise PatchError("extra-data-short", f"{y} bytes wanted at {extra_pos} of {size}")
        new[new_pos:new_pos + y] = payload[extra_pos:extra_pos + y]
        extra_pos += y
        new_pos += y
        old_pos += x + z
    return bytes(new)


def _read(source):
    if isinstance(source, (bytes, bytearray, memoryview)):
        return bytes(source)
    with open(source, "rb") as f:
        return f.read()


def apply_container(old, patch, new_path=None):
    """Applies a container (bytes or path) to an old file (bytes or path); returns the new bytes and
    writes them to new_path when given. Raises PatchError."""
    result = apply_payload(_read(old), read_container(_read(patch)))
    if new_path is not None:
        with open(new_path, "wb") as f:
            f.write(result)
    return result


def bsdiff40_to_payload(data):
    if data[0:8] != BSDIFF_MAGIC:
        raise ValueError("not a BSDIFF40 patch")
    control_packed = decode_number64(data[8:16])
    diff_packed = decode_number64(data[16:24])
    new_size = decode_number64(data[24:32])
    start = HEADER_SIZE
    control = bz2.decompress(data[start:start + control_packed])
    diff = bz2.decompress(data[start + control_packed:start + control_packed + diff_packed])
    extra = bz2.decompress(data[start + control_packed + diff_packed:])
    return (MAGIC + encode_number(len(control)) + encode_number(len(diff)) + encode_number(new_size) +
            control + diff + extra)


def payload_to_bsdiff40(payload):
    """The same patch as Debian's bspatch reads it (used to check payloads against an independent
    applier)."""
    control_length, diff_length, new_size = read_header(payload)
    control = payload[HEADER_SIZE:HEADER_SIZE + control_length]
    diff = payload[HEADER_SIZE + control_length:HEADER_SIZE + control_length + diff_length]
    extra = payload[HEADER_SIZE + control_length + diff_length:]
    blocks = [bz2.compress(block, 9) for block in (control, diff, extra)]
    return (BSDIFF_MAGIC + encode_number(len(blocks[0])) + encode_number(len(blocks[1])) +
            encode_number(new_size) + b"".join(blocks))


def bsdiff_to_container(old_path, new_path, out_path, bsdiff="bsdiff", verify=True, level=9):
    """Runs bsdiff over two files and writes the patch in the launcher's container; with verify, the
    patch is applied back and must give the new file. Returns a dict of figures."""
    with tempfile.TemporaryDirectory(prefix="dv-bsdiff-") as tmp:
        raw_patch = os.path.join(tmp, "patch.bsdiff")
        subprocess.run([bsdiff, os.fspath(old_path), os.fspath(new_path), raw_patch], check=True)
        payload = bsdiff40_to_payload(_read(raw_patch))
    container = pack_container(payload, level=level)
    if verify:
        if apply_payload(_read(old_path), read_container(container)) != _read(new_path):
            raise RuntimeError(f"patch of {new_path} does not round-trip")
    with open(out_path, "wb") as f:
        f.write(container)
    return {"raw_size": len(payload), "packed_size": len(container) - 8}


def broken_variants():
    """One patch per failure the launcher's applier names, each for OLD_SAMPLE, as a list of
    (variant name, container bytes, expected error name). VALID_SAMPLE is the patch they all break."""
    good = build_payload([(4, 4, 0)], b"\x01\x01\x01\x01", b"WXYZ", 8)
    variants = [
        ("empty-file", b"", "raw-size-short"),
        ("raw-size-only", struct.pack("<I", len(good)) + b"\x05", "packed-size-short"),
        ("packed-size-negative", struct.pack("<Ii", len(good), -1) + b"\x00" * 8, "packed-data-unreadable"),
        ("packed-data-cut", pack_container(good)[:-5], "packed-data-short"),
        ("not-zlib", struct.pack("<II", len(good), 12) + b"this is junk", "inflate-failed"),
        ("payload-31-bytes", pack_container(good[:31]), "payload-short"),
        ("wrong-magic", pack_container(BSDIFF_MAGIC + good[8:]), "bad-magic"),
        ("negative-control-length", pack_container(build_payload([(4, 4, 0)], b"\x01" * 4, b"WXYZ", 8,
                                                                 control_length=-24)), "negative-length"),
        ("negative-new-size", pack_container(build_payload([(4, 4, 0)], b"\x01" * 4, b"WXYZ", -8)),
         "negative-length"),
        ("diff-block-outside", pack_container(build_payload([(4, 4, 0)], b"\x01" * 4, b"WXYZ", 8,
                                                            control_length=200)), "diff-block-outside"),
        ("extra-block-outside", pack_container(build_payload([(4, 4, 0)], b"\x01" * 4, b"WXYZ", 8,
                                                             diff_length=200)), "extra-block-outside"),
        ("control-truncated", pack_container(build_payload([(4, 4, 0)], b"\x01" * 4, b"WXYZ", 16)),
         "control-truncated"),
        ("negative-x", pack_container(build_payload([(-4, 4, 0)], b"\x01" * 4, b"WXYZ", 8)), "bad-triple"),
        ("x-past-new-size", pack_container(build_payload([(9, 0, 0)], b"\x01" * 9, b"", 8)), "bad-triple"),
        ("diff-data-short", pack_container(build_payload([(100, 0, 0)], b"\x01" * 10, b"", 100)),
         "diff-data-short"),
        ("extra-past-new-size", pack_container(build_payload([(4, 10, 0)], b"\x01" * 4, b"W" * 10, 8)),
         "extra-overrun"),
        ("extra-data-short", pack_container(build_payload([(4, 4, 0)], b"\x01" * 4, b"WX", 8)),
         "extra-data-short"),
    ]
    return variants


OLD_SAMPLE = b"abcdefgh"
VALID_SAMPLE = pack_container(build_payload([(4, 4, 0)], b"\x01\x01\x01\x01", b"WXYZ", 8))
NEW_SAMPLE = b"bcdeWXYZ"


def _main(argv):
    if len(argv) < 2 or argv[1] in ("-h", "--help"):
        print(__doc__)
        return 0 if len(argv) >= 2 else 1
    command, args = argv[1], argv[2:]
    try:
        if command == "make" and len(args) == 3:
            figures = bsdiff_to_container(*args)
            print(f"{args[2]}: payload {figures['raw_size']} bytes, packed {figures['packed_size']} bytes")
        elif command == "convert" and len(args) == 2:
            with open(args[1], "wb") as f:
                f.write(pack_container(bsdiff40_to_payload(_read(args[0]))))
        elif command == "apply" and len(args) == 3:
            apply_container(args[0], args[1], args[2])
        elif command == "info" and len(args) == 1:
            payload = read_container(_read(args[0]))
            control_length, diff_length, new_size = read_header(payload)
            print(f"payload {len(payload)} bytes: control {control_length}, diff {diff_length}, "
                  f"new size {new_size}")
            for triple in iter_triples(payload):
                print("%d %d %d" % triple)
        else:
            print(__doc__, file=sys.stderr)
            return 1
    except PatchError as error:
        print(f"error: {error}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(_main(sys.argv))
