#!/usr/bin/env bash
# Installs what building and running the load generators' image needs on a Debian host: podman
# with runc (crun refuses the rlimits and hybrid cgroups on these machines), debootstrap for the
# base image, iproute2 for network namespaces, nginx as the server. Idempotent and quiet when
# nothing is missing.
set -euo pipefail

packages=(podman runc debootstrap uidmap iproute2 nginx-light python3 python3-yaml gzip)
exec bash "$(dirname "$0")/../../scripts/install-packages.sh" "${packages[@]}"
