#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it from the build
# folder, which holds its three sounds and receives its log "vorn.txt".
# With no display to show it on, the computer plays itself for 20 seconds on
# a virtual one instead, recorded as pictures in build/default/demo.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh play

display_reachable() {
    if [[ -n ${DISPLAY:-} ]] && timeout -s KILL 10 xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local wayland=${WAYLAND_DISPLAY:-}
    [[ -n $wayland && $wayland != /* ]] && wayland=${XDG_RUNTIME_DIR:-/nonexistent}/$wayland
    [[ -n $wayland && -S $wayland ]]
}
if display_reachable; then
    display=yes
else
    display=no
    if [[ -n ${DISPLAY:-} ]]; then
        echo "There is no display to show the game on: DISPLAY $DISPLAY cannot be reached."
    else
        echo "There is no display to show the game on: DISPLAY is not set."
    fi
    echo "After the build the computer plays itself for 20 seconds on a virtual display, recorded as pictures."
fi

# Only the game: the tests and benchmarks need the test set of packages.
cmake --preset default -DZARVO_BUILD_TESTS=OFF -DZARVO_BUILD_BENCH=OFF >/dev/null
cmake --build --preset default -j "$(nproc)" --target zarvo

if [[ $display == no ]]; then
    exec python3 tools/demo.py build/default/zarvo "$PWD/build/default/demo" 20
fi
cd build/default
exec ./zarvo
