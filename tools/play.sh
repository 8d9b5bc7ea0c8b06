#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it from the build
# folder, which holds its three sounds and receives its log "vorn.txt".
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target zarvo
cd build/default
exec ./zarvo
