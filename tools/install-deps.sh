#!/usr/bin/env bash
# Installs the Debian packages Corvane needs to build, run and test, skipping what is there.
set -euo pipefail

packages=(cmake g++ make pkg-config libsdl2-dev libgtest-dev xvfb libx11-dev libxtst-dev clang-format git dpkg-dev file desktop-file-utils appstream lintian man-db clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix wine wine64 nsis
  openbox mutter i3-wm fonts-dejavu-core weston xwayland dbus "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
