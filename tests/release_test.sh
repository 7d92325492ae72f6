#!/usr/bin/env bash
# The source release and the reproducible package: `tools/dist.sh` writes the tarball of the
# checkout; the game is built from it twice, in two folders and without git, and each build's
# Debian package must be byte for byte the one the checkout's own build makes.
#   release_test.sh CMAKE CPACK SOURCE_DIR BUILD_DIR
# Exits 77 (skipped) outside a git checkout, where there is nothing to make a tarball of.
set -euo pipefail
cmake_command=$1
cpack_command=$2
source_dir=$3
build_dir=$4

[ -e "$source_dir/.git" ] || {
    echo "not a git checkout: no source release to make"
    exit 77
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

tarball=$("$source_dir/tools/dist.sh" "$work/dist" | tail -n 1)
[ -f "$tarball" ] || fail "dist.sh wrote no tarball"
(cd "$work/dist" && sha256sum --check --quiet "$(basename "$tarball").sha256") ||
    fail "the tarball does not match its sha256"
name=$(basename "$tarball" .tar.gz)
listed=$(tar -tzf "$tarball" | grep -v "/$" | sed "s|^$name/||" | sort)
tracked=$(git -C "$source_dir" ls-files | sort)
[ "$listed" = "$tracked" ] || fail "the tarball does not hold exactly the tracked files:
$(diff <(echo "$tracked") <(echo "$listed") || true)"

# The date git archive stamped in is the last commit's.
stamp=$(tar -xzOf "$tarball" "$name/packaging/source-date")
[ "$stamp" = "$(git -C "$source_dir" log -1 --format=%ct)" ] ||
    fail "packaging/source-date holds '$stamp', not the commit time"

# Two builds of the game alone from the unpacked tarball, in folders of different names,
# with git out of reach; SOURCE_DATE_EPOCH unset, so the date comes from the tarball.
no_git=$work/bin
mkdir -p "$no_git"
for tool in "$cmake_command" "$cpack_command" cc c++ g++ gcc make sh; do
    path=$(command -v "$tool") && ln -sf "$path" "$no_git/"
done
for folder in first second-build; do
    mkdir -p "$work/$folder"
    tar -xzf "$tarball" -C "$work/$folder"
    env -u SOURCE_DATE_EPOCH PATH="$no_git:/usr/bin:/bin" GIT_DIR=/nonexistent \
        "$cmake_command" -S "$work/$folder/$name" -B "$work/$folder/build" \
        -DCMAKE_BUILD_TYPE=Release -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF \
        >"$work/$folder/log" 2>&1 &&
        "$cmake_command" --build "$work/$folder/build" -j 2 >>"$work/$folder/log" 2>&1 &&
        (cd "$work/$folder/build" && env -u SOURCE_DATE_EPOCH "$cpack_command" -G DEB \
            >>"$work/$folder/log" 2>&1) || {
        cat "$work/$folder/log"
        fail "building the package from the tarball in $folder failed"
    }
done
(cd "$work" && env -u SOURCE_DATE_EPOCH "$cpack_command" -G DEB --config "$build_dir/CPackConfig.cmake" \
    -B "$work/checkout" >"$work/checkout.log" 2>&1) || {
    cat "$work/checkout.log"
    fail "packaging the checkout's build failed"
}

first=$(ls "$work"/first/build/corvane_*.deb)
second=$(ls "$work"/second-build/build/corvane_*.deb)
checkout=$(ls "$work"/checkout/corvane_*.deb)
cmp "$first" "$second" || fail "two builds from the tarball give different packages"
cmp "$first" "$checkout" || fail "the tarball's package differs from the checkout's"
echo "$name: tarball in order; $(basename "$first") identical from two folders and the checkout"
