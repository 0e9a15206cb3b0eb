#!/usr/bin/env bash
# Installs the Debian packages the project needs (or the packages given as arguments);
# does nothing when all are there.
set -euo pipefail
pkgs=(
  cmake ninja-build g++ ccache                 # build
  libgtest-dev libgmock-dev libbenchmark-dev   # tests and benchmarks
  libcli11-dev libfmt-dev libsimpleini-dev     # the CLI, formatting, settings files
  qt6-base-dev                                 # the window and its tests
  clang libclang-rt-14-dev                     # fuzz targets (libFuzzer)
  fonts-dejavu-core                            # texts of the offscreen window and its screenshots
  dpkg-dev file lintian desktop-file-utils appstream  # the Debian package and its checks
)
if [ $# -gt 0 ]; then
  pkgs=("$@")
fi
missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them as root (no sudo here):" >&2
    echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  SUDO=(sudo)
fi
echo "Installing: ${missing[*]}"
${SUDO[@]+"${SUDO[@]}"} apt-get update
# env after sudo: sudo would drop the variable.
${SUDO[@]+"${SUDO[@]}"} env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
