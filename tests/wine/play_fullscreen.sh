#!/usr/bin/env bash
# Fullscreen on a 1152x864 screen, the one mode Xvfb offers: the mode change
# succeeds, so no fallback question comes, and the game fills the screen with
# a borderless window, over which the cursor is hidden. Escape ends it.
# Usage: play_fullscreen.sh ZARVO_EXE WINE_PREFIX [KEEP_FOLDER]
source "$(dirname "$0")/lib.sh" "$@"

start_screen 1152x864

start_game
answer 'Start fullscreen\?' Return  # Yes is the default button
answer 'Left AI' Return
answer 'Right AI' Return
window=$(wait_window '^Zarvo$')
read -r wx wy ww wh < <(geometry "$window")
read -r cx cy cw ch < <(client_geometry "$window")
note "window ${ww}x${wh}+${wx}+${wy}, client ${cw}x${ch}+${cx}+${cy}"
# A fallback question would also be captioned Zarvo, but it is a small box.
[[ "${ww}x${wh}+${wx}+${wy}" == 1152x864+0+0 ]] || fail "not a 1152x864 window at the screen's corner"
[[ "${cw}x${ch}+${cx}+${cy}" == 1152x864+0+0 ]] || fail "the window has a frame"
poll 5 has_focus "$window" || fail "the game window did not get the keyboard focus"

title_shown() {
    splash=$(shot splash)
    (($(probe count "$splash" 0 0 1152 864 103,196,255 6) > 10000))
}
poll 10 title_shown || fail "no light-blue title picture on the screen"
note "splash seen"
poll 5 cursor_is hidden || fail "the cursor shows over the fullscreen game"

xdotool keydown Escape
wait_game_exit 15
xdotool keyup Escape
[[ $game_status == 27 ]] || fail "exit status after Escape is $game_status, not 27"
cursor_is shown || fail "the cursor stays hidden after the game"
note "passed"
