#!/usr/bin/env python3
"""The Kubernetes files of deploy/kubernetes, checked without a cluster.

The Job manifest goes through a YAML parser and must describe an Indexed Job whose pods agree on
the number of segments, where a failed pod costs only its segment, under the restricted pod
security profile; its container arguments are then run here as the pods would run them (one
process per index, fewer users, against pressbolt-target on loopback), their logs are collected
by collect.sh through a stand-in kubectl, and the collected results must merge. Logs with other
lines woven into the result still merge; a cut or damaged one is named, with a failing exit.

usage: kubernetes_test.py SOURCE_DIR PRESSBOLT_CLI PRESSBOLT_TARGET
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import yaml

SOURCE, CLI, TARGET = sys.argv[1:4]
DEPLOY = os.path.join(SOURCE, "deploy", "kubernetes")


def load_job(target_url, start_at, image="registry.example/pressbolt-cli:4.4"):
    """The manifest as `envsubst '$IMAGE $TARGET_URL $START_AT'` would hand it to kubectl."""
    with open(os.path.join(DEPLOY, "job.yaml"), encoding="utf-8") as f:
        text = f.read()
    for name, value in (("$IMAGE", image), ("$TARGET_URL", target_url), ("$START_AT", start_at)):
        text = text.replace(name, value)
    assert "$" not in re.sub(r"\$\(JOB_COMPLETION_INDEX\)", "", text.split("\napiVersion")[1]), \
        "a variable that the README's envsubst does not fill in"
    return yaml.safe_load(text)


def option(args, name):
    return args[args.index(name) + 1]


def check_manifest():
    job = load_job("http://127.0.0.1:1/", "2030-01-01T00:00:00Z")
    assert job["apiVersion"] == "batch/v1" and job["kind"] == "Job", job["kind"]
    jobspec = job["spec"]
    assert jobspec["completionMode"] == "Indexed"
    segments = jobspec["completions"]
    assert isinstance(segments, int) and segments >= 2, segments
    assert jobspec["parallelism"] == segments, "every segment must run at once"
    # A failed pod costs its own segment: never rerun, the others run on.
    assert jobspec.get("backoffLimitPerIndex") == 0, "a segment run again later would fire alone"
    assert "backoffLimit" not in jobspec, "one failed pod must not fail the Job's other pods"
    assert jobspec["maxFailedIndexes"] == segments
    rules = jobspec["podFailurePolicy"]["rules"]
    actions = {r["action"]: r for r in rules}
    assert actions["FailIndex"]["onExitCodes"]["values"] == [2]
    assert actions["Ignore"]["onPodConditions"] == [{"type": "DisruptionTarget"}]
    assert jobspec["activeDeadlineSeconds"] > 0
    pod = jobspec["template"]["spec"]
    assert pod["restartPolicy"] == "Never"
    # The restricted pod security profile.
    podsec = pod["securityContext"]
    assert podsec["runAsNonRoot"] is True and podsec["runAsUser"] > 0
    assert podsec["seccompProfile"]["type"] == "RuntimeDefault"
    sysctls = {s["name"]: s["value"] for s in pod["securityContext"]["sysctls"]}
    low, high = map(int, sysctls["net.ipv4.ip_local_port_range"].split())
    assert 1024 <= low < high <= 65535 and high - low >= 20000, (low, high)
    (container,) = pod["containers"]
    assert container["image"] == "registry.example/pressbolt-cli:4.4"
    sec = container["securityContext"]
    assert sec["allowPrivilegeEscalation"] is False and sec["capabilities"]["drop"] == ["ALL"]
    args = container["args"]
    assert all(isinstance(a, str) for a in args), "every argument must be a YAML string"
    assert int(option(args, "--segments")) == segments
    assert option(args, "--start-at") == "2030-01-01T00:00:00Z"
    assert option(args, "--json") == "-", "the results go to the log for collect.sh"
    users = int(option(args, "--users"))
    assert users <= 20000 * segments, "each segment holds at most 20000 users"
    mounts = {m["mountPath"] for m in container.get("volumeMounts", [])}
    assert option(args, "--output-dir") in mounts
    help_text = subprocess.run([CLI, "--help"], capture_output=True, text=True, check=True).stdout
    for a in args:
        if a.startswith("--"):
            assert a in help_text, a + " is not an option of pressbolt-cli"


def check_dockerfile():
    with open(os.path.join(DEPLOY, "Dockerfile"), encoding="utf-8") as f:
        text = f.read()
    stages = re.findall(r"^FROM\s+(\S+)", text, re.M)
    assert stages[0].startswith("debian:12") and stages[-1].startswith("debian:12"), stages
    final = text[text.rindex("\nFROM "):]
    copied = re.findall(r"^COPY\s+--from=\S+\s+(\S+)", final, re.M)
    assert copied == ["/build/src/pressbolt-cli"], copied
    installed = re.search(r"apt-get install(.*?)(&&|$)", final, re.S)
    words = installed.group(1).split() if installed else []
    packages = {w for w in words if not w.startswith("-") and w != "\\"}
    # Every library the program loads comes from the base image or from what the final stage
    # installs: a new run-time dependency must show up here.
    base = {"libstdc++.so.6", "libm.so.6", "libgcc_s.so.1", "libc.so.6"}
    from_packages = {"libuv.so.1": "libuv1", "libssl.so.3": "libssl3", "libcrypto.so.3": "libssl3",
                     "libz.so.1": "zlib1g"}
    ldd = subprocess.run(["ldd", CLI], capture_output=True, text=True, check=True).stdout
    for lib in re.findall(r"^\s*(lib\S+\.so\S*)", ldd, re.M):
        assert lib in base or from_packages.get(lib) in packages, lib + " is not in the image"
    assert re.search(r'^ENTRYPOINT \["/usr/local/bin/pressbolt-cli"\]', final, re.M)
    assert "--target pressbolt-cli" in text
    # runAsNonRoot can only check a numeric user.
    users = re.findall(r"^USER\s+(\S+)", final, re.M)
    assert users and re.fullmatch(r"\d+(:\d+)?", users[-1]) and int(users[-1].split(":")[0]) > 0


def start_target():
    p = subprocess.Popen([TARGET], stdout=subprocess.PIPE, text=True)
    line = p.stdout.readline()
    port = re.match(r"listening on 127\.0\.0\.1:(\d+)", line).group(1)
    return p, "http://127.0.0.1:" + port + "/size/30?k=@@"


def write_kubectl(work, logs, segments):
    """kubectl as collect.sh uses it, serving captured logs: LOGS/NAME is pod NAME's log, its
    completion index the number after "pressbolt-"; a pod without a log file fails like a pod
    whose node is gone. Every call's arguments are noted in work/calls."""
    bin_dir = os.path.join(work, "bin")
    os.makedirs(bin_dir, exist_ok=True)
    kubectl = os.path.join(bin_dir, "kubectl")
    with open(kubectl, "w") as f:
        f.write(r"""#!/bin/bash
echo "$*" >> "%(work)s/calls"
args=" $* "
if [[ $args == *" get job "* ]]; then printf %%s %(segments)d; exit 0; fi
if [[ $args == *" get pods "* ]]; then
  for i in $(seq 0 %(last)d); do echo "pressbolt-$i-x7k2q $i"; done; exit 0
fi
pod=${@: -1}; pod=${pod#pod/}
if [[ -f "%(logs)s/$pod" ]]; then cat "%(logs)s/$pod"; else
  echo "Error from server: pod $pod not found" >&2; exit 1; fi
""" % {"work": work, "segments": segments, "last": segments - 1, "logs": logs})
    os.chmod(kubectl, 0o755)
    return dict(os.environ, PATH=bin_dir + os.pathsep + os.environ["PATH"])


def collect(env, results):
    return subprocess.run(["bash", os.path.join(DEPLOY, "collect.sh"), "-n", "loadtest",
                           "pressbolt", results], env=env, capture_output=True, text=True)


def run_pods(work, url):
    """The Job's pods as processes: their stdout and stderr in one log each, as a runtime keeps
    them. Returns the logs directory and the number of segments."""
    start_at = str(int(time.time() * 1000) + 2000)
    job = load_job(url, start_at)
    segments = job["spec"]["completions"]
    args = job["spec"]["template"]["spec"]["containers"][0]["args"]
    # Scaled down for a test machine: fewer users, no wait between runs, runs 0.5 s apart.
    args[args.index("--users") + 1] = str(3 * segments)
    args[args.index("--wait") + 1] = "0"
    args[args.index("--run-interval") + 1] = "0.5"
    logs = os.path.join(work, "logs")
    os.mkdir(logs)
    pods = []
    for index in range(segments):
        out = os.path.join(work, "out%d" % index)
        os.mkdir(out)
        pod_args = list(args)
        pod_args[pod_args.index("--output-dir") + 1] = out
        log = open(os.path.join(logs, "pressbolt-%d-x7k2q" % index), "w")
        env = dict(os.environ, JOB_COMPLETION_INDEX=str(index))
        pods.append((subprocess.Popen([CLI] + pod_args, stdout=log, stderr=log, env=env), log))
    for p, log in pods:
        assert p.wait(timeout=60) == 0, "a pod's pressbolt-cli failed"
        log.close()
    return logs, segments


def check_pods_collect_and_merge():
    target, url = start_target()
    work = tempfile.mkdtemp()
    try:
        logs, segments = run_pods(work, url)
        # The Results text went to the log too (no -q), beside the framed result.
        with open(os.path.join(logs, "pressbolt-0-x7k2q"), encoding="utf-8") as f:
            log0 = f.read()
        assert "Results of run 1" in log0 and "pressbolt-result 1/%d 1/" % segments in log0

        env = write_kubectl(work, logs, segments)
        results = os.path.join(work, "results")
        c = collect(env, results)
        assert c.returncode == 0, c.stderr
        with open(os.path.join(work, "calls"), encoding="utf-8") as f:
            calls = f.read().splitlines()
        assert calls and all("--namespace loadtest" in call for call in calls), calls
        assert sorted(n for n in os.listdir(results) if n.endswith(".json")) == \
            ["segment-%d.json" % (i + 1) for i in range(segments)], os.listdir(results)

        merged = subprocess.run([CLI, "--merge", results, "--json", "-"], capture_output=True,
                                text=True)
        assert merged.returncode == 0, merged.stderr
        assert "Merged from %d segments" % segments in merged.stderr, merged.stderr
        statuses = re.findall(r"Resulting statuscodes: (\d+)x\"200\"", merged.stderr)
        assert statuses == [str(3 * segments)] * len(statuses) and statuses, statuses
        doc = json.loads(merged.stdout)
        assert [c["segment"] for c in doc["segment_clocks"]] == list(range(1, segments + 1))
        assert "Segment clocks: worst maximum error " in merged.stderr
        assert all(len(r["segment_late_ms"]) == segments for r in doc["runs"])
    finally:
        target.terminate()
        target.wait()
        shutil.rmtree(work)


def interleave(text):
    """The log as a runtime may write it: other lines between every framed line, a progress
    line and a copy of a framed line in the middle."""
    out = []
    for i, line in enumerate(text.splitlines(keepends=True)):
        out.append(line)
        out.append("pressbolt-cli: run %d of 3: 12 requests\n" % i)
        if line.startswith("pressbolt-result ") and i % 2 == 0:
            out.append(line)
    return "".join(out)


def check_damaged_logs():
    target, url = start_target()
    work = tempfile.mkdtemp()
    try:
        logs, segments = run_pods(work, url)
        assert segments >= 4, "the check spoils three of the segments' logs"
        names = sorted(os.listdir(logs))

        def rewrite(name, change):
            path = os.path.join(logs, name)
            with open(path, encoding="utf-8") as f:
                text = f.read()
            with open(path, "w", encoding="utf-8") as f:
                f.write(change(text))

        rewrite(names[0], interleave)
        # Cut in the middle of its result, as a log whose writer died or whose file was rotated.
        def cut(t):
            begin = t.index("=== pressbolt result begin")
            return t[:begin + (len(t) - begin) // 2]
        rewrite(names[1], cut)
        # One character of the compressed data changed: only the checksum can tell.
        def flip(t):
            i = t.index("pressbolt-result 3/") + 60
            return t[:i] + ("A" if t[i] != "A" else "B") + t[i + 1:]
        rewrite(names[2], flip)
        os.remove(os.path.join(logs, names[3]))                      # a pod that is gone

        env = write_kubectl(work, logs, segments)
        results = os.path.join(work, "results")
        c = collect(env, results)
        assert c.returncode == 1, (c.returncode, c.stderr)
        k = str(segments)
        assert re.search(r"segment 2/%s \(pod pressbolt-1-x7k2q\): (cut|damaged)" % k, c.stderr), \
            c.stderr
        assert re.search(r"segment 3/%s \(pod pressbolt-2-x7k2q\): damaged" % k, c.stderr), \
            c.stderr
        assert "segment 4/%s (pod pressbolt-3-x7k2q): its log cannot be read" % k in c.stderr
        assert "no whole result of segment(s) 2 3 4 of " + k in c.stderr
        present = sorted(n for n in os.listdir(results) if n.endswith(".json"))
        assert present[0] == "segment-1.json" and "segment-2.json" not in present, present

        refused = subprocess.run([CLI, "--merge", results], capture_output=True, text=True)
        assert refused.returncode == 2 and "missing segment(s) 2, 3, 4" in refused.stderr

        html = os.path.join(work, "partial.html")
        merged = subprocess.run([CLI, "--merge", results, "--allow-partial", "--json", "-",
                                 "--html", html], capture_output=True, text=True)
        assert merged.returncode == 0, merged.stderr
        doc = json.loads(merged.stdout)
        missing = list(range(2, segments + 1)) if len(present) == 1 else [2, 3, 4]
        assert doc["partial"]["missing_segments"] == missing, doc["partial"]
        headline = "Partial result: segments %s of %s missing" % (
            ", ".join(map(str, missing)), k)
        assert headline in merged.stderr, merged.stderr
        assert "Missing users: 2, %d, %d ..." % (2 + segments, 2 + 2 * segments) in merged.stderr
        with open(html, encoding="utf-8") as f:
            assert headline in f.read()
        # Opened again (as the window opens it, or re-rendered), it still says so.
        stored = os.path.join(work, "partial.json")
        with open(stored, "w", encoding="utf-8") as f:
            f.write(merged.stdout)
        again = subprocess.run([CLI, "--report", stored, "--html", html], capture_output=True,
                               text=True)
        assert again.returncode == 0 and headline in again.stdout, again.stderr
        with open(html, encoding="utf-8") as f:
            assert headline in f.read()
    finally:
        target.terminate()
        target.wait()
        shutil.rmtree(work)


def check_log_size_warning():
    """A segment whose framed result would outgrow a default 10 MiB log says so before the
    start; a small one does not."""
    def started(users, runs):
        at = str(int(time.time() * 1000) + 3000)
        env = dict(os.environ, JOB_COMPLETION_INDEX="0")
        return subprocess.run([CLI, "--segments", "2", "--users", str(users), "--runs", str(runs),
                               "--start-at", at, "--timeout", "0.1", "--json", "-",
                               "http://127.0.0.1:1/"], capture_output=True, text=True, env=env)
    big = started(40000, 20)   # 400000 requests in this segment
    assert big.returncode == 4 and big.stdout == "", big.stderr
    assert "warning: the result of this segment will take about 11 MiB in its log" in big.stderr, \
        big.stderr
    assert "--json /results/segment-N.json" in big.stderr
    small = started(40000, 2)
    assert "warning" not in small.stderr, small.stderr


def main():
    checks = [check_manifest, check_dockerfile, check_pods_collect_and_merge, check_damaged_logs,
              check_log_size_warning]
    failed = 0
    for check in checks:
        try:
            check()
            print("ok  ", check.__name__)
        except Exception as e:  # every check runs; each failure is reported
            failed += 1
            print("FAIL", check.__name__ + ":", repr(e))
    print("%d passed, %d failed" % (len(checks) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
