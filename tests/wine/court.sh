# Sourced after lib.sh by the scripts that play on under bad conditions: a
# windowed game with the computer on the left, and what the court shows.

title_blue=103,196,255
wall_blue=0,163,255
top_bar_blue=0,86,167
white=255,255,255

# start_windowed_game: a windowed game, computer on the left, person on the
# right; waits for the window and sets window, cx, cy, cw, ch (the client area).
start_windowed_game() {
    start_game
    answer 'Start fullscreen\?' n
    answer 'Left AI' Return   # Yes is the default button
    answer 'Right AI' Return  # No is the default button
    window=$(wait_window '^Zarvo$')
    read -r cx cy cw ch < <(client_geometry "$window")
    [[ "${cw}x${ch}" == 1152x864 ]] || fail "client area ${cw}x${ch}, not 1152x864"
    poll 5 has_focus "$window" || fail "the game window did not get the keyboard focus"
}

# court_shown: the walls are drawn and the title is gone; sets court_shot.
court_shown() {
    court_shot=$(shot court)
    (($(probe count "$court_shot" "$cx" "$cy" "$cw" "$ch" "$wall_blue") > 10000)) &&
        (($(probe count "$court_shot" "$cx" "$cy" "$cw" "$ch" "$title_blue" 6) < 100))
}

# point_scored: a score bar has moved past the middle (x 576), so one side
# leads: a point was won and the miss sound started (bounce sounds come
# before it). The top bar grows to the right with the left side's share, the
# bottom one to the left with the right side's.
point_scored() {
    local file
    file=$(shot bars)
    (($(probe count "$file" $((cx + 584)) $((cy + 16)) 20 4 "$top_bar_blue" 8) > 60)) ||
        (($(probe count "$file" $((cx + 548)) $((cy + 844)) 20 4 "$white" 8) > 60))
}

# court_moves: two screenshots of the client area a moment apart differ.
court_moves() {
    local first second
    first=$(shot moving-1)
    second=$(shot moving-2)
    ! cmp -s <(convert "$first" -crop "${cw}x${ch}+${cx}+${cy}" rgb:-) \
        <(convert "$second" -crop "${cw}x${ch}+${cx}+${cy}" rgb:-)
}

# play_until_a_point: from the splash to the court and the first point; the
# game must still be drawing afterwards.
play_until_a_point() {
    poll 20 court_shown || fail "no court within 20 s"
    poll 40 point_scored || fail "no point scored within 40 s"
    game_running || fail "Zarvo.exe ended after the first point"
    poll 5 court_moves || fail "nothing moves on the court after the first point"
    note "court, a point, play goes on"
}

# log_rates: the frame counts of vorn.txt, one a line (CR LF line ends).
log_rates() { tr -d '\r' <"$game_dir/vorn.txt" | cut -d' ' -f1; }

# end_with_escape: Escape ends the game with status 27, the key's code.
end_with_escape() {
    xdotool keydown Escape
    wait_game_exit 15
    xdotool keyup Escape
    [[ $game_status == 27 ]] || fail "exit status after Escape is $game_status, not 27"
}
