#!/usr/bin/env bash
# The Windows ZIP as a user gets it: cpack makes it, it holds Zarvo.exe, the
# three sounds, README.txt and LICENSE.txt (CR LF) in one folder, and once unpacked the game
# runs under Wine in that folder: it opens its sounds there (seen in Wine's
# trace of file opens), reaches the court and writes vorn.txt beside itself.
# Usage: windows_zip.sh BUILD_FOLDER WINE_PREFIX SCRATCH_FOLDER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
prefix=$2
scratch=$(realpath -m "$3")
resources=$here/../../resources

rm -rf "$scratch"
mkdir -p "$scratch"
cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$scratch/cpack" >"$scratch/cpack.log"
zips=("$scratch"/cpack/Zarvo-*-win64.zip)
[[ -f ${zips[0]} ]] || { echo "FAIL: cpack made no Zarvo-*-win64.zip" >&2; exit 1; }
zip=${zips[0]}
folder_name=$(basename "$zip" .zip)

python3 - "$zip" "$folder_name" "$resources" <<'PY'
import os, sys, zipfile
zip_path, folder, resources = sys.argv[1:]
archive = zipfile.ZipFile(zip_path)
names = sorted(name for name in archive.namelist() if not name.endswith("/"))
expected = sorted(f"{folder}/{name}" for name in ("Zarvo.exe", "README.txt", "LICENSE.txt", "miss.wav", "tbhit.wav",
                                                      "rlhit.wav"))
assert names == expected, f"the ZIP holds {names}, expected {expected}"
for sound in ("miss.wav", "tbhit.wav", "rlhit.wav"):
    with open(os.path.join(resources, sound), "rb") as original:
        assert archive.read(f"{folder}/{sound}") == original.read(), f"{sound} in the ZIP differs from resources/"
readme = archive.read(f"{folder}/README.txt")
licence = archive.read(f"{folder}/LICENSE.txt")
for name, text in (("README.txt", readme), ("LICENSE.txt", licence)):
    assert text.count(b"\r\n") > 20 and b"\n" not in text.replace(b"\r\n", b""), f"{name} lines do not end in CR LF"
assert b"Zarvo.exe" in readme and b"@" not in readme, "README.txt is not filled in"
assert licence.startswith(b"MIT License\r\n") and b"LICENSE.txt" in readme, "the licence is missing or not named"
assert archive.read(f"{folder}/Zarvo.exe")[:2] == b"MZ", "Zarvo.exe is not a Windows program"
print(f"{os.path.basename(zip_path)}: {len(names)} files in {folder}/, README.txt and LICENSE.txt in CR LF")
PY

cmake -E chdir "$scratch" cmake -E tar xf "$zip"
folder=$scratch/$folder_name

# Wine traces every file it opens, with the name it was given.
export ZARVO_WINEDEBUG=-all,trace+file
source "$here/../wine/lib.sh" "$folder/Zarvo.exe" "$prefix" "$scratch/failed"

start_screen 1280x1024
# As a user would: started in the unpacked folder, with nothing copied in.
game_dir=$folder
runs=1
(cd "$folder" && exec timeout -s KILL 120 wine Zarvo.exe) >"$work/wine.out" 2>&1 8>&- &
game_pid=$!
note "Zarvo.exe started in $folder"

answer 'Start fullscreen\?' n
answer 'Left AI' Return   # Yes: the computer returns the ball
answer 'Right AI' Return  # No: nobody does, so points come
window=$(wait_window '^Zarvo$')
read -r cx cy cw ch < <(client_geometry "$window")

# Past the splash (five ticks), the court.
poll 20 eval '(($(log_lines) >= 6))' || fail "vorn.txt in the unpacked folder did not reach 6 lines"
court=$(shot court)
walls=$(probe count "$court" "$cx" "$cy" "$cw" "$ch" 0,163,255)
((walls > 10000)) || fail "only $walls pixels of wall colour on the court"
note "court seen: $walls wall pixels"

# Wall and paddle bounces and misses each play their sound.
expect_sounds_opened "$work/wine.out" "$folder_name"
note "all three sounds opened from the unpacked folder"

xdotool keydown Escape
wait_game_exit 15
xdotool keyup Escape
[[ $game_status == 27 ]] || fail "exit status after Escape is $game_status, not 27"
lines=$(log_lines)
((lines >= 6)) || fail "vorn.txt holds $lines lines"
note "passed: vorn.txt in the unpacked folder holds $lines lines"
