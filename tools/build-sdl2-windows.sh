#!/usr/bin/env bash
# Builds SDL2 for 64-bit Windows as a static library, once, from Debian's own source package:
#   tools/build-sdl2-windows.sh CACHE_DIR
# installs it under CACHE_DIR/prefix (SDL2's CMake package in prefix/lib/cmake/SDL2) and
# does nothing when that build is already there. The source is fetched with a private apt
# configuration kept in CACHE_DIR, so nothing under /etc/apt changes; the tarball's
# checksum is pinned because no Debian source keyring is installed to verify it.
set -euo pipefail

VERSION=2.26.5
DEBIAN_VERSION=2.26.5+dfsg-1
TARBALL=libsdl2_2.26.5+dfsg.orig.tar.gz
SHA256=b3f2c822151804125d08db94c65852f711c2e5df2145a59da120748dc32eb9c3

[ $# -eq 1 ] || { echo "usage: $0 CACHE_DIR" >&2; exit 2; }
mkdir -p "$1"
cache=$(cd "$1" && pwd)
prefix=$cache/prefix
stamp=$prefix/.built-$VERSION
[ -f "$stamp" ] && exit 0

root=$(cd "$(dirname "$0")/.." && pwd)
apt_dir=$cache/apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" \
  "$cache/download"

# The same mirror and key as the system's own Debian entry, for source packages.
uri=http://deb.debian.org/debian
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  found=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
  [ -n "$found" ] && uri=$found
fi
cat > "$apt_dir/sources.list.d/debian-src.sources" <<SOURCES
Types: deb-src
URIs: $uri
Suites: bookworm
Components: main
Signed-By: $keyring
SOURCES
apt_options=(
  -o Dir::Etc::SourceList=/dev/null
  -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o APT::Sandbox::User=root
  -qq
)

if [ ! -f "$cache/download/$TARBALL" ]; then
  echo "Fetching SDL2 $DEBIAN_VERSION's source from Debian"
  apt-get "${apt_options[@]}" update
  (cd "$cache/download" && apt-get "${apt_options[@]}" source --download-only "libsdl2=$DEBIAN_VERSION")
fi
echo "$SHA256  $cache/download/$TARBALL" | sha256sum --check --quiet - || {
  echo "$TARBALL does not have the expected checksum" >&2
  rm -f "$cache/download/$TARBALL"
  exit 1
}

rm -rf "$cache/source" "$cache/build" "$prefix"
mkdir -p "$cache/source"
tar -xzf "$cache/download/$TARBALL" -C "$cache/source" --strip-components=1

# Only video, events, timers and audio are used: the rest stays out of the library. No build
# path goes into it, so that the program built from it is the same from any folder.
echo "Building SDL2 $VERSION for Windows (static)"
cmake -S "$cache/source" -B "$cache/build" -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_C_FLAGS="-ffile-prefix-map=$cache/=" \
  -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
  -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF -DSDL_POWER=OFF \
  -DSDL_RENDER=OFF -DSDL_OPENGL=OFF -DSDL_OPENGLES=OFF -DSDL_VULKAN=OFF >"$cache/configure.log"
cmake --build "$cache/build" -j "${JOBS:-2}" >"$cache/build.log"
cmake --install "$cache/build" >"$cache/install.log"
touch "$stamp"
