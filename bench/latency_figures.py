"""The latency figures of bench/figures.py: what a player feels of the game's
frames, seen from outside the game.

  key to screen   a paddle key pressed as a keyboard presses it (XTest), at
                  random moments, until the paddle has moved on the screen
                  (zarvo_screen_reader key-to-screen): median, p90 and worst, in ms
                  and in frame times of the same run (from its vorn.txt);
                  for the Linux program also where the time went, from
                  zarvo_sdl_probe preloaded into it: until the game took
                  the key, the frame drawn before the paddle moved, the
                  frame that shows it, and from its swap to the screen
  first frame     the game's last answer to its first frame on the screen,
                  against zarvo_first_frame_reference (a window, a context,
                  one clear to the title's colour, a swap) from its start,
                  the two taking turns; where the game's time went, from
                  the calls that open its window (zarvo_sdl_probe)
  even frames     a minute of play (both computers): the intervals between
                  the ends of successive swaps, as zarvo_sdl_probe saw
                  them: median, p99 and worst; of the slow ones, how much
                  was spent in the swap and how long the main thread ran,
                  and whether the kernel preempted it; how long each busy
                  thread of the game and the X server waited for a core

Needs the environment figures.py sets.
"""

import bisect
import os
import statistics
import subprocess
import time

from probe import Probe
from zarvo_e2e import (BOTTOM_WALL_ROW, RIGHT_PADDLE_COLUMN, SPLASH_SECONDS, TITLE_BLUE, TOP_WALL_ROW, Session,
                       WineSession, check, wait_for_court, wait_until, x_server_pid)
from in_turn import in_turn
from sound_figures import percentile, thread_waits

KEY_PRESSES = 200
EVEN_FRAMES_S = 60
# Targets, in frame times of the same run.
KEY_MEDIAN_FRAMES = 2
KEY_P90_FRAMES = 3
EVEN_P99_MEDIANS = 2

# The right paddle's column, a few pixels either side of its middle, from
# just inside the top wall to just inside the bottom one (the walls are 9
# rows thick): in the window at the screen's corner.
PADDLE_BOX = (RIGHT_PADDLE_COLUMN - 6, TOP_WALL_ROW + 5, 13, BOTTOM_WALL_ROW - TOP_WALL_ROW - 9)
# The middle of the title, where the first frame is looked for.
TITLE_BOX = (300, 300, 550, 200)
# The calls with which the game asks SDL for a sound.
SOUND_CALLS = ("SDL_ClearQueuedAudio", "SDL_QueueAudio")
COLOUR = ",".join(str(channel) for channel in TITLE_BLUE)


def tool(name):
    return os.path.join(os.environ["ZARVO_BENCH"], name)


class FrameRecord:
    """What the probe wrote, read once the game has ended."""

    def __init__(self, probe):
        self.swaps, self.keys, self.calls, self.start = probe.swaps(), probe.key_downs(), probe.calls(), probe.start()

    def swap_ends(self):
        return [swap[1] for swap in self.swaps]


# ---- key to screen ---------------------------------------------------------------------


def run_key_probe(session, box, presses):
    """Presses the paddle keys; returns [(pressed, seen)] in seconds, and
    the counts of the probe's last line (the presses not counted, and the
    time from one read to the next)."""
    x, y, width, height = box
    result = subprocess.run([tool("zarvo_screen_reader"), "key-to-screen", str(presses), str(x), str(y), str(width),
                             str(height)], env=session.environment(), capture_output=True, text=True,
                            timeout=presses * 2 + 60)
    check(result.returncode == 0, f"zarvo_screen_reader key-to-screen failed: {result.stderr.strip()}")
    # The move came between the start of the last read that missed it and
    # the end of the first that saw it: the middle of the two is taken.
    moves = [(int(fields[1]) / 1e9, (int(fields[2]) + int(fields[3])) / 2e9)
             for fields in (line.split() for line in result.stdout.splitlines()) if fields[0] == "moved"]
    summary = result.stdout.splitlines()[-1].split()
    counts = dict(zip(summary[0::2], summary[1::2]))
    check(moves, f"the paddle never moved: {result.stdout.strip()}")
    return moves, counts


def key_figures(moves, counts, rates):
    check(rates, "the game logged no whole second while the keys were pressed")
    frame_ms = 1000 / statistics.mean(rates)
    latencies = [1000 * (seen - pressed) for pressed, seen in moves]
    return {"median": statistics.median(latencies), "p90": percentile(latencies, 0.9), "worst": max(latencies),
            "frame_ms": frame_ms, "rates": rates, "counts": counts, "latencies": latencies}


def where_key_time_went(moves, record):
    """For each press: until the game took the key; until the end of the swap
    of the frame drawn before the paddle moved; until the end of the next
    swap, the first frame that shows the move; until the probe saw it. Their
    medians in ms; how many presses the game took later than in the pass of
    its loop after the frame under way at the press; and how many the screen
    showed before the game had taken them (a frame drawn from the last
    press)."""
    ends = record.swap_ends()
    parts, early, late = [], 0, 0
    for pressed, seen in moves:
        taken = record.keys[bisect.bisect_left(record.keys, pressed):][:1]
        following = ends[bisect.bisect_left(ends, taken[0]):][:2] if taken else []
        if not taken or taken[0] > seen or len(following) < 2:
            early += 1
            continue
        # Not taken before the end of the frame after the one under way.
        late += bisect.bisect_left(ends, taken[0]) > bisect.bisect_left(ends, pressed) + 1
        parts.append((taken[0] - pressed, following[0] - taken[0], following[1] - following[0], seen - following[1]))
    medians = [1000 * statistics.median(part) for part in zip(*parts)] if parts else []
    return medians, early, late


def key_to_screen_linux(screen, presses=KEY_PRESSES):
    with Session("figures-key-linux", screen=screen, time_limit=presses + 120) as session:
        probe = Probe(session.folder)
        session.game_env.update(probe.environment())
        session.start_to_court()
        first_line = len(session.log_lines() or []) + 1  # the second under way is not whole
        moves, counts = run_key_probe(session, PADDLE_BOX, presses)
        last_line = len(session.log_lines() or [])
        rates = session.frame_rates(first_line, last_line)
        session.end_with_escape()
        figures = key_figures(moves, counts, rates)
        figures["parts"], figures["early"], figures["late"] = where_key_time_went(moves, FrameRecord(probe))
        return figures


def key_to_screen_wine(screen, prefix, program, presses=KEY_PRESSES):
    with WineSession("figures-key-wine", screen=screen, prefix=prefix, program=program, keep="") as session:
        window, client = session.start_windowed()
        # A line past that of the tick that ends the splash: the court is up.
        session.wait_log_lines(SPLASH_SECONDS + 1, 20, "Zarvo.exe did not get past its splash")
        first_line = session.log_line_count() + 1
        x, y, width, height = PADDLE_BOX
        moves, counts = run_key_probe(session, (client[0] + x, client[1] + y, width, height), presses)
        rates = session.frame_rates(first_line, session.log_line_count())
        session.end_with_escape(window)
        return key_figures(moves, counts, rates)


def report_keys(program, figures, say):
    frame = figures["frame_ms"]
    counts = figures["counts"]
    in_frames = {name: figures[name] / frame for name in ("median", "p90", "worst")}
    met = in_frames["median"] <= KEY_MEDIAN_FRAMES and in_frames["p90"] <= KEY_P90_FRAMES
    say(f"key to screen, {program}: median {figures['median']:.1f} ms, p90 {figures['p90']:.1f}, worst "
        f"{figures['worst']:.1f}; in frame times of {frame:.2f} ms (mean of {len(figures['rates'])} s, "
        f"{min(figures['rates'])} to {max(figures['rates'])} fps): median {in_frames['median']:.2f}, "
        f"p90 {in_frames['p90']:.2f}, worst {in_frames['worst']:.2f} (target: median at most "
        f"{KEY_MEDIAN_FRAMES}, p90 at most {KEY_P90_FRAMES}: {'met' if met else 'missed'}); "
        f"{counts['moved']} presses counted of {counts['presses']} ({counts['ball']} with the ball passing, "
        f"{counts['stale']} showing the last press, {counts['lost']} lost), screen read every "
        f"{float(counts['ms_per_read']):.2f} ms (a move is taken as seen half way between the read that missed it "
        f"and the one that saw it)")
    if figures.get("parts"):
        parts = figures["parts"]
        say(f"  where it went (medians): until the game took the key {parts[0]:.2f} ms, the frame drawn before "
            f"the paddle moved {parts[1]:.2f}, the frame that shows it {parts[2]:.2f}, from the end of its swap to "
            f"the screen {parts[3]:.2f}; {figures['late']} presses taken later than in the pass after the frame under "
            f"way; {figures['early']} left out, the screen changing before the game took the key")


# ---- first frame -------------------------------------------------------------------------


def run_first_frame_probe(session, *start):
    """The probe's figures, and "ms": the frame taken as shown half way
    between the start of the last read that missed it and the end of the
    first that saw it."""
    x, y, width, height = TITLE_BOX
    result = subprocess.run([tool("zarvo_screen_reader"), "first-frame", COLOUR, str(x), str(y), str(width),
                             str(height), *start], env=session.environment(), capture_output=True, text=True,
                            timeout=60)
    check(result.returncode == 0, f"zarvo_screen_reader first-frame failed: {result.stderr.strip()}")
    fields = result.stdout.split()
    values = dict(zip(fields[0::2], (float(value) for value in fields[1::2])))
    values["ms"] = (values["after_ms"] + values["first_frame_ms"]) / 2
    return values


# The steps from the start (the last answer, or the reference's start) to
# the first frame: (what it is, (the call that ends it, and whether at its
# begin, its end, or the end of its last call)).
GAME_STEPS = (("the box closing", ("SDL_ShowMessageBox", "end")), ("to the window", ("SDL_CreateWindow", "begin")),
              ("window", ("SDL_CreateWindow", "end")), ("to the context", ("SDL_GL_CreateContext", "begin")),
              ("context", ("SDL_GL_CreateContext", "end")), ("showing the window", ("SDL_RaiseWindow", "end")),
              ("to the textures", ("gluBuild2DMipmaps", "begin")), ("textures", ("gluBuild2DMipmaps", "last end")),
              ("the first frame drawn", ("SDL_GL_SwapWindow", "begin")), ("its swap", ("SDL_GL_SwapWindow", "end")))
REFERENCE_STEPS = (("start and SDL_Init", ("SDL_CreateWindow", "begin")), ("window", ("SDL_CreateWindow", "end")),
                   ("context", ("SDL_GL_CreateContext", "end")), ("the clear", ("SDL_GL_SwapWindow", "begin")),
                   ("its swap", ("SDL_GL_SwapWindow", "end")))


def steps(record, start, seen, names, start_cpu=None):
    """The ms each step took, and the rest until the frame was seen, with
    the main thread's CPU ms in each (None where it is not known); None when
    a call was not seen."""
    calls = record.calls + [("SDL_GL_SwapWindow", *swap[:4]) for swap in record.swaps[:1]]
    marks = [(start, start_cpu)]
    for _, (name, which) in names:
        times = [(end, cpu_end) if which.endswith("end") else (begin, cpu_begin)
                 for called, begin, end, cpu_begin, cpu_end in calls if called == name]
        times = [mark for mark in times if mark[0] >= start]
        if not times:
            return None
        marks.append(times[-1] if which == "last end" else times[0])
    marks.append((seen, None))
    return [(1000 * (b - a), None if a_cpu is None or b_cpu is None else 1000 * (b_cpu - a_cpu))
            for (a, a_cpu), (b, b_cpu) in zip(marks, marks[1:])]


def game_first_frame(screen):
    with Session("figures-first-frame", screen=screen) as session:
        probe = Probe(session.folder)
        session.game_env.update(probe.environment())
        session.start_game()
        session.answer("Start fullscreen?", "Escape")  # No
        session.answer("Left AI", "Return")
        box = session.wait_window("Right AI")
        check(wait_until(lambda: session.map_state(box[0]) == "IsViewable", timeout=5), "the box is not shown")
        values = run_first_frame_probe(session, "key", box[0])
        session.end_with_escape()
        start = values["start_ns"] / 1e9
        record = FrameRecord(probe)
        values["steps"] = steps(record, start, start + values["ms"] / 1000, GAME_STEPS)
        boxes = [begin for name, begin, *_ in record.calls if name == "SDL_ShowMessageBox"]
        values["first_question_ms"] = 1000 * (boxes[0] - record.start) if boxes and record.start else None
        return values


def reference_first_frame(screen):
    with Session("figures-first-frame-reference", screen=screen) as session:
        probe = Probe(session.folder)
        settings = [f"{name}={value}" for name, value in probe.environment().items()]
        values = run_first_frame_probe(session, "run", *settings, tool("zarvo_first_frame_reference"), COLOUR)
        start = values["start_ns"] / 1e9
        # A new process: its main thread's CPU clock starts at the start.
        values["steps"] = steps(FrameRecord(probe), start, start + values["ms"] / 1000, REFERENCE_STEPS,
                                start_cpu=0.0)
        return values


def first_frames(screen, rounds, say):
    """The game and the reference in turn, the game first in odd rounds."""
    games, references = [], []
    for round_number in range(1, rounds + 1):
        game, reference = in_turn(round_number, lambda: game_first_frame(screen),
                                  lambda: reference_first_frame(screen))
        games.append(game)
        references.append(reference)
        say(f"first frame {round_number} ({'game' if round_number % 2 else 'reference'} first): game "
            f"{games[-1]['after_ms']:.0f} to {games[-1]['first_frame_ms']:.0f} ms after the last answer, reference "
            f"{references[-1]['after_ms']:.0f} to {references[-1]['first_frame_ms']:.0f} ms after its start")
    return games, references


def median_steps(runs, names):
    known = [run["steps"] for run in runs if run["steps"]]
    if not known:
        return "not seen"
    labels = [name for name, _ in names] + ["to the screen"]
    text = []
    for label, step in zip(labels, zip(*known)):
        wall = statistics.median(part[0] for part in step)
        cpus = [part[1] for part in step if part[1] is not None]
        text.append(f"{label} {wall:.1f}" + (f" ({statistics.median(cpus):.1f})" if cpus else ""))
    return ", ".join(text)


def report_first_frames(games, references, say):
    game = statistics.median(run["ms"] for run in games)
    reference = statistics.median(run["ms"] for run in references)
    ratios = [g["ms"] / r["ms"] for g, r in zip(games, references)]
    brackets = [run["first_frame_ms"] - run["after_ms"] for run in games + references]
    say(f"last answer to first frame: game median {game:.0f} ms ({min(r['ms'] for r in games):.0f} to "
        f"{max(r['ms'] for r in games):.0f}), reference from its start {reference:.0f} ms "
        f"({min(r['ms'] for r in references):.0f} to {max(r['ms'] for r in references):.0f}); game / reference "
        f"{game / reference:.2f}, each round's {min(ratios):.2f} to {max(ratios):.2f} over {len(ratios)} rounds, in "
        f"turn (target: the game's at most the reference's: {'met' if game <= reference else 'missed'}); each frame "
        f"taken half way between the last read that missed it and the first that saw it, {min(brackets):.0f} to "
        f"{max(brackets):.0f} ms apart")
    say(f"  the game's steps (medians, ms; in brackets the main thread's CPU ms): {median_steps(games, GAME_STEPS)}")
    asked = [run["first_question_ms"] for run in games if run["first_question_ms"] is not None]
    if asked:
        say(f"  the game's start to its first question (asked, not yet drawn): median {statistics.median(asked):.0f} ms "
            f"({min(asked):.0f} to {max(asked):.0f})")
    say(f"  the reference's steps (the same): {median_steps(references, REFERENCE_STEPS)}")


# ---- even frames -------------------------------------------------------------------------


def even_frames(screen, seconds=EVEN_FRAMES_S):
    with Session("figures-even-frames", screen=screen, time_limit=seconds + 60) as session:
        probe = Probe(session.folder)
        session.game_env.update(probe.environment())
        session.start_game()
        session.answer_both_computers()
        session.wait_game_window()
        wait_for_court(session)
        processes = (session.game_pid(), x_server_pid(session.display))
        started = time.monotonic()
        waits_before = [thread_waits(pid) for pid in processes]
        session.play_for(seconds, since=started)
        waits_after = [thread_waits(pid) for pid in processes]
        ended = time.monotonic()
        session.end_with_escape()
        record = FrameRecord(probe)
        swaps = [swap for swap in record.swaps if started <= swap[1] <= ended]
        # (begin, ms) of each call that asked SDL for a sound
        sounds = [(begin, 1000 * (end - begin)) for name, begin, end, *_ in record.calls
                  if name in SOUND_CALLS and started <= begin <= ended]
    check(len(swaps) > 2, "no frames seen")
    # (ms, ms of it in the swap, ms of CPU the main thread had, times preempted, times it waited, seconds in,
    #  ms in calls asking for a sound)
    intervals = []
    for before, after in zip(swaps, swaps[1:]):
        in_sound = sum(ms for begin, ms in sounds if before[1] <= begin < after[1])
        intervals.append((1000 * (after[1] - before[1]), 1000 * (after[1] - after[0]), 1000 * (after[3] - before[3]),
                          after[4] - before[4], after[5] - before[5], after[1] - started, in_sound))
    # {thread: (s run, s waited for a core)} of the game's threads and the X server's.
    threads = {name: ((end[name][0] - start[name][0]) / 1e9, (end[name][1] - start[name][1]) / 1e9)
               for start, end in zip(waits_before, waits_after) for name in end if name in start}
    return intervals, threads, sounds


def report_even_frames(figures, say):
    intervals, threads, sounds = figures
    lengths = [interval[0] for interval in intervals]
    median, p99 = statistics.median(lengths), percentile(lengths, 0.99)
    seconds = intervals[-1][5] - intervals[0][5] + lengths[0] / 1000
    say(f"even frames: {len(lengths)} swap-to-swap intervals in {seconds:.0f} s; median {median:.2f} ms, p99 "
        f"{p99:.2f} ({p99 / median:.2f} medians), worst {max(lengths):.1f} (target: p99 at most "
        f"{EVEN_P99_MEDIANS} medians: {'met' if p99 <= EVEN_P99_MEDIANS * median else 'missed'})")
    slow = [interval for interval in intervals if interval[0] > EVEN_P99_MEDIANS * median]
    if not slow:
        return
    say(f"  {len(slow)} intervals over {EVEN_P99_MEDIANS} medians; medians of them: {statistics.median(i[0] for i in slow):.2f} ms, "
        f"of which in the swap {statistics.median(i[1] for i in slow):.2f} (in all intervals "
        f"{statistics.median(i[1] for i in intervals):.2f}), the main thread running "
        f"{statistics.median(i[2] for i in slow):.2f} (in all {statistics.median(i[2] for i in intervals):.2f}); "
        f"the main thread was preempted in {sum(1 for i in slow if i[3])} of them "
        f"(in {100 * sum(1 for i in intervals if i[3]) / len(intervals):.0f} % of all)")
    if sounds:
        with_sound = [interval for interval in slow if interval[6] > 0]
        say(f"  sounds asked for: {len(sounds)}, each call to SDL taking a median {statistics.median(ms for _, ms in sounds):.2f} "
            f"ms, the longest {max(ms for _, ms in sounds):.2f}; {len(with_sound)} of the slow intervals held one")
    busiest = sorted(threads.items(), key=lambda item: -item[1][0])[:5]
    say("  the busiest threads of the game and the X server (s running, s waiting for a core): "
        + ", ".join(f"{name.split('/')[0]} {run:.1f}/{waited:.1f}" for name, (run, waited) in busiest))
    worst = sorted(intervals, key=lambda interval: -interval[0])[:5]
    say("  the longest (ms, in the swap, main thread running, preempted, waits, at second): "
        + "; ".join(f"{i[0]:.1f}, {i[1]:.1f}, {i[2]:.1f}, {i[3]}, {i[4]}, {i[5]:.1f}" for i in worst))
