#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks its control fields, its
# contents and lintian's verdict.
#   package_test.sh CPACK BUILD_DIR
set -euo pipefail
cpack_command=$1
build_dir=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cpack_command" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    {
        cat "$work/cpack.log"
        exit 1
    }
debs=("$work"/corvane_*.deb)
[ -f "${debs[0]}" ] || {
    echo "FAIL: no corvane_*.deb made"
    exit 1
}
deb=${debs[0]}

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = corvane ] || fail "Package is $(field Package)"
[ "$(field Section)" = games ] || fail "Section is $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
# The dependencies come from the shared-library scan: the C library and SDL2 at least.
depends=$(field Depends)
[[ $depends == *libc6* ]] || fail "Depends lacks libc6: $depends"
[[ $depends == *libsdl2-2.0-0* ]] || fail "Depends lacks libsdl2-2.0-0: $depends"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/games/corvane ./usr/share/applications/corvane.desktop \
    ./usr/share/metainfo/org.corvane.Corvane.metainfo.xml \
    ./usr/share/icons/hicolor/256x256/apps/corvane.png \
    ./usr/share/icons/hicolor/16x16/apps/corvane.png ./usr/share/man/man6/corvane.6.gz; do
    grep -qx "$path" <<<"$contents" || fail "package lacks $path"
done
# Debian keeps games in /usr/games; nothing else the build installs may leak in.
outside=$(grep -v '^\./usr/\(games/corvane\|share/\)\|/$' <<<"$contents" || true)
[ -z "$outside" ] || fail "unexpected files in the package: $outside"

lint=$(lintian --fail-on error "$deb" 2>&1) ||
    fail "lintian: $lint"
if grep -q '^E:' <<<"$lint"; then
    fail "lintian errors: $lint"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures package check(s) failed"
    exit 1
fi
echo "package $(basename "$deb") in order"
