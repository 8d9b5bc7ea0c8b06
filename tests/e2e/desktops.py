#!/usr/bin/env python3
"""The zarvo program on the desktops players use: a bare X server, the
classic window manager openbox, and the Wayland compositors of GNOME (mutter)
and KDE (KWin) with XWayland. Run one scenario on one desktop:

    desktops.py windowed mutter

A desktop that cannot start on this machine skips the scenario (status 77).
Like scenarios.py, it finds the program and its helpers through the ZARVO,
ZARVO_WINDOW_MANAGER and ZARVO_SOUNDS environment variables.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree for the imports below
from scenarios import check_ends_within
from zarvo_e2e import (DESKTOPS, RIGHT_PADDLE_COLUMN, SPLASH_SECONDS, DesktopUnavailable, ScenarioFailure, Session,
                       check, check_escape_status, check_log, court_out_of_sight, group_processes, read_stat,
                       run_scenario_on, shows_splash, wait_until)

MODE = (1152, 864)  # the display mode fullscreen asks for
# How long a window manager and the X server may take to carry out a mode
# switch and the game's fullscreen request, or to put the mode back.
SETTLE_S = 15
# From the last answer to the splash on the screen where the X server itself
# changes the mode: a game that waited for a window manager that is not there
# would take five seconds and more; beside a busy machine (a build, qemu) it
# took over two.
FULLSCREEN_SPLASH_SECONDS = 4


# ---- the game window ---------------------------------------------------------------


def net_wm_state(session, window_id):
    match = re.search(r"^_NET_WM_STATE\(ATOM\) = (.*)$", session.properties(window_id), re.M)
    return set(match.group(1).replace(",", " ").split()) if match else set()


def window_shot(session, window_id):
    """The window's own picture (XWayland has no picture of its root window),
    or None while the window is not shown."""
    try:
        return session.shot(window_id)
    except subprocess.CalledProcessError:
        return None


def save_framed(session, box, name):
    """Saves the screen's picture of a question box in its window manager's
    frame, once the box shows its buttons, into the folder ZARVO_E2E_SHOTS."""
    check(wait_until(lambda: len(session.box_buttons(box)) == 2, 5), f"the box {box[1]!r} shows no buttons")
    frame = re.search(r"Parent window id: (0x[0-9a-f]+)", session.run("xwininfo", "-tree", "-id", box[0])).group(1)
    x, y, width, height = session.geometry(frame)
    session.run("import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                os.path.join(os.environ["ZARVO_E2E_SHOTS"], name))


def wait_court_in_sight(session, window_id, timeout=SPLASH_SECONDS + 8):
    """Waits past the splash until the window shows the whole court: both
    walls to both ends and both paddles."""
    shots = []

    def in_sight():
        shots[:] = [window_shot(session, window_id)]
        return shots[0] is not None and not court_out_of_sight(shots[0])
    if not wait_until(in_sight, timeout, interval=0.1):
        shot = shots[0]
        check(shot is not None, f"the game window was not shown within {timeout} s")
        raise ScenarioFailure(f"the {shot.width}x{shot.height} window does not show the whole court within "
                              f"{timeout} s: {', '.join(court_out_of_sight(shot))} out of sight")
    return shots[0]


def right_paddle_at_rest(session, window_id):
    """The right paddle's centre row in a 1152x864 window once two shots a
    moment apart agree."""
    rows = []

    def centre():
        shot = window_shot(session, window_id)
        return shot and shot.grey_run_centre(RIGHT_PADDLE_COLUMN)

    def at_rest():
        first = centre()
        time.sleep(0.2)
        rows[:] = [centre()]
        return first is not None and rows[0] is not None and abs(first - rows[0]) <= 2
    check(wait_until(at_rest, timeout=5, interval=0), "the right paddle did not come to rest")
    return rows[0]


def pretends_mode_change(session):
    """Whether the compositor shows the game in the display mode it changed
    to, as measured on each release: mutter 43 and 50 do, and KWin 6.7, which
    takes up the mode XWayland pretends; KWin 5.27 and 6.3 give the window the
    whole screen, and so does mutter 48 (with SDL 2.32 no pretended mode shows
    on the window there)."""
    version = session.desktop_version()
    return version >= (6, 7) if session.desktop == "kwin" else version[0] != 48


# ---- minimise and restore ----------------------------------------------------------------


def restore(session, window_id):
    """As a task bar does it: the manager is asked to activate the window."""
    if session.desktop == "xvfb":
        session.restore(window_id)
    else:
        session.run("wmctrl", "-i", "-a", window_id)


def idle_lines(lines):
    return sum(1 for line in lines if line == "0 1")


# ---- processes --------------------------------------------------------------------------------


def process_name(pid):
    try:
        with open(f"/proc/{pid}/comm") as comm:
            return comm.read().strip()
    except OSError:
        return None


def process_group(pid):
    stat = read_stat(f"/proc/{pid}/stat")
    return None if stat is None else int(stat[1][2])


def compositor_pid(session):
    """The compositor itself, in its group beside its D-Bus session and
    XWayland."""
    return next(int(entry) for entry in os.listdir("/proc")
                if entry.isdigit() and process_group(entry) == session.manager.pid
                and process_name(entry) in ("mutter", "kwin_wayland"))


# ---- scenarios ------------------------------------------------------------------------------


def windowed(desktop):
    """The questions from the keyboard (fullscreen No), the whole court in the
    window, a paddle moved by its key, minimise and restore, and the close
    button ending the game with status 0."""
    with Session(f"desktop-{desktop}-windowed", desktop=desktop) as session:
        session.start_game()
        if os.environ.get("ZARVO_E2E_SHOTS") and desktop == "openbox":
            save_framed(session, session.wait_window("Start fullscreen?"), "question-openbox.png")
        session.answer("Start fullscreen?", "Escape")  # No
        session.answer("Left AI", "Return")  # the default: Yes
        session.answer("Right AI", "Return")  # the default: No
        window = session.wait_game_window()[0]
        check(wait_until(lambda: session.map_state(window) == "IsViewable", 5), "the game window was not shown")
        size = session.geometry(window)[2:]
        check(size == MODE, f"the game window's client area is {size[0]}x{size[1]}, expected 1152x864")
        check(desktop == "xvfb" or "_NET_WM_STATE_FULLSCREEN" not in net_wm_state(session, window),
              "the window is fullscreen after No")
        wait_court_in_sight(session, window)

        # Motion is scaled by the frame rate of the second before: on a busy
        # desktop a quarter of a second's hold has moved the paddle 9 rows.
        start = rest = right_paddle_at_rest(session, window)
        for _ in range(3):
            session.hold_key_for("Up", 0.25)
            rest = right_paddle_at_rest(session, window)
            if rest < start - 10:
                break
        check(rest < start - 10, f"holding Up three times moved the right paddle from row {start} to row {rest}")

        # Minimised (the iconify request, which the manager carries out), the
        # game draws nothing: its log shows seconds with no frames ("0 1").
        # Restored, it draws again.
        session.minimise(window)
        check(wait_until(lambda: idle_lines(session.log_lines() or []) >= 2, timeout=8),
              f"no two seconds without frames after minimising: {session.log_lines()}")
        check(session.running(), "the game ended while minimised")
        restore(session, window)
        lines_restored = len(session.log_lines())
        check(wait_until(lambda: [line for line in (session.log_lines() or [])[lines_restored + 1:]
                                  if not line.startswith("0 ")], timeout=8),
              f"no frames after restoring: {session.log_lines()[lines_restored:]}")
        check(session.map_state(window) == "IsViewable", "the restored window is not shown")
        wait_court_in_sight(session, window, timeout=3)

        session.close_button(window)
        status = check_ends_within(session, 5, "the close button")
        check(status == 0, f"exit status {status} after the close button, expected 0")
        check_log(session.log_lines(), at_least=SPLASH_SECONDS)


def fullscreen(desktop):
    """Fullscreen Yes where the monitor offers 1152x864: what the window gets
    is the desktop's choice (below); the whole court is in sight whatever it
    is; Escape ends the game with 27, and the display mode is as before."""
    with Session(f"desktop-{desktop}-fullscreen", desktop=desktop) as session:
        if desktop in ("xvfb", "openbox"):
            session.add_display_mode(*MODE)
        before = session.screen_size()
        session.start_game()
        session.answer("Start fullscreen?", "Return")  # the default: Yes
        session.answer("Left AI", "Return")  # Yes
        session.answer("Right AI", "Return")  # No
        window = session.wait_game_window()[0]
        if desktop in ("mutter", "kwin"):
            # XWayland pretends the mode change to the game alone (every other
            # client still sees the screen as it was) and the compositor
            # scales the game's 1152x864 window up to the screen; or the window
            # gets the whole 1280x1024 screen, narrower than 4:3, and the court
            # is shown whole with bands above and below.
            expected, screen = (0, 0) + (MODE if pretends_mode_change(session) else before), before
        else:
            # The X server switches its screen to the mode.
            expected, screen = (0, 0) + MODE, MODE
        managed = desktop != "xvfb"

        def settled():
            return (session.geometry(window) == expected and session.screen_size() == screen
                    and (not managed or "_NET_WM_STATE_FULLSCREEN" in net_wm_state(session, window)))
        # A wait, not a deadline: a loaded root's window manager took over 5 s.
        check(wait_until(settled, SETTLE_S),
              f"the fullscreen window is at {session.geometry(window)} (x, y, width, height), expected "
              f"{expected}; the screen is {session.screen_size()}, expected {screen}; the window's state is "
              f"{' '.join(net_wm_state(session, window)) or 'empty'}" + (", expected fullscreen" if managed else ""))
        if screen == MODE:
            check(session.wait_shot(shows_splash, timeout=FULLSCREEN_SPLASH_SECONDS) is not None and
                  time.monotonic() - session.last_answer_time <= FULLSCREEN_SPLASH_SECONDS,
                  f"no splash on the screen within {FULLSCREEN_SPLASH_SECONDS} s of the last answer")
        shot = wait_court_in_sight(session, window)
        if os.environ.get("ZARVO_E2E_SHOTS"):
            shot.save(os.path.join(os.environ["ZARVO_E2E_SHOTS"], f"{desktop}-fullscreen.png"))
        # The mode stays until the game ends: it is not taken back after a
        # while for want of a window manager's answer.
        check(session.geometry(window) == expected and session.screen_size() == screen,
              f"{time.monotonic() - session.last_answer_time:.1f} s after the last answer the window is at "
              f"{session.geometry(window)} and the screen is {session.screen_size()}, expected "
              f"{expected} and {screen}")

        session.hold_key("Escape")
        try:
            status = check_ends_within(session, 5, "Escape")
        finally:
            session.release_key("Escape")
        check_escape_status(status)
        check(wait_until(lambda: session.screen_size() == before, SETTLE_S),
              f"after the game the screen is {session.screen_size()}, expected {before} as before")


def display_lost(desktop):
    """The compositor dies during play (and with it XWayland): the game ends
    within five seconds, leaving no process behind."""
    with Session(f"desktop-{desktop}-display-lost", desktop=desktop) as session:
        check(desktop in ("mutter", "kwin"), "only a compositor takes the display with it")
        session.start_game()
        session.answer_start_questions(fullscreen=False, left=True, right=False)
        window = session.wait_game_window()[0]
        wait_court_in_sight(session, window)
        os.kill(compositor_pid(session), signal.SIGKILL)
        check_ends_within(session, 5, f"{desktop} killed")


def logout_during_question(desktop):
    """A logout (SIGTERM to the session's programs) with the first question
    up: the box goes and the game ends within two seconds, as the signal ends
    a program, with no process of it left."""
    with Session(f"desktop-{desktop}-logout-during-question", desktop=desktop) as session:
        session.start_game()
        box = session.wait_window("Start fullscreen?")
        os.kill(session.game_pid(), signal.SIGTERM)
        status = check_ends_within(session, 2, "SIGTERM with a question up")
        check(status == -signal.SIGTERM, f"exit status {status} after SIGTERM, expected {-signal.SIGTERM}")
        check(session.wait_box_gone(box, timeout=3), "the question stayed on the screen")


def wayland_window_in_work_area(session, caption):
    """The window's client area (x, y, width, height) and the output's work
    area, as KWin has them in points; None where it has no such window."""
    said = session.kwin_script(f"windows().forEach(function (window) {{\n"
                               f"    if (window.caption !== {json.dumps(caption)}) return;\n"
                               f"    var c = window.clientGeometry || window.bufferGeometry;  // KWin 6, KWin 5\n"
                               f"    var a = workspace.clientArea(KWin.MaximizeArea, window);\n"
                               f"    say([c.x, c.y, c.width, c.height, a.x, a.y, a.width, a.height].join(' '));\n"
                               f"}});")
    if not said:
        return None
    numbers = [round(float(number)) for number in said[0].split()]
    return tuple(numbers[:4]), tuple(numbers[4:])


def native_wayland(desktop):
    """SDL's native Wayland driver in a session without XWayland's display,
    on a small output at scales 1 and 2: the questions come through zenity as
    Wayland windows (where zenity is installed; else on standard error), the
    game draws in a Wayland window wholly inside the output's work area, and
    the compositor's close request ends it with status 0. No key reaches a
    Wayland window from here (xdotool is X-only), so the compositor closes
    each question as its close button would: each takes Escape's answer, No:
    windowed play."""
    for scale in (1, 2):
        native_wayland_at(desktop, scale)


def native_wayland_at(desktop, scale):
    with Session(f"desktop-{desktop}-native-wayland", desktop=desktop, screen="1366x768x24", scale=scale,
                 env={"SDL_VIDEODRIVER": "wayland"}) as session:
        # With a display SDL would ask its questions in its own boxes on
        # XWayland, as on a desktop session with XWayland.
        session.game_env = {"DISPLAY": ""}
        session.start_game()
        if shutil.which("zenity") is None:
            # Without zenity SDL has no way to ask on native Wayland: each
            # question goes to standard error with the reason, and its
            # default answer is taken.
            for question in ("Start fullscreen?", "Left AI", "Right AI"):
                line = wait_until(lambda: session.printed_question(question), 10)
                check(line is not None and line.endswith("the box could not be shown: zenity is not installed]"),
                      f"the question {question!r} was not printed with its reason: {line!r}")
        else:
            shown_by_zenity = []
            for question in ("Start fullscreen?", "Left AI", "Right AI"):
                def closed():
                    check(session.running(), f"the game ended before the question {question!r}: "
                          + session.game_stderr()[-500:])
                    zenity = [pid for pid in group_processes(session) if process_name(pid) == "zenity"]
                    if session.compositor_close(question):
                        shown_by_zenity.append(bool(zenity))
                        return True
                    return False
                check(wait_until(closed, 10, interval=0.2), f"no question {question!r} within 10 s")
            check(all(shown_by_zenity), f"zenity did not show every question: {shown_by_zenity}")

        def frames_logged():
            return len([line for line in session.log_lines() or [] if not line.startswith("0 ")])
        check(wait_until(lambda: frames_logged() >= SPLASH_SECONDS + 2, SPLASH_SECONDS + 10),
              f"the game did not draw for {SPLASH_SECONDS + 2} s: {session.log_lines()}")
        check(session.window("Zarvo") is None, "the game window is on XWayland, not a Wayland window")
        client, area = wayland_window_in_work_area(session, "Zarvo")
        inside = (client[0] >= area[0] and client[1] >= area[1] and client[0] + client[2] <= area[0] + area[2]
                  and client[1] + client[3] <= area[1] + area[3])
        check(inside, f"at scale {scale} the game's client area {client} is not inside the work area {area}")
        check(session.compositor_close("Zarvo") == 1, "KWin has no window Zarvo")
        status = check_ends_within(session, 5, "the compositor's close request")
        check(status == 0, f"exit status {status} after the compositor's close request, expected 0")


if __name__ == "__main__":
    run_scenario_on((windowed, fullscreen, display_lost, logout_during_question, native_wayland), DESKTOPS,
                    DesktopUnavailable, sys.argv)
