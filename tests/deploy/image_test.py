#!/usr/bin/env python3
"""The load generators' image, run the way the Kubernetes Job runs it.

The image must run as a numeric non-root user with a read-only root file system. Then a split
test as the README describes it: SEGMENTS containers of the image, each in a network namespace
with an address of its own, fire at nginx in another namespace; their logs are collected by
collect.sh through a stand-in kubectl that serves `podman logs`, and merged. One generator is
paused for 700 ms as run 1 begins: run 1 shows it late, runs 2 and 3 must still start together,
and every user of every run reaches nginx exactly once.

usage: image_test.py SOURCE_DIR IMAGE      (as root, with podman, runc, iproute2 and nginx)
"""

import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import yaml

SOURCE, IMAGE = sys.argv[1:3]
DEPLOY = os.path.join(SOURCE, "deploy", "kubernetes")
# How podman runs containers on these machines: crun refuses the rlimits and hybrid cgroups.
RUNTIME = ["--runtime", "runc", "--ulimit", "nofile=20000:20000", "--ulimit", "nproc=4096:4096"]
SEGMENTS, USERS, RUNS = 3, 300, 3
TAG = "pb%d" % (os.getpid() % 100000)
SERVER_NS = TAG + "s"
SERVER_IP = "10.231.0.1"
PAUSE_S = 0.7


def sh(*args, **kw):
    return subprocess.run(list(args), check=True, capture_output=True, text=True, **kw).stdout


def podman_run(*args):
    return sh("podman", "run", *RUNTIME, *args)


def check_image():
    user = sh("podman", "image", "inspect", "--format", "{{.Config.User}}", IMAGE).strip()
    assert re.fullmatch(r"[1-9]\d*(:\d+)?", user), "USER must be numeric and not root: " + user
    out = podman_run("--rm", "--read-only", "--network", "none", "--cap-drop", "ALL",
                     "--security-opt", "no-new-privileges", IMAGE, "--version")
    assert out.startswith("pressbolt-cli "), out


def generator_ns(i):
    return "%sg%d" % (TAG, i)


def make_hosts():
    """A server namespace with a bridge, and one namespace per generator hanging on it."""
    sh("ip", "netns", "add", SERVER_NS)
    sh("ip", "-n", SERVER_NS, "link", "set", "lo", "up")
    sh("ip", "-n", SERVER_NS, "link", "add", "br0", "type", "bridge")
    sh("ip", "-n", SERVER_NS, "addr", "add", SERVER_IP + "/24", "dev", "br0")
    sh("ip", "-n", SERVER_NS, "link", "set", "br0", "up")
    for i in range(1, SEGMENTS + 1):
        ns = generator_ns(i)
        sh("ip", "netns", "add", ns)
        sh("ip", "-n", ns, "link", "set", "lo", "up")
        sh("ip", "link", "add", "%sv%d" % (TAG, i), "netns", SERVER_NS, "type", "veth", "peer",
           "name", "eth0", "netns", ns)
        sh("ip", "-n", SERVER_NS, "link", "set", "%sv%d" % (TAG, i), "master", "br0", "up")
        sh("ip", "-n", ns, "addr", "add", "10.231.0.%d/24" % (10 + i), "dev", "eth0")
        sh("ip", "-n", ns, "link", "set", "eth0", "up")


def remove_hosts():
    for ns in [SERVER_NS] + [generator_ns(i) for i in range(1, SEGMENTS + 1)]:
        subprocess.run(["ip", "netns", "del", ns], capture_output=True)


def start_nginx(work):
    conf = os.path.join(work, "nginx.conf")
    with open(conf, "w") as f:
        f.write("""daemon off;
worker_processes 1;
pid %(w)s/nginx.pid;
error_log %(w)s/error.log;
events { worker_connections 4096; }
http {
  log_format keys '$msec $arg_k $status';
  access_log %(w)s/access.log keys;
  client_body_temp_path %(w)s; proxy_temp_path %(w)s;
  server { listen %(ip)s:8080 backlog=4096; location / { return 200 "ok\\n"; } }
}
""" % {"w": work, "ip": SERVER_IP})
    p = subprocess.Popen(["ip", "netns", "exec", SERVER_NS, "nginx", "-c", conf, "-p", work],
                         stderr=subprocess.PIPE, text=True)
    # Ready when a generator's namespace can connect: polled, as nginx prints nothing.
    probe = ("import socket,sys\n"
             "try: socket.create_connection(('%s', 8080), 1).close()\n"
             "except OSError: sys.exit(1)\n" % SERVER_IP)
    for _ in range(200):
        if subprocess.run(["ip", "netns", "exec", generator_ns(1), sys.executable, "-c",
                           probe]).returncode == 0:
            return p
        assert p.poll() is None, p.stderr.read()
    raise AssertionError("nginx did not come up")


def job_args(start_at):
    with open(os.path.join(DEPLOY, "job.yaml"), encoding="utf-8") as f:
        text = f.read()
    url = "http://%s:8080/k?k=@@" % SERVER_IP
    for name, value in (("$IMAGE", IMAGE), ("$TARGET_URL", url), ("$START_AT", start_at)):
        text = text.replace(name, value)
    job = yaml.safe_load(text)
    args = job["spec"]["template"]["spec"]["containers"][0]["args"]
    # Scaled to this machine: the users, runs 2 s apart, no wait; every user a key of its own.
    for option, value in (("--segments", str(SEGMENTS)), ("--users", str(USERS)),
                          ("--runs", str(RUNS)), ("--wait", "0"), ("--run-interval", "2")):
        args[args.index(option) + 1] = value
    return ["--key-offset", "1000"] + args


def wait_for_log(name, text, deadline):
    while time.time() < deadline:
        if text in subprocess.run(["podman", "logs", name], capture_output=True,
                                  text=True).stderr:
            return True
        time.sleep(0.1)  # a polling interval: what is waited for is the line above
    return False


def run_split(work):
    names = ["%s-pod-%d" % (TAG, i) for i in range(SEGMENTS)]
    at = int(time.time() * 1000) + 15000
    for i, name in enumerate(names):
        out = os.path.join(work, "results%d" % i)
        os.mkdir(out)
        os.chown(out, 10001, 10001)
        podman_run("-d", "--name", name, "--network", "ns:/run/netns/" + generator_ns(i + 1),
                   "--read-only", "--cap-drop", "ALL", "--security-opt", "no-new-privileges",
                   "-v", out + ":/results", "-e", "JOB_COMPLETION_INDEX=%d" % i, IMAGE,
                   *job_args(str(at)))
    for name in names:
        assert wait_for_log(name, "waiting for the start", at / 1000 - 0.5), \
            name + " was not waiting in time"
    # The second generator stops just before the start and goes on 700 ms later.
    pid = int(sh("podman", "inspect", "--format", "{{.State.Pid}}", names[1]).strip())
    time.sleep(max(0, at / 1000 - 0.1 - time.time()))
    os.kill(pid, signal.SIGSTOP)
    time.sleep(PAUSE_S)
    os.kill(pid, signal.SIGCONT)
    for name in names:
        status = int(sh("podman", "wait", name).strip())
        assert status == 0, name + " exited %d:\n" % status + sh("podman", "logs", name)
    return names


def collect(work, names):
    bin_dir = os.path.join(work, "bin")
    os.mkdir(bin_dir)
    with open(os.path.join(bin_dir, "kubectl"), "w") as f:
        f.write("#!/bin/bash\n"
                "args=\" $* \"\n"
                "if [[ $args == *' get job '* ]]; then printf %%s %d; exit 0; fi\n"
                "if [[ $args == *' get pods '* ]]; then\n"
                "  for i in $(seq 0 %d); do echo \"%s-pod-$i $i\"; done; exit 0; fi\n"
                "pod=${@: -1}; exec podman logs \"${pod#pod/}\"\n"
                % (SEGMENTS, SEGMENTS - 1, TAG))
    os.chmod(os.path.join(bin_dir, "kubectl"), 0o755)
    env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ["PATH"])
    results = os.path.join(work, "collected")
    c = subprocess.run(["bash", os.path.join(DEPLOY, "collect.sh"), "pressbolt", results],
                       env=env, capture_output=True, text=True)
    assert c.returncode == 0, c.stderr
    return results


def check_split_run():
    work = tempfile.mkdtemp()
    os.chmod(work, 0o755)
    names, nginx = [], None
    try:
        make_hosts()
        nginx = start_nginx(work)
        names = run_split(work)
        results = collect(work, names)
        merged_json = os.path.join(work, "merged.json")
        # The merge runs in the image too, as a user with the collected files would.
        os.chmod(results, 0o777)
        merged = subprocess.run(
            ["podman", "run", *RUNTIME, "--rm", "--network", "none", "-v",
             results + ":/in:ro", "-v", work + ":/out", "--user", "0", IMAGE, "--merge", "/in",
             "--json", "/out/merged.json"], capture_output=True, text=True)
        assert merged.returncode == 0, merged.stderr
        with open(merged_json, encoding="utf-8") as f:
            doc = json.load(f)

        # Every user of every run reached nginx exactly once.
        with open(os.path.join(work, "access.log"), encoding="utf-8") as f:
            keys = [line.split()[1] for line in f if line.split()[2] == "200"]
        counts = {}
        for k in keys:
            counts[k] = counts.get(k, 0) + 1
        assert len(keys) == USERS * RUNS, len(keys)
        assert set(counts.values()) == {RUNS} and len(counts) == USERS, "a key twice or never"

        runs = doc["runs"]
        spreads = [r["segment_start_spread_ms"] for r in runs]
        late = [r["segment_late_ms"] for r in runs]
        # Run 1: the paused generator fired late and said so; runs 2 and 3: together again.
        assert late[0][1] >= 500, late
        assert spreads[0] >= 500, spreads
        assert all(s < 100 for s in spreads[1:]), spreads
        assert all(l < 100 for row in late[1:] for l in row), late
        assert len(doc["segment_clocks"]) == SEGMENTS
        print("run start spreads (ms):", spreads, "late (ms):", late)
    finally:
        for name in names:
            subprocess.run(["podman", "rm", "-f", name], capture_output=True)
        if nginx is not None:
            nginx.terminate()
            nginx.wait()
        remove_hosts()
        shutil.rmtree(work, ignore_errors=True)


def main():
    checks = [check_image, check_split_run]
    failed = 0
    for check in checks:
        try:
            check()
            print("ok  ", check.__name__)
        except Exception as e:  # every check runs; each failure is reported
            failed += 1
            detail = e.stderr if isinstance(e, subprocess.CalledProcessError) else ""
            print("FAIL", check.__name__ + ":", repr(e), detail)
    print("%d passed, %d failed" % (len(checks) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
