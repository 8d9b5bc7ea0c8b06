#!/usr/bin/env bash
# The check between commits, a few minutes on two cores: the optimised build,
# every unit test, and a handful of whole games that cross every layer
# (the questions, a framed window and the fullscreen mode, keys, the close
# request, a signal, a sound heard on a real server, a desktop's frame).
# tools/run-tests.sh runs all of this and everything else before a push.
# Extra arguments go to both ctest runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

# Not through the test preset: its label filter would take the place of these.
tests=(ctest --test-dir build/default -j "$(nproc)" --output-on-failure)
# Everything that starts no whole program.
"${tests[@]}" -LE 'e2e|desktop|sound|packaging|wine|soak|fuzz|release' "$@"
# The whole games.
"${tests[@]}" "$@" -R '^(e2e\.(windowed_play|fullscreen_mode|close_request|signal_during_play)|sound\.heard\.pulseaudio|desktop\.openbox\.windowed)$'
