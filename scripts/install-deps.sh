#!/usr/bin/env bash
# Installs every Debian package the build and the tests need (the benchmarks' servers and load
# generators: install-bench-deps.sh).
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
  dpkg-dev file lintian desktop-file-utils man-db
)

exec bash "$(dirname "$0")/install-packages.sh" "${packages[@]}"
