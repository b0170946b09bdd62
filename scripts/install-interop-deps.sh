#!/usr/bin/env bash
# Installs the servers and proxies the interoperability suite (tests/interop) runs against.
# Idempotent like install-deps.sh. The suite starts each of them itself on loopback ports: no
# package may start a system-wide service while it is installed.
set -euo pipefail

packages=(
  python3 apache2 apache2-utils lighttpd nginx-light squid haproxy tinyproxy
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
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
  $sudo chmod 755 /usr/sbin/policy-rc.d
  trap '$sudo rm -f /usr/sbin/policy-rc.d' EXIT
fi
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "Interoperability suite's servers installed."
