#!/usr/bin/env bash
# Zarvo.exe with bad sound files beside it, three games under Wine; in each
# the game plays on to a point and past it, logs every second with frames,
# and ends with Escape:
#   1. miss.wav cut off in the middle of a sample, tbhit.wav empty, and
#      rlhit.wav with a header claiming 4 GB of samples;
#   2. miss.wav a valid 200 MB file (sparse), tbhit.wav a directory, rlhit.wav
#      garbage after a RIFF header;
#   3. no sound files at all.
# Usage: sound_files.sh ZARVO_EXE WINE_PREFIX [KEEP_FOLDER]
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/court.sh"

sounds=$(dirname "$zarvo_exe")

# make_wav KIND SOURCE TARGET: writes a broken variant of the sound SOURCE.
make_wav() {
    python3 - "$@" <<'PY'
import os, struct, sys
kind, source, target = sys.argv[1:]
data = bytearray(open(source, "rb").read())
assert data[:4] == b"RIFF" and data[36:40] == b"data", "not a plain 44-byte-header WAV file"
if kind == "cut":
    data = data[:44 + 20001]
elif kind == "claims-4gb":
    data[4:8] = struct.pack("<I", 0xFFFFFFF0)
    data[40:44] = struct.pack("<I", 0xFFFFFF00)
elif kind == "sparse-200mb":
    size = 200 * 1024 * 1024
    data[4:8] = struct.pack("<I", size - 8)
    data[40:44] = struct.pack("<I", size - 44)
elif kind == "garbage":
    data = b"RIFF\xff\xff\xff\x7fWAVEfmt " + bytes(range(256)) * 8
with open(target, "wb") as out:
    out.write(data)
    if kind == "sparse-200mb":
        out.truncate(size)
PY
}

# play_run: one game on the prepared folder.
play_run() {
    start_windowed_game
    play_until_a_point
    local lines
    lines=$(log_lines)
    poll 5 eval '(($(log_lines) >= lines + 2))' || fail "vorn.txt stopped growing after the point"
    end_with_escape
    local rates
    rates=$(log_rates | tr '\n' ' ')
    note "frames per second: $rates"
    ! grep -qx 0 < <(log_rates) || fail "a second without frames: $rates"
}

start_screen 1280x1024

prepare_game_dir() {
    make_wav cut "$sounds/miss.wav" "$1/miss.wav"
    : >"$1/tbhit.wav"
    make_wav claims-4gb "$sounds/rlhit.wav" "$1/rlhit.wav"
}
note "cut, empty and oversized sounds"
play_run

prepare_game_dir() {
    make_wav sparse-200mb "$sounds/miss.wav" "$1/miss.wav"
    (($(stat -c %b "$1/miss.wav") * 512 < 1048576)) || fail "the 200 MB miss.wav is not sparse"
    rm "$1/tbhit.wav"
    mkdir "$1/tbhit.wav"
    make_wav garbage "$sounds/rlhit.wav" "$1/rlhit.wav"
}
note "a 200 MB sound, a directory and garbage"
play_run

prepare_game_dir() { rm "$1"/*.wav; }
note "no sounds"
play_run
note "passed"
