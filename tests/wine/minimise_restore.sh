#!/usr/bin/env bash
# Zarvo.exe minimised with its caption's minimise button for a few seconds,
# then restored by a double click on the minimised window, as a person does
# without a taskbar. Minimised, the window shrinks to Wine's small title bar
# and the game goes on logging each second; restored, the client area is
# 1152x864 again with the keyboard focus, the court is drawn whole, the ball
# moves, the frame rate comes back, and Escape ends the game.
#
# Wine keeps a minimised window active when no other window takes the
# activation, so no WM_ACTIVATE with the minimised flag arrives and the game
# may go on running frames while minimised (on Windows the activation moves
# on and the log reads "0 1"): the log lines of those seconds are not judged.
# Usage: minimise_restore.sh ZARVO_EXE WINE_PREFIX [KEEP_FOLDER]
source "$(dirname "$0")/lib.sh" "$@"
source "$(dirname "$0")/court.sh"

start_screen 1280x1024
start_windowed_game
read -r wx wy ww wh < <(geometry "$window")
poll 20 court_shown || fail "no court within 20 s"
poll 5 eval '(($(log_lines) >= 8))' || fail "vorn.txt did not reach 8 lines"
before=$(log_rates | tail -n 2 | sort -n | head -n 1)

# The minimise button is the third from the right end of the caption.
xdotool mousemove $((wx + ww - 14 - 2 * 17)) $((wy + 13)) click 1
minimised() {
    local x y w h
    read -r x y w h < <(geometry "$window")
    ((w < 400 && h < 100))
}
poll 5 minimised || fail "the window did not shrink when minimised"
read -r mx my mw mh < <(geometry "$window")
note "minimised to ${mw}x${mh}+${mx}+${my}"
lines=$(log_lines)
poll 10 eval '(($(log_lines) >= lines + 3))' || fail "the game stopped logging while minimised"
game_running || fail "Zarvo.exe ended while minimised"
minimised_lines=$(log_lines)

xdotool mousemove $((mx + mw / 2)) $((my + mh / 2)) click --repeat 2 --delay 80 1
restored() {
    local x y w h
    read -r x y w h < <(client_geometry "$window")
    [[ "${w}x${h}" == 1152x864 ]]
}
poll 5 restored || fail "a double click did not restore the window"
read -r cx cy cw ch < <(client_geometry "$window")
poll 5 has_focus "$window" || fail "the restored window did not get the keyboard focus"
poll 5 court_shown || fail "no court after restoring"
poll 5 court_moves || fail "nothing moves on the court after restoring"
# The second the restore fell into, then two whole seconds.
poll 6 eval '(($(log_lines) >= minimised_lines + 3))' || fail "vorn.txt stopped growing after restoring"
after=$(log_rates | tail -n 2 | sort -n | head -n 1)
note "frames per second: $(log_rates | tr '\n' ' ')"
note "before minimising at least $before, after restoring at least $after"
((after > before / 3)) || fail "the frame rate did not come back after restoring ($after, before $before)"
end_with_escape
note "passed"
