#!/usr/bin/env bash
# Installs the servers and proxies the interoperability suite (tests/interop) runs against.
# Idempotent like install-deps.sh. The suite starts each of them itself on loopback ports: no
# package may start a system-wide service while it is installed.
set -euo pipefail

packages=(
  python3 apache2 apache2-utils lighttpd nginx-light squid haproxy tinyproxy
)

exec bash "$(dirname "$0")/install-packages.sh" "${packages[@]}"
