#!/usr/bin/env bash
# Zarvo.exe where vorn.txt cannot be created, since a directory has that name:
# no log and no message, the game plays on to a point and past it, and ends
# with Escape; the directory stays empty.
# Usage: log_directory.sh ZARVO_EXE WINE_PREFIX [KEEP_FOLDER]
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/court.sh"

start_screen 1280x1024
prepare_game_dir() { mkdir "$1/vorn.txt"; }
start_windowed_game
play_until_a_point
end_with_escape
[[ -d $game_dir/vorn.txt && -z $(ls -A "$game_dir/vorn.txt") ]] || fail "vorn.txt is no longer an empty directory"
note "passed"
