#!/usr/bin/env bash
# Two windowed games of Zarvo.exe under Wine on a 1280x1024 screen (a framed
# 1152x864 client area needs a larger screen):
#   1. left computer, right player: window placement and size, the splash,
#      the court, the right paddle on the arrow keys, vorn.txt, Escape;
#   2. two players: the left paddle on W, and the close button.
# Usage: play_windowed.sh ZARVO_EXE WINE_PREFIX [KEEP_FOLDER]
source "$(dirname "$0")/lib.sh" "$@"

start_screen 1280x1024

title_blue=103,196,255
wall_blue=0,163,255

# ---- Run 1 -------------------------------------------------------------------
start_game
answer 'Start fullscreen\?' n
answer 'Left AI' Return   # Yes is the default button
answer 'Right AI' Return  # No is the default button
window=$(wait_window '^Zarvo$')
read -r wx wy ww wh < <(geometry "$window")
read -r cx cy cw ch < <(client_geometry "$window")
note "window ${ww}x${wh}+${wx}+${wy}, client ${cw}x${ch}+${cx}+${cy}"
[[ "$wx,$wy" == "0,0" ]] || fail "window's outer corner at $wx,$wy, not at the screen's corner"
[[ "${cw}x${ch}" == 1152x864 ]] || fail "client area ${cw}x${ch}, not 1152x864"
((ww > cw && wh > ch && cy > wy)) || fail "windowed mode has no frame and caption"
poll 5 has_focus "$window" || fail "the game window did not get the keyboard focus"

title_shown() {
    splash=$(shot splash)
    (($(probe count "$splash" "$cx" "$cy" "$cw" "$ch" "$title_blue" 6) > 10000))
}
poll 10 title_shown || fail "no light-blue title picture on the screen"
walls=$(probe count "$splash" "$cx" "$cy" "$cw" "$ch" "$wall_blue")
((walls == 0)) || fail "$walls wall pixels during the splash"
note "splash seen: title picture, no walls"

# The fifth tick ends the splash and writes the fifth log line.
poll 20 eval '(($(log_lines) >= 6))' || fail "vorn.txt did not reach 6 lines"
court=$(shot court)
walls=$(probe count "$court" "$cx" "$cy" "$cw" "$ch" "$wall_blue")
title=$(probe count "$court" "$cx" "$cy" "$cw" "$ch" "$title_blue" 6)
((walls > 10000)) || fail "only $walls pixels of wall colour on the court"
((title < 100)) || fail "$title title pixels after the splash"
note "court seen: $walls wall pixels"

right_paddle() { probe grey-centre "$(shot "$1")" $((cx + 1070)) "$cy" 70 "$ch"; }
# hold KEY: the key stays down for a while, as a player would hold it.
hold() {
    xdotool keydown "$1"
    sleep 0.6
    xdotool keyup "$1"
}
start_y=$(right_paddle paddle-start)
hold Up
up_y=$(right_paddle paddle-up)
hold Down
down_y=$(right_paddle paddle-down)
note "right paddle centre at y $start_y, after Up $up_y, after Down $down_y"
((start_y > 0 && up_y > 0 && down_y > 0)) || fail "right paddle not found"
((up_y < start_y - 40)) || fail "holding Up did not move the right paddle up"
((down_y > up_y + 40)) || fail "holding Down did not move the right paddle down"

xdotool keydown Escape
wait_game_exit 15
xdotool keyup Escape
# The last message taken is a key message of Escape (WM_KEYDOWN or the
# WM_CHAR it is translated into), whose word parameter is 27.
[[ $game_status == 27 ]] || fail "exit status after Escape is $game_status, not 27"

python3 - "$game_dir/vorn.txt" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
assert data.endswith(b"\r\n"), "vorn.txt does not end with CR LF"
assert b"\n" not in data.replace(b"\r\n", b""), "a line of vorn.txt ends without CR"
lines = data.split(b"\r\n")[:-1]
assert len(lines) >= 6, f"vorn.txt has {len(lines)} lines"
for line in lines:
    assert re.fullmatch(rb"[1-9][0-9]* [1-9][0-9]*", line), f"odd line {line!r}"
print("vorn.txt frames per second:", " ".join(line.split()[0].decode() for line in lines))
PY

# ---- Run 2 -------------------------------------------------------------------
start_game
answer 'Start fullscreen\?' n
answer 'Left AI' n
answer 'Right AI' Return
window=$(wait_window '^Zarvo$')
read -r wx wy ww wh < <(geometry "$window")
read -r cx cy cw ch < <(client_geometry "$window")
poll 5 has_focus "$window" || fail "the game window did not get the keyboard focus"
poll 10 title_shown || fail "no title picture in the second run"

# During the splash the left key hint rides along with the left paddle.
left_paddle() { probe grey-centre "$(shot "$1")" $((cx + 12)) "$cy" 70 "$ch"; }
start_y=$(left_paddle left-start)
hold w
up_y=$(left_paddle left-up)
note "left paddle centre at y $start_y, after W $up_y"
((start_y > 0 && up_y > 0)) || fail "left paddle not found"
((up_y < start_y - 40)) || fail "holding W did not move the left paddle up"

# The close button at the right end of Wine's caption.
xdotool mousemove $((wx + ww - 14)) $((wy + 13)) click 1
wait_game_exit 15
[[ $game_status == 0 ]] || fail "exit status after the close button is $game_status, not 0"
note "passed"
