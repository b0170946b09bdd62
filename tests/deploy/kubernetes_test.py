#!/usr/bin/env python3
"""The Kubernetes files of deploy/kubernetes, checked without a cluster.

The Job manifest goes through a YAML parser and must describe an Indexed Job whose pods agree on
the number of segments; its container arguments are then run here as the pods would run them
(one process per index, fewer users, against pressbolt-target on loopback), their logs are
collected by collect.sh through a stand-in kubectl, and the collected results must merge.

usage: kubernetes_test.py SOURCE_DIR PRESSBOLT_CLI PRESSBOLT_TARGET
"""

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


def load_job(target_url, start_at):
    """The manifest as `envsubst '$TARGET_URL $START_AT'` would hand it to kubectl."""
    with open(os.path.join(DEPLOY, "job.yaml"), encoding="utf-8") as f:
        text = f.read()
    text = text.replace("$TARGET_URL", target_url).replace("$START_AT", start_at)
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
    assert jobspec.get("backoffLimit") == 0, "a segment run again later would fire alone"
    pod = jobspec["template"]["spec"]
    assert pod["restartPolicy"] == "Never"
    sysctls = {s["name"]: s["value"] for s in pod["securityContext"]["sysctls"]}
    low, high = map(int, sysctls["net.ipv4.ip_local_port_range"].split())
    assert 1024 <= low < high <= 65535 and high - low >= 20000, (low, high)
    (container,) = pod["containers"]
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
    from_packages = {"libuv.so.1": "libuv1", "libssl.so.3": "libssl3", "libcrypto.so.3": "libssl3"}
    ldd = subprocess.run(["ldd", CLI], capture_output=True, text=True, check=True).stdout
    for lib in re.findall(r"^\s*(lib\S+\.so\S*)", ldd, re.M):
        assert lib in base or from_packages.get(lib) in packages, lib + " is not in the image"
    assert re.search(r'^ENTRYPOINT \["/usr/local/bin/pressbolt-cli"\]', final, re.M)
    assert "--target pressbolt-cli" in text


def start_target():
    p = subprocess.Popen([TARGET], stdout=subprocess.PIPE, text=True)
    line = p.stdout.readline()
    port = re.match(r"listening on 127\.0\.0\.1:(\d+)", line).group(1)
    return p, "http://127.0.0.1:" + port + "/size/30?k=@@"


def check_pods_collect_and_merge():
    target, url = start_target()
    work = tempfile.mkdtemp()
    try:
        start_at = str(int(time.time() * 1000) + 2000)
        job = load_job(url, start_at)
        segments = job["spec"]["completions"]
        args = job["spec"]["template"]["spec"]["containers"][0]["args"]
        # Scaled down for a test machine: fewer users, no wait between runs.
        args[args.index("--users") + 1] = str(3 * segments)
        args[args.index("--wait") + 1] = "0"
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
            pods.append((subprocess.Popen([CLI] + pod_args, stdout=log, stderr=log, env=env),
                         log))
        for p, log in pods:
            assert p.wait(timeout=60) == 0, "a pod's pressbolt-cli failed"
            log.close()

        # kubectl as collect.sh uses it: list the Job's pods, print a pod's log.
        bin_dir = os.path.join(work, "bin")
        os.mkdir(bin_dir)
        kubectl = os.path.join(bin_dir, "kubectl")
        with open(kubectl, "w") as f:
            f.write('#!/bin/sh\n'
                    'if [ "$1" = get ]; then for p in "%s"/*; do echo "pod/${p##*/}"; done\n'
                    'else cat "%s/${2#pod/}"; fi\n' % (logs, logs))
        os.chmod(kubectl, 0o755)
        results = os.path.join(work, "results")
        env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ["PATH"])
        subprocess.run(["bash", os.path.join(DEPLOY, "collect.sh"), "pressbolt", results],
                       env=env, check=True, capture_output=True)
        assert len(os.listdir(results)) == segments, os.listdir(results)

        merged = subprocess.run([CLI, "--merge", results], capture_output=True, text=True)
        assert merged.returncode == 0, merged.stderr
        assert "Merged from %d segments" % segments in merged.stdout, merged.stdout
        statuses = re.findall(r"Resulting statuscodes: (\d+)x\"200\"", merged.stdout)
        assert statuses == [str(3 * segments)] * len(statuses) and statuses, statuses
    finally:
        target.terminate()
        target.wait()
        shutil.rmtree(work)


def main():
    checks = [check_manifest, check_dockerfile, check_pods_collect_and_merge]
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
