"""The launcher core's usage reports, settings, links and fonts, run by dvcli.exe under Wine: the
reports arrive at the stand-in (its reports.jsonl), the settings reach the registry, the settings file
and the download manager, links open only web addresses, and the fonts land in the prefix.
Usage: test_core_dvcli.py <dvcli.exe>"""

import json
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "update"))

from dl_support import WINE_EXEC, Checks, Launcher, Log, Standin, work_dir  # noqa: E402

# The first Run key where it exists, else the second (Wine has only the second).
RUN_KEYS = [r"HKLM\SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Run",
            r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"]
FONT_KEY = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts"
GAME_FOLDER = "D:\\\u6e38\u620f \u5b89\u88c5"


def reports_file(standin):
    with open(standin.addresses["reports"], encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


class Reports:
    """The reports that arrive from a mark on."""

    def __init__(self, standin):
        self.standin = standin
        self.mark = len(reports_file(standin))

    def new(self):
        time.sleep(0.3)
        return reports_file(self.standin)[self.mark:]


def tracking(reports):
    return [r["json"] for r in reports if r["kind"] == "tracking"]


def attribution(reports):
    return [dict(r["params"]) for r in reports if r["kind"] == "attribution"]


def reg_query(launcher, key, value):
    result = subprocess.run([WINE_EXEC, "reg", "query", key, "/v", value], cwd=launcher.folder,
                            env=launcher.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        if value in line and "REG_SZ" in line:
            return line.split("REG_SZ", 1)[1].strip()
    return None


def run_value(launcher):
    for key in RUN_KEYS:
        value = reg_query(launcher, key, "ZUNDorevezi")
        if value is not None:
            return value
    return None


def test_reports(c, standin, launcher):
    proxy = standin.addresses["proxy"]
    marks = Reports(standin)
    code, lines = launcher.run("report", "detail", "13", "0", "0", "0",
                               "attribution", "click_launch_start_open", "0", "0", "0", proxy=proxy)
    got = marks.new()
    c.check("start-up: detail 13 and its attribution event, once each",
            code == 0 and [r["action_id"] for r in tracking(got)] == ["13"] and
            [a["event_name"] for a in attribution(got)] == ["click_launch_start_open"], (lines, got))
    if tracking(got) and attribution(got):
        detail, event = tracking(got)[0], attribution(got)[0]
        c.check("start-up: the detail record has no job members", "speed" not in detail and
                detail["log_type"] == "qzrolepclauncherdetail" and detail["game_id"] == "10043", detail)
        c.check("start-up: the attribution event has no event values",
                not any(k.startswith("event_value") for k in event) and event["game_id"] == "_ZUN_GAME_CN", event)
        c.check("start-up: a record is one line without blanks outside values",
                "\n" not in got[0]["body"] and '": "' not in got[0]["body"], got[0]["body"])

    # A finished update through the download manager: the step at once, then 22 and its event with
    # "%.3f" speed and size and whole seconds; 23 without event values.
    marks = Reports(standin)
    code, lines = launcher.run("report", "click", "click_button", "InStall", "step", "done",
                               "result", "22", "update_game_finish", "result", "23", "apply_update_game_success",
                               proxy=proxy)
    got = marks.new()
    records = tracking(got)
    c.check("update: all sent", code == 0 and lines[-1:] == ["result 0 queued=0"], lines)
    c.equal("update: the step and the details leave at once, the queued click last",
            [(r.get("log_type"), r.get("action_type") or r.get("action_id") or r.get("action")) for r in records],
            [("qzrolepclauncher", "done"), ("qzrolepclauncherdetail", "22"), ("qzrolepclauncherdetail", "23"),
             ("qzrolepcstarteruiclick", "install")])
    if len(records) == 4:
        step, finish, applied = records[0], records[1], records[2]
        c.check("update: \"done\" carries the job's speed and size as %.3f",
                step["speed"] == "614.400" and step["size"] == "3.000" and step["step"] == "", step)
        c.check("update: 22 carries speed, size, whole seconds and the speed statistics",
                (finish["speed"], finish["size"], finish["download_time"], finish["lowest_speed"],
                 finish["highest_speed"], finish["lowest_speed_location"]) ==
                ("614.400", "3.000", "5", "0.500", "3.000", "TOLV_Data\\data.unity3d"), finish)
        c.check("update: 23 carries none of them", "speed" not in applied and "download_time" not in applied,
                applied)
    events = {a["event_name"]: a for a in attribution(got)}
    c.check("update: update_game_finish carries its three values, apply_update_game_success none",
            [events.get("update_game_finish", {}).get(k) for k in ("event_value1", "event_value2", "event_value3")]
            == ["614.400", "3.000", "5"] and
            not any(k.startswith("event_value") for k in events.get("apply_update_game_success", {"x": 1})), events)

    # Queued reports wait for the ready state and leave one per tick; the immediate one first.
    marks = Reports(standin)
    log = Log(standin)
    code, lines = launcher.run("report", "event", "", "", "", "", "install", "0",
                               "event", "rungame", "", "", "", "pre_install", "0",
                               "settings", "", "2", "0", "100",
                               "event", "update failed: \u78c1\u76d8", "", "", "exception", "", "1", proxy=proxy)
    got = marks.new()
    records = tracking(got)
    c.equal("queued: the error box's report first, then the queued ones in order",
            [(r.get("action_type"), r.get("step"), r["log_type"]) for r in records],
            [("exception", "", "qzrolepclauncher"), ("", "install", "qzrolepclauncher"),
             ("", "pre_install", "qzrolepclauncher"), (None, None, "qzrolepcstartersetting")])
    entries = [e for e in log.entries() if e["path"].endswith("/track/json_track")]
    c.check("queued: one at a time", len(entries) == 4 and all(
        entries[i]["start"] >= entries[i - 1]["end"] - 0.001 for i in range(1, len(entries))), entries)
    if len(records) == 4:
        error, install, pre, setting = records
        c.equal("queued: the error text in UTF-8", error["print_info"], "update failed: \u78c1\u76d8")
        c.check("queued: the game folder is raw UTF-8 in the body",
                install["install_game_path"] == GAME_FOLDER and "\\u" not in got[1]["body"] and
                json.dumps(GAME_FOLDER, ensure_ascii=False) in got[1]["body"], got[1]["body"])
        c.check("queued: pre_install with \"rungame\" and no pre-download version",
                pre["print_info"] == "" and pre["if_install_play"] == "-1", pre)
        c.check("queued: the settings record leaves out the empty autostart text",
                "if_autostart" not in setting and setting["close_set"] == "2" and
                setting["pre_install_speed_limit"] == "100", setting)


def test_pause_toggle(c, standin, launcher):
    marks = Reports(standin)
    code, lines = launcher.run("report", "toggle", "toggle", "toggle", proxy=standin.addresses["proxy"])
    c.equal("pause toggle: pause, continue, pause, in order",
            [l for l in lines if l.startswith("paused")], ["paused 1", "paused 0", "paused 1"])
    got = marks.new()
    c.check("pause toggle: continuing reports 16 and its event; pausing without a measured job reports nothing",
            [r["action_id"] for r in tracking(got)] == ["16"] and
            [a["event_name"] for a in attribution(got)] == ["click_launch_continue_download_game"], got)


def settings_file(launcher):
    path = os.path.join(launcher.folder, "save", "EnvConfig.json")
    return open(path, encoding="utf-8").read() if os.path.exists(path) else None


def test_settings(c, standin, launcher):
    os.remove(os.path.join(launcher.folder, "save", "EnvConfig.json"))
    marks = Reports(standin)
    code, lines = launcher.run("settings", "downloadLimit=0,closeToHide=0,automaticStart=0")
    c.check("settings: no change writes no file and reports nothing",
            code == 0 and settings_file(launcher) is None and tracking(marks.new()) == [] and
            run_value(launcher) is None, lines)

    marks = Reports(standin)
    code, lines = launcher.run("settings", "automaticStart=1")
    value = run_value(launcher)
    dvcli = "Z:" + os.path.abspath(launcher.dvcli).replace("/", "\\")
    c.check("settings: automatic start writes the quoted path", value is not None and
            value.lower() == ('"' + dvcli + '"').lower() and "automaticStart=1" in lines[0], (value, lines))
    got = tracking(marks.new())
    c.check("settings: ... and reports \"1\"", [r.get("if_autostart") for r in got] == ["1"] and
            "close_set" not in got[0], got)
    c.check("settings: ... and saves it", '"automaticStart" : true' in (settings_file(launcher) or ""),
            settings_file(launcher))

    marks = Reports(standin)
    code, lines = launcher.run("settings", "closeToHide=1")
    launcher.run("settings", "closeToHide=0")
    got = tracking(marks.new())
    c.equal("settings: close to tray on, then off alone", [(r.get("close_set"), r.get("if_autostart")) for r in got],
            [("1", None), ("2", None)])

    marks = Reports(standin)
    code, lines = launcher.run("settings", "automaticStart=0")
    c.check("settings: automatic start off deletes the value and reports \"0\"",
            run_value(launcher) is None and
            [r.get("if_autostart") for r in tracking(marks.new())] == ["0"], lines)

    cases = [("normal", "downloadLimit=1,downloadSpeed=100", "applied limit=20400"),
             ("predownload", "downloadSpeed=50", "applied limit=0"),
             ("predownload", "predlcLimit=1,predlcSpeed=30", "applied limit=6120"),
             ("normal", "downloadSpeed=60,predlcSpeed=31", "applied limit=12240")]
    for mode, change, expected in cases:
        marks = Reports(standin)
        code, lines = launcher.run("settings", "--mode", mode, change)
        c.check(f"settings: {change} in {mode} mode", code == 0 and lines and lines[0].startswith(expected + " "),
                lines)
    got = tracking(marks.new())
    c.check("settings: the report carries the limits that are on",
            [(r["install_speed_limit"], r["pre_install_speed_limit"]) for r in got] == [("60", "31")], got)

    marks = Reports(standin)
    launcher.run("settings", "languageType=3")
    launcher.run("settings", "languageType=18")
    c.equal("settings: a language index outside the table gives \"en\"",
            [r["language"] for r in tracking(marks.new())], ["ko", "en"])


def test_links(c, launcher):
    config = os.path.join(launcher.folder, "links.json")
    with open(config, "w") as f:
        json.dump({"Forum": {"en": [{"name": "Discord", "url": "https://discord.example/x", "NormalImage": "a",
                                     "HotImage": "b"},
                                    {"name": "Local", "url": "file:///C:/Windows/System32/cmd.exe",
                                     "NormalImage": "a", "HotImage": "b"}]},
                   "Privacy": {"en": "http://example.com/privacy"}}, f)
    cases = [("Forum_Discord", "open https://discord.example/x"), ("Privacy", "open http://example.com/privacy"),
             ("https://example.org/a?b=c", "open https://example.org/a?b=c"), ("http://example.org", "open http://example.org"),
             ("Forum_Local", "refused"), ("FAQ", "refused"), ("file:///C:/Windows/win.ini", "refused"),
             ("C:\\Windows\\System32\\cmd.exe", "refused"), ("cmd.exe", "refused"),
             ("javascript:alert(1)", "refused"), ("Unknown", "refused")]
    for text, expected in cases:
        code, lines = launcher.run("link", "--config", config, text)
        c.check(f"link: {text} -> {expected}", lines == [expected] and code == (0 if expected != "refused" else 1),
                lines)


def test_fonts(c, launcher):
    fonts = os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows", "Fonts")
    names = ["LomaN.ttf", "LomaB.ttf", "SourceHanSansCNRegular.ttf", "SourceHanSansCNBold.ttf"]
    launcher.run("fonts", "uninstall")
    for name in names:
        if os.path.exists(os.path.join(fonts, name)):
            os.remove(os.path.join(fonts, name))
    with open(os.path.join(fonts, "LomaN.ttf"), "wb") as f:
        f.write(b"foreign Loma")
    code, lines = launcher.run("fonts", "install")
    c.check("fonts: installed, and every face usable in the same run",
            code == 0 and lines[0] == "install 1 antialias=1" and all(l.endswith(" found") for l in lines[1:]) and
            len(lines) == 5, lines)
    c.check("fonts: the files are there", all(os.path.getsize(os.path.join(fonts, n)) > 10000 for n in names[1:]),
            names)
    c.equal("fonts: the registry names the file", reg_query(launcher, FONT_KEY, "Loma Bold (TrueType)"), "LomaB.ttf")
    code, lines = launcher.run("fonts", "uninstall")
    left = sorted(n for n in names if os.path.exists(os.path.join(fonts, n)))
    c.check("fonts: uninstall removes the launcher's and keeps the foreign Loma", left == ["LomaN.ttf"] and
            open(os.path.join(fonts, "LomaN.ttf"), "rb").read() == b"foreign Loma", left)
    os.remove(os.path.join(fonts, "LomaN.ttf"))


def main():
    dvcli = sys.argv[1]
    c = Checks("launcher core through dvcli")
    folder = work_dir("core-dvcli")
    with Standin({"listeners": []}, folder) as standin:
        ca = standin.addresses["ca_windows"]
        launcher = Launcher(dvcli, os.path.join(folder, "launcher"), {"CAFile": ca, "TrackURL": standin.addresses["track"]})
        with open(os.path.join(launcher.folder, "save", "EnvConfig.json"), "w", encoding="utf-8") as f:
            json.dump({"gamePath": GAME_FOLDER, "languageType": 1}, f)
        test_reports(c, standin, launcher)
        test_pause_toggle(c, standin, launcher)
        test_settings(c, standin, launcher)
        test_links(c, launcher)
        test_fonts(c, launcher)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
