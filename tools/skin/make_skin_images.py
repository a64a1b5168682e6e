#!/usr/bin/env python3
"""Draws the skin's shared images, the main window's pictures and the application icon.

    make_skin_images.py PUBLIC_DIR ICON_FILE

PUBLIC_DIR receives the PNG files the markup and the channel's link file name as
"../public/<name>.png"; ICON_FILE is the program's icon (16 to 256 pixels). Everything is drawn
at 100 % from fixed sizes and colours, four times larger (the key art twice) and then reduced, so
edges are smooth; nothing random or dated goes in, so every run writes the same bytes. Images
meant to be stretched keep their rounded parts inside the nine-grid corners given in global.xml
and the skin files.
"""

import io
import math
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


# ---- The main window -----------------------------------------------------------------------

KEY_ART_SIZE = (1000, 456)  # the key-art box of main/skin.xml
ART_SCALE = 2  # the key art is large: drawn twice its size, not four times
BOTTOM_BAR = (22, 26, 33)  # "bottombarbk" in global.xml: the art fades into it
GAME = {
    "normal": ((255, 214, 112), (242, 150, 38)),
    "hot": ((255, 226, 140), (250, 170, 58)),
    "pushed": ((232, 160, 50), (214, 122, 26)),
    "disabled": ((92, 88, 80), (76, 72, 66)),
}
GLYPH_HOT = (255, 255, 255)
LINK_GLYPH = (238, 241, 246)
LINK_GLYPH_HOT = (58, 35, 5)


def multi_stop_column(height, stops):
    """A 1-pixel column through (position 0..1, colour) stops."""
    column = Image.new("RGBA", (1, height))
    for y in range(height):
        t = y / max(height - 1, 1)
        for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
            if t0 <= t <= t1:
                f = (t - t0) / max(t1 - t0, 1e-9)
                column.putpixel((0, y), tuple(round(a + (b - a) * f) for a, b in zip(c0, c1)) + (255,))
                break
    return column


def ridge(width, base, parts, scale):
    """A mountain line: y for every x (drawing pixels), as a sum of sines with sharpened crests."""
    points = []
    for x in range(0, width + scale, scale):
        u = x / scale
        y = base
        for amplitude, period, phase, sharp in parts:
            wave = math.sin(u / period * 2 * math.pi + phase)
            if sharp:
                wave = 1 - 2 * abs(wave)  # peaks instead of round hills
            y -= amplitude * wave
        points.append((x, y * scale))
    return points


def glow(size, center, radius, color, alpha, blur):
    layer = Image.new("RGBA", size, tuple(color) + (0,))
    mask = Image.new("L", size, 0)
    cx, cy = center
    ImageDraw.Draw(mask).ellipse([cx - radius, cy - radius, cx + radius, cy + radius], fill=alpha)
    if blur:
        mask = mask.filter(ImageFilter.GaussianBlur(blur))
    layer.putalpha(mask)
    return layer


def key_art():
    """A dusk landscape: a warm sky over layered mountains, a castle on a far ridge, mist in the
    valleys; darker towards the lower left, where the titles stand, and at the bottom, where it
    meets the bottom bar."""
    s = ART_SCALE
    width, height = KEY_ART_SIZE[0] * s, KEY_ART_SIZE[1] * s
    size = (width, height)
    image = multi_stop_column(height, [
        (0.0, (14, 18, 44)), (0.30, (40, 34, 86)), (0.52, (120, 66, 112)),
        (0.66, (222, 124, 96)), (0.76, (250, 182, 112)), (1.0, (255, 214, 150)),
    ]).resize(size, Image.NEAREST)

    # Stars in the upper sky, from a fixed number sequence.
    stars = ImageDraw.Draw(image)
    seed = 12345
    for _ in range(170):
        seed = (seed * 1103515245 + 12345) % 2147483648
        x = seed % width
        seed = (seed * 1103515245 + 12345) % 2147483648
        y = seed % (height * 45 // 100)
        seed = (seed * 1103515245 + 12345) % 2147483648
        bright = 90 + seed % 150
        fade = 1 - y / (height * 0.45)
        r = s * (0.5 + (seed >> 8) % 3 * 0.35)
        stars.ellipse([x - r, y - r, x + r, y + r], fill=(255, 246, 230, round(bright * fade)))

    sun = (655 * s, 262 * s)
    image.alpha_composite(glow(size, sun, 260 * s, (255, 170, 110), 110, 90 * s))
    image.alpha_composite(glow(size, sun, 110 * s, (255, 206, 140), 170, 36 * s))
    image.alpha_composite(glow(size, sun, 36 * s, (255, 244, 214), 255, 2 * s))

    # Soft rays from the sun.
    rays = Image.new("L", size, 0)
    ray_draw = ImageDraw.Draw(rays)
    for angle, spread in ((-150, 5), (-128, 3), (-104, 6), (-76, 4), (-52, 5), (-30, 3)):
        a0, a1 = math.radians(angle - spread / 2), math.radians(angle + spread / 2)
        far = 900 * s
        ray_draw.polygon([sun, (sun[0] + far * math.cos(a0), sun[1] + far * math.sin(a0)),
                          (sun[0] + far * math.cos(a1), sun[1] + far * math.sin(a1))], fill=38)
    rays = rays.filter(ImageFilter.GaussianBlur(14 * s))
    ray_layer = Image.new("RGBA", size, (255, 224, 170, 0))
    ray_layer.putalpha(rays)
    image.alpha_composite(ray_layer)

    # Long clouds lit from below.
    clouds = Image.new("L", size, 0)
    cloud_draw = ImageDraw.Draw(clouds)
    for cx, cy, rx, ry, a in ((210, 150, 230, 14, 120), (380, 186, 170, 10, 90), (820, 132, 200, 12, 110),
                              (900, 196, 150, 8, 80), (560, 108, 120, 7, 70)):
        cloud_draw.ellipse([(cx - rx) * s, (cy - ry) * s, (cx + rx) * s, (cy + ry) * s], fill=a)
    clouds = clouds.filter(ImageFilter.GaussianBlur(9 * s))
    cloud_layer = Image.new("RGBA", size, (255, 168, 150, 0))
    cloud_layer.putalpha(clouds)
    image.alpha_composite(cloud_layer)

    # Mountain layers, far to near: each a filled ridge, a light rim on its crest, mist below it.
    layers = [
        (300, [(46, 430, 0.6, True), (20, 170, 2.0, True), (6, 61, 1.1, False), (2, 23, 0.3, False)],
         (146, 94, 134), (255, 200, 164)),
        (338, [(40, 520, 2.4, True), (22, 210, 0.3, True), (7, 73, 1.7, False), (2.5, 27, 0.8, False)],
         (98, 64, 112), (248, 166, 146)),
        (384, [(34, 610, 4.1, True), (20, 240, 1.2, True), (6, 83, 0.5, False), (2.5, 29, 2.2, False)],
         (54, 40, 80), (214, 124, 124)),
        (430, [(20, 700, 1.3, False), (12, 260, 2.9, True), (4, 91, 0.9, False), (2, 31, 1.4, False)],
         (24, 21, 40), (130, 76, 96)),
    ]
    for index, (base, parts, color, rim) in enumerate(layers):
        line = ridge(width, base, parts, s)
        shape = Image.new("L", size, 0)
        ImageDraw.Draw(shape).polygon(line + [(width, height), (0, height)], fill=255)
        body = vertical_gradient(width, height, color, tuple(round(c * 0.72) for c in color))
        piece = Image.new("RGBA", size, (0, 0, 0, 0))
        piece.paste(body, (0, 0), shape)
        image.alpha_composite(piece)
        if index == 1:
            castle(image, line, s, color)
        rim_layer = Image.new("RGBA", size, (0, 0, 0, 0))
        ImageDraw.Draw(rim_layer).line(line, fill=tuple(rim) + (110 if index < 3 else 60,), width=round(1.2 * s))
        image.alpha_composite(rim_layer.filter(ImageFilter.GaussianBlur(0.6 * s)))
        if index < 3:
            mist = Image.new("L", size, 0)
            top = (base + 14) * s
            ImageDraw.Draw(mist).rectangle([0, top, width, top + 26 * s], fill=90 - index * 18)
            mist = mist.filter(ImageFilter.GaussianBlur(16 * s))
            mist_layer = Image.new("RGBA", size, (236, 170, 160, 0))
            mist_layer.putalpha(mist)
            image.alpha_composite(mist_layer)

    # Birds over the valley.
    birds = ImageDraw.Draw(image)
    for bx, by, w in ((520, 214, 9), (542, 205, 7), (556, 220, 6), (760, 180, 7)):
        birds.line([(bx - w) * s, (by - 3) * s, bx * s, by * s, (bx + w) * s, (by - 3) * s],
                   fill=(40, 26, 44, 200), width=round(1.3 * s), joint="curve")

    # Shades: the lower left for the titles, the bottom into the bar, a little at the top.
    across = horizontal_gradient(width, 1, (0, 0, 0), (0, 0, 0)).getchannel("A")
    shade = Image.new("L", size, 0)
    for x in range(width):
        t = x / (width * 0.62)
        across.putpixel((x, 0), round(170 * max(0.0, 1 - t) ** 1.6))
    left = across.resize(size, Image.NEAREST)
    down = Image.new("L", (1, height))
    for y in range(height):
        down.putpixel((0, y), round(255 * min(1.0, max(0.0, (y / height - 0.28) / 0.55))))
    shade = ImageChops.multiply(left, down.resize(size, Image.NEAREST))
    dark = Image.new("RGBA", size, (8, 8, 16, 0))
    dark.putalpha(shade)
    image.alpha_composite(dark)
    bottom = Image.new("L", (1, height))
    for y in range(height):
        t = (y / height - 0.80) / 0.20
        bottom.putpixel((0, y), round(255 * min(1.0, max(0.0, t)) ** 1.3))
    fade = Image.new("RGBA", size, BOTTOM_BAR + (0,))
    fade.putalpha(bottom.resize(size, Image.NEAREST))
    image.alpha_composite(fade)
    top = Image.new("L", (1, height))
    for y in range(height):
        top.putpixel((0, y), round(70 * max(0.0, 1 - y / (height * 0.12))))
    top_layer = Image.new("RGBA", size, (0, 0, 0, 0))
    top_layer.putalpha(top.resize(size, Image.NEAREST))
    image.alpha_composite(top_layer)

    picture = image.resize(KEY_ART_SIZE, Image.LANCZOS)
    return picture


def castle(image, line, s, color):
    """Slim towers with pointed roofs and a wall on the ridge's highest point right of the middle,
    in the ridge's own hazy colour, with a few lit windows."""
    right = [p for p in line if 760 * s <= p[0] <= 880 * s]
    peak_x, peak_y = min(right, key=lambda p: p[1])
    draw = ImageDraw.Draw(image)
    body = tuple(color) + (255,)
    # (offset, height above the peak, half width) of each tower.
    towers = ((-30, 20, 4), (-17, 34, 5), (-4, 50, 6), (9, 30, 4.5), (22, 40, 5), (34, 18, 3.5))
    foot = peak_y + 30 * s
    # The rock it stands on, widening down into the ridge.
    draw.polygon([(peak_x - 40 * s, peak_y - 6 * s), (peak_x + 42 * s, peak_y - 6 * s), (peak_x + 96 * s, peak_y + 110 * s),
                  (peak_x - 92 * s, peak_y + 110 * s)], fill=body)
    for dx, tall, half in towers:
        x = peak_x + dx * s
        top = peak_y - tall * s
        draw.rectangle([x - half * s, top, x + half * s, foot], fill=body)
        draw.polygon([(x - (half + 1.5) * s, top), (x, top - half * 3.2 * s), (x + (half + 1.5) * s, top)], fill=body)
        draw.line([x, top - half * 3.2 * s, x, top - (half * 3.2 + 5) * s], fill=body, width=max(1, round(0.8 * s)))
    draw.rectangle([peak_x - 36 * s, peak_y - 8 * s, peak_x + 38 * s, foot], fill=body)
    for k in range(-35, 38, 6):  # battlements
        draw.rectangle([peak_x + k * s, peak_y - 11 * s, peak_x + (k + 3) * s, peak_y - 8 * s], fill=body)
    for dx, dy in ((-17, -24), (-4, -40), (-4, -28), (9, -20), (22, -30), (-30, -10), (34, -8), (2, -2), (-12, -2)):
        x, y = peak_x + dx * s, peak_y + dy * s
        draw.rectangle([x - 1.1 * s, y - 2 * s, x + 1.1 * s, y + 2 * s], fill=(255, 206, 120, 255))
    lights = Image.new("L", image.size, 0)
    ImageDraw.Draw(lights).ellipse([peak_x - 50 * s, peak_y - 60 * s, peak_x + 50 * s, peak_y + 16 * s], fill=34)
    lights = lights.filter(ImageFilter.GaussianBlur(18 * s))
    layer = Image.new("RGBA", image.size, (255, 190, 110, 0))
    layer.putalpha(lights)
    image.alpha_composite(layer)


def logo():
    # 28 x 28: the application icon's tile, for the title bar.
    return icon_master().resize((28, 28), Image.LANCZOS)


def game_button(state):
    # 240 x 60, corners of 14 (10-pixel rounding): the gold game button, light along its top.
    size = (240, 60)
    image = blank(*size)
    top, bottom = GAME[state]
    body = (0, 0, 240, 60)
    fill_rounded(image, body, 10, vertical_gradient(image.width, image.height, top, bottom))
    if state != "disabled":
        # A gloss that fades out towards the middle.
        strength = 46 if state != "pushed" else 14
        gloss = Image.new("L", (1, image.height))
        for y in range(image.height):
            gloss.putpixel((0, y), round(strength * max(0.0, 1 - y / (image.height * 0.55))))
        shine = Image.new("RGBA", image.size, (255, 255, 255, 0))
        shine.putalpha(gloss.resize(image.size, Image.NEAREST))
        fill_rounded(image, body, 10, shine)
        ring(image, body, 10, 1, (255, 240, 200), 90 if state != "pushed" else 40)
    else:
        ring(image, body, 10, 1, (120, 114, 104), 120)
    return reduce(image)


def title_button_plate(state):
    """24 x 24 with the plate of a title-bar button's state; returns the image and the glyph colour."""
    image = blank(24, 24)
    glyph = CLOSE_GLYPH + (255,)
    if state in ("hot", "pushed"):
        ImageDraw.Draw(image).ellipse(scaled((1, 1, 23, 23)), fill=(255, 255, 255, 34 if state == "hot" else 20))
        glyph = GLYPH_HOT + (255,) if state == "hot" else (205, 210, 218, 255)
    elif state == "disabled":
        glyph = CLOSE_GLYPH + (110,)
    return image, glyph


def settings_button(state):
    # 24 x 24: a gear, like the close button's x.
    image, glyph = title_button_plate(state)
    draw = ImageDraw.Draw(image)
    cx = cy = 12 * SUPER
    for k in range(8):
        a = k * math.pi / 4
        ca, sa = math.cos(a), math.sin(a)
        # A tooth: a short bar from the ring outwards.
        pts = []
        for along, across in ((3.5, -1.4), (7.4, -1.1), (7.4, 1.1), (3.5, 1.4)):
            pts.append((cx + (along * ca - across * sa) * SUPER, cy + (along * sa + across * ca) * SUPER))
        draw.polygon(pts, fill=glyph)
    draw.ellipse([cx - 5.6 * SUPER, cy - 5.6 * SUPER, cx + 5.6 * SUPER, cy + 5.6 * SUPER], fill=glyph)
    hole = Image.new("L", image.size, 0)
    ImageDraw.Draw(hole).ellipse([cx - 2.4 * SUPER, cy - 2.4 * SUPER, cx + 2.4 * SUPER, cy + 2.4 * SUPER], fill=255)
    plate, _ = title_button_plate(state)
    image.paste(plate, (0, 0), hole)
    return reduce(image)


def minimize_button(state):
    # 24 x 24: a bar with round ends.
    image, glyph = title_button_plate(state)
    draw = ImageDraw.Draw(image)
    width = 1.6 * SUPER
    draw.line(scaled((7.5, 12, 16.5, 12)), fill=glyph, width=round(width))
    for x in (7.5, 16.5):
        draw.ellipse([x * SUPER - width / 2, 12 * SUPER - width / 2, x * SUPER + width / 2, 12 * SUPER + width / 2],
                     fill=glyph)
    return reduce(image)


def link_glyph(draw, kind, color):
    """The symbol of a jump link on a 36 x 36 plate (drawing pixels)."""
    w = round(1.8 * SUPER)
    if kind == "weibo":
        # A speech bubble with a tail and three dots: the microblog.
        draw.ellipse(scaled((9, 10, 27, 24)), outline=color, width=w)
        draw.polygon([tuple(scaled(p)) for p in ((12.5, 21), (11, 27.5), (17, 23.2))], fill=color)
        for x in (13.6, 18, 22.4):
            draw.ellipse(scaled((x - 1.3, 15.7, x + 1.3, 18.3)), fill=color)
    elif kind == "bilibili":
        # A screen with two antennas and a play mark: the video channel.
        draw.rounded_rectangle(scaled((8.5, 12, 27.5, 26)), radius=3 * SUPER, outline=color, width=w)
        draw.line(scaled((13, 7.5, 15.5, 11.5)), fill=color, width=w)
        draw.line(scaled((23, 7.5, 20.5, 11.5)), fill=color, width=w)
        draw.polygon([tuple(scaled(p)) for p in ((16, 15.5), (16, 22.5), (22, 19))], fill=color)
    elif kind == "tieba":
        # Two overlapping bubbles: the players' forum.
        draw.rounded_rectangle(scaled((8, 9, 22, 19)), radius=3 * SUPER, outline=color, width=w)
        draw.polygon([tuple(scaled(p)) for p in ((10.5, 18), (10.5, 22.5), (14.5, 18))], fill=color)
        draw.rounded_rectangle(scaled((15, 15, 28, 24.5)), radius=3 * SUPER, fill=color)
        draw.polygon([tuple(scaled(p)) for p in ((25.5, 24), (25.5, 28), (21.5, 24))], fill=color)
    elif kind == "faq":
        # A question mark.
        draw.arc(scaled((12.5, 8.5, 23.5, 19)), start=180, end=400, fill=color, width=w)
        draw.line(scaled((21.6, 17.2, 18, 20.4)), fill=color, width=w)
        draw.line(scaled((18, 19.8, 18, 23)), fill=color, width=w)
        draw.ellipse(scaled((16.5, 25.2, 19.5, 28.2)), fill=color)


LINK_KINDS = ("weibo", "bilibili", "tieba", "faq")


def link_icon(kind, hot):
    # 36 x 36: a round plate, dark glass over the art, gold when hot.
    image = blank(36, 36)
    plate = (1, 1, 35, 35)
    if hot:
        fill_rounded(image, plate, 17, vertical_gradient(image.width, image.height, GAME["hot"][0], GAME["hot"][1]))
        color = LINK_GLYPH_HOT + (255,)
    else:
        fill_rounded(image, plate, 17, solid(image, (10, 12, 20), 130))
        ring(image, plate, 17, 1, (255, 255, 255), 70)
        color = LINK_GLYPH + (235,)
    link_glyph(ImageDraw.Draw(image), kind, color)
    return reduce(image)


def main_window_images():
    table = {"main_key_art": key_art(), "main_logo": logo()}
    for state in ("normal", "hot", "pushed", "disabled"):
        table["main_btn_game_" + state] = game_button(state)
        table["main_btn_settings_" + state] = settings_button(state)
        table["main_btn_min_" + state] = minimize_button(state)
    for kind in LINK_KINDS:
        table["link_" + kind + "_normal"] = link_icon(kind, False)
        table["link_" + kind + "_hot"] = link_icon(kind, True)
    return table


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
    table.update(main_window_images())
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
