#!/usr/bin/env python3
"""Stand-in for the servers the launcher talks to: gate, content servers, tracking and attribution
recorders, public-IP echo, all over HTTPS on 127.0.0.1, with fault knobs, a request log, a CONNECT
proxy for the built-in host names and a plain-HTTP control endpoint. Python standard library only.

    standin.py serve --scenario FILE --run-dir DIR [--certs DIR] [--port NAME=PORT ...]
                     [--extern NAME=URL ...] [--verbose]
    standin.py ctl --run-dir DIR METHOD PATH [JSON]     talk to a running stand-in's control endpoint
    standin.py free-port                                print a free TCP port on 127.0.0.1

The scenario file, the knobs and the control endpoint are described in README.md beside this file.
`serve` writes DIR/addresses.json once every listener is up, logs each request as a JSON line to
DIR/requests.jsonl and each report to DIR/reports.jsonl (both started afresh), and stops on SIGTERM
or SIGINT.
"""

import argparse
import fnmatch
import http.client
import http.server
import json
import os
import select
import signal
import socket
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import certs  # noqa: E402

CHUNK = 256 * 1024
CONTENT_TYPES = {".txt": "text/plain", ".json": "application/json"}
RULE_KEYS = {"id", "listener", "host", "path", "method", "first", "skip", "status", "body", "ignore_range",
             "truncate", "stall", "stall_after", "flip", "delay", "reset", "refuse"}


def expand(value, names):
    """Replaces "{name}" with the address of that listener or external server, in every string."""
    if isinstance(value, str):
        for name, url in names.items():
            value = value.replace("{" + name + "}", url)
        return value
    if isinstance(value, list):
        return [expand(v, names) for v in value]
    if isinstance(value, dict):
        return {k: expand(v, names) for k, v in value.items()}
    return value


class FaultRule:
    def __init__(self, spec, rule_id):
        unknown = set(spec) - RULE_KEYS
        if unknown:
            raise ValueError(f"unknown fault keys: {sorted(unknown)}")
        self.spec = dict(spec)
        self.id = str(spec.get("id", rule_id))
        self.matched = 0
        self.applied = 0

    def get(self, key, default=None):
        return self.spec.get(key, default)

    @property
    def connection_level(self):
        return self.get("refuse") or self.get("reset") == "connect"

    def fits(self, listener, host, method, path):
        return ((self.get("listener") is None or self.get("listener") == listener) and
                (self.get("host") is None or self.get("host") == host) and
                (self.get("method") is None or self.get("method") == method) and
                (self.get("path") is None or fnmatch.fnmatchcase(path, self.get("path"))))

    def take(self):
        """Counts one fitting request; true when the fault applies to it."""
        self.matched += 1
        if self.matched <= self.get("skip", 0):
            return False
        first = self.get("first")
        if first is not None and self.applied >= first:
            return False
        self.applied += 1
        return True

    def describe(self):
        return dict(self.spec, id=self.id, matched=self.matched, applied=self.applied)


class Hub:
    """What every listener shares: the scenario, the fault rules, the logs."""

    def __init__(self, scenario_path, run_dir, cert_paths, externs, verbose):
        self.lock = threading.Lock()
        self.run_dir = run_dir
        self.verbose = verbose
        self.scenario_dir = os.path.dirname(os.path.abspath(scenario_path)) if scenario_path else os.getcwd()
        self.scenario = {}
        if scenario_path:
            with open(scenario_path, encoding="utf-8") as f:
                self.scenario = json.load(f)
        self.cert_paths = cert_paths
        self.externs = dict(externs)
        self.names = {}
        self.listeners = {}
        self.rules = []
        self.rule_counter = 0
        self.log = []
        self.reports = []
        self.next_connection = 0
        self.log_file = open(os.path.join(run_dir, "requests.jsonl"), "w", encoding="utf-8")
        self.report_file = open(os.path.join(run_dir, "reports.jsonl"), "w", encoding="utf-8")
        self.builtin = certs.builtin_hosts()
        self.echo_hosts = {h for h, keys in self.builtin.items() if "PUBLIC_IP_URL" in keys}
        self.set_rules(self.scenario.get("faults", []))

    # -- scenario values, expanded at use so run-time changes see the listener addresses
    def value(self, key, default=None):
        with self.lock:
            value = self.scenario.get(key, default)
        return expand(value, self.names)

    def path_in_scenario(self, path):
        return path if os.path.isabs(path) else os.path.join(self.scenario_dir, path)

    def connection_id(self):
        with self.lock:
            self.next_connection += 1
            return self.next_connection

    # -- fault rules
    def set_rules(self, specs, append=False):
        new = []
        with self.lock:
            for spec in specs:
                self.rule_counter += 1
                new.append(FaultRule(spec, f"r{self.rule_counter}"))
            self.rules = (self.rules + new) if append else new
        self.reconcile_refusals()
        return [r.id for r in new]

    def remove_rule(self, rule_id):
        with self.lock:
            before = len(self.rules)
            self.rules = [r for r in self.rules if r.id != rule_id]
            removed = before != len(self.rules)
        self.reconcile_refusals()
        return removed

    def describe_rules(self):
        with self.lock:
            return [r.describe() for r in self.rules]

    def pick_rule(self, listener, host, method, path):
        with self.lock:
            for rule in self.rules:
                if rule.connection_level or not rule.fits(listener, host, method, path):
                    continue
                if rule.take():
                    return rule
        return None

    def pick_connection_rule(self, listener):
        with self.lock:
            for rule in self.rules:
                if rule.get("reset") == "connect" and rule.fits(listener, None, None, "") and \
                        rule.get("path") is None and rule.take():
                    return rule
        return None

    def reconcile_refusals(self):
        with self.lock:
            refused = {r.get("listener") for r in self.rules if r.get("refuse")}
            listeners = dict(self.listeners)
        for name, listener in listeners.items():
            if isinstance(listener, Listener):
                listener.set_refused(name in refused or None in refused)

    # -- logs
    def record(self, entry):
        with self.lock:
            entry["seq"] = len(self.log) + 1
            self.log.append(entry)
            self.log_file.write(json.dumps(entry) + "\n")
            self.log_file.flush()
        if self.verbose:
            print(f"standin: {entry['listener']} {entry['method']} {entry['path']} -> {entry['status']} "
                  f"{entry['bytes']}", file=sys.stderr)

    def add_report(self, report):
        with self.lock:
            report["seq"] = len(self.reports) + 1
            self.reports.append(report)
            self.report_file.write(json.dumps(report) + "\n")
            self.report_file.flush()

    def log_since(self, seq):
        with self.lock:
            return [e for e in self.log if e["seq"] >= seq]


class CloseConnection(Exception):
    """Ends the connection without a further answer."""


class StandinHandler(http.server.BaseHTTPRequestHandler):
    """One HTTP/1.1 connection on a listener (or inside a CONNECT tunnel)."""

    protocol_version = "HTTP/1.1"
    def version_string(self):
        return "standin"
    timeout = 120

    def setup(self):
        super().setup()
        self.hub = self.server.hub
        self.listener_name = self.server.listener_name
        self.virtual_host = getattr(self.server, "virtual_host", None)
        self.conn_id = self.hub.connection_id()
        if self.virtual_host is None:
            rule = self.hub.pick_connection_rule(self.listener_name)
            if rule is not None:
                entry = self._entry("CONNECT", "", "", None, time.time(), status=0, fault=rule.id)
                entry["end"] = entry["start"]
                self.hub.record(entry)
                _reset(self.connection)
                raise CloseConnection()

    def handle(self):
        try:
            super().handle()
        except (ConnectionError, ssl.SSLError, socket.timeout, OSError, CloseConnection):
            pass

    def log_message(self, fmt, *args):
        pass

    def _entry(self, method, path, query, range_header, start, status=None, fault=None):
        return {"listener": self.listener_name, "host": self.virtual_host, "conn": self.conn_id,
                "method": method, "path": path, "query": query, "range": range_header, "status": status,
                "bytes": 0, "start": start, "end": None, "fault": fault}

    def do_GET(self):
        self._serve()

    def do_POST(self):
        self._serve()

    def do_HEAD(self):
        self._serve(head=True)

    def do_PUT(self):
        self._serve()

    def _serve(self, head=False):
        start = time.time()
        parts = urllib.parse.urlsplit(self.path)
        path, query = urllib.parse.unquote(parts.path), parts.query
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length > 0 else b""
        rule = self.hub.pick_rule(self.listener_name, self.virtual_host, self.command, path)
        entry = self._entry(self.command, path, query, self.headers.get("Range"), start,
                            fault=rule.id if rule else None)
        try:
            if rule is not None and rule.get("delay"):
                time.sleep(float(rule.get("delay")))
            if rule is not None and rule.get("reset"):
                entry["status"] = 0
                _reset(self.connection)
                self.close_connection = True
                return
            if rule is not None and rule.get("status"):
                text = rule.get("body", "")
                self._respond(entry, int(rule.get("status")), {"Content-Type": "text/plain"},
                              text.encode() if isinstance(text, str) else bytes(text), rule, head)
                return
            self._route(entry, path, query, body, rule, head)
        finally:
            entry["end"] = time.time()
            self.hub.record(entry)

    # -- routing
    def _route(self, entry, path, query, body, rule, head):
        if self.virtual_host in self.hub.echo_hosts or path == "/ip":
            text = str(self.hub.value("echo_ip", "127.0.0.1")) + "\n"
            return self._respond(entry, 200, {"Content-Type": "text/plain"}, text.encode(), rule, head)
        if path.endswith("/get/urls"):
            params = dict(urllib.parse.parse_qsl(query))
            return self._gate_urls(entry, params, rule, head)
        if path.endswith("/pre_download"):
            return self._gate_pre_download(entry, dict(urllib.parse.parse_qsl(query)), rule, head)
        if path.endswith("/track/json_track"):
            text = body.decode("utf-8", "replace")
            try:
                parsed = json.loads(text)
            except ValueError:
                parsed = None
            self.hub.add_report({"kind": "tracking", "time": time.time(), "query": query, "body": text,
                                 "json": parsed, "content_type": self.headers.get("Content-Type")})
            return self._respond(entry, 200, {"Content-Type": "application/json"}, b'{"code":0}', rule, head)
        if path.endswith("/v1/adjust"):
            self.hub.add_report({"kind": "attribution", "time": time.time(), "query": query,
                                 "params": urllib.parse.parse_qsl(query, keep_blank_values=True)})
            return self._respond(entry, 200, {"Content-Type": "text/plain"}, b"OK", rule, head)
        return self._content(entry, path, rule, head)

    def _gate_urls(self, entry, params, rule, head):
        gate = self.hub.value("gate", {}) or {}
        # As the real gate: a query without a device id is refused, and the key chooses the reply.
        if not params.get("udid"):
            return self._respond(entry, 403, {"Content-Type": "text/plain"}, b"refused: no udid", rule, head)
        key = params.get("key", "")
        by_key = gate.get("urls_by_key") or {}
        if key in by_key:
            reply = by_key[key]
        elif gate.get("keys") is not None and key not in gate["keys"]:
            return self._respond(entry, 403, {"Content-Type": "text/plain"}, b"refused: unknown key", rule, head)
        elif params.get("is_qa") == "true" and "urls_qa" in gate:
            reply = gate.get("urls_qa")
        else:
            reply = gate.get("urls")
        if reply is None:
            return self._respond(entry, 404, {}, b"", rule, head)
        if isinstance(reply, dict) and "file" not in reply:
            out = {}
            for key, value in reply.items():
                if key in ("CDN", "Others") and not isinstance(value, str):
                    value = self._text_of(value)
                out[key] = value
            data = json.dumps(out).encode()
        else:
            data = self._text_of(reply).encode()
        self._respond(entry, 200, {"Content-Type": "application/json"}, data, rule, head)

    def _gate_pre_download(self, entry, params, rule, head):
        gate = self.hub.value("gate", {}) or {}
        if not params.get("udid") or params.get("channel") != "CN":
            return self._respond(entry, 403, {"Content-Type": "text/plain"}, b"refused", rule, head)
        reply = gate.get("pre_download")
        if isinstance(reply, str) or (isinstance(reply, dict) and "file" in reply):
            data = self._text_of(reply).encode()
        else:
            items = [] if reply is None else reply if isinstance(reply, list) else [reply]
            data = json.dumps({"info": [i if isinstance(i, str) else json.dumps(i) for i in items]}).encode()
        self._respond(entry, 200, {"Content-Type": "application/json"}, data, rule, head)

    def _text_of(self, value):
        """A scenario value as text: {"file": path} is the file's content, other non-strings JSON."""
        if isinstance(value, dict) and set(value) == {"file"}:
            with open(self.hub.path_in_scenario(value["file"]), encoding="utf-8") as f:
                return f.read()
        return value if isinstance(value, str) else json.dumps(value)

    def _content(self, entry, path, rule, head):
        target = self._resolve(path)
        if target is None:
            return self._respond(entry, 404, {}, b"", rule, head)
        size = os.path.getsize(target)
        headers = {"Content-Type": CONTENT_TYPES.get(os.path.splitext(target)[1], "application/octet-stream"),
                   "Accept-Ranges": "bytes"}
        byte_range = None if rule is not None and rule.get("ignore_range") else \
            _parse_range(self.headers.get("Range"), size)
        if byte_range == "unsatisfiable":
            headers["Content-Range"] = f"bytes */{size}"
            return self._respond(entry, 416, headers, b"", rule, head)
        if byte_range is None:
            return self._respond(entry, 200, headers, (target, 0, size), rule, head)
        first, last = byte_range
        headers["Content-Range"] = f"bytes {first}-{last}/{size}"
        self._respond(entry, 206, headers, (target, first, last - first + 1), rule, head)

    def _resolve(self, path):
        mounts = self.hub.value("mounts", {}) or {}
        best = None
        for prefix in mounts:
            if path.startswith(prefix) and (best is None or len(prefix) > len(best)):
                best = prefix
        if best is None:
            return None
        relative = path[len(best):]
        parts = [p for p in relative.split("/") if p]
        if not parts or any(p in (".", "..") or "\\" in p for p in parts):
            return None
        target = os.path.join(self.hub.path_in_scenario(mounts[best]), *parts)
        return target if os.path.isfile(target) else None

    # -- answering, with the body-level faults
    def _respond(self, entry, status, headers, body, rule, head):
        """body is bytes or (file, offset, length); offsets of flip are within the resource."""
        if isinstance(body, tuple):
            source, offset, length = body
        else:
            source, offset, length = None, 0, len(body)
        entry["status"] = status
        self.send_response(status)
        for key, value in headers.items():
            self.send_header(key, value)
        self.send_header("Content-Length", str(length))
        self.end_headers()
        if head or length == 0:
            return
        truncate = rule.get("truncate") if rule else None
        stall = float(rule.get("stall")) if rule and rule.get("stall") else None
        stall_after = int(rule.get("stall_after", 0)) if rule else 0
        flip = rule.get("flip") if rule else None
        if flip is True:
            flip = offset
        limit = length
        if truncate is not None:
            limit = min(limit, int(truncate))
        if stall is not None:
            limit = min(limit, stall_after)
        sent = 0
        handle = open(source, "rb") if source else None
        try:
            if handle:
                handle.seek(offset)
            while sent < limit:
                n = min(CHUNK, limit - sent)
                chunk = handle.read(n) if handle else body[sent:sent + n]
                if not chunk:
                    break
                if flip is not None and offset + sent <= flip < offset + sent + len(chunk):
                    i = flip - offset - sent
                    chunk = chunk[:i] + bytes([chunk[i] ^ 0xFF]) + chunk[i + 1:]
                self.wfile.write(chunk)
                sent += len(chunk)
                entry["bytes"] = sent
        finally:
            if handle:
                handle.close()
        if sent < length:
            if stall is not None:
                time.sleep(stall)
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def _parse_range(header, size):
    """(first, last) for one byte range, "unsatisfiable", or None (no usable range: whole file)."""
    if not header or not header.startswith("bytes=") or "," in header:
        return None
    spec = header[len("bytes="):].strip()
    first_text, _, last_text = spec.partition("-")
    try:
        if first_text == "":
            count = int(last_text)
            if count <= 0:
                return "unsatisfiable"
            return (max(0, size - count), size - 1) if size > 0 else "unsatisfiable"
        first = int(first_text)
        last = int(last_text) if last_text else size - 1
    except ValueError:
        return None
    if last < first:
        return None
    if first >= size:
        return "unsatisfiable"
    return first, min(last, size - 1)


def _reset(sock):
    """Closes a connection with a reset instead of an orderly end."""
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
    except OSError:
        pass
    try:
        sock.close()
    except OSError:
        pass


class _Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    block_on_close = False
    request_queue_size = 64

    def handle_error(self, request, client_address):
        if self.hub.verbose:
            super().handle_error(request, client_address)


class Listener:
    """One HTTPS port; `refused` closes the listening socket so that connections are refused."""

    def __init__(self, hub, name, port, context):
        self.hub, self.name, self.context = hub, name, context
        self.lock = threading.Lock()
        self.server = None
        self.port = port
        self._open()

    def _open(self):
        server = _Server(("127.0.0.1", self.port), StandinHandler, bind_and_activate=False)
        server.socket = self.context.wrap_socket(server.socket, server_side=True,
                                                 do_handshake_on_connect=False)
        server.server_bind()
        server.server_activate()
        server.hub, server.listener_name = self.hub, self.name
        self.port = server.server_address[1]
        self.server = server
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True).start()

    @property
    def url(self):
        return f"https://127.0.0.1:{self.port}"

    def set_refused(self, refused):
        with self.lock:
            if refused and self.server is not None:
                self.server.shutdown()
                self.server.server_close()
                self.server = None
            elif not refused and self.server is None:
                self._open()

    def close(self):
        self.set_refused(True)


class _TunnelServer:
    """Stands in for the server object of a handler that runs inside a CONNECT tunnel."""

    def __init__(self, hub, host):
        self.hub, self.listener_name, self.virtual_host = hub, "proxy", host


class ProxyHandler(socketserver.StreamRequestHandler):
    """CONNECT to a built-in host: the stand-in itself answers inside the tunnel, with its certificate.
    CONNECT to a loopback address: a plain tunnel to that port. Anything else is refused."""

    def handle(self):
        try:
            request_line = self.rfile.readline(4096).decode("latin-1").strip()
            while self.rfile.readline(4096).strip():
                pass
            method, target, _ = (request_line.split(" ") + ["", ""])[:3]
            host, _, port = target.rpartition(":")
            host = host.strip("[]")
            hub = self.server.hub
            if method != "CONNECT" or not port.isdigit():
                self._answer(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
                return
            if host in hub.builtin:
                self._answer(b"HTTP/1.1 200 Connection established\r\n\r\n")
                tls = self.server.context.wrap_socket(self.connection, server_side=True)
                try:
                    StandinHandler(tls, self.client_address, _TunnelServer(hub, host))
                finally:
                    try:
                        tls.close()
                    except OSError:
                        pass
            elif host in ("127.0.0.1", "localhost", "::1"):
                try:
                    upstream = socket.create_connection((host, int(port)), timeout=10)
                except OSError:
                    self._answer(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
                    return
                self._answer(b"HTTP/1.1 200 Connection established\r\n\r\n")
                _pipe(self.connection, upstream)
            else:
                self._answer(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
        except (ConnectionError, ssl.SSLError, OSError, CloseConnection):
            pass

    def _answer(self, data):
        self.wfile.write(data)
        self.wfile.flush()


def _pipe(a, b):
    a.setblocking(True)
    sockets = [a, b]
    try:
        while True:
            readable, _, _ = select.select(sockets, [], [], 300)
            if not readable:
                return
            for s in readable:
                data = s.recv(CHUNK)
                if not data:
                    return
                (b if s is a else a).sendall(data)
    except OSError:
        pass
    finally:
        b.close()


class _PlainServer(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    block_on_close = False

    def handle_error(self, request, client_address):
        pass


class ControlHandler(http.server.BaseHTTPRequestHandler):
    """The run-time control endpoint (plain HTTP, JSON in and out)."""

    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def _read_json(self):
        length = int(self.headers.get("Content-Length") or 0)
        data = self.rfile.read(length) if length else b""
        return json.loads(data) if data.strip() else None

    def _reply(self, status, value):
        data = json.dumps(value, indent=1).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def _dispatch(self):
        hub = self.server.hub
        parts = urllib.parse.urlsplit(self.path)
        path, params = parts.path.rstrip("/") or "/", dict(urllib.parse.parse_qsl(parts.query))
        method = self.command
        try:
            body = self._read_json()
            if path == "/addresses" and method == "GET":
                return self._reply(200, self.server.addresses)
            if path == "/faults":
                if method == "GET":
                    return self._reply(200, hub.describe_rules())
                if method == "PUT":
                    return self._reply(200, {"ids": hub.set_rules(body or [])})
                if method == "POST":
                    return self._reply(200, {"ids": hub.set_rules(body if isinstance(body, list) else [body],
                                                                  append=True)})
                if method == "DELETE":
                    hub.set_rules([])
                    return self._reply(200, {"ids": []})
            if path.startswith("/faults/") and method == "DELETE":
                found = hub.remove_rule(path[len("/faults/"):])
                return self._reply(200 if found else 404, {"removed": found})
            if path == "/log":
                if method == "GET":
                    return self._reply(200, hub.log_since(int(params.get("since", 1))))
                if method == "DELETE":
                    with hub.lock:
                        hub.log.clear()
                    return self._reply(200, {})
            if path == "/reports":
                if method == "GET":
                    with hub.lock:
                        return self._reply(200, list(hub.reports))
                if method == "DELETE":
                    with hub.lock:
                        hub.reports.clear()
                    return self._reply(200, {})
            if path == "/scenario":
                if method == "GET":
                    with hub.lock:
                        return self._reply(200, hub.scenario)
                if method in ("POST", "PATCH", "PUT"):
                    faults = None
                    with hub.lock:
                        if method == "PUT":
                            hub.scenario = {}
                        for key, value in (body or {}).items():
                            if key == "faults":
                                faults = value
                            else:
                                hub.scenario[key] = value
                    if faults is not None:
                        hub.set_rules(faults)
                    return self._reply(200, {})
            if path == "/shutdown" and method == "POST":
                self._reply(200, {})
                threading.Thread(target=self.server.stop_all, daemon=True).start()
                return None
            return self._reply(404, {"error": f"no {method} {path}"})
        except (ValueError, TypeError, KeyError) as error:
            return self._reply(400, {"error": str(error)})

    do_GET = do_POST = do_PUT = do_PATCH = do_DELETE = _dispatch


def write_json_atomically(path, value):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(value, f, indent=2)
        f.write("\n")
    os.replace(tmp, path)


def serve(args):
    run_dir = os.path.abspath(args.run_dir)
    os.makedirs(run_dir, exist_ok=True)
    addresses_file = os.path.join(run_dir, "addresses.json")
    if os.path.exists(addresses_file):
        os.remove(addresses_file)
    cert_paths = certs.ensure_certs(args.certs or os.path.join(run_dir, "certs"))
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert_paths["server_pem"], cert_paths["server_key"])
    context.set_alpn_protocols(["http/1.1"])

    ports = dict(p.split("=", 1) for p in args.port)
    externs = dict(e.split("=", 1) for e in args.extern)
    hub = Hub(args.scenario, run_dir, cert_paths, externs, args.verbose)
    names = ["main"] + [n for n in hub.scenario.get("listeners", []) if n != "main"]
    for name in names:
        hub.listeners[name] = Listener(hub, name, int(ports.get(name, 0)), context)

    proxy = _PlainServer(("127.0.0.1", int(ports.get("proxy", 0))), ProxyHandler)
    proxy.hub, proxy.context = hub, context
    control = _PlainServer(("127.0.0.1", int(ports.get("control", 0))), ControlHandler)
    control.hub = hub
    hub.listeners["proxy"], hub.listeners["control"] = proxy, control
    for server in (proxy, control):
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()

    with hub.lock:
        hub.names = {name: l.url for name, l in hub.listeners.items() if isinstance(l, Listener)}
        hub.names["proxy"] = f"http://127.0.0.1:{proxy.server_address[1]}"
        hub.names["control"] = f"http://127.0.0.1:{control.server_address[1]}"
        hub.names.update(externs)
    hub.reconcile_refusals()
    builtin = certs.read_builtin_urls()
    main = hub.names["main"]
    addresses = {
        "pid": os.getpid(),
        "listeners": {n: hub.names[n] for n in names},
        "main": main,
        "gate": main + "/",
        "track": main + "/track/json_track?token=" + urllib.parse.parse_qs(
            urllib.parse.urlsplit(builtin["TRACK_URL"]).query).get("token", [""])[0],
        "attribution": main + "/v1/adjust",
        "echo": main + "/ip",
        "mounts": {prefix: main + prefix for prefix in (hub.scenario.get("mounts") or {})},
        "proxy": hub.names["proxy"],
        "control": hub.names["control"],
        "externs": externs,
        "builtin": builtin,
        "ca": cert_paths["ca_pem"],
        "ca_windows": certs.windows_path(cert_paths["ca_pem"]),
        "server_cert": cert_paths["server_pem"],
        "server_key": cert_paths["server_key"],
        "log": os.path.join(run_dir, "requests.jsonl"),
        "reports": os.path.join(run_dir, "reports.jsonl"),
    }
    control.addresses = addresses

    done = threading.Event()

    def stop_all():
        done.set()

    control.stop_all = stop_all
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    write_json_atomically(addresses_file, addresses)
    if not args.quiet:
        print(f"standin: gate and content {main}/  proxy {hub.names['proxy']}  control {hub.names['control']}",
              flush=True)
    while not done.wait(0.5):
        pass
    for name, listener in hub.listeners.items():
        if isinstance(listener, Listener):
            listener.close()
        else:
            listener.shutdown()
            listener.server_close()
    return 0


def ctl(args):
    with open(os.path.join(args.run_dir, "addresses.json"), encoding="utf-8") as f:
        control = urllib.parse.urlsplit(json.load(f)["control"])
    connection = http.client.HTTPConnection(control.hostname, control.port, timeout=30)
    body = args.json.encode() if args.json else None
    connection.request(args.method.upper(), args.path, body=body,
                       headers={"Content-Type": "application/json"} if body else {})
    response = connection.getresponse()
    sys.stdout.write(response.read().decode() + "\n")
    return 0 if response.status < 400 else 1


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        print(s.getsockname()[1])
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("serve")
    p.add_argument("--scenario")
    p.add_argument("--run-dir", required=True)
    p.add_argument("--certs")
    p.add_argument("--port", action="append", default=[], metavar="NAME=PORT")
    p.add_argument("--extern", action="append", default=[], metavar="NAME=URL")
    p.add_argument("--verbose", action="store_true")
    p.add_argument("--quiet", action="store_true")
    p = sub.add_parser("ctl")
    p.add_argument("--run-dir", required=True)
    p.add_argument("method")
    p.add_argument("path")
    p.add_argument("json", nargs="?")
    sub.add_parser("free-port")
    args = parser.parse_args(argv)
    if args.command == "serve":
        return serve(args)
    if args.command == "ctl":
        return ctl(args)
    return free_port()


if __name__ == "__main__":
    sys.exit(main())
