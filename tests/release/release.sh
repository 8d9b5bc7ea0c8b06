#!/usr/bin/env bash
# One step of trying the game on another Debian release, in a root of that
# release made with debootstrap (tools/release-root.sh), as a new player or
# developer on it would:
#   release.sh root CODENAME          make the root (or reuse a fresh one) and
#                                     run tools/install-deps.sh in it
#   release.sh play CODENAME          the README's first command, with no display
#   release.sh build CODENAME         the default preset, configured and built
#   release.sh tests CODENAME ARGS... the default preset's tests (ctest ARGS)
#   release.sh deb CODENAME FOLDER    the .deb in FOLDER, built on this machine,
#                                     installed with apt-get and played, then
#                                     removed
# Exits 77 (skipped) with one line where the root cannot be made or entered.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
(($# >= 2)) || { echo "usage: $0 root|play|build|tests|deb CODENAME [ARGS...]" >&2; exit 2; }
step=$1
codename=$2
shift 2

# Last in each step: ending this script (a test's time limit) then ends
# everything it started in the root.
in_root() {
    exec bash "$source_dir/tools/release-root.sh" run "$codename" "$@"
}

case $step in
    root)
        bash "$source_dir/tools/release-root.sh" make "$codename"
        export ZARVO_ROOT_NETWORK=host  # apt-get
        in_root bash -c '. /etc/os-release && echo "$PRETTY_NAME" && bash tools/install-deps.sh'
        ;;
    play)
        in_root bash -c 'unset DISPLAY WAYLAND_DISPLAY && bash tools/play.sh &&
                         test -s build/default/demo/play.png && echo "recorded: build/default/demo/play.png"'
        ;;
    build)
        in_root bash -c 'cmake --preset default >/dev/null && cmake --build --preset default -j "$(nproc)"'
        ;;
    tests)
        # Not by the preset: its label filter would take the place of ARGS'.
        in_root bash -c 'ctest --test-dir build/default -j "$(nproc)" --output-on-failure "$@"' ctest "$@"
        ;;
    deb)
        (($# == 1)) || { echo "usage: $0 deb CODENAME FOLDER" >&2; exit 2; }
        packages=("$1"/zarvo_*.deb)
        [[ ${#packages[@]} -eq 1 && -f ${packages[0]} ]] || { echo "not one .deb in $1: ${packages[*]}" >&2; exit 1; }
        # The root sees this source tree and its own build folder only.
        mkdir -p "$source_dir/build/release-$codename/packages"
        cp "${packages[0]}" "$source_dir/build/release-$codename/packages/"
        version=$(dpkg-deb -f "${packages[0]}" Version)
        in_root python3 tests/packaging/deb_install.py "build/packages/$(basename "${packages[0]}")" resources \
            "$version"
        ;;
    *)
        echo "unknown step $step" >&2
        exit 2
        ;;
esac
