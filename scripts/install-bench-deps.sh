#!/usr/bin/env bash
# Installs what the benchmarks (make bench) compare against and measure with: nginx as the
# server, h2load and ab as the other load generators, /usr/bin/time for the whole-process
# figures. Idempotent like install-deps.sh; the tests need none of it.
set -euo pipefail

packages=(
  nginx-light nghttp2-client apache2-utils openssl time
)

exec bash "$(dirname "$0")/install-packages.sh" "${packages[@]}"
