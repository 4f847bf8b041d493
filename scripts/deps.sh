#!/usr/bin/env bash
# Installs the Debian 12 packages Stowline needs to build, run and test.
# Needs root (or sudo); does nothing when everything is already installed.
set -euo pipefail
build_pkgs=(cmake ninja-build g++ pkg-config python3 libgtk2.0-dev libserialport-dev libhidapi-dev)
test_pkgs=(googletest libgtest-dev libgmock-dev xvfb xauth xdotool imagemagick python3 python3-pyatspi
           libatk-adaptor at-spi2-core dbus-x11 fonts-dejavu-core
           dpkg-dev file lintian desktop-file-utils appstream)
pkgs=("${build_pkgs[@]}")
[ "${1:-}" = "--test" ] && pkgs+=("${test_pkgs[@]}")

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=(); elif command -v sudo >/dev/null; then sudo=(sudo); else
  echo "These packages are missing and installing them needs root (or sudo): ${missing[*]}" >&2; exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
