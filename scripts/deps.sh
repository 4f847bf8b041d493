#!/usr/bin/env bash
# Installs the Debian 12 packages Stowline needs to build, run and test; with
# --test also generates the decimal-comma locale the number tests run in.
# Needs root (or sudo); does nothing when everything is already there.
set -euo pipefail
build_pkgs=(cmake ninja-build g++ pkg-config python3 libgtk2.0-dev libserialport-dev libhidapi-dev
            libgudev-1.0-dev  # device events: serial ports and the M900 cable plugged and pulled
            libcli11-dev nlohmann-json3-dev)  # stowline-cli: its arguments and JSON
test_pkgs=(googletest libgtest-dev libgmock-dev xvfb xauth xdotool imagemagick python3 python3-pyatspi
           libatk-adaptor at-spi2-core dbus-x11 fonts-dejavu-core
           dpkg-dev file lintian desktop-file-utils appstream locales
           clang libclang-rt-14-dev)  # the fuzz targets: clang with libFuzzer and the sanitizer runtimes
test_locale="de_DE.UTF-8 UTF-8"  # /etc/locale.gen's form; locale -a lists it as de_DE.utf8
pkgs=("${build_pkgs[@]}")
testing=0
if [ "${1:-}" = "--test" ]; then pkgs+=("${test_pkgs[@]}"); testing=1; fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
need_locale=0
if [ $testing -eq 1 ] && ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then need_locale=1; fi
[ ${#missing[@]} -eq 0 ] && [ $need_locale -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); elif command -v sudo >/dev/null; then sudo=(sudo); else
  wanted=("${missing[@]}")
  [ $need_locale -eq 1 ] && wanted+=("the locale ${test_locale%% *}")
  echo "Setting these up needs root (or sudo): ${wanted[*]}" >&2
  exit 1
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ $need_locale -eq 1 ]; then
  echo "Generating the locale ${test_locale%% *} (numbers with a decimal comma, for the tests)"
  # Debian's locale-gen builds what /etc/locale.gen lists: enable the line, or add it.
  if grep -q "^# *${test_locale}\$" /etc/locale.gen 2>/dev/null; then
    "${sudo[@]}" sed -i "s/^# *${test_locale}\$/${test_locale}/" /etc/locale.gen
  elif ! grep -q "^${test_locale}\$" /etc/locale.gen 2>/dev/null; then
    echo "${test_locale}" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo[@]}" locale-gen
fi
