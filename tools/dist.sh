#!/usr/bin/env bash
# Writes the source release: corvane-<version>.tar.gz of the files git tracks at HEAD, and
# its sha256 beside it. The version is read from the CMake project, the one place it is
# written; git archive stamps the commit time into packaging/source-date, so a build from the
# tarball dates its release as a build from the checkout does.
#   dist.sh [OUTPUT_DIR]    (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/build}
version=$(sed -n 's/^project(corvane VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
[ -n "$version" ] || {
    echo "dist.sh: no version in CMakeLists.txt" >&2
    exit 1
}
name=corvane-$version
mkdir -p "$out"
# gzip -n leaves out the name and time, so the same commit gives the same bytes.
git -C "$top" archive --format=tar --prefix="$name/" HEAD | gzip -9n >"$out/$name.tar.gz"
(cd "$out" && sha256sum "$name.tar.gz" >"$name.tar.gz.sha256")
echo "$out/$name.tar.gz"
