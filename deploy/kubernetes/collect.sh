#!/usr/bin/env bash
# Gathers the JSON results that the pods of a pressbolt Job printed to their logs into one
# directory, one file per segment, ready for `pressbolt-cli --merge DIR`.
#   deploy/kubernetes/collect.sh [JOB-NAME] [DIR]
set -euo pipefail

job=${1:-pressbolt}
dir=${2:-pressbolt-results}
mkdir -p "$dir"

pods=$(kubectl get pods -l "job-name=$job" -o name)
if [[ -z "$pods" ]]; then
  echo "no pods of job $job" >&2
  exit 1
fi
found=0
for pod in $pods; do
  name=${pod#pod/}
  # Only the lines between the markers: the log also holds the results text and any messages.
  kubectl logs "$pod" | awk '
    /^=== pressbolt json begin/ { inside = 1; next }
    /^=== pressbolt json end/   { inside = 0; next }
    inside { print }' > "$dir/$name.json"
  if [[ -s "$dir/$name.json" ]]; then
    found=$((found + 1))
  else
    rm -f "$dir/$name.json"
    echo "$name: no result in its log (did it finish?)" >&2
  fi
done
echo "$found result(s) in $dir; merge them with: pressbolt-cli --merge $dir"
