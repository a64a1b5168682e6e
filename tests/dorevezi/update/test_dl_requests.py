"""The download manager's synchronous requests and report transport, run by dvcli.exe under Wine
against the stand-in: retries over the base addresses, JSON documents, probes, the gate list of the
operator file, tracking and attribution reports, queued reports, and certificate checks.
Usage: test_dl_requests.py <dvcli.exe>"""

import http.server
import os
import ssl
import subprocess
import sys
import threading

from dl_support import Checks, Launcher, Log, Standin, result_lines, work_dir

TRACK_BODY = '{"event_name":"click_launch_play_game","game_id":"10043","name":"\u6e38\u620f \u5b89\u88c5"}'


def scenario(folder):
    cdn = os.path.join(folder, "cdn")
    os.makedirs(cdn)
    with open(os.path.join(cdn, "doc.json"), "w") as f:
        f.write('{"version": "10077_0_1"}')
    with open(os.path.join(cdn, "page.html"), "w") as f:
        f.write("<html>not json</html>")
    with open(os.path.join(cdn, "a.bin"), "wb") as f:
        f.write(b"Q" * 5000)
    return {"listeners": ["cdn2", "dead"], "mounts": {"/cdn/": "cdn"},
            "gate": {"urls": {"DlcAddr": ["{main}/cdn/"], "Others": {"PatchOption": 2}}}}


def bases(standin, *names):
    return [standin.addresses["listeners"][name] + "/cdn/" for name in names]


def first(lines):
    found = result_lines(lines)
    return found[0] if found else ""


def body_of(lines):
    return "\n".join(lines[lines.index("body:") + 1:]) if "body:" in lines else None


def test_memory(c, standin, launcher):
    standin.control("PUT", "/faults", [{"listener": "dead", "status": 503, "body": "busy, try later"}])
    log = Log(standin)
    code, lines = launcher.run("memory", *bases(standin, "dead", "main"), "doc.json")
    entries = log.entries()
    c.equal("memory: first base answering 503 is tried exactly three times",
            [e["listener"] for e in entries], ["dead"] * 3 + ["main"])
    c.check("memory: then the second base succeeds", code == 0 and first(lines).startswith("result 0 size=24 ")
            and body_of(lines) == '{"version": "10077_0_1"}', lines)
    c.check("memory: the reported url is the path with a slash", " url=doc.json/ " in first(lines), lines)

    log.reset()
    code, lines = launcher.run("memory", *bases(standin, "main", "cdn2"), "page.html")
    entries = log.entries()
    c.equal("memory: a 200 reply that is not JSON makes exactly one request", len(entries), 1)
    c.check("memory: ... and ends with code 0 and the reader's message",
            code == 1 and first(lines).startswith("result 0 size=21 ") and "message=* Line 1" in first(lines)
            and body_of(lines) == "<html>not json</html>", lines)

    standin.control("PUT", "/faults", [{"status": 503}])
    log.reset()
    code, lines = launcher.run("memory", *bases(standin, "main", "cdn2"), "doc.json")
    c.equal("memory: every base failing: three tries each, in order",
            [e["listener"] for e in log.entries()], ["main"] * 3 + ["cdn2"] * 3)
    c.check("memory: ... and code -2 with the status", code == 1 and first(lines).startswith("result -2 ")
            and first(lines).endswith("message=503"), lines)
    standin.control("DELETE", "/faults")

    code, lines = launcher.run("request", standin.addresses["main"] + "/cdn/doc.json")
    c.check("request: one full URL", code == 0 and first(lines).startswith("result 0 size=24 "), lines)
    code, lines = launcher.run("request", standin.addresses["main"] + "/cdn/none.json")
    c.check("request: a 404 is code -2 with the status", code == 1 and first(lines).startswith("result -2 ")
            and first(lines).endswith("message=404"), lines)


def test_gate_list(c, standin, launcher, ca):
    launcher.set_setting({"CAFile": ca, "GateURLs": [standin.addresses["gate"]]})
    log = Log(standin)
    code, lines = launcher.run("memory", "--gate", "get/urls?key=k&udid=u")
    entries = log.entries()
    c.check("gate list: \"GateURLs\" replaces the built-in list",
            code == 0 and [(e["listener"], e["path"]) for e in entries] == [("main", "/get/urls")]
            and "DlcAddr" in (body_of(lines) or ""), (lines, entries))

    # An empty list keeps the built-in one: the primary host twice (six tries), then the backup.
    launcher.set_setting({"CAFile": ca, "GateURLs": []})
    builtin = standin.addresses["builtin"]
    primary = builtin["GATE_PRIMARY_URL"].split("/")[2]
    backup = builtin["GATE_BACKUP_URL"].split("/")[2]
    standin.control("PUT", "/faults", [{"host": primary, "status": 503}])
    log.reset()
    code, lines = launcher.run("memory", "--gate", "get/urls?key=k&udid=u", proxy=standin.addresses["proxy"])
    entries = log.entries()
    c.equal("gate list: an empty \"GateURLs\" keeps the built-in list", [e["host"] for e in entries],
            [primary] * 6 + [backup])
    c.check("gate list: ... whose backup answers", code == 0 and "DlcAddr" in (body_of(lines) or ""), lines)
    standin.control("DELETE", "/faults")
    launcher.set_setting({"CAFile": ca})


def test_probe(c, standin, launcher):
    log = Log(standin)
    code, lines = launcher.run("probe", *bases(standin, "main"), "a.bin")
    entries = log.entries()
    c.check("probe: 206 means the file exists", code == 0 and lines == ["result 0 exists=1 url=a.bin/ message="]
            and [e["range"] for e in entries] == ["bytes=0-0"] and entries[0]["status"] == 206, (lines, entries))
    c.check("probe: the reply body does not reach standard output", "Q" not in "".join(lines), lines)

    standin.control("PUT", "/faults", [{"ignore_range": True}])
    log.reset()
    code, lines = launcher.run("probe", *bases(standin, "main"), "a.bin")
    c.check("probe: 200 means the file exists", code == 0 and first(lines).startswith("result 0 exists=1 ")
            and [e["status"] for e in log.entries()] == [200], lines)
    standin.control("DELETE", "/faults")

    log.reset()
    code, lines = launcher.run("probe", *bases(standin, "main", "cdn2"), "missing.bin")
    c.check("probe: 404 means absent, after one request", code == 0 and first(lines).startswith(
        "result 0 exists=0 ") and [e["status"] for e in log.entries()] == [404], lines)

    standin.control("PUT", "/faults", [{"status": 500}])
    log.reset()
    code, lines = launcher.run("probe", *bases(standin, "main", "cdn2"), "a.bin")
    c.check("probe: 500 fails after three tries on each base", code == 1 and first(lines) ==
            "result -2 exists=0 url=a.bin/ message=No error" and len(log.entries()) == 6, lines)
    standin.control("DELETE", "/faults")

    log.reset()
    code, lines = launcher.run("probe", "a.bin")
    c.check("probe: no base gives false and no callback",
            code == 1 and lines == ["result none (no base address)"] and log.entries() == [], lines)

    # With standard output closed the reply body has nowhere to go, and must not need anywhere (a
    # server ignoring the range sends the whole file).
    standin.control("PUT", "/faults", [{"ignore_range": True}])
    log.reset()
    command = " ".join(["exec", "'%s'" % os.path.join(os.path.dirname(__file__), "..", "..", "..", "tools",
                                                      "testenv", "wine-exec.sh"),
                        "'%s'" % launcher.dvcli, "probe", bases(standin, "main")[0], "a.bin", ">&-"])
    result = subprocess.run(["bash", "-c", command], cwd=launcher.folder, env=launcher.env(),
                            stderr=subprocess.DEVNULL, timeout=120)
    c.check("probe: works with standard output closed",
            result.returncode == 0 and [e["status"] for e in log.entries()] == [200], result.returncode)
    standin.control("DELETE", "/faults")


def test_reports(c, standin, launcher, ca):
    launcher.set_setting({"CAFile": ca, "TrackURL": standin.addresses["track"]})
    before = len(standin.control("GET", "/reports"))
    code, lines = launcher.run("post", "track", TRACK_BODY)
    reports = standin.control("GET", "/reports")[before:]
    c.check("tracking: one POST", code == 0 and len(reports) == 1 and reports[0]["kind"] == "tracking", reports)
    if reports:
        c.equal("tracking: the body byte for byte", reports[0]["body"], TRACK_BODY)
        c.equal("tracking: the header", reports[0]["content_type"], "application/json; charset=UTF-8")
        c.equal("tracking: the token query", reports[0]["query"], "token=5f3c9a1e7b2d4c6a8e0f1b3d")

    # The attribution address is built in: reached through the stand-in's CONNECT proxy.
    fields = [("activity_kind", "pc_starter"), ("cpu_type", "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz"),
              ("event_name", "a&b=c"), ("language", "zh_CN \u4e2d\u6587"), ("empty", "")]
    before = len(standin.control("GET", "/reports"))
    log = Log(standin)
    code, lines = launcher.run("attribution", *[f"{k}={v}" for k, v in fields], proxy=standin.addresses["proxy"])
    reports = standin.control("GET", "/reports")[before:]
    entries = log.entries()
    c.check("attribution: one GET to the built-in host through the proxy",
            code == 0 and [(e["method"], e["host"], e["listener"]) for e in entries] ==
            [("GET", "attribution.dorevezi.invalid", "proxy")], entries)
    c.check("attribution: every value arrives as it was, escaped on the way",
            len(reports) == 1 and [tuple(p) for p in reports[0]["params"]] == fields, reports)
    if reports:
        query = reports[0]["query"]
        c.check("attribution: the query has no raw blank, '&' or '=' inside a value",
                " " not in query and query.count("&") == len(fields) - 1 and query.count("=") == len(fields),
                query)

    # Queued reports leave one at a time, the URL that sorts first first.
    other = standin.addresses["main"] + "/x/track/json_track"
    before = len(standin.control("GET", "/reports"))
    log.reset()
    code, lines = launcher.run("post", "--queue", other, '{"n":3}', "track", '{"n":1}', "track", '{"n":2}')
    reports = standin.control("GET", "/reports")[before:]
    entries = log.entries()
    c.check("queued: all sent", code == 0 and "queued 3" in lines and "result 0 queued=0" in lines, lines)
    c.equal("queued: in order, first URL first", [r["body"] for r in reports], ['{"n":1}', '{"n":2}', '{"n":3}'])
    c.check("queued: one at a time", all(entries[i]["start"] >= entries[i - 1]["end"] - 0.001
                                         for i in range(1, len(entries))) and len(entries) == 3, entries)

    # Without "TrackURL" the built-in tracking address is used.
    launcher.set_setting({"CAFile": ca})
    before = len(standin.control("GET", "/reports"))
    log.reset()
    code, lines = launcher.run("post", "track", '{"n":4}', proxy=standin.addresses["proxy"])
    reports = standin.control("GET", "/reports")[before:]
    c.check("tracking: the built-in address without \"TrackURL\"",
            [e["host"] for e in log.entries()] == ["track.dorevezi.invalid"] and
            [r["body"] for r in reports] == ['{"n":4}'], reports)


class _OneShotHandler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b'{"ok": true}'
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def serve_with_certificate(folder, names, ca_pem, ca_key):
    """An HTTPS server on 127.0.0.1 with a certificate for `names`, signed by the CA given (or self-signed
    when ca_pem is None)."""
    os.makedirs(folder, exist_ok=True)
    run = lambda *a: subprocess.run(["openssl", *a], cwd=folder, check=True, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
    run("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", "key.pem")
    with open(os.path.join(folder, "ext.cnf"), "w") as f:
        f.write("subjectAltName=" + ",".join(names) + "\n")
    if ca_pem:
        run("req", "-new", "-key", "key.pem", "-subj", "/CN=other", "-out", "csr.pem")
        run("x509", "-req", "-in", "csr.pem", "-CA", ca_pem, "-CAkey", ca_key, "-set_serial", "7", "-days", "2",
            "-extfile", "ext.cnf", "-out", "cert.pem")
    else:
        run("req", "-x509", "-new", "-key", "key.pem", "-subj", "/CN=127.0.0.1", "-days", "2", "-addext",
            "subjectAltName=" + ",".join(names), "-out", "cert.pem")
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _OneShotHandler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem"))
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def test_certificates(c, standin, launcher, ca, folder):
    launcher.set_setting({})
    code, lines = launcher.run("memory", *bases(standin, "main"), "doc.json")
    c.check("certificates: a server whose CA is not trusted is refused with a clear error",
            code == 1 and first(lines).startswith("result -2 ") and "SSL certificate problem" in first(lines),
            lines)
    launcher.set_setting({"CAFile": ca})
    code, lines = launcher.run("memory", *bases(standin, "main"), "doc.json")
    c.check("certificates: with \"CAFile\" naming the test CA it is accepted", code == 0, lines)

    certs = os.path.dirname(standin.addresses["ca"])
    servers = [serve_with_certificate(os.path.join(folder, "wrong-name"), ["DNS:wrong.invalid"],
                                      standin.addresses["ca"], os.path.join(certs, "ca.key")),
               serve_with_certificate(os.path.join(folder, "self-signed"), ["IP:127.0.0.1"], None, None)]
    try:
        wrong, self_signed = [f"https://127.0.0.1:{s.server_address[1]}/" for s in servers]
        code, lines = launcher.run("memory", wrong, "doc.json")
        c.check("certificates: a certificate for another host name is refused",
                code == 1 and first(lines).startswith("result -2 ") and "host name" in first(lines), lines)
        code, lines = launcher.run("memory", self_signed, "doc.json")
        c.check("certificates: a self-signed certificate is refused",
                code == 1 and first(lines).startswith("result -2 ") and "SSL certificate problem" in first(lines),
                lines)
        # A relative "CAFile" is taken from the launcher folder.
        with open(standin.addresses["ca"]) as source, open(os.path.join(launcher.folder, "save", "ca.pem"), "w") as f:
            f.write(source.read())
        launcher.set_setting({"CAFile": "save\\ca.pem"})
        code, lines = launcher.run("memory", *bases(standin, "main"), "doc.json")
        c.check("certificates: a relative \"CAFile\" is found in the launcher folder", code == 0, lines)
    finally:
        for server in servers:
            server.shutdown()
            server.server_close()
    launcher.set_setting({"CAFile": ca})


def main():
    dvcli = sys.argv[1]
    c = Checks("download manager requests")
    folder = work_dir("dl-requests")
    with Standin(scenario(folder), folder) as standin:
        ca = standin.addresses["ca_windows"]
        launcher = Launcher(dvcli, os.path.join(folder, "launcher"), {"CAFile": ca})
        test_memory(c, standin, launcher)
        test_gate_list(c, standin, launcher, ca)
        test_probe(c, standin, launcher)
        test_reports(c, standin, launcher, ca)
        test_certificates(c, standin, launcher, ca, folder)
        c.check("the trace log was emptied at start and holds no request failures", launcher.trace() == "",
                launcher.trace())
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
