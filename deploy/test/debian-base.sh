#!/usr/bin/env bash
# Makes the local image debian:12 that deploy/kubernetes/Dockerfile builds on, for machines that
# reach Debian's package archive but no image registry: a minimal Debian 12 made with debootstrap
# and imported into podman. The root file system is kept as a tarball, so a later run on the same
# machine (CI's included) imports it again without downloading anything.
#   deploy/test/debian-base.sh [CACHE-DIR]
set -euo pipefail

cache=${1:-${PRESSBOLT_IMAGE_CACHE:-/var/cache/pressbolt}}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
tarball=$cache/debian-12-minbase.tar

if podman image exists debian:12; then
  exit 0
fi
mkdir -p "$cache"
if [[ ! -s $tarball ]]; then
  root=$(mktemp -d "$cache/rootfs.XXXXXX")
  trap 'rm -rf "$root"' EXIT
  echo "debian-base: debootstrap of bookworm from $mirror (once per machine)"
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$cache/debootstrap.log" 2>&1 || {
    tail -20 "$cache/debootstrap.log" >&2
    exit 1
  }
  # What a base image drops: package lists and caches, which only make it larger.
  rm -rf "$root"/var/lib/apt/lists/* "$root"/var/cache/apt/*.bin "$root"/var/cache/apt/archives/*.deb
  tar -C "$root" --numeric-owner -cf "$tarball.part" .
  mv "$tarball.part" "$tarball"
fi
podman import --change 'CMD ["/bin/bash"]' "$tarball" debian:12 >/dev/null
echo "debian-base: debian:12 imported from $tarball"
