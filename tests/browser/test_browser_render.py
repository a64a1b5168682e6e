#!/usr/bin/env python3
"""Pages laid out and painted by the runtime stand-in's engine: a windowless browser shows fixture
pages the server stand-in serves over HTTPS (the document, its stylesheet, script and PNG each fetched),
and the frame's pixels are probed where the CSS puts boxes, borders, a float, a table, an image and
Latin and Chinese text, and a box a script wrote. Each frame is saved as a screenshot (build/win/screenshots/)."""

import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "tools"))
sys.path.insert(0, HERE)
from standin_support import Checks, Standin, work_dir  # noqa: E402
from test_browser_loads import BINARY_DIR, probe_folder, run_probe  # noqa: E402
import certs  # noqa: E402

WIDTH, HEIGHT = 400, 300

PAGE = """<!DOCTYPE html>
<html><head><title>Layout</title><link rel="stylesheet" href="layout.css"></head>
<body>
<div id="box"></div>
<div id="float"></div>
<table><tr><td class="a"></td><td class="b"></td></tr></table>
<img id="image" src="dot.png" alt="">
<p id="latin">Hello</p>
<p id="chinese">你好世界</p>
<div id="end"></div>
<script src="layout.js"></script>
</body></html>
"""

STYLE = """
body { margin: 0; background: #ffffff; font-family: sans-serif; }
#box { margin: 10px; width: 100px; height: 40px; background: #ff0000; border: 5px solid #0000ff; }
#float { float: right; width: 60px; height: 60px; background: #00ff00; }
table { border-collapse: collapse; border-spacing: 0; }
td { width: 50px; height: 30px; padding: 0; }
td.a { background: #ffff00; }
td.b { background: #00ffff; }
#image { position: absolute; left: 200px; top: 20px; width: 40px; height: 40px; }
#latin { position: absolute; left: 10px; top: 150px; margin: 0; font-size: 24px; color: #000000; }
#chinese { position: absolute; left: 10px; top: 200px; margin: 0; font-size: 24px; color: #000000; }
#end { position: absolute; left: 0; top: 1000px; width: 10px; height: 10px; }
#scripted { position: absolute; left: 300px; top: 200px; width: 40px; height: 40px; background: #008000; }
"""

# JavaScript runs: the script, a file of its own, adds a box to the page.
SCRIPT = "document.write('<div id=\"scripted\"></div>');\n"


# The layout the stylesheet asks for: (x, y) -> 0xRRGGBB.
PROBES = {
    "box border, left edge": ((12, 30), 0x0000FF),
    "box border, top edge": ((60, 12), 0x0000FF),
    "box inside": ((60, 35), 0xFF0000),
    "right of the box (margin)": ((130, 35), 0xFFFFFF),
    "float at the right edge below the box": ((370, 100), 0x00FF00),
    "left of the float": ((330, 100), 0xFFFFFF),
    "first table cell": ((25, 85), 0xFFFF00),
    "second table cell": ((75, 85), 0x00FFFF),
    "image, scaled from 4x4 to 40x40": ((220, 40), 0xFF00FF),
    "right of the image": ((245, 40), 0xFFFFFF),
    "box the script wrote": ((320, 220), 0x008000),
    "page background": ((300, 280), 0xFFFFFF),
}


# A click focuses a text field, which takes typed text; the page's click listener fills the other.
FORM = """<!DOCTYPE html>
<html><head><title>Form</title><style>
body { margin: 0; }
input { position: absolute; left: 10px; width: 200px; height: 30px; font-size: 20px; border: 1px solid #000000;
        padding: 0 4px; background: #ffffff; color: #000000; }
#typed { top: 10px; }
#echo { top: 60px; }
</style></head><body>
<input id="typed" type="text" value="">
<input id="echo" type="text" value="">
<script>
document.getElementById('typed').addEventListener('click', function () {
  document.getElementById('echo').value = 'clicked';
});
</script>
</body></html>
"""


def png(width, height, rows):
    """A PNG of RGB rows (bytes of 3 a pixel)."""
    raw = b"".join(b"\0" + row for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def read_frame(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 12 or data[:4] != b"DVFR":
        return 0, 0, []
    width, height = struct.unpack("<ii", data[4:12])
    pixels = list(struct.unpack(f"<{width * height}I", data[12:12 + width * height * 4]))
    return width, height, pixels


def save_screenshot(name, width, height, pixels):
    folder = os.path.join(BINARY_DIR, "screenshots")
    os.makedirs(folder, exist_ok=True)
    rows = []
    for y in range(height):
        row = bytearray()
        for v in pixels[y * width:(y + 1) * width]:
            row += bytes(((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF))
        rows.append(bytes(row))
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(png(width, height, rows))
    return path


def ink(pixels, width, x0, y0, x1, y1):
    """Pixels clearly darker than the white page within the area."""
    count = 0
    for y in range(y0, y1):
        for x in range(x0, x1):
            v = pixels[y * width + x]
            if ((v >> 16) & 0xFF) + ((v >> 8) & 0xFF) + (v & 0xFF) < 3 * 128:
                count += 1
    return count


def check_layout(c, label, pixels):
    for name, ((x, y), colour) in PROBES.items():
        actual = pixels[y * WIDTH + x] & 0xFFFFFF
        c.equal(f"{label}{name} at {x},{y}", f"{actual:06X}", f"{colour:06X}")


def main():
    c = Checks("browser render")
    folder = work_dir("browser_render")
    site = os.path.join(folder, "site")
    os.makedirs(site, exist_ok=True)
    with open(os.path.join(site, "layout.html"), "w", encoding="utf-8") as f:
        f.write(PAGE)
    with open(os.path.join(site, "layout.css"), "w") as f:
        f.write(STYLE)
    with open(os.path.join(site, "form.html"), "w") as f:
        f.write(FORM)
    with open(os.path.join(site, "layout.js"), "w") as f:
        f.write(SCRIPT)
    with open(os.path.join(site, "dot.png"), "wb") as f:
        f.write(png(4, 4, [b"\xff\x00\xff" * 4] * 4))
    with Standin({"mounts": {"/site/": site}}, folder) as s:
        page = s.addresses["main"] + "/site/layout.html"
        run = os.path.join(folder, "probe")
        probe_folder(run)
        frame_file = os.path.join(run, "layout.frame")
        seen = run_probe(run, ["render", "--trust=" + certs.windows_path(s.addresses["ca"]), f"{WIDTH}x{HEIGHT}",
                               page, "layout.frame", "scrolled.frame"])
        c.equal("probe ran", seen.get("done"), "1")
        c.equal("page loaded", seen.get("loaded"), "200")
        requested = [e["path"] for e in s.control("GET", "/log")]
        # The render process shows the document the browser process fetched: it asks for it no second
        # time. (The engine may ask twice for an image the server gives no cache lifetime.)
        c.equal("the document, its stylesheet and script fetched once, the image too",
                [min(requested.count(p), 1 if p.endswith(".png") else 9)
                 for p in ("/site/layout.html", "/site/layout.css", "/site/layout.js", "/site/dot.png")], [1, 1, 1, 1])
        width, height, pixels = read_frame(frame_file) if os.path.exists(frame_file) else (0, 0, [])
        c.equal("frame of the view's size", (width, height), (WIDTH, HEIGHT))
        if width != WIDTH or height != HEIGHT:
            return c.finish()
        print("screenshot:", save_screenshot("browser_render_layout.png", width, height, pixels))
        c.check("every pixel opaque (the page paints its whole view)", all(v >> 24 == 0xFF for v in pixels))
        check_layout(c, "", pixels)
        # Shut-down with the browser still open on the page: its render process ends with it.
        c.equal("one render process before shut-down", seen.get("render_processes_before_shutdown"), "1")
        with open(os.path.join(run, "cef_temp", "cef.log"), encoding="utf-8", errors="replace") as f:
            runtime_log = f.read()
        c.check("shut-down closed the open browser, not its wait's bound",
                "Shut down" in runtime_log and "Browsers did not close in time" not in runtime_log, runtime_log[-2000:])
        c.equal("no render process after shut-down", seen.get("render_processes_after_shutdown"), "0")
        latin = ink(pixels, width, 10, 150, 110, 185)
        chinese = ink(pixels, width, 10, 200, 130, 235)
        c.check("Latin text has ink where it is placed", latin > 60, latin)
        c.check("Chinese text has ink where it is placed", chinese > 150, chinese)
        c.equal("no ink between the lines", ink(pixels, width, 10, 186, 130, 196), 0)
        # The wheel turned down by 100 moves the page up by 100 pixels.
        sw, sh, scrolled = read_frame(os.path.join(run, "scrolled.frame"))
        c.equal("a frame after the wheel", (sw, sh), (WIDTH, HEIGHT))
        if (sw, sh) == (WIDTH, HEIGHT):
            print("screenshot:", save_screenshot("browser_render_scrolled.png", sw, sh, scrolled))
            for name, ((x, y), colour) in {"float, 100 pixels higher": ((370, 0), 0x00FF00),
                                            "below the float, 100 pixels higher": ((370, 35), 0xFFFFFF)}.items():
                actual = scrolled[y * sw + x] & 0xFFFFFF
                c.equal(f"after the wheel: {name} at {x},{y}", f"{actual:06X}", f"{colour:06X}")
            c.check("after the wheel: Latin text 100 pixels higher", ink(scrolled, sw, 10, 50, 110, 85) > 60)

        # A render process killed under a loaded page: reported, and the next load starts another
        # that lays the page out again.
        seen = run_probe(run, ["render", "--kill-first", f"{WIDTH}x{HEIGHT}", page, "killed.frame"])
        c.equal("page loaded before the kill", seen.get("loaded"), "200")
        c.equal("killed render process reported", seen.get("killed_reported"), "1")
        c.equal("next load completed", seen.get("reloaded"), "200")
        c.equal("next load in a new render process", seen.get("new_render_process"), "1")
        kw, kh, killed = read_frame(os.path.join(run, "killed.frame"))
        c.equal("a frame after the kill", (kw, kh), (WIDTH, HEIGHT))
        if (kw, kh) == (WIDTH, HEIGHT):
            print("screenshot:", save_screenshot("browser_render_after_kill.png", kw, kh, killed))
            check_layout(c, "after the kill: ", killed)
            c.check("after the kill: Latin text has ink", ink(killed, kw, 10, 150, 110, 185) > 60)

        typed = run_probe(run, ["type", s.addresses["main"] + "/site/form.html", "50,25", "abc 你好", "form.frame"])
        c.equal("form page loaded", typed.get("loaded"), "200")
        fw, fh, form = read_frame(os.path.join(run, "form.frame"))
        c.equal("a frame after typing", (fw, fh), (WIDTH, HEIGHT))
        if (fw, fh) == (WIDTH, HEIGHT):
            print("screenshot:", save_screenshot("browser_render_typing.png", fw, fh, form))
            # Inside the borders of each field: ink only where text went in.
            c.check("the clicked field took the typed text", ink(form, fw, 14, 13, 205, 38) > 80,
                    ink(form, fw, 14, 13, 205, 38))
            c.check("the page's click listener filled the other field", ink(form, fw, 14, 63, 205, 88) > 80,
                    ink(form, fw, 14, 63, 205, 88))
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
