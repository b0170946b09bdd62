#!/usr/bin/env bash
# Runs every benchmark program of a build (BUILD_DIR/bench/bench_*) and prints what it reports.
# Timings on a shared machine are information, not a verdict: the exit status is non-zero only
# when a benchmark crashes (dies from a signal) or hangs past its time limit.
set -u

build=${1:-build}
dir="$build/bench"
limit=${BENCH_TIMEOUT:-1200}

shopt -s nullglob
programs=()
for p in "$dir"/bench_*; do
  [[ -f "$p" && -x "$p" ]] && programs+=("$p")
done
if (( ${#programs[@]} == 0 )); then
  echo "no benchmark programs in $dir (build first)"
  exit 0
fi

failed=0
for p in "${programs[@]}"; do
  name=$(basename "$p")
  [[ " ${BENCH_SKIP:-} " == *" ${name#bench_} "* ]] && { echo "== $name: skipped (BENCH_SKIP)"; continue; }
  echo "== $name"
  timeout --signal=TERM --kill-after=30 "$limit" "$p"
  rc=$?
  if (( rc == 124 || rc == 137 )); then
    echo "== $name: did not finish within ${limit} s"
    failed=1
  elif (( rc > 128 )); then
    echo "== $name: crashed (signal $((rc - 128)))"
    failed=1
  elif (( rc != 0 )); then
    echo "== $name: exited with status $rc"
  else
    echo "== $name: done"
  fi
done
# The TLS wave against h2load and ab: a script, as it measures whole processes.
if [[ " ${BENCH_SKIP:-} " != *" tls_wave "* ]]; then
  echo "== tls_wave"
  timeout --signal=TERM --kill-after=30 "$limit" bash "$(dirname "$0")/tls_wave.sh" "$build" || failed=1
fi
exit $failed
