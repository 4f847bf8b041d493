#!/bin/sh
# Builds the Debian package of the build folder $1 into the empty folder $2;
# exit 77 (skipped) when the tools for it are missing.
set -eu
for tool in cpack dpkg-shlibdeps file; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is not installed (./scripts/deps.sh --test installs it)"
    exit 77
  fi
done
rm -rf "$2"
cpack -G DEB --config "$1/CPackConfig.cmake" -B "$2"
