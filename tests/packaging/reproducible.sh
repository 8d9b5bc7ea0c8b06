#!/usr/bin/env bash
# Two builds of the last commit, cloned into two folders of different paths
# and built one after the other: the program files and the packages must be
# byte for byte the same. Only the program and the packages are built, every
# file compiled here: a compiler cache would run the compiler on paths of its
# own making, and take objects made in other folders.
# Usage: reproducible.sh SOURCE_FOLDER [windows|arm64]
set -euo pipefail
source=$(realpath "$1")
platform=${2:-linux}
if ! git -C "$source" rev-parse --verify -q HEAD >/dev/null; then
    echo "SKIP: $source is not a git clone, so there is no commit to build twice"
    exit 77
fi
commit=$(git -C "$source" rev-parse HEAD)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-reproducible.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARVO_BUILD_TESTS=OFF -DZARVO_BUILD_BENCH=OFF -DZARVO_CCACHE=OFF
         -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON)
if [[ $platform == windows ]]; then
    options+=(--toolchain cmake/mingw-w64-x86_64.cmake)
    files=(Zarvo.exe Zarvo-*-win64.zip)
elif [[ $platform == arm64 ]]; then
    options+=(--toolchain cmake/aarch64-linux-gnu.cmake)
    files=(zarvo zarvo_*_arm64.deb zarvo-*-Linux-arm64.tar.gz)
else
    files=(zarvo zarvo_*.deb zarvo-*-Linux.tar.gz)
fi

build() {
    local clone=$1
    git clone -q --no-checkout "$source" "$clone"
    git -C "$clone" checkout -q --detach "$commit"
    (cd "$clone" && cmake -S . -B build "${options[@]}" >/dev/null &&
        cmake --build build --target zarvo -j2 >/dev/null &&
        cd build && env -u SOURCE_DATE_EPOCH cpack >/dev/null)
}

start=$SECONDS
build "$scratch/one/zarvo"
build "$scratch/another-folder/zarvo-again"
for pattern in "${files[@]}"; do
    first=$(cd "$scratch/one/zarvo/build" && compgen -G "$pattern") || fail "the first build made no $pattern"
    cmp "$scratch/one/zarvo/build/$first" "$scratch/another-folder/zarvo-again/build/$first" \
        || fail "$first differs between the two builds"
    echo "$first: the same $(stat -c %s "$scratch/one/zarvo/build/$first") bytes"
done
echo "two builds in $((SECONDS - start)) s; passed"
