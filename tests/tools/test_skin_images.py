#!/usr/bin/env python3
"""The skin's image script: two runs write the same bytes; the PNG files carry no time stamp or
text chunk; the main window's pictures come in the sizes its skin places them at; the icon holds
the usual sizes from 16 to 256 pixels, as bitmaps and one PNG; a run over an up-to-date folder
leaves the files untouched."""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ.get("DV_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SCRIPT = os.path.join(SOURCE, "tools", "skin", "make_skin_images.py")


def run(folder):
    public, icon = os.path.join(folder, "public"), os.path.join(folder, "app.ico")
    subprocess.run([sys.executable, SCRIPT, public, icon], check=True)
    return public, icon


def read_all(public, icon):
    files = {name: open(os.path.join(public, name), "rb").read() for name in sorted(os.listdir(public))}
    files["app.ico"] = open(icon, "rb").read()
    return files


def png_chunks(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    chunks, pos = [], 8
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunks.append(kind.decode("ascii"))
        pos += 12 + length
    return chunks


class SkinImagesTest(unittest.TestCase):
    def test_two_runs_write_the_same_bytes_without_metadata(self):
        with tempfile.TemporaryDirectory() as first, tempfile.TemporaryDirectory() as second:
            a, b = read_all(*run(first)), read_all(*run(second))
        self.assertEqual(sorted(a), sorted(b))
        for name in a:
            self.assertEqual(a[name], b[name], name)
        self.assertIn("bk_shadow.png", a)
        for name, data in a.items():
            if name.endswith(".png"):
                self.assertEqual(set(png_chunks(data)), {"IHDR", "IDAT", "IEND"}, name)

    def test_main_window_pictures_have_the_sizes_the_skin_expects(self):
        # main/skin.xml places the key art, logo and buttons at these sizes; the link file names
        # a normal and a hot picture for every link.
        from PIL import Image
        expected = {"main_key_art.png": (1000, 456), "main_logo.png": (28, 28)}
        for state in ("normal", "hot", "pushed", "disabled"):
            expected["main_btn_game_" + state + ".png"] = (240, 60)
            expected["main_btn_settings_" + state + ".png"] = (24, 24)
            expected["main_btn_min_" + state + ".png"] = (24, 24)
        for kind in ("weibo", "bilibili", "tieba", "faq"):
            for state in ("normal", "hot"):
                expected["link_" + kind + "_" + state + ".png"] = (36, 36)
        with tempfile.TemporaryDirectory() as folder:
            public, _ = run(folder)
            for name, size in expected.items():
                with Image.open(os.path.join(public, name)) as image:
                    self.assertEqual(image.size, size, name)
                    self.assertEqual(image.mode, "RGBA", name)

    def test_icon_holds_the_usual_sizes(self):
        with tempfile.TemporaryDirectory() as folder:
            data = read_all(*run(folder))["app.ico"]
        reserved, kind, count = struct.unpack("<HHH", data[:6])
        self.assertEqual((reserved, kind), (0, 1))
        sizes = []
        for i in range(count):
            width, height, _, _, planes, bits, length, offset = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
            side = width or 256
            self.assertEqual((width, planes, bits), (height, 1, 32))
            self.assertLessEqual(offset + length, len(data))
            blob = data[offset:offset + length]
            if side == 256:
                self.assertEqual(blob[:4], b"\x89PNG")
            else:
                header_size, w, h = struct.unpack("<Iii", blob[:12])
                self.assertEqual((header_size, w, h), (40, side, side * 2))
                # Header, BGRA pixels, then a 1-bit mask with rows padded to 32 bits.
                self.assertEqual(length, 40 + side * side * 4 + ((side + 31) // 32) * 4 * side)
            sizes.append(side)
        self.assertEqual(sizes, [16, 24, 32, 48, 64, 128, 256])

    def test_an_unchanged_file_is_not_rewritten(self):
        with tempfile.TemporaryDirectory() as folder:
            public, icon = run(folder)
            shadow = os.path.join(public, "bk_shadow.png")
            os.utime(shadow, (1000000000, 1000000000))
            os.utime(icon, (1000000000, 1000000000))
            run(folder)
            self.assertEqual(os.stat(shadow).st_mtime, 1000000000)
            self.assertEqual(os.stat(icon).st_mtime, 1000000000)


if __name__ == "__main__":
    unittest.main()
