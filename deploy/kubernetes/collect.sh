#!/usr/bin/env bash
# Gathers the results of a pressbolt Job's pods into one directory, one file per segment
# (segment-I.json), ready for `pressbolt-cli --merge DIR`. Each pod's log carries its result
# framed, compressed and checksummed; this reassembles the frame, checks it, and says which
# segment's result is missing or damaged. Exit status 0 when every segment's result is whole, 1
# when fewer are (merge what came with --merge --allow-partial), 2 for a usage or kubectl error.
#   deploy/kubernetes/collect.sh [-n NAMESPACE] [JOB-NAME] [DIR]
set -uo pipefail

ns=()
if [[ ${1:-} == -n ]]; then
  [[ $# -ge 2 ]] || { echo "usage: collect.sh [-n NAMESPACE] [JOB-NAME] [DIR]" >&2; exit 2; }
  ns=(--namespace "$2")
  shift 2
fi
job=${1:-pressbolt}
dir=${2:-pressbolt-results}
mkdir -p "$dir/logs" || exit 2

segments=$(kubectl "${ns[@]}" get job "$job" -o 'jsonpath={.spec.completions}') || {
  echo "collect.sh: cannot read job $job" >&2
  exit 2
}
if ! [[ $segments =~ ^[1-9][0-9]*$ ]]; then
  echo "collect.sh: job $job has no number of completions ($segments)" >&2
  exit 2
fi
# One line per pod: its name and its completion index (the segment number minus 1).
pods=$(kubectl "${ns[@]}" get pods -l "job-name=$job" -o \
  'jsonpath={range .items[*]}{.metadata.name}{" "}{.metadata.annotations.batch\.kubernetes\.io/job-completion-index}{"\n"}{end}') || {
  echo "collect.sh: cannot list the pods of job $job" >&2
  exit 2
}

# The frame of segment $1/$2 from the log on stdin: its Base64 lines in order, after checking
# that every numbered line is there once (a repeat must be identical) and well formed. Prints
# the Base64 text, then the JSON's length in bytes on the last line; exits 3 without a frame, 4
# when the frame is damaged or cut, with the reason on stderr.
unframe() {
  awk -v which="$1/$2" '
    BEGIN { lines = -1 }
    $0 ~ "^=== pressbolt result begin segment " which " " {
      for (i = 1; i < NF; i++) {
        if ($i == "lines") lines = $(i + 1)
        if ($i == "json-bytes") bytes = $(i + 1)
      }
      begun = 1; next
    }
    $0 ~ "^=== pressbolt result end segment " which " ===$" { ended = 1; next }
    $1 == "pressbolt-result" && $2 == which {
      seen = 1
      split($3, n, "/")
      if (NF != 4 || n[1] !~ /^[0-9]+$/ || $4 !~ /^[A-Za-z0-9+\/=]+$/) { bad = bad " line " $3 " malformed;"; next }
      if (n[1] in part && part[n[1]] != $4) { bad = bad " line " n[1] " differs in two copies;"; next }
      part[n[1]] = $4
      total = n[2]
    }
    END {
      if (!begun && !seen) { print "no result in the log" > "/dev/stderr"; exit 3 }
      if (!begun) { print "the start of the result is missing (a rotated log?)" > "/dev/stderr"; exit 4 }
      if (bad != "") { print "damaged:" bad > "/dev/stderr"; exit 4 }
      missing = 0
      for (i = 1; i <= lines; i++) if (!(i in part)) missing++
      if (missing > 0 || total != "" && total != lines) {
        print "cut: " missing " of " lines " lines missing" > "/dev/stderr"; exit 4
      }
      if (!ended) { print "cut: the end line is missing" > "/dev/stderr"; exit 4 }
      for (i = 1; i <= lines; i++) printf "%s", part[i]
      print ""
      print bytes
    }'
}

# Reassembles segment $2's result from log file $1 into $3; the reason on stdout when it fails.
extract() {
  local log=$1 segment=$2 out=$3 framed bytes problem
  framed=$(unframe "$segment" "$segments" <"$log" 2>&1 >"$out.b64")
  case $? in
    0) ;;
    *) echo "$framed"; rm -f "$out.b64"; return 1 ;;
  esac
  bytes=$(tail -n 1 "$out.b64")
  # gzip checks the CRC-32 and the length of what it inflates.
  if ! problem=$(head -n 1 "$out.b64" | base64 -d 2>&1 | gzip -dc 2>&1 >"$out.part"); then
    problem=$(printf %s "$problem" | tr -s '\n' ' ' | sed 's/^ *//; s/ *$//')
    echo "damaged: ${problem:-the data does not inflate}"
    rm -f "$out.b64" "$out.part"
    return 1
  fi
  rm -f "$out.b64"
  if [[ $(wc -c <"$out.part") -ne $bytes ]]; then
    echo "damaged: $(wc -c <"$out.part") bytes where the frame announced $bytes"
    rm -f "$out.part"
    return 1
  fi
  mv "$out.part" "$out"
}

# A file left from an earlier collection must not pass for this one's.
for ((i = 1; i <= segments; i++)); do rm -f "$dir/segment-$i.json"; done
declare -A whole
while read -r pod index; do
  [[ -n $pod ]] || continue
  if ! [[ $index =~ ^[0-9]+$ ]] || ((index >= segments)); then
    echo "collect.sh: pod $pod has no completion index of job $job; skipped" >&2
    continue
  fi
  segment=$((index + 1))
  [[ -n ${whole[$segment]:-} ]] && continue  # a pod of this index already gave its result
  log="$dir/logs/$pod.log"
  if ! kubectl "${ns[@]}" logs "pod/$pod" >"$log" 2>"$log.err"; then
    echo "segment $segment/$segments (pod $pod): its log cannot be read: $(head -n 1 "$log.err")" >&2
    rm -f "$log.err"
    continue
  fi
  rm -f "$log.err"
  if problem=$(extract "$log" "$segment" "$dir/segment-$segment.json"); then
    whole[$segment]=1
  else
    echo "segment $segment/$segments (pod $pod): $problem" >&2
  fi
done <<<"$pods"

missing=()
for ((i = 1; i <= segments; i++)); do
  [[ -n ${whole[$i]:-} ]] || missing+=("$i")
done
echo "${#whole[@]} of $segments result(s) whole in $dir; merge them with: pressbolt-cli --merge $dir"
if ((${#missing[@]} > 0)); then
  echo "collect.sh: no whole result of segment(s) ${missing[*]} of $segments" \
    "(pressbolt-cli --merge --allow-partial $dir merges the others)" >&2
  exit 1
fi
