#!/usr/bin/env python3
"""Draws the skin's shared images and the application icon.

    make_skin_images.py PUBLIC_DIR ICON_FILE

PUBLIC_DIR receives the PNG files the markup names as "../public/<name>.png"; ICON_FILE is the
program's icon (16 to 256 pixels). Everything is drawn at 100 % from fixed sizes and colours,
four times larger and then reduced, so edges are smooth; the output carries no time stamp or
other metadata, so every run writes the same bytes. Images meant to be stretched keep their
rounded parts inside the nine-grid corners given in global.xml and the skin files.
"""

import io
import os
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter

SUPER = 4  # drawing scale before the reduction

# The palette: a dark card, blue for the primary action, grey for the others, gold for the game.
CARD_TOP = (35, 41, 51)
CARD_BOTTOM = (27, 32, 40)
CARD_LINE = (52, 61, 75)
BLUE = {
    "normal": ((62, 137, 250), (37, 104, 224)),
    "hot": ((84, 153, 255), (52, 121, 240)),
    "pushed": ((33, 92, 198), (30, 84, 182)),
    "disabled": ((44, 60, 88), (40, 54, 80)),
}
GREY = {
    "normal": ((64, 72, 85), (53, 60, 71)),
    "hot": ((78, 88, 103), (65, 73, 86)),
    "pushed": ((44, 50, 59), (40, 45, 53)),
    "disabled": ((42, 47, 55), (38, 43, 50)),
}
GOLD_LEFT = (240, 132, 36)
GOLD_RIGHT = (250, 196, 76)
MARK_RING = (96, 107, 122)
MARK_RING_HOT = (150, 162, 178)
MARK_FILL = (21, 25, 32)
MARK_BLUE = (47, 123, 245)
MARK_BLUE_HOT = (84, 153, 255)
CLOSE_GLYPH = (151, 161, 175)
CLOSE_RED = (229, 72, 77)
CLOSE_RED_PUSHED = (184, 55, 59)
EDIT_FILL = (20, 24, 30)
ICON_DARK = (28, 33, 41)


def blank(width, height):
    return Image.new("RGBA", (width * SUPER, height * SUPER), (0, 0, 0, 0))


def reduce(image):
    width, height = image.size
    return image.resize((width // SUPER, height // SUPER), Image.BOX)


def scaled(box):
    return [round(v * SUPER) for v in box]


def vertical_gradient(width, height, top, bottom, alpha=255):
    """A full-size layer from top to bottom colour (sizes in drawing pixels)."""
    column = Image.new("RGBA", (1, height))
    for y in range(height):
        t = y / max(height - 1, 1)
        column.putpixel((0, y), tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)) + (alpha,))
    return column.resize((width, height), Image.NEAREST)


def horizontal_gradient(width, height, left, right, alpha=255):
    row = Image.new("RGBA", (width, 1))
    for x in range(width):
        t = x / max(width - 1, 1)
        row.putpixel((x, 0), tuple(round(a + (b - a) * t) for a, b in zip(left, right)) + (alpha,))
    return row.resize((width, height), Image.NEAREST)


def rounded_mask(size, box, radius):
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).rounded_rectangle(scaled(box), radius=radius * SUPER, fill=255)
    return mask


def fill_rounded(image, box, radius, layer):
    """Composites layer (full-size) onto image inside a rounded rectangle (box in final pixels)."""
    clipped = Image.new("RGBA", image.size, (0, 0, 0, 0))
    clipped.paste(layer, (0, 0), rounded_mask(image.size, box, radius))
    image.alpha_composite(clipped)


def solid(image, color, alpha=255):
    return Image.new("RGBA", image.size, tuple(color) + (alpha,))


def ring(image, box, radius, width, color, alpha=255):
    """A line of the given width just inside the rounded rectangle."""
    outer = rounded_mask(image.size, box, radius)
    inset = [box[0] + width, box[1] + width, box[2] - width, box[3] - width]
    inner = rounded_mask(image.size, inset, max(radius - width, 0))
    band = Image.new("L", image.size, 0)
    band.paste(outer, (0, 0), outer)
    band.paste(0, (0, 0), inner)
    layer = Image.new("RGBA", image.size, tuple(color) + (alpha,))
    clipped = Image.new("RGBA", image.size, (0, 0, 0, 0))
    clipped.paste(layer, (0, 0), band)
    image.alpha_composite(clipped)


def soft_shadow(size, box, radius, blur, alpha, offset_y=0):
    """A blurred dark rounded rectangle (final pixels); returned at the drawing scale."""
    width, height = size
    shadow = Image.new("RGBA", (width * SUPER, height * SUPER), (0, 0, 0, 0))
    moved = [box[0], box[1] + offset_y, box[2], box[3] + offset_y]
    shadow.paste((0, 0, 0, alpha), (0, 0), rounded_mask(shadow.size, moved, radius))
    return shadow.filter(ImageFilter.GaussianBlur(blur * SUPER))


# ---- The window shadow and the card --------------------------------------------------------


def window_shadow():
    # 64 x 64, nine-grid corners of 30: the shadow fades across the outer 14 pixels (the
    # window's shadow padding); the inside is covered by the window's content.
    size = (64, 64)
    return reduce(soft_shadow(size, (14, 15, 50, 51), 4, 4.5, 150))


def card():
    # 64 x 64, corners of 28: 12 pixels of soft shadow around a card with 10-pixel corners.
    size = (64, 64)
    image = soft_shadow(size, (12, 12, 52, 52), 10, 5, 170, offset_y=2)
    body = (12, 12, 52, 52)
    fill_rounded(image, body, 10, vertical_gradient(image.width, image.height, CARD_TOP, CARD_BOTTOM))
    ring(image, body, 10, 1, CARD_LINE)
    # A faint light edge along the top.
    highlight = Image.new("RGBA", image.size, (0, 0, 0, 0))
    ImageDraw.Draw(highlight).rounded_rectangle(scaled((13, 13, 51, 51)), radius=9 * SUPER,
                                                outline=(255, 255, 255, 18), width=SUPER)
    cut = Image.new("L", image.size, 0)
    ImageDraw.Draw(cut).rectangle(scaled((0, 0, 64, 22)), fill=255)
    image.paste(Image.alpha_composite(image, highlight), (0, 0), cut)
    return reduce(image)


# ---- Buttons -------------------------------------------------------------------------------


def button(colors, state):
    # 48 x 32, corners of 8 (6-pixel rounding); a light line inside the top edge.
    size = (48, 32)
    image = blank(*size)
    top, bottom = colors[state]
    body = (0, 0, 48, 32)
    fill_rounded(image, body, 6, vertical_gradient(image.width, image.height, top, bottom))
    if state != "disabled":
        line = 28 if state != "pushed" else 10
        shine = Image.new("RGBA", image.size, (0, 0, 0, 0))
        ImageDraw.Draw(shine).rounded_rectangle(scaled((0, 0, 48, 32)), radius=6 * SUPER,
                                                outline=(255, 255, 255, line), width=SUPER)
        cut = Image.new("L", image.size, 0)
        ImageDraw.Draw(cut).rectangle(scaled((0, 0, 48, 8)), fill=255)
        image.paste(Image.alpha_composite(image, shine), (0, 0), cut)
    return reduce(image)


def close_button(state):
    # 24 x 24: an x, on a red round plate when hot or pushed.
    image = blank(24, 24)
    draw = ImageDraw.Draw(image)
    glyph = CLOSE_GLYPH
    if state in ("hot", "pushed"):
        plate = CLOSE_RED if state == "hot" else CLOSE_RED_PUSHED
        draw.ellipse(scaled((1, 1, 23, 23)), fill=plate + (255,))
        glyph = (255, 255, 255)
    alpha = 110 if state == "disabled" else 255
    width = round(1.6 * SUPER)
    for a, b in (((8, 8), (16, 16)), ((16, 8), (8, 16))):
        draw.line(scaled(a + b), fill=glyph + (alpha,), width=width)
    # Round line ends.
    for x, y in ((8, 8), (16, 16), (16, 8), (8, 16)):
        r = width / 2
        draw.ellipse([x * SUPER - r, y * SUPER - r, x * SUPER + r, y * SUPER + r], fill=glyph + (alpha,))
    return reduce(image)


# ---- Radio and check marks (18 x 18) -------------------------------------------------------


def radio(state):
    image = blank(18, 18)
    draw = ImageDraw.Draw(image)
    outer = scaled((1, 1, 17, 17))
    if state.startswith("selected"):
        color = MARK_BLUE_HOT if state == "selected_hot" else MARK_BLUE
        draw.ellipse(outer, fill=color + (255,))
        draw.ellipse(scaled((5.5, 5.5, 12.5, 12.5)), fill=(255, 255, 255, 255))
    else:
        ring_color = {"normal": MARK_RING, "hot": MARK_RING_HOT, "disabled": (58, 64, 74)}[state]
        draw.ellipse(outer, fill=ring_color + (255,))
        draw.ellipse(scaled((2.5, 2.5, 15.5, 15.5)), fill=MARK_FILL + (255,))
    return reduce(image)


def check(state):
    image = blank(18, 18)
    box = (1, 1, 17, 17)
    if state.startswith("selected"):
        color = MARK_BLUE_HOT if state == "selected_hot" else MARK_BLUE
        fill_rounded(image, box, 4, solid(image, color))
        draw = ImageDraw.Draw(image)
        points = [scaled(p) for p in ((5, 9.2), (7.8, 12), (13, 6.4))]
        draw.line([tuple(p) for p in points], fill=(255, 255, 255, 255), width=round(1.8 * SUPER), joint="curve")
    else:
        ring_color = {"normal": MARK_RING, "hot": MARK_RING_HOT, "disabled": (58, 64, 74)}[state]
        fill_rounded(image, box, 4, solid(image, ring_color))
        fill_rounded(image, (2.5, 2.5, 15.5, 15.5), 2.5, solid(image, MARK_FILL))
    return reduce(image)


# ---- Progress, scroll bar and edit box -----------------------------------------------------


# Pills one pixel thicker than their corners, so the nine-grid middle is never empty.
def progress_track():
    image = blank(25, 9)
    fill_rounded(image, (0, 0, 25, 9), 4.5, solid(image, (44, 51, 62)))
    return reduce(image)


def progress_fill():
    image = blank(25, 9)
    fill_rounded(image, (0, 0, 25, 9), 4.5, horizontal_gradient(image.width, image.height, GOLD_LEFT, GOLD_RIGHT))
    shine = Image.new("RGBA", image.size, (0, 0, 0, 0))
    ImageDraw.Draw(shine).rectangle(scaled((0, 0, 25, 3)), fill=(255, 255, 255, 40))
    fill_rounded(image, (0, 0, 25, 9), 4.5, shine)
    return reduce(image)


def scroll_part(alpha):
    # 9 x 25, corners of 4: serves both directions.
    image = blank(9, 25)
    fill_rounded(image, (0, 0, 9, 25), 4.5, solid(image, (255, 255, 255), alpha))
    return reduce(image)


def edit_frame(state):
    # 32 x 32, corners of 6.
    line = {"normal": (56, 64, 77), "hot": (82, 93, 110), "focused": MARK_BLUE, "disabled": (38, 43, 51)}[state]
    fill = (24, 28, 34) if state == "disabled" else EDIT_FILL
    image = blank(32, 32)
    fill_rounded(image, (0, 0, 32, 32), 5, solid(image, line))
    fill_rounded(image, (1, 1, 31, 31), 4, solid(image, fill))
    return reduce(image)


# ---- The application icon ------------------------------------------------------------------


def icon_master():
    # 256 x 256: a gold tile with rounded corners and a dark "D".
    size = 256
    image = blank(size, size)
    tile = (8, 8, 248, 248)
    # A diagonal blend from light gold at the top left to orange at the bottom right.
    across = Image.linear_gradient("L").rotate(90).resize(image.size, Image.BILINEAR).transpose(Image.FLIP_LEFT_RIGHT)
    down = Image.linear_gradient("L").resize(image.size, Image.BILINEAR)
    blend = ImageChops.add(across, down, scale=2.0)
    gradient = Image.composite(Image.new("RGBA", image.size, (228, 104, 26, 255)),
                               Image.new("RGBA", image.size, (250, 190, 70, 255)), blend)
    fill_rounded(image, tile, 56, gradient)
    ring(image, tile, 56, 4, (255, 236, 190), 70)
    draw = ImageDraw.Draw(image)
    dark = ICON_DARK + (255,)
    # The letter: a bar and a half ring.
    outer = scaled((70, 58, 190, 198))
    inner = scaled((104, 92, 156, 164))
    draw.rectangle(scaled((70, 58, 130, 198)), fill=dark)
    draw.pieslice(outer, start=270, end=450, fill=dark)
    hole = Image.new("L", image.size, 0)
    hole_draw = ImageDraw.Draw(hole)
    hole_draw.rectangle(scaled((104, 92, 130, 164)), fill=255)
    hole_draw.pieslice(inner, start=270, end=450, fill=255)
    # The hole shows the tile again.
    tile_only = blank(size, size)
    fill_rounded(tile_only, tile, 56, gradient)
    image.paste(tile_only, (0, 0), hole)
    # A gold spark in the letter's bowl.
    draw.polygon([tuple(scaled(p)) for p in ((130, 112), (137, 128), (130, 144), (123, 128))], fill=(255, 214, 120, 255))
    return reduce(image)


ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def icon_bytes(master):
    """An .ico: 32-bit bitmaps for 16 to 128 pixels, a PNG for 256 (as Windows' own icons)."""
    entries = []
    for size in ICON_SIZES:
        picture = master if size == master.width else master.resize((size, size), Image.LANCZOS)
        if size == 256:
            out = io.BytesIO()
            picture.save(out, "PNG", compress_level=9)
            entries.append((size, out.getvalue()))
            continue
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        pixels = bytearray()
        for y in range(size - 1, -1, -1):  # bottom-up rows, BGRA
            for x in range(size):
                r, g, b, a = picture.getpixel((x, y))
                pixels += bytes((b, g, r, a))
        mask_row = ((size + 31) // 32) * 4
        entries.append((size, header + bytes(pixels) + bytes(mask_row * size)))
    data = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, blob in entries:
        side = 0 if size == 256 else size
        data += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for _, blob in entries:
        data += blob
    return data


# ---- Output --------------------------------------------------------------------------------


def images():
    table = {"bk_shadow": window_shadow(), "card": card()}
    for state in ("normal", "hot", "pushed", "disabled"):
        table["btn_blue_" + state] = button(BLUE, state)
        table["btn_grey_" + state] = button(GREY, state)
        table["btn_close_" + state] = close_button(state)
    for state in ("normal", "hot", "selected", "selected_hot", "disabled"):
        table["radio_" + state] = radio(state)
        table["check_" + state] = check(state)
    table["progress_bk"] = progress_track()
    table["progress_fill"] = progress_fill()
    table["scroll_track"] = scroll_part(12)
    table["scroll_thumb_normal"] = scroll_part(60)
    table["scroll_thumb_hot"] = scroll_part(96)
    table["scroll_thumb_pushed"] = scroll_part(130)
    for state in ("normal", "hot", "focused", "disabled"):
        table["edit_" + state] = edit_frame(state)
    return table


def write_if_changed(path, data):
    # An unchanged file keeps its time, so nothing downstream rebuilds for it.
    try:
        with open(path, "rb") as existing:
            if existing.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as out:
        out.write(data)


def png_bytes(image):
    out = io.BytesIO()
    image.save(out, "PNG", compress_level=9)
    return out.getvalue()


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    public_dir, icon_file = argv[1], argv[2]
    os.makedirs(public_dir, exist_ok=True)
    for name, image in sorted(images().items()):
        write_if_changed(os.path.join(public_dir, name + ".png"), png_bytes(image))
    icon_dir = os.path.dirname(icon_file)
    if icon_dir:
        os.makedirs(icon_dir, exist_ok=True)
    write_if_changed(icon_file, icon_bytes(icon_master()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
