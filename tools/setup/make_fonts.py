"""Makes the launcher's four stand-in font files from Debian's font packages: Loma and Loma Bold
(fonts-tlwg-loma-ttf) as they are, and the two Simplified Chinese faces from Noto Sans CJK SC
(fonts-noto-cjk, the same design), subset to GB2312 and a few thousand more characters and
renamed to the faces the launcher registers. Usage: make_fonts.py <output folder>"""

import os
import sys

from fontTools import subset
from fontTools.ttLib import TTCollection, TTFont

LOMA = "/usr/share/fonts/truetype/tlwg/"
NOTO = "/usr/share/fonts/opentype/noto/"


def gb2312_characters():
    """Every character of GB2312, the common Simplified Chinese set, in code order."""
    found = []
    for high in range(0xA1, 0xF8):
        for low in range(0xA1, 0xFF):
            try:
                found.append(ord(bytes((high, low)).decode("gb2312")))
            except UnicodeDecodeError:
                pass
    return found


# ASCII, Latin-1, general punctuation, CJK symbols, the first block of CJK ideographs, every
# character of GB2312 (the launcher's own Chinese texts reach far past the first block), the faces'
# own names and full-width forms: a stand-in needs to show text, not every text.
UNICODES = ([*range(0x20, 0x7F), *range(0xA0, 0x100), *range(0x2000, 0x2070), *range(0x3000, 0x3040),
             *range(0x4E00, 0x5000), *gb2312_characters(), *map(ord, "\u601d\u6e90\u9ed1\u4f53"),
             *range(0xFF00, 0xFFF0)])


def rename(font, family, subfamily, postscript):
    """Sets the names GDI matches faces by, in English and Simplified Chinese records."""
    table = font["name"]
    full = family if subfamily == "Regular" else f"{family} {subfamily}"
    for name_id, text in ((1, family), (2, subfamily), (3, postscript), (4, full), (6, postscript),
                          (16, family), (17, subfamily)):
        table.removeNames(nameID=name_id)
        table.setName(text, name_id, 3, 1, 0x409)
        table.setName(text, name_id, 3, 1, 0x804)
    if "CFF " in font:
        cff = font["CFF "].cff
        cff.fontNames = [postscript]
        top = cff.topDictIndex[0]
        top.FullName = postscript
        top.FamilyName = postscript


def simplified_chinese(collection_path):
    collection = TTCollection(collection_path)
    for font in collection.fonts:
        if font["name"].getDebugName(1).endswith(" SC"):
            return font
    raise SystemExit(f"no SC face in {collection_path}")


def make_cjk(source, target, family, postscript):
    font = simplified_chinese(source)
    options = subset.Options()
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.layout_features = ["*"]
    options.notdef_outline = True
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=UNICODES)
    subsetter.subset(font)
    rename(font, family, "Regular", postscript)
    font.save(target)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for source, target in (("Loma.ttf", "LomaN.ttf"), ("Loma-Bold.ttf", "LomaB.ttf")):
        font = TTFont(os.path.join(LOMA, source))
        font.save(os.path.join(out, target))
    make_cjk(os.path.join(NOTO, "NotoSansCJK-Regular.ttc"), os.path.join(out, "SourceHanSansCNRegular.ttf"),
             "\u601d\u6e90\u9ed1\u4f53 CN Regular", "SourceHanSansCN-Regular")
    make_cjk(os.path.join(NOTO, "NotoSansCJK-Bold.ttc"), os.path.join(out, "SourceHanSansCNBold.ttf"),
             "\u601d\u6e90\u9ed1\u4f53 CN Bold", "SourceHanSansCN-Bold")


if __name__ == "__main__":
    main()
