#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: apt-get runs only when something is missing, and stays quiet otherwise.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libuv1-dev libssl-dev openssl zlib1g-dev
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  qt6-webengine-dev poppler-utils
  googletest libgtest-dev libgmock-dev
  libcli11-dev nlohmann-json3-dev
  python3 python3-yaml
  clang libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core openbox
  apache2-utils nginx-light nghttp2-client
  dpkg-dev file lintian desktop-file-utils man-db
)

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
# The benchmarks start nginx themselves: its package must not start a system service on port 80.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
  $sudo chmod 755 /usr/sbin/policy-rc.d
  trap '$sudo rm -f /usr/sbin/policy-rc.d' EXIT
fi
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "Dependencies installed."
