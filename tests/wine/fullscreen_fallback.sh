#!/usr/bin/env bash
# Fullscreen asked for on a 1280x1024 screen, where the 1152x864 mode does not
# exist: the fallback question, captioned with the window title, comes after
# the two computer-control questions, and each of its answers is followed:
#   No     - a framed window of 1152x864 client pixels;
#   Cancel - "Program will now close." (caption Error), exit status 0;
#   Yes    - a borderless 1152x864 window at the screen's corner.
# The cursor is hidden over the borderless window only.
# Usage: fullscreen_fallback.sh ZARVO_EXE WINE_PREFIX [KEEP_FOLDER]
source "$(dirname "$0")/lib.sh" "$@"

start_screen 1280x1024

# ask_fallback: starts a game that asks for fullscreen, and waits for the
# fallback question; sets box.
ask_fallback() {
    start_game
    answer 'Start fullscreen\?' Return
    answer 'Left AI' Return
    answer 'Right AI' Return
    box=$(wait_window '^Zarvo$')
    local x y w h
    read -r x y w h < <(geometry "$box")
    ((w < 800 && h < 400)) || fail "a ${w}x${h} window instead of the fallback question"
    focus_window "$box"
}

end_with_escape() {
    poll 5 has_focus "$1" || fail "the game window did not get the keyboard focus"
    xdotool keydown Escape
    wait_game_exit 15
    xdotool keyup Escape
    [[ $game_status == 27 ]] || fail "exit status after Escape is $game_status, not 27"
}

note "answer No"
ask_fallback
xdotool key n
window=$(wait_window '^Zarvo$')
[[ $window != "$box" ]] || fail "the fallback question did not close"
read -r wx wy ww wh < <(geometry "$window")
read -r cx cy cw ch < <(client_geometry "$window")
note "window ${ww}x${wh}+${wx}+${wy}, client ${cw}x${ch}+${cx}+${cy}"
[[ "$wx,$wy" == "0,0" && "${cw}x${ch}" == 1152x864 ]] || fail "not a 1152x864 client area at the corner"
((ww > cw && wh > ch)) || fail "No gave a window without a frame"
cursor_is shown || fail "the cursor is hidden over the framed game"
end_with_escape "$window"

note "answer Cancel"
ask_fallback
xdotool key Escape  # Cancel
error_box=$(wait_window '^Error$')
[[ -z $(visible_window '^Zarvo$') ]] || fail "a Zarvo window is open beside the Error box"
focus_window "$error_box"
xdotool key Return
wait_game_exit 15
[[ $game_status == 0 ]] || fail "exit status after Cancel is $game_status, not 0"

note "answer Yes"
ask_fallback
xdotool key Return  # Yes is the default button
poll 5 window_gone "$box" || fail "the fallback question did not close"
window=$(wait_window '^Zarvo$')
read -r wx wy ww wh < <(geometry "$window")
read -r cx cy cw ch < <(client_geometry "$window")
note "window ${ww}x${wh}+${wx}+${wy}, client ${cw}x${ch}+${cx}+${cy}"
[[ "${ww}x${wh}+${wx}+${wy}" == 1152x864+0+0 ]] || fail "Yes did not give a 1152x864 window at the corner"
[[ "${cw}x${ch}+${cx}+${cy}" == 1152x864+0+0 ]] || fail "Yes gave a window with a frame"
poll 5 cursor_is hidden || fail "the cursor shows over the borderless game"
end_with_escape "$window"
note "passed"
