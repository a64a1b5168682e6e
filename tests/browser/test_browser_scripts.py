#!/usr/bin/env python3
"""Scripts of pages the server stand-in serves over HTTPS: an extension's code runs first in every page's
script context and its natives get the script's arguments (non-ASCII strings, ints, bools, doubles, null),
return values to the script and throw the texts they raise; what they send reaches the browser process in
calling order. A timer's change of a form field shows in the next frame, and so does a keydown listener's
(saved as screenshots)."""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "tools"))
sys.path.insert(0, HERE)
from standin_support import Checks, Standin, work_dir  # noqa: E402
from test_browser_loads import probe_folder, run_probe  # noqa: E402
from test_browser_render import HEIGHT, WIDTH, ink, read_frame, save_screenshot  # noqa: E402
import certs  # noqa: E402

# The extension's object exists before the page's first script; each echo's arguments go to the browser
# process, and it returns its first one.
NATIVES = """<!DOCTYPE html>
<html><head><title>Natives</title><script>
var back = probe.echo("h\\u00e9llo \\u4e2d\\u6587", 42, true, -7, 2.5, null, 2147483648);
probe.echo(back);
probe.echo(probe.echo(-123456), probe.echo(false), probe.echo(0.5));
var caught = "nothing thrown";
try { probe.fail("bad \\u00e9"); } catch (e) { caught = e.message; }
probe.echo(caught);
</script></head><body><script>probe.echo("end");</script></body></html>
"""

EXPECTED = ("native echo(s:h\\u00e9llo \\u4e2d\\u6587,i:42,b:true,i:-7,d:2.5,null,d:2.14748e+09);"
            "native echo(s:h\\u00e9llo \\u4e2d\\u6587);"
            "native echo(i:-123456);native echo(b:false);native echo(d:0.5);"
            "native echo(i:-123456,b:false,d:0.5);"
            "native echo(s:refused: bad \\u00e9);"
            "native echo(s:end);")

# A timer fills the field 300 ms after the page loaded.
TIMER = """<!DOCTYPE html>
<html><head><title>Timer</title><style>
body { margin: 0; }
input { position: absolute; left: 10px; top: 10px; width: 200px; height: 30px; font-size: 20px;
        border: 1px solid #000000; padding: 0 4px; background: #ffffff; color: #000000; }
</style></head><body>
<input id="field" type="text" value="">
<script>
setTimeout(function () { document.getElementById('field').value = 'timer'; }, 300);
</script>
</body></html>
"""


# Each dialog's answer goes to the console: an alert suppressed by the handler gives undefined, answered
# confirms and prompts their answers, a confirm whose answer was dropped false, a suppressed prompt null.
DIALOGS = """<!DOCTYPE html>
<html><head><title>Dialogs</title></head><body><script>
var r = [];
r.push(String(alert("h\\u00e9llo")));
r.push(String(confirm("sure?")));
r.push(String(prompt("name?", "d\\u00e9f")));
r.push(String(confirm("drop")));
r.push(String(prompt("suppressed")));
console.log(r.join("|"));
console.log("end");
</script></body></html>
"""

# The page's keydown listener writes into the field; the keys are typed with no field focused.
KEYS = TIMER.replace("<title>Timer</title>", "<title>Keys</title>").replace(
    "setTimeout(function () { document.getElementById('field').value = 'timer'; }, 300);",
    "var keys = 0;\n"
    "document.addEventListener('keydown', function () {\n"
    "  document.getElementById('field').value = 'keys ' + (++keys);\n"
    "});")
def main():
    c = Checks("browser scripts")
    folder = work_dir("browser_scripts")
    site = os.path.join(folder, "site")
    os.makedirs(site, exist_ok=True)
    for name, text in (("natives.html", NATIVES), ("timer.html", TIMER), ("keys.html", KEYS), ("dialogs.html", DIALOGS)):
        with open(os.path.join(site, name), "w", encoding="utf-8") as f:
            f.write(text)
    with Standin({"mounts": {"/site/": site}}, folder) as s:
        run = os.path.join(folder, "probe")
        probe_folder(run)
        seen = run_probe(run, ["natives", "--trust=" + certs.windows_path(s.addresses["ca"]),
                               s.addresses["main"] + "/site/natives.html"])
        c.equal("probe ran", seen.get("done"), "1")
        c.equal("first load: natives' arguments, results and thrown texts, in order", seen.get("first_load"),
                EXPECTED)
        c.equal("second load: the extension ran again in the new context", seen.get("second_load"),
                seen.get("first_load"))

        seen = run_probe(run, ["render", f"{WIDTH}x{HEIGHT}", s.addresses["main"] + "/site/timer.html", "timer.frame"])
        c.equal("timer page loaded", seen.get("loaded"), "200")
        width, height, pixels = read_frame(os.path.join(run, "timer.frame"))
        c.equal("a frame of the timer page", (width, height), (WIDTH, HEIGHT))
        if (width, height) == (WIDTH, HEIGHT):
            print("screenshot:", save_screenshot("browser_scripts_timer.png", width, height, pixels))
            c.check("the timer's text shows in the field", ink(pixels, width, 14, 13, 205, 38) > 60,
                    ink(pixels, width, 14, 13, 205, 38))

        seen = run_probe(run, ["dialogs", s.addresses["main"] + "/site/dialogs.html"])
        c.equal("dialogs page loaded", seen.get("loaded"), "200")
        c.equal("each dialog asked the handler in turn, with its type, message and default text", seen.get("asks"),
                "0:h\\u00e9llo:;1:sure?:;2:name?:d\\u00e9f;1:drop:;2:suppressed:;")
        c.equal("the page got each answer", seen.get("console"),
                "undefined|true|r\\u00e9ponse d\\u00e9f|false|null;end;")

        seen = run_probe(run, ["type", s.addresses["main"] + "/site/keys.html", "300,250", "ab", "keys.frame"])
        c.equal("keys page loaded", seen.get("loaded"), "200")
        width, height, pixels = read_frame(os.path.join(run, "keys.frame"))
        c.equal("a frame after the keys", (width, height), (WIDTH, HEIGHT))
        if (width, height) == (WIDTH, HEIGHT):
            print("screenshot:", save_screenshot("browser_scripts_keys.png", width, height, pixels))
            c.check("the keydown listener wrote into the field", ink(pixels, width, 14, 13, 205, 38) > 60,
                    ink(pixels, width, 14, 13, 205, 38))
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
