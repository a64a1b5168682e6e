#!/usr/bin/env python3
"""A test certificate authority and one server certificate, made with the openssl command-line tool.

The server certificate names 127.0.0.1, ::1, localhost and every built-in host of hosts.txt, so the
stand-in, the CONNECT proxy and nginx all present it. Files in the folder: ca.pem, ca.key, server.pem,
server.key, names.txt (the names the server certificate was made for). An existing set is kept while
the names are unchanged and the certificate has more than a day left.

    certs.py DIR        make or reuse the set in DIR and print its paths
"""

import os
import subprocess
import sys
import tempfile
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
HOSTS_FILE = os.path.join(HERE, "hosts.txt")


def read_builtin_urls(path=HOSTS_FILE):
    """The KEY=VALUE pairs of hosts.txt."""
    urls = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#") and "=" in line:
                key, value = line.split("=", 1)
                urls[key] = value
    return urls


def builtin_hosts(urls=None):
    """Host name -> list of keys of hosts.txt that use it."""
    hosts = {}
    for key, url in (urls or read_builtin_urls()).items():
        hosts.setdefault(urllib.parse.urlsplit(url).hostname, []).append(key)
    return hosts


def _openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def _still_valid(cert, cwd):
    result = subprocess.run(["openssl", "x509", "-checkend", "86400", "-noout", "-in", cert], cwd=cwd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return result.returncode == 0


def ensure_certs(folder, extra_names=()):
    """Makes (or reuses) the set in folder; returns a dict of absolute paths."""
    folder = os.path.abspath(folder)
    os.makedirs(folder, exist_ok=True)
    names = ["127.0.0.1", "::1", "localhost", *sorted(builtin_hosts()), *extra_names]
    wanted = "\n".join(names) + "\n"
    paths = {key: os.path.join(folder, key.replace("_", ".")) for key in ("ca_pem", "ca_key", "server_pem",
                                                                            "server_key")}
    names_file = os.path.join(folder, "names.txt")
    have_ca = all(os.path.exists(paths[k]) for k in ("ca_pem", "ca_key")) and _still_valid(paths["ca_pem"],
                                                                                              folder)
    if (have_ca and os.path.exists(paths["server_pem"]) and os.path.exists(paths["server_key"]) and
            os.path.exists(names_file) and open(names_file).read() == wanted and
            _still_valid(paths["server_pem"], folder)):
        return paths
    with tempfile.TemporaryDirectory(dir=folder, prefix=".make-") as tmp:
        if not have_ca:
            _openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", "ca.key",
                     cwd=tmp)
            _openssl("req", "-x509", "-new", "-key", "ca.key", "-sha256", "-days", "3650", "-subj",
                     "/O=Dorevezi tests/CN=Dorevezi Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                     "-addext", "keyUsage=critical,keyCertSign,cRLSign", "-out", "ca.pem", cwd=tmp)
            ca_pem, ca_key = os.path.join(tmp, "ca.pem"), os.path.join(tmp, "ca.key")
        else:
            ca_pem, ca_key = paths["ca_pem"], paths["ca_key"]
        alt = ",".join(("IP:" if _is_address(n) else "DNS:") + n for n in names)
        with open(os.path.join(tmp, "ext.cnf"), "w") as f:
            f.write(f"basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n"
                    f"extendedKeyUsage=serverAuth\nsubjectAltName={alt}\n")
        _openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", "server.key",
                 cwd=tmp)
        _openssl("req", "-new", "-key", "server.key", "-subj", "/O=Dorevezi tests/CN=127.0.0.1", "-out",
                 "server.csr", cwd=tmp)
        _openssl("x509", "-req", "-in", "server.csr", "-CA", ca_pem, "-CAkey", ca_key, "-set_serial",
                 str(int.from_bytes(os.urandom(8), "big")), "-days", "825", "-sha256", "-extfile", "ext.cnf",
                 "-out", "server.pem", cwd=tmp)
        for name in ("ca.pem", "ca.key", "server.pem", "server.key"):
            src = os.path.join(tmp, name)
            if os.path.exists(src):
                os.chmod(src, 0o644)
                os.replace(src, os.path.join(folder, name))
        with open(names_file, "w") as f:
            f.write(wanted)
    return paths


def _is_address(name):
    return name.replace(".", "").isdigit() or ":" in name


def windows_path(path):
    """The path as a Windows program under Wine sees it (drive Z: is the root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(1)
    for key, value in ensure_certs(sys.argv[1]).items():
        print(f"{key}={value}")
