#!/usr/bin/env bash
# Builds what the performance figures need and measures them (bench/figures.py):
#   bash bench/figures.sh                 # every figure, the Windows program under Wine too
#   bash bench/figures.sh --no-wine       # the Linux figures only
#   bash bench/figures.sh --latency-only  # key to screen, first frame, even frames
#   bash bench/figures.sh --sound-only    # latency and gaps on PipeWire and PulseAudio, and of
#                                         # Zarvo.exe under Wine (but with --no-wine)
# It reports and never judges: a figure below its target does not fail it.
# Run it on a quiet machine; it prints the load average before and after.
set -euo pipefail
cd "$(dirname "$0")/.."

missing() {
  echo "bench/figures.sh: building $1 failed; tools/install-deps.sh installs what the benchmarks need" >&2
  exit 1
}
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" \
  --target zarvo zarvo_frame_floor zarvo_screen_reader zarvo_first_frame_reference \
  zarvo_sdl_probe world_step_bench zarvo_window_manager zarvo_sound_recorder \
  zarvo_sound_match >/dev/null || missing "the Linux programs and the probes"
if [[ " $* " != *" --sound-only "* && " $* " != *" --latency-only "* ]]; then
  # The same without the hardening flags, for their price.
  cmake --preset unhardened >/dev/null
  cmake --build --preset unhardened -j "$(nproc)" --target zarvo world_step_bench >/dev/null ||
    missing "the unhardened game"
fi
if [[ " $* " != *" --no-wine "* ]]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$(nproc)" --target zarvo >/dev/null || missing "Zarvo.exe"
fi
exec python3 bench/figures.py "$@"
