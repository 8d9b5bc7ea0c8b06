#!/usr/bin/env python3
"""The README's run command on a machine with no display, in a fresh clone:

    play_without_display.py SOURCE_FOLDER

`bash tools/play.sh` must say there is no display, build the game and record
a match of the computer against itself on a virtual display: the splash and
play as PNG files and the match as an animated GIF, whose pixels are checked
here. Then it must have ended every process it started. A second run, with DISPLAY naming a
display that does not exist, must do the same.
"""

import collections
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from zarvo_e2e import TITLE_BLUE, WALL_BLUE, ScenarioFailure, Shot, check, run_script  # noqa: E402

SKIP = 77
RUN_TIME_LIMIT_S = 420


def free_display():
    for number in range(500, 600):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
            return f":{number}"
    raise ScenarioFailure("no free display number to name as unreachable")


def marked_processes(mark):
    """Processes whose environment holds the mark: whatever a run started,
    in any process group or session."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as environ:
                if mark.encode() in environ.read().split(b"\0"):
                    with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                        found.append((int(pid), cmdline.read().replace(b"\0", b" ").decode(errors="replace")))
        except OSError:
            pass
    return found


def play(clone, display):
    """Runs tools/play.sh and returns its output. Whatever it left running
    fails the test, and is ended."""
    mark = f"ZARVO_PLAY_TEST_RUN={uuid.uuid4()}"
    env = {name: value for name, value in os.environ.items() if name not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update([mark.split("=", 1)])
    if display:
        env["DISPLAY"] = display
    run = subprocess.Popen(["bash", "tools/play.sh"], cwd=clone, env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, text=True, start_new_session=True)
    try:
        output, _ = run.communicate(timeout=RUN_TIME_LIMIT_S)
    except subprocess.TimeoutExpired:
        run.kill()
        output, _ = run.communicate()
        print(output[-4000:])
        raise ScenarioFailure(f"tools/play.sh ran longer than {RUN_TIME_LIMIT_S} s")
    finally:
        left = marked_processes(mark)
        for pid, _ in left:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    print(output[-2500:])
    check(run.returncode == 0, f"tools/play.sh ended with status {run.returncode}")
    check(not left, f"tools/play.sh left running: {left}")
    return output


def keep_recording(demo, first):
    """Keeps a recording that failed its checks beside the test's build
    folder, and names the first frame's commonest colours."""
    kept = tempfile.mkdtemp(prefix="play_without_display-", dir=os.getcwd())
    shutil.copytree(demo, kept, dirs_exist_ok=True)
    pixels = [bytes(first.data[i:i + 3]) for i in range(0, len(first.data), 3)]
    common = collections.Counter(pixels).most_common(6)
    print(f"the failed recording is kept in {kept}; the first frame's commonest colours:",
          ", ".join(f"{tuple(colour)} x{count}" for colour, count in common))


def check_recording(clone, output, display):
    check(re.search(r"no display", output, re.I), "tools/play.sh did not say there is no display")
    if display:
        check(display in output, f"tools/play.sh did not name the unreachable display {display}")
    demo = os.path.join(clone, "build", "default", "demo")
    files = {name: os.path.join(demo, name) for name in ("splash.png", "play.png", "match.gif", "vorn.txt")}
    for name, path in files.items():
        check(path in output, f"tools/play.sh did not say where {name} is")
        check(os.path.isfile(path) and os.path.getsize(path) > 0, f"{path} is missing or empty")

    splash = Shot.read(files["splash.png"])
    title = splash.count_near(TITLE_BLUE, 16)
    check(title > 10000, f"splash.png shows {title} pixels of the title's light blue")
    check(splash.count_near(WALL_BLUE, 3) == 0, "splash.png shows walls")
    walls = Shot.read(files["play.png"]).count_near(WALL_BLUE, 3)
    check(walls > 20000, f"play.png shows {walls} pixels of the walls' blue")
    print(f"splash.png {splash.width}x{splash.height}: {title} title pixels; play.png: {walls} wall pixels")

    frames = subprocess.run(["identify", "-format", "%T\n", files["match.gif"]], capture_output=True, text=True,
                            check=True).stdout.split()
    seconds = sum(int(delay) for delay in frames) / 100
    # Two a second are asked for; a busy machine's captures may come at one.
    check(len(frames) >= 20, f"match.gif has {len(frames)} frames")
    check(15 <= seconds <= 30, f"match.gif lasts {seconds} s")
    first, last = Shot.read(files["match.gif"], "first"), Shot.read(files["match.gif"], "last")
    title, walls = first.count_near(TITLE_BLUE, 24), last.count_near(WALL_BLUE, 24)
    if title <= 2500 or walls <= 4000:
        keep_recording(demo, first)
    check(title > 2500, f"the GIF's first frame does not show the splash ({title} title pixels)")
    check(walls > 4000, f"the GIF's last frame does not show the court ({walls} wall pixels)")
    print(f"match.gif {first.width}x{first.height}: {len(frames)} frames, {seconds} s, splash first, court last")

    with open(files["vorn.txt"]) as log:
        lines = log.read().splitlines()
    check(len(lines) >= 15 and all(re.fullmatch(r"\d+ \d+", line) for line in lines),
          f"the match's log holds {len(lines)} lines: {lines[:3]}")

    check(re.search(r"[Vv]irtual display :\d+", output), "tools/play.sh did not name its virtual display")

def main():
    source = sys.argv[1]
    if shutil.which("git") is None or subprocess.run(["git", "-C", source, "rev-parse", "--git-dir"],
                                                     capture_output=True).returncode != 0:
        print(f"SKIP: {source} is not a git clone, so there is nothing to clone afresh")
        sys.exit(SKIP)
    scratch = tempfile.mkdtemp(prefix="zarvo-play-")
    try:
        clone = os.path.join(scratch, "zarvo")
        subprocess.run(["git", "clone", "-q", source, clone], check=True)
        for display in (None, free_display()):
            print(f"--- bash tools/play.sh with DISPLAY {display or 'unset'}")
            output = play(clone, display)
            check_recording(clone, output, display)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    run_script(main)
