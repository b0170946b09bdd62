#!/usr/bin/env bash
# Installs what building and running the load generators' image needs on a Debian host: podman
# with runc (crun refuses the rlimits and hybrid cgroups on these machines), debootstrap for the
# base image, iproute2 for network namespaces, nginx as the server. Idempotent and quiet when
# nothing is missing.
set -euo pipefail

packages=(podman runc debootstrap uidmap iproute2 nginx-light python3 python3-yaml gzip)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# nginx's package must not start a system service on port 80.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
  $sudo chmod 755 /usr/sbin/policy-rc.d
  trap '$sudo rm -f /usr/sbin/policy-rc.d' EXIT
fi
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "Image dependencies installed."
