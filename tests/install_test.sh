#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop finds there.
#   install_test.sh CMAKE BUILD_DIR
set -euo pipefail
cmake_command=$1
build_dir=$2

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake_command" --install "$build_dir" --prefix "$prefix" >/dev/null

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

share=$prefix/share
desktop=$share/applications/corvane.desktop
metainfo=$share/metainfo/org.corvane.Corvane.metainfo.xml
manpage=$share/man/man6/corvane.6.gz

[ -x "$prefix/bin/corvane" ] || fail "bin/corvane missing or not executable"
for f in "$desktop" "$metainfo" "$manpage" "$share/doc/corvane/copyright" \
    "$share/doc/corvane/changelog.gz"; do
    [ -f "$f" ] || fail "${f#"$prefix"/} missing"
done

# The desktop entry starts the installed program with the installed icon.
grep -qx 'Exec=corvane' "$desktop" || fail "desktop entry: Exec is not corvane"
grep -qx 'Icon=corvane' "$desktop" || fail "desktop entry: Icon is not corvane"
grep -Eq '^Categories=(.*;)?Game;(.*;)?LogicGame;' "$desktop" ||
    fail "desktop entry: Categories lack Game and LogicGame"
if ! report=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$report" ]; then
    fail "desktop-file-validate: $report"
fi

# Each icon is a PNG of its directory's size: the IHDR width and height sit at bytes 16..23.
for size in 16 32 48 64 128 256; do
    icon=$share/icons/hicolor/${size}x${size}/apps/corvane.png
    if [ ! -f "$icon" ]; then
        fail "icon ${size}x${size} missing"
        continue
    fi
    signature=$(od -An -tx1 -N8 "$icon" | tr -d ' \n')
    [ "$signature" = 89504e470d0a1a0a ] || fail "icon ${size}x${size} is not a PNG"
    read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$icon")
    [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
        fail "icon ${size}x${size} is ${width}x${height}"
done

# The metainfo names the component, the desktop entry installed beside it and the screenshot.
grep -q '<id>org.corvane.Corvane</id>' "$metainfo" || fail "metainfo: wrong component id"
grep -q '<launchable type="desktop-id">corvane.desktop</launchable>' "$metainfo" ||
    fail "metainfo: launchable is not corvane.desktop"
grep -q '<image>https://corvane.org/screenshot.png</image>' "$metainfo" ||
    fail "metainfo: no screenshot"
report=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) ||
    fail "appstreamcli validate: $report"

# The manual page is in section 6, compressed, and formats without groff warnings.
gzip -t "$manpage" || fail "manual page is not valid gzip"
zcat "$manpage" | grep -q '^\.TH CORVANE 6 ' || fail "manual page: no .TH CORVANE 6 header"
warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$manpage" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "manual page: $warnings"

if [ "$failures" -ne 0 ]; then
    echo "$failures install check(s) failed"
    exit 1
fi
echo "installed tree in order"
