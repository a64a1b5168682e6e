"""The skin's language files ("KEY = text" lines) read as the launcher's language table reads them, and
the texts as a look-up gives them."""

import os

LANG_DIR = os.path.join("resources", "lang")


def strip_blanks(text):
    """Spaces and code units below 30 go at both ends."""
    return text.strip("".join(chr(c) for c in range(30)) + " ")


def entries(data):
    """(line number, key, stored text) of every entry of the file's bytes, in file order; a line counts
    when splitting at every "=" leaves exactly two non-empty pieces and the key holds no ";"."""
    found = []
    for number, raw in enumerate(data.replace(b"\0", b"\n").split(b"\n"), 1):
        line = strip_blanks(raw.decode("utf-8", errors="replace"))
        pieces = [p for p in line.split("=") if p]
        if len(pieces) != 2:
            continue
        key = strip_blanks(pieces[0])
        if ";" not in key:
            found.append((number, key, strip_blanks(pieces[1])))
    return found


def shown(text):
    """A stored text as a look-up returns it: backslash-r and backslash-n become line breaks."""
    return text.replace("\\r", "\r").replace("\\n", "\n")


def read_texts(source_dir, language):
    """The texts of resources/lang/<language>.ini by key, as looked up (a later line wins)."""
    with open(os.path.join(source_dir, LANG_DIR, language + ".ini"), "rb") as f:
        return {key: shown(text) for _, key, text in entries(f.read())}
