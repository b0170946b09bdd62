#!/usr/bin/env python3
"""pressbolt-cli against real servers and proxies: Apache (mpm_event), lighttpd and nginx, and
squid, HAProxy (as a forward and as a reverse proxy) and tinyproxy in front of nginx. Each setup
is started on free loopback ports with its own configuration, runs every scenario (a static page,
a 404, a redirect, Basic auth right and wrong, a POST) with 200 users x 2 runs, is stopped, and
its access logs are compared with what pressbolt-cli reported: the count, the statuses and the
bytes of the answers.

    python3 tests/interop/interop.py --cli build/src/pressbolt-cli [--only NAME] [--keep]

The last line is "N passed, M failed"; the exit status is 0 only when nothing failed.
"""

import argparse
import collections
import csv
import os
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import servers  # noqa: E402

USER, PASSWORD = "alice", "s3cret"
POST_BYTES = 10240


class TSite:
    """The documents every server serves, the password file and the POST handler."""

    def __init__(self, top):
        self.docs = os.path.join(top, "docs")
        self.cgi = os.path.join(top, "cgi")
        self.htpasswd = os.path.join(top, "htpasswd")
        os.makedirs(os.path.join(self.docs, "private"))
        os.makedirs(self.cgi)
        lines = "".join(f"<p>line {i} of the interoperability page</p>\n" for i in range(120))
        self.pages = {
            "/index.html": "<html><body>\n" + lines + "</body></html>\n",
            "/landing.html": "<html><body><p>landed</p></body></html>\n",
            "/private/ok.html": "<html><body><p>welcome</p></body></html>\n",
            "/private/no.html": "<html><body><p>never shown</p></body></html>\n",
        }
        for path, text in self.pages.items():
            with open(self.docs + path, "w") as f:
                f.write(text)
        # The answer to a POST names the bytes the server received.
        self.posted = f"received {POST_BYTES} bytes\n"
        with open(os.path.join(self.cgi, "post.cgi"), "w") as f:
            f.write("#!/bin/sh\nn=$(wc -c)\nprintf 'Content-Type: text/plain\\r\\n\\r\\n"
                    "received %s bytes\\n' \"$n\"\n")
        subprocess.run(["htpasswd", "-b", "-c", "-m", self.htpasswd, USER, PASSWORD],
                       check=True, capture_output=True)
        self.body = os.path.join(top, "body.txt")
        with open(self.body, "w") as f:
            f.write(("k=" + "v" * 98) * (POST_BYTES // 100) + "x" * (POST_BYTES % 100))
        # Servers that drop their privileges must read all of it.
        for dirpath, dirs, files in os.walk(top):
            os.chmod(dirpath, 0o755)
            for name in files:
                os.chmod(os.path.join(dirpath, name), 0o755 if name.endswith(".cgi") else 0o644)

    def size(self, path):
        return len(self.pages[path].encode())


@dataclass
class TScenario:
    name: str
    path: str
    status: int  # the final status of every request
    args: list = field(default_factory=list)
    first: int = 0  # the status the server gives the path itself, when it relocates
    then: str = ""  # where it relocates to


def scenarios(site):
    return [
        TScenario("static page", "/index.html", 200),
        TScenario("404", "/missing.html", 404),
        TScenario("redirect", "/redir", 200, first=302, then="/landing.html"),
        TScenario("Basic auth right", "/private/ok.html", 200, ["--user", f"{USER}:{PASSWORD}"]),
        TScenario("Basic auth wrong", "/private/no.html", 401, ["--user", f"{USER}:wrong"]),
        TScenario("POST", "/post", 200, ["--post-file", site.body]),
    ]


def answerbytes(site, path):
    """The body bytes of a 200 answer for path."""
    return len(site.posted.encode()) if path == "/post" else site.size(path)


@dataclass
class TSetup:
    name: str
    make: object  # (work, site) -> (servers to start in order, origin, proxy or None)


def setups():
    def plain(kind):
        return lambda w, s: ([kind(w, s)], 0, None)

    def proxied(kind, reverse=False):
        def make(w, s):
            origin = servers.TNginx(w, s)
            proxy = kind(w, s, origin)
            # A reverse proxy is addressed as the server; a forward proxy is named with --proxy.
            return ([origin, proxy], 1 if reverse else 0, None if reverse else 1)
        return make

    return [
        TSetup("apache", plain(servers.TApache)),
        TSetup("lighttpd", plain(servers.TLighttpd)),
        TSetup("nginx", plain(servers.TNginx)),
        TSetup("squid", proxied(servers.TSquid)),
        TSetup("haproxy-forward", proxied(servers.THaproxy)),
        TSetup("haproxy-reverse", proxied(servers.THaproxy, reverse=True)),
        TSetup("tinyproxy", proxied(servers.TTinyproxy)),
    ]


class TTally:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, label, problems):
        if problems:
            self.failed += 1
            print(f"FAIL {label}: " + "; ".join(problems), flush=True)
        else:
            self.passed += 1
            print(f"ok   {label}", flush=True)


def runcli(cli, work, scenario, url, proxy, users, runs):
    out = os.path.join(work, "out-" + scenario.name.replace(" ", "-"))
    os.makedirs(out, exist_ok=True)
    cmd = [cli, "-q", "--users", str(users), "--runs", str(runs), "--timeout", "120",
           "--output-dir", out, "--requests-csv", os.path.join(out, "requests.csv")]
    if proxy:
        cmd += ["--proxy", proxy]
    cmd += scenario.args + [url]
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=300)
    rows = []
    if os.path.exists(os.path.join(out, "requests.csv")):
        with open(os.path.join(out, "requests.csv"), newline="") as f:
            for row in csv.DictReader(f):
                rows.append((int(row["status"]), int(row["socket"]), int(row["bytes"])))
    return done, rows


def clientproblems(site, scenario, done, rows, want):
    problems = []
    if done.returncode != 0:
        problems.append(f"exit status {done.returncode}: {done.stderr.strip()[-300:]}")
    if len(rows) != want:
        problems.append(f"{len(rows)} requests reported, {want} expected")
    statuses = collections.Counter(r[0] for r in rows)
    if statuses != {scenario.status: want}:
        problems.append(f"statuses {dict(statuses)}, expected {{{scenario.status}: {want}}}")
    sockets = collections.Counter(r[1] for r in rows)
    if set(sockets) - {0}:
        problems.append(f"socket codes {dict(sockets)}")
    if scenario.status == 200:
        size = answerbytes(site, scenario.then or scenario.path)
        wrong = [r[2] for r in rows if r[2] != size]
        if wrong:
            problems.append(f"{len(wrong)} requests with bytes other than {size} "
                            f"(e.g. {wrong[0]})")
    return problems


def logproblems(site, scenario, entries, rows, want, statusknown):
    """What a server's log says against what the client reported, for one scenario."""
    problems = []
    mine = [e for e in entries if e.path == scenario.path]
    if len(mine) != want:
        problems.append(f"{len(mine)} lines for {scenario.path}, {want} expected")
    if not statusknown:
        return problems
    first = scenario.first or scenario.status
    statuses = collections.Counter(e.status for e in mine)
    if statuses != {first: len(mine)} or not mine:
        problems.append(f"{scenario.path}: statuses {dict(statuses)}, expected {first}")
    final = mine
    if scenario.then:
        final = [e for e in entries if e.path == scenario.then]
        if len(final) != want:
            problems.append(f"{len(final)} lines for {scenario.then}, {want} expected")
        if collections.Counter(e.status for e in final) != {200: len(final)}:
            problems.append(f"{scenario.then}: statuses "
                            f"{dict(collections.Counter(e.status for e in final))}")
    served = sum(e.bytes for e in final if e.bytes >= 0)
    received = sum(r[2] for r in rows)
    if scenario.status == 200:
        if served != received:
            problems.append(f"{served} body bytes logged, {received} received")
    elif received > served:
        # An error page is not read to its end: the client may have fewer, never more.
        problems.append(f"{received} bytes received of {served} logged")
    return problems


def runsetup(args, setup, site, top, tally):
    work = os.path.join(top, setup.name)
    os.makedirs(work)
    started, target, proxyat = setup.make(work, site)
    base = f"http://127.0.0.1:{started[target].port}"
    proxy = f"127.0.0.1:{started[proxyat].port}" if proxyat is not None else ""
    want = args.users * args.runs
    results = []
    try:
        for server in started:
            server.start()
        for scenario in scenarios(site):
            began = time.monotonic()
            done, rows = runcli(args.cli, work, scenario, base + scenario.path, proxy,
                                args.users, args.runs)
            results.append((scenario, done, rows, time.monotonic() - began))
    finally:
        # Stopped first, read after: a log is complete only once its server has flushed it.
        for server in reversed(started):
            server.stop()
    logs = [(s.name, s.parse_log(), s.logsanswers) for s in started]
    for scenario, done, rows, seconds in results:
        label = f"{setup.name}: {scenario.name} ({want} requests, {seconds:.1f} s)"
        tally.check(label + " as reported", clientproblems(site, scenario, done, rows, want))
        for name, entries, statusknown in logs:
            tally.check(f"{setup.name}: {scenario.name} against the {name} log",
                        logproblems(site, scenario, entries, rows, want, statusknown))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True, help="the pressbolt-cli to test")
    parser.add_argument("--only", action="append", help="run only this setup (repeatable)")
    parser.add_argument("--users", type=int, default=200)
    parser.add_argument("--runs", type=int, default=2)
    parser.add_argument("--keep", action="store_true", help="keep the scratch directory")
    args = parser.parse_args()
    args.cli = os.path.abspath(args.cli)

    top = tempfile.mkdtemp(prefix="pressbolt-interop-")
    os.chmod(top, 0o755)
    site = TSite(top)
    tally = TTally()
    for setup in setups():
        if args.only and setup.name not in args.only:
            continue
        try:
            runsetup(args, setup, site, top, tally)
        except (RuntimeError, OSError, subprocess.SubprocessError) as e:
            tally.check(f"{setup.name}: start", [str(e)])
    if tally.failed or args.keep:
        print(f"Scratch directory kept: {top}")
    else:
        shutil.rmtree(top, ignore_errors=True)
    print(f"{tally.passed} passed, {tally.failed} failed")
    return 0 if tally.failed == 0 and tally.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
