#!/usr/bin/env bash
# Builds what the performance figures need and measures them (bench/figures.py):
#   bash bench/figures.sh            # with the Windows program under Wine
#   bash bench/figures.sh --no-wine  # the Linux figures only
#   bash bench/figures.sh --sound-only  # latency and gaps on PipeWire and PulseAudio, and of
#                                       # Zarvo.exe under Wine (but with --no-wine)
# It reports and never judges: a figure below its target does not fail it.
# Run it on a quiet machine; it prints the load average before and after.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" \
  --target zarvo zarvo_swap_floor zarvo_first_frame_probe world_step_bench \
  zarvo_window_manager zarvo_sound_probe zarvo_sound_recorder zarvo_sound_match >/dev/null
if [[ " $* " != *" --sound-only "* ]]; then
  # The same without the hardening flags, for their price.
  cmake --preset unhardened >/dev/null
  cmake --build --preset unhardened -j "$(nproc)" --target zarvo world_step_bench >/dev/null
fi
if [[ " $* " != *" --no-wine "* ]]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$(nproc)" --target zarvo >/dev/null
fi
exec python3 bench/figures.py "$@"
