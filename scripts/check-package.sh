#!/usr/bin/env bash
# Debian's checker on a built package: any error or warning fails. Findings that must stay are
# overridden inside the package (usr/share/lintian/overrides/pressbolt), each with its reason.
# Without lintian installed the check is skipped, and says so.
set -euo pipefail
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  echo "usage: $0 PACKAGE.deb" >&2
  exit 2
fi
if ! command -v lintian >/dev/null; then
  echo "lintian is not installed: $1 was not checked (scripts/install-deps.sh installs it)"
  exit 0
fi
# As root (CI, a package built in a container) lintian would say on every run that root is not
# recommended; it only reads the package here.
allowroot=()
[ "$(id -u)" -eq 0 ] && allowroot=(--allow-root)
lintian "${allowroot[@]}" --fail-on error,warning "$1"
echo "lintian: $1 passed"
