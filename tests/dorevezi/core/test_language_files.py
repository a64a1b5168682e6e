"""The skin's two language files: each parses as the launcher reads it (a comment first line, every other
line a comment, blank or one entry, no duplicate key), both hold the same keys with the same
placeholders, and every "STRING_" key the launcher's code and skin markup use is defined in both.
Usage: test_language_files.py"""

import os
import re
import sys

SOURCE_DIR = os.environ.get("DV_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "tools"))

from language_file import LANG_DIR, entries, strip_blanks  # noqa: E402

LANGUAGES = ("zh_CN", "en")
# Where keys are used: the launcher's code and its skin (markup, configuration).
USE_DIRS = ("dorevezi", "resources")
USE_SUFFIXES = (".cpp", ".h", ".xml", ".json", ".rc", ".in")
KEY = re.compile(r"\bSTRING_[A-Z0-9_]*[A-Z0-9]")
# "%ls" or "%s": the one argument; "{p1}", "{p2}": texts substituted by name.
PLACEHOLDER = re.compile(r"%l?s|\{p\d\}")


def problems_of(data):
    """What breaks the file's form; empty when it is sound."""
    problems = []
    if data.startswith(b"\xef\xbb\xbf"):
        problems.append("starts with a byte-order mark")
    lines = data.decode("utf-8").split("\n")
    if not strip_blanks(lines[0]).startswith(";"):
        problems.append("the first line is no comment: " + repr(lines[0]))
    parsed = {number for number, _, _ in entries(data)}
    for number, raw in enumerate(lines, 1):
        line = strip_blanks(raw)
        if line and not line.startswith(";") and number not in parsed:
            problems.append(f"line {number} is no entry (an equals sign in its text, or no text): {line!r}")
        elif line and not line.startswith(";") and not KEY.fullmatch(line.split("=")[0].strip()):
            problems.append(f"line {number}: the key is no STRING_ name: {line!r}")
    seen = {}
    for number, key, _ in entries(data):
        if key in seen:
            problems.append(f"line {number}: {key} again (first on line {seen[key]})")
        seen.setdefault(key, number)
    return problems


def used_keys():
    """Every key named in the code and skin, with one place it is used."""
    used = {}
    for top in USE_DIRS:
        for folder, _, names in os.walk(os.path.join(SOURCE_DIR, top)):
            for name in names:
                if not name.endswith(USE_SUFFIXES):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for key in KEY.findall(f.read()):
                        used.setdefault(key, os.path.relpath(path, SOURCE_DIR))
    return used


def main():
    failures = []
    texts = {}
    for language in LANGUAGES:
        with open(os.path.join(SOURCE_DIR, LANG_DIR, language + ".ini"), "rb") as f:
            data = f.read()
        failures += [f"{language}.ini: {p}" for p in problems_of(data)]
        texts[language] = {key: text for _, key, text in entries(data)}

    first, second = LANGUAGES
    for key in sorted(texts[first].keys() ^ texts[second].keys()):
        failures.append(f"{key} is in only one of {first}.ini and {second}.ini")
    for key in sorted(texts[first].keys() & texts[second].keys()):
        found = [sorted(PLACEHOLDER.findall(texts[language][key])) for language in LANGUAGES]
        if found[0] != found[1]:
            failures.append(f"{key}: placeholders differ between the languages: {found}")
        if len(found[0]) > 1 and any(p.startswith("%") for p in found[0]):
            failures.append(f"{key}: more than one placeholder where one argument is filled in: {found[0]}")

    used = used_keys()
    if "STRING_ERROR_UPDATE" not in used:
        failures.append("the search for used keys found none of the update engine's")
    for key, place in sorted(used.items()):
        for language in LANGUAGES:
            if key not in texts[language]:
                failures.append(f"{key} (used in {place}) is missing from {language}.ini")

    for failure in failures:
        print("FAIL " + failure)
    print(f"{len(used)} keys used, {len(texts[first])} defined, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
