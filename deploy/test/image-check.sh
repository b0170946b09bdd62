#!/usr/bin/env bash
# Builds the load generators' image from this tree and runs it the way the Kubernetes Job does
# (tests/deploy/image_test.py). Needs root: network namespaces stand in for the cluster's hosts.
#   deploy/test/image-check.sh [IMAGE]
set -euo pipefail
cd "$(dirname "$0")/../.."
image=${1:-localhost/pressbolt-cli:check}

bash deploy/test/install-deps.sh
bash deploy/test/debian-base.sh
# Only the command line is compiled in the image; podman keeps the layer with the compilers, so a
# later build on the same machine compiles again only when the sources changed.
podman build --runtime runc --ulimit nofile=20000:20000 --ulimit nproc=4096:4096 \
  -f deploy/kubernetes/Dockerfile -t "$image" . >/tmp/pressbolt-image-build.log 2>&1 || {
  tail -40 /tmp/pressbolt-image-build.log >&2
  exit 1
}
python3 tests/deploy/image_test.py . "$image"
