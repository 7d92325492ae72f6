#!/usr/bin/env bash
# The Windows zip is reproducible: the program built again from this checkout in another
# folder, later, packs into a zip byte for byte the one `make windows-package` made.
#   windows_zip_test.sh CMAKE CPACK SOURCE_DIR WINDOWS_BUILD_DIR VERSION
set -euo pipefail
cmake_command=$1
cpack_command=$2
source_dir=$3
windows_dir=$4
version=$5

zip_name=corvane-$version-windows-x64.zip
[ -f "$windows_dir/$zip_name" ] || {
    echo "FAIL: no $zip_name in $windows_dir (make windows-package first)"
    exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
    "$cmake_command" -S "$source_dir" -B "$work/another-folder" \
        -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCORVANE_TESTS=OFF &&
        "$cmake_command" --build "$work/another-folder" -j 2 &&
        (cd "$work/another-folder" && "$cpack_command" -G ZIP)
} >"$work/log" 2>&1 || {
    cat "$work/log"
    echo "FAIL: building the zip again failed"
    exit 1
}
cmp "$windows_dir/$zip_name" "$work/another-folder/$zip_name" || {
    echo "FAIL: the zip differs from one build to the next"
    exit 1
}
echo "$zip_name identical from two builds"
