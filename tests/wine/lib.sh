# Sourced by the Wine scenario scripts: an X screen of their own, the game
# started under Wine in a scratch folder, and ways to wait for its windows,
# answer its questions and look at the screen.
#   source lib.sh ZARVO_EXE WINE_PREFIX [KEEP_FOLDER]
# KEEP_FOLDER receives the screenshots and logs of a failed run.
set -euo pipefail

wine_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$wine_lib_dir/wine-env.sh"

zarvo_exe=$(realpath "$1")
wine_prefix=$(realpath -m "$2")
keep_folder=${3:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-wine.XXXXXX")
xvfb_pid=
game_pid=
game_dir=
runs=0

note() { printf '[%s] %s\n' "$(date +%T)" "$*"; }

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# stop_wineserver: ends the prefix's wineserver and every program it serves,
# and waits until it is gone: a program started meanwhile would reach the
# dying server and fail.
stop_wineserver() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}

cleanup() {
    local status=$?
    if [[ -n $game_pid ]]; then
        if game_running; then
            kill -KILL "$game_pid" 2>/dev/null || true
        else
            local game_end=0
            wait "$game_pid" || game_end=$?
            echo "Zarvo.exe had ended with status $game_end" >&2
        fi
    fi
    if [[ -n ${WINEPREFIX:-} ]]; then
        stop_wineserver
    fi
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    if ((status != 0)) && [[ -n $keep_folder ]]; then
        rm -rf "$keep_folder"
        mkdir -p "$keep_folder"
        cp -r "$work"/. "$keep_folder"/
        echo "Screenshots and logs of the failed run: $keep_folder" >&2
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# poll SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds; false
# after SECONDS.
poll() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# start_screen WIDTHxHEIGHT: a fresh Xvfb screen of that size at 24 bits; Wine
# is then started on it with a fresh wineserver.
start_screen() {
    Xvfb -displayfd 3 -screen 0 "$1x24" -noreset -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" 8>&- &
    xvfb_pid=$!
    poll 10 test -s "$work/display" || fail "Xvfb did not start"
    export DISPLAY=:$(head -n1 "$work/display")
    zarvo_wine_prefix "$wine_prefix"
    # Alone in the prefix until this script ends (fd 8 stays open till then);
    # other test runs in the same build folder wait.
    exec 8>"$(zarvo_wine_users_lock)"
    flock -x -w 150 8 || fail "the Wine prefix stayed in use by others for 150 s"
    # The scenarios run one at a time; a wineserver left from another run
    # may serve another display.
    stop_wineserver
    note "screen $1 on $DISPLAY"
}

# start_game: runs Zarvo.exe under Wine in a fresh folder holding the sounds.
start_game() {
    runs=$((runs + 1))
    game_dir=$work/run$runs
    mkdir -p "$game_dir"
    local sound
    for sound in miss.wav tbhit.wav rlhit.wav; do
        [[ -f $(dirname "$zarvo_exe")/$sound ]] || fail "$sound is not beside Zarvo.exe"
        cp "$(dirname "$zarvo_exe")/$sound" "$game_dir/"
    done
    # A scenario may define prepare_game_dir to change the folder first.
    if declare -F prepare_game_dir >/dev/null; then
        prepare_game_dir "$game_dir"
    fi
    (cd "$game_dir" && exec timeout -s KILL 120 wine "$zarvo_exe") >"$game_dir/wine.out" 2>&1 8>&- &
    game_pid=$!
    note "run $runs: Zarvo.exe started"
}

game_running() { kill -0 "$game_pid" 2>/dev/null; }

game_ended() { ! game_running; }

# wait_game_exit SECONDS: waits for the game to end and sets game_status to
# its exit status. Not in a subshell: the game is this shell's child.
wait_game_exit() {
    poll "$1" game_ended || fail "Zarvo.exe still runs after $1 s"
    game_status=0
    wait "$game_pid" || game_status=$?
    game_pid=
    note "run $runs: Zarvo.exe ended with status $game_status"
}

# visible_window PATTERN: the id of a visible window whose title matches the
# anchored PATTERN, or nothing.
visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }

# wait_window PATTERN [SECONDS]: waits for such a window and prints its id.
wait_window() {
    local pattern=$1 seconds=${2:-20} id=
    local deadline=$((SECONDS + seconds))
    while [[ -z $id ]]; do
        game_running || fail "Zarvo.exe ended while waiting for a window $pattern"
        ((SECONDS < deadline)) || fail "no window $pattern within $seconds s"
        id=$(visible_window "$pattern")
        [[ -n $id ]] || sleep 0.1
    done
    echo "$id"
}

window_gone() {
    local info
    info=$(xwininfo -id "$1" 2>/dev/null) || return 0
    ! grep -q IsViewable <<<"$info"
}
has_focus() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$1" ]]; }

# focus_window ID: waits until the window has the keyboard focus, giving it
# the focus if it does not get it by itself; a key sent earlier can be lost.
focus_window() {
    if poll 2 has_focus "$1"; then
        return
    fi
    xdotool windowfocus "$1"
    poll 3 has_focus "$1" || fail "window $1 does not take the focus"
}

# answer CAPTION KEY: waits for the message box with this caption, sends KEY
# to it once it has the focus and waits until it has closed.
answer() {
    local box
    box=$(wait_window "^$1\$")
    focus_window "$box"
    xdotool key "$2"
    poll 5 window_gone "$box" || fail "box '$1' still open after $2"
    note "answered '$1' with $2"
}

# geometry ID: "X Y WIDTH HEIGHT" of the window on the screen.
geometry() {
    xwininfo -id "$1" | awk '
        /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
        /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h}'
}

# client_geometry ID: "X Y WIDTH HEIGHT" of the client area, the X child
# window that Wine draws GL into, or the window itself when it has none.
client_geometry() {
    local child
    child=$(xwininfo -tree -id "$1" | awk '$1 ~ /^0x/ && /[0-9]+x[0-9]+\+/ {print $1; exit}')
    geometry "${child:-$1}"
}

# shot NAME: a screenshot of the whole screen; prints its path.
shot() {
    local file=$work/$1.png
    import -window root "$file"
    echo "$file"
}

probe() { python3 "$wine_lib_dir/screen_probe.py" "$@"; }

# cursor_is hidden|shown: whether the cursor is so with the pointer over the
# middle of the game window's place.
cursor_is() {
    xdotool mousemove 576 432
    [[ $(probe cursor) == "$1" ]]
}

# log_lines: the number of complete lines in the running game's vorn.txt.
log_lines() {
    if [[ -f $game_dir/vorn.txt ]]; then
        tr -cd '\n' <"$game_dir/vorn.txt" | wc -c
    else
        echo 0
    fi
}

# sounds_opened TRACE FOLDER_NAME SOUND...: whether the game has opened each
# SOUND, with a valid handle, from a folder named FOLDER_NAME, as Wine's trace
# of file opens (WINEDEBUG=-all,trace+file) in the file TRACE shows.
sounds_opened() {
    python3 - "$@" <<'PY'
import re, sys
trace, folder, sounds = sys.argv[1], sys.argv[2], sys.argv[3:]
asked = {}  # thread -> the sound it asked CreateFileW for
opened = set()
with open(trace, "rb") as lines:
    for line in lines:
        line = line.decode("latin-1")
        request = re.match(r'(\w+):trace:file:CreateFileW L"[^"]*\\\\(\S+?)\\\\(\w+\.wav)" GENERIC_READ', line)
        if request:
            if request.group(2) == folder and request.group(3) in sounds:
                asked[request.group(1)] = request.group(3)
            continue
        result = re.match(r"(\w+):trace:file:CreateFileW returning (\w+)", line)
        if result and result.group(1) in asked:
            sound = asked.pop(result.group(1))
            if int(result.group(2), 16) not in (0, 2**64 - 1):
                opened.add(sound)
missing = sorted(set(sounds) - opened)
if missing:
    print("not opened:", " ".join(missing))
    sys.exit(1)
PY
}

# expect_sounds_opened TRACE FOLDER_NAME: waits until the game has opened all
# three sounds from that folder (wall and paddle bounces and misses each play
# one).
expect_sounds_opened() {
    if ! poll 60 sounds_opened "$1" "$2" miss.wav tbhit.wav rlhit.wav >/dev/null; then
        sounds_opened "$1" "$2" miss.wav tbhit.wav rlhit.wav >&2 || true
        fail "the game did not open all three sounds from its folder"
    fi
}
