#!/usr/bin/env python3
"""Whole games of Zarvo.exe under Wine on Xvfb; run one by name:

    games.py play_windowed

The program (with its sounds beside it) and the Wine prefix are found
through the ZARVO and ZARVO_WINE_PREFIX environment variables (CTest sets
them); a failed game leaves its folders in ZARVO_KEEP.
"""

import os
import re
import struct
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree for the imports below
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "e2e"))
from zarvo_e2e import (PARK_S, SKIP_STATUS, TITLE_BLUE, WALL_BLUE, WINE_SEARCH_S, point_shown,  # noqa: E402
                       WINE_TRACE_PLAYSOUND, WineSession, check, run_scenario, wait_until)
from sound_servers import SoundServer, SoundServerUnavailable, requests_for  # noqa: E402
from sounds import NAMES  # noqa: E402

# Seconds of a sound game, the splash's five among them: every sound comes up.
PLAYED_S = 25


def title_shown(session, client):
    """A screenshot showing the light-blue title picture in the client area."""
    return session.wait_shot(lambda shot: shot.count_near(TITLE_BLUE, 6, client) > 10000, 10)


def court_shown(session, client):
    """Whether the walls are drawn and the title is gone."""
    shot = session.shot()
    return shot.count_near(WALL_BLUE, 0, client) > 10000 and shot.count_near(TITLE_BLUE, 6, client) < 100


def court_moves(session, client):
    """Whether two screenshots of the client area a moment apart differ."""
    x, y, w, h = client
    first, second = session.shot(), session.shot()
    rows = range(y, y + h)
    return any(first.data[(r * first.width + x) * 3:(r * first.width + x + w) * 3]
               != second.data[(r * second.width + x) * 3:(r * second.width + x + w) * 3] for r in rows)


def grey_centre(shot, box):
    """The middle row of the silver-grey pixels (the paddle's colours) in the
    box, or -1 when there are fewer than 200 of them."""
    left, top, width, height = box
    def silver_grey(pixel):
        return min(pixel) >= 90 and max(pixel) - min(pixel) <= 24
    rows = sorted(y for y in range(top, top + height) for x in range(left, left + width)
                  if silver_grey(shot.pixel(x, y)))
    return rows[len(rows) // 2] if len(rows) >= 200 else -1


def play_until_a_point(session, client):
    """From the splash to the court and the first point; the game must still
    be drawing afterwards."""
    check(wait_until(lambda: court_shown(session, client), 20), "no court within 20 s")
    check(wait_until(lambda: point_shown(session.shot(), *client[:2]), 40), "no point scored within 40 s")
    check(session.running(), "Zarvo.exe ended after the first point")
    check(wait_until(lambda: court_moves(session, client), 5), "nothing moves on the court after the first point")


def play_windowed():
    """Two windowed games on a 1280x1024 screen (a framed 1152x864 client
    area needs a larger screen): the left computer against a person, with the
    window's place and size, the splash, the court, the right paddle on the
    arrow keys, vorn.txt and Escape; then two people, the left paddle on W,
    and the close button."""
    with WineSession("play-windowed") as session:
        window, client = session.start_windowed()
        wx, wy, ww, wh = session.geometry(window)
        cx, cy, cw, ch = client
        check((wx, wy) == (0, 0), f"window's outer corner at {wx},{wy}, not at the screen's corner")
        check(ww > cw and wh > ch and cy > wy, "windowed mode has no frame and caption")

        splash = title_shown(session, client)
        check(splash is not None, "no light-blue title picture on the screen")
        walls = splash.count_near(WALL_BLUE, 0, client)
        check(walls == 0, f"{walls} wall pixels during the splash")

        # The fifth tick ends the splash and writes the fifth log line.
        session.wait_log_lines(6, 20, "vorn.txt did not reach 6 lines")
        court = session.shot()
        walls, title = court.count_near(WALL_BLUE, 0, client), court.count_near(TITLE_BLUE, 6, client)
        check(walls > 10000, f"only {walls} pixels of wall colour on the court")
        check(title < 100, f"{title} title pixels after the splash")

        def right_paddle():
            return grey_centre(session.shot(), (cx + 1070, cy, 70, ch))
        start_y = right_paddle()
        session.hold_key_for("Up", 0.6)
        up_y = right_paddle()
        session.hold_key_for("Down", 0.6)
        down_y = right_paddle()
        print(f"right paddle centre at y {start_y}, after Up {up_y}, after Down {down_y}")
        check(start_y > 0 and up_y > 0 and down_y > 0, "right paddle not found")
        check(up_y < start_y - 40, "holding Up did not move the right paddle up")
        check(down_y > up_y + 40, "holding Down did not move the right paddle down")
        session.end_with_escape()

        with open(os.path.join(session.folder, "vorn.txt"), "rb") as log:
            data = log.read()
        check(data.endswith(b"\r\n"), "vorn.txt does not end with CR LF")
        check(b"\n" not in data.replace(b"\r\n", b""), "a line of vorn.txt ends without CR")
        lines = data.split(b"\r\n")[:-1]
        check(len(lines) >= 6, f"vorn.txt has {len(lines)} lines")
        for line in lines:
            check(re.fullmatch(rb"[1-9][0-9]* [1-9][0-9]*", line), f"odd line {line!r}")

        window, client = session.start_windowed(left=False)
        wx, wy, ww, wh = session.geometry(window)
        cx, cy, cw, ch = client
        check(title_shown(session, client) is not None, "no title picture in the second run")

        # During the splash the left key hint rides along with the left paddle.
        start_y = grey_centre(session.shot(), (cx + 12, cy, 70, ch))
        session.hold_key_for("w", 0.6)
        up_y = grey_centre(session.shot(), (cx + 12, cy, 70, ch))
        print(f"left paddle centre at y {start_y}, after W {up_y}")
        check(start_y > 0 and up_y > 0, "left paddle not found")
        check(up_y < start_y - 40, "holding W did not move the left paddle up")

        # The close button at the right end of Wine's caption.
        session.xdotool("mousemove", str(wx + ww - 14), str(wy + 13), "click", "1")
        status = session.wait_exit(15)
        check(status == 0, f"exit status after the close button is {status}, not 0")


def play_fullscreen():
    """Fullscreen on a 1152x864 screen, the one mode Xvfb offers: the mode
    change succeeds, so no fallback question comes, and the game fills the
    screen with a borderless window, over which the cursor is hidden. Escape
    ends it."""
    with WineSession("play-fullscreen", screen="1152x864x24") as session:
        session.start_game()
        session.start_questions(fullscreen=True, left=True, right=False)
        window = session.wait_caption("Zarvo")
        # A fallback question would also be captioned Zarvo, but it is a small box.
        check(session.geometry(window) == (0, 0, 1152, 864), "not a 1152x864 window at the screen's corner")
        check(session.client_geometry(window) == (0, 0, 1152, 864), "the window has a frame")
        session.wait_focus(window)
        check(title_shown(session, (0, 0, 1152, 864)) is not None, "no light-blue title picture on the screen")
        check(wait_until(lambda: session.cursor_state() == "hidden", 5), "the cursor shows over the fullscreen game")
        session.end_with_escape()
        # Wine 10 shows it again about a second after the game has ended.
        check(wait_until(lambda: session.cursor_state() == "shown", 5), "the cursor stays hidden after the game")


def fullscreen_fallback():
    """Fullscreen asked for on a 1280x1024 screen, where the 1152x864 mode
    does not exist: the fallback question, captioned with the window title,
    comes after the two computer-control questions, and each of its answers is
    followed: No gives a framed window of 1152x864 client pixels; Cancel,
    "Program will now close." (caption Error) and exit status 0; Yes, a
    borderless 1152x864 window at the screen's corner. The cursor is hidden
    over the borderless window only."""
    with WineSession("fullscreen-fallback") as session:
        def ask_fallback():
            session.start_game()
            session.start_questions(fullscreen=True, left=True, right=False)
            box = session.wait_caption("Zarvo")
            w, h = session.geometry(box)[2:]
            check(w < 800 and h < 400, f"a {w}x{h} window instead of the fallback question")
            session.focus(box)
            return box

        box = ask_fallback()
        session.xdotool("key", "n")
        window = session.wait_caption("Zarvo")
        check(window != box, "the fallback question did not close")
        wx, wy, ww, wh = session.geometry(window)
        cw, ch = session.client_geometry(window)[2:]
        check((wx, wy, cw, ch) == (0, 0, 1152, 864), "not a 1152x864 client area at the corner")
        check(ww > cw and wh > ch, "No gave a window without a frame")
        check(session.cursor_state() == "shown", "the cursor is hidden over the framed game")
        session.end_with_escape(window)

        ask_fallback()
        session.xdotool("key", "Escape")  # Cancel
        error_box = session.wait_caption("Error")
        check(session.visible_window("Zarvo") is None, "a Zarvo window is open beside the Error box")
        session.focus(error_box)
        session.xdotool("key", "Return")
        status = session.wait_exit(15)
        check(status == 0, f"exit status after Cancel is {status}, not 0")

        box = ask_fallback()
        session.xdotool("key", "Return")  # Yes is the default button
        check(wait_until(lambda: session.window_gone(box), 5), "the fallback question did not close")
        window = session.wait_caption("Zarvo")
        check(session.geometry(window) == (0, 0, 1152, 864), "Yes did not give a 1152x864 window at the corner")
        check(session.client_geometry(window) == (0, 0, 1152, 864), "Yes gave a window with a frame")
        check(wait_until(lambda: session.cursor_state() == "hidden", 5), "the cursor shows over the borderless game")
        session.end_with_escape(window)


def broken_wav(kind, source, target):
    """Writes a broken variant of the plain 44-byte-header sound source."""
    with open(source, "rb") as original:
        data = bytearray(original.read())
    check(data[:4] == b"RIFF" and data[36:40] == b"data", "not a plain 44-byte-header WAV file")
    size = 200 * 1024 * 1024
    if kind == "cut":  # in the middle of a sample
        data = data[:44 + 20001]
    elif kind == "claims-4gb":
        data[4:8] = struct.pack("<I", 0xFFFFFFF0)
        data[40:44] = struct.pack("<I", 0xFFFFFF00)
    elif kind == "sparse-200mb":
        data[4:8] = struct.pack("<I", size - 8)
        data[40:44] = struct.pack("<I", size - 44)
    elif kind == "garbage":
        data = b"RIFF\xff\xff\xff\x7fWAVEfmt " + bytes(range(256)) * 8
    with open(target, "wb") as out:
        out.write(data)
        if kind == "sparse-200mb":
            out.truncate(size)


def sound_files():
    """Bad sound files beside the game, three games; in each the game plays
    on to a point and past it, logs every second with frames, and ends with
    Escape: cut, empty and oversized sounds; a valid 200 MB (sparse) sound, a
    directory and garbage after a RIFF header; no sound files at all."""
    sounds = os.path.dirname(os.path.realpath(os.environ["ZARVO"]))

    def cut_empty_oversized(folder):
        broken_wav("cut", os.path.join(sounds, "miss.wav"), os.path.join(folder, "miss.wav"))
        open(os.path.join(folder, "tbhit.wav"), "wb").close()
        broken_wav("claims-4gb", os.path.join(sounds, "rlhit.wav"), os.path.join(folder, "rlhit.wav"))

    def huge_directory_garbage(folder):
        miss = os.path.join(folder, "miss.wav")
        broken_wav("sparse-200mb", os.path.join(sounds, "miss.wav"), miss)
        check(os.stat(miss).st_blocks * 512 < 1048576, "the 200 MB miss.wav is not sparse")
        os.remove(os.path.join(folder, "tbhit.wav"))
        os.mkdir(os.path.join(folder, "tbhit.wav"))
        broken_wav("garbage", os.path.join(sounds, "rlhit.wav"), os.path.join(folder, "rlhit.wav"))

    def no_sounds(folder):
        for name in ("miss.wav", "tbhit.wav", "rlhit.wav"):
            os.remove(os.path.join(folder, name))

    with WineSession("sound-files") as session:
        for prepare in (cut_empty_oversized, huge_directory_garbage, no_sounds):
            print(prepare.__name__)
            window, client = session.start_windowed(prepare)
            play_until_a_point(session, client)
            lines = session.log_line_count()
            session.wait_log_lines(lines + 2, 5, "vorn.txt stopped growing after the point")
            session.end_with_escape()
            rates = session.frame_rates()
            print("frames per second:", *rates)
            check(0 not in rates, f"a second without frames: {rates}")


def log_directory():
    """vorn.txt cannot be created, since a directory has that name: no log
    and no message, the game plays on to a point and past it, and ends with
    Escape; the directory stays empty."""
    with WineSession("log-directory") as session:
        window, client = session.start_windowed(lambda folder: os.mkdir(os.path.join(folder, "vorn.txt")))
        play_until_a_point(session, client)
        session.end_with_escape()
        log = os.path.join(session.folder, "vorn.txt")
        check(os.path.isdir(log) and not os.listdir(log), "vorn.txt is no longer an empty directory")


def minimise_restore():
    """Minimised with its caption's minimise button for a few seconds, then
    restored by a double click on the minimised window, as a person does
    without a taskbar. Minimised, the window shrinks to Wine's small title
    bar and the game goes on logging each second; restored, the client area
    is 1152x864 again with the keyboard focus, the court is drawn whole, the
    ball moves, the frame rate comes back, and Escape ends the game.

    Wine keeps a minimised window active when no other window takes the
    activation, so no WM_ACTIVATE with the minimised flag arrives and the
    game may go on running frames while minimised (on Windows the activation
    moves on and the log reads "0 1"): the log lines of those seconds are not
    judged."""
    with WineSession("minimise-restore") as session:
        window, client = session.start_windowed()
        wx, wy, ww, wh = session.geometry(window)
        check(wait_until(lambda: court_shown(session, client), 20), "no court within 20 s")
        session.wait_log_lines(8, 5, "vorn.txt did not reach 8 lines")
        before = min(session.frame_rates()[-2:])

        # The minimise button is the third from the right end of the caption.
        session.xdotool("mousemove", str(wx + ww - 14 - 2 * 17), str(wy + 13), "click", "1")
        def shrunk():
            geometry = session.geometry(window)
            return geometry if geometry[2] < 400 and geometry[3] < 100 else None
        minimised = wait_until(shrunk, 5)
        check(minimised, "the window did not shrink when minimised")
        mx, my, mw, mh = minimised
        print(f"minimised to {mw}x{mh}+{mx}+{my}")
        session.wait_log_lines(session.log_line_count() + 3, 10, "the game stopped logging while minimised")
        check(session.running(), "Zarvo.exe ended while minimised")
        minimised_lines = session.log_line_count()

        session.xdotool("mousemove", str(mx + mw // 2), str(my + mh // 2), "click", "--repeat", "2", "--delay", "80",
                        "1")
        check(wait_until(lambda: session.client_geometry(window)[2:] == (1152, 864), 5),
              "a double click did not restore the window")
        client = session.client_geometry(window)
        session.wait_focus(window)
        check(wait_until(lambda: court_shown(session, client), 5), "no court after restoring")
        check(wait_until(lambda: court_moves(session, client), 5), "nothing moves on the court after restoring")
        # The second the restore fell into, then two whole seconds.
        session.wait_log_lines(minimised_lines + 3, 6, "vorn.txt stopped growing after restoring")
        after = min(session.frame_rates()[-2:])
        print("frames per second:", *session.frame_rates())
        print(f"before minimising at least {before}, after restoring at least {after}")
        check(after > before // 3, f"the frame rate did not come back after restoring ({after}, before {before})")
        session.end_with_escape()


# A sound this long before the next PlaySoundA has had its device open and
# written to (the first of a run can take a quarter of a second): the next
# call does not stop it unheard.
UNCUT_S = 0.5
# After the first point, the longest wait for the first of each sound.
ALL_ASKED_S = 60


def sounds_heard(kind):
    """A game on a real sound server (sound_servers.py), through Wine's
    PulseAudio driver, which the other games leave out: play goes on past a
    point until the game has asked for each of the three sounds, and the
    sink's recording holds every sound that the next PlaySoundA did not stop
    at once, as Wine's trace of the calls tells them."""
    try:
        server = SoundServer(kind)
    except SoundServerUnavailable as reason:
        print(f"SKIP: {kind} cannot start on this machine: {reason}")
        sys.exit(SKIP_STATUS)
    with server, WineSession(f"sounds-{kind}", more_overrides=";winepulse.drv=b") as session:
        recording = server.record(os.path.join(session.work, "recording.raw"))
        started = time.monotonic()
        window, client = session.start_windowed(env=dict(server.environment(), WINEDEBUG=WINE_TRACE_PLAYSOUND))
        check(wait_until(lambda: court_shown(session, client), 20), "no court within 20 s")
        # The right paddle at the top, out of the way of the computer's level balls.
        session.hold_key_for("Up", PARK_S)
        play_until_a_point(session, client)
        # A wall bounce needs a ball served at a slant; some matches serve
        # level for a while.
        kinds = lambda: {name for _, name in session.sounds_asked()}
        check(wait_until(lambda: kinds() >= set(NAMES), ALL_ASKED_S, interval=0.5),
              f"in {ALL_ASKED_S} s more the game never asked for: {' '.join(sorted(set(NAMES) - kinds()))}")
        session.wait_log_lines(PLAYED_S, PLAYED_S + 10, f"vorn.txt did not reach {PLAYED_S} lines")
        recording.stop()
        ended = time.monotonic()
        session.end_with_escape()
        places = recording.occurrences(started, ended)
        calls = session.sounds_asked()
        print(f"{len(calls)} sounds asked:", " ".join(f"{name}@{at - started:.2f}" for at, name in calls))
        print(f"{len(places)} sounds heard:", " ".join(f"{name}@{at - started:.2f}" for at, name in places))
        # Every sound the next one did not stop at once is heard after its call.
        requests = requests_for(calls, WINE_SEARCH_S)
        asked = [request for request, (following, *_) in zip(requests, requests[1:] + [(float("inf"),)])
                 if following - request[0] >= UNCUT_S and request[3] <= ended]
        lost = [(at, name) for (at, name, *_), match in zip(asked, recording.find(asked))
                if match is None or match[0] != name]
        print(f"{len(asked) - len(lost)} of the {len(asked)} sounds with room to play were heard")
        check(asked and not lost, "lost: " + " ".join(f"{name}@{at - started:.2f}" for at, name in lost))


def sounds_on_pipewire():
    sounds_heard("pipewire")


def sounds_on_pulseaudio():
    sounds_heard("pulseaudio")


if __name__ == "__main__":
    run_scenario((play_windowed, play_fullscreen, fullscreen_fallback, sound_files, log_directory,
                  minimise_restore, sounds_on_pipewire, sounds_on_pulseaudio), sys.argv)
