#!/usr/bin/env python3
"""Plays a match of the computer against itself on a virtual X screen and
records it, for machines with no display:

    demo.py PROGRAM OUTPUT_FOLDER [SECONDS]

PROGRAM is the built zarvo with its three sounds beside it. Xvfb is started
on a free display, the start-up questions are answered (a window, the
computer on both sides), and for SECONDS (20) the screen is captured: the
splash and a moment of play as PNG files, and the whole as an animated GIF,
all in OUTPUT_FOLDER with the game's log. Escape then ends the game, and
Xvfb is ended too.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

# Leaves no compiled copy of the helpers in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import zarvo_e2e  # noqa: E402  (drives the real program under Xvfb with xdotool)
from zarvo_e2e import ScenarioFailure, Session, check, shows_court, shows_splash  # noqa: E402

FRAME_INTERVAL_S = 0.5
GIF_WIDTH = 576  # half the window's width
PLAY_SHOT_AFTER_S = 6  # play.png is taken this long into play


def save_window(shot, window, path, width=None):
    """Saves the window's part of a whole-screen shot, scaled to width."""
    _, _, w, h, x, y = window
    command = ["convert", "-size", f"{shot.width}x{shot.height}", "-depth", "8", "rgb:-",
               "-crop", f"{w}x{h}+{x}+{y}", "+repage"]
    if width:
        command += ["-resize", f"{width}x"]
    subprocess.run(command + [path], input=shot.data, check=True)


def record(program, output, seconds):
    build = os.path.dirname(os.path.abspath(program))
    zarvo_e2e.GAME = os.path.abspath(program)
    zarvo_e2e.SOUNDS = build
    frames = tempfile.mkdtemp(prefix="zarvo-demo-frames-")
    try:
        with Session("demo") as session:
            print(f"Virtual display {session.display} (Xvfb, {session.screen})", flush=True)
            session.start_game()
            session.answer("Start fullscreen?", "Escape")  # No
            session.answer("Left AI", "Return")  # Yes, the default button
            session.click("Right AI", 1)  # Yes, after the default No
            window = session.wait_game_window()

            splash = session.wait_shot(shows_splash, timeout=3)
            start = time.monotonic()
            check(splash is not None, "the splash did not show")
            save_window(splash, window, os.path.join(output, "splash.png"))

            # One frame every half second, on a fixed schedule; each frame
            # keeps its own delay, so the GIF runs at the match's pace even
            # when a capture takes longer. The first is the splash's own
            # shot: on a busy machine the next capture may come after the
            # splash's five seconds.
            save_window(splash, window, os.path.join(frames, "0000.png"), GIF_WIDTH)
            times, shots, play_started, play_saved = [start], [], None, False
            while time.monotonic() - start < seconds:
                check(session.running(), "the game ended by itself")
                taken = time.monotonic()
                shot = session.shot()
                # Cut and scaled after the match: here it would slow the capture.
                shots.append(shot)
                times.append(taken)
                if not play_saved and shows_court(shot):
                    play_started = play_started or taken
                    if taken - play_started >= PLAY_SHOT_AFTER_S:
                        save_window(shot, window, os.path.join(output, "play.png"))
                        play_saved = True
                next_frame = start + len(times) * FRAME_INTERVAL_S
                time.sleep(max(0.0, next_frame - time.monotonic()))
            check(play_saved, f"no court to show {PLAY_SHOT_AFTER_S} s into play")

            status = session.press_escape_and_wait_exit()
            check(status == 27, f"the game ended with status {status} after Escape")
            shutil.copy(os.path.join(session.folder, "vorn.txt"), output)

        for index, shot in enumerate(shots, 1):
            save_window(shot, window, os.path.join(frames, f"{index:04}.png"), GIF_WIDTH)
        command = ["convert", "-loop", "0"]
        for index, taken in enumerate(times):
            following = times[index + 1] if index + 1 < len(times) else taken + FRAME_INTERVAL_S
            command += ["-delay", str(max(2, round((following - taken) * 100))),
                        os.path.join(frames, f"{index:04}.png")]
        # Not "-layers Optimize": it also maps every frame onto one shared
        # palette, which a match's many court frames can fill, leaving the
        # splash's blues to a neighbour. Each frame keeps its own palette here.
        optimise = ["-layers", "OptimizeFrame", "-layers", "OptimizeTransparency"]
        subprocess.run(command + optimise + [os.path.join(output, "match.gif")], check=True)
        return len(times)
    finally:
        shutil.rmtree(frames, ignore_errors=True)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    program, output = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) == 4 else 20
    os.makedirs(output, exist_ok=True)
    for name in ("splash.png", "play.png", "match.gif", "vorn.txt"):
        if os.path.exists(os.path.join(output, name)):
            os.remove(os.path.join(output, name))
    count = record(program, output, seconds)
    print("The match, recorded on the virtual display:")
    print(f"  splash     {os.path.join(output, 'splash.png')}")
    print(f"  play       {os.path.join(output, 'play.png')}")
    print(f"  animation  {os.path.join(output, 'match.gif')} ({count} frames, {seconds:g} s)")
    print(f"  log        {os.path.join(output, 'vorn.txt')}")

if __name__ == "__main__":
    try:
        main()
    except ScenarioFailure as failure:
        sys.exit(f"The recording failed: {failure}")
