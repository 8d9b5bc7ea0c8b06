#!/usr/bin/env python3
"""Measures the performance figures of the README and prints each with its
target. Run it through bench/figures.sh, which builds what it needs first:

  1. frame cost against the floor: the game's court frames per second (both
     computer players, windowed 1152x864, from vorn.txt after the splash)
     against zarvo_frame_floor, which draws the same court picture (the same
     textures and quads, checked pixel by pixel) with the fewest GL calls,
     on one Xvfb screen;
  2. the Windows program under Wine against the Linux program, on a screen
     of the same size (left out with --no-wine);
  3. world step in nanoseconds per frame and heap allocations per frame
     (world_step_bench);
  4. the running game's peak resident memory (VmHWM);
  5. the price of the hardening flags (cmake/ZarvoHardening.cmake): the
     game's court frames per second and the world step, each against the
     same built without them (the preset unhardened);
  6. the latency a player feels (bench/latency_figures.py; --latency-only
     measures these alone): key to screen, for the Linux program and under
     Wine; the last answer to the first frame against a reference program;
     and the evenness of the frames over a minute of play;
  7. sound on PipeWire and on PulseAudio (bench/sound_figures.py): latency
     from the request to the sink, and sounds with gaps, in a minute of play;
     on PipeWire through SDL's PipeWire driver (the game's choice) and its
     PulseAudio driver in turn; the Windows program under Wine on each
     (--no-wine leaves it out) (left out with --no-sound; --sound-only
     measures these alone).

Paired figures are taken in turn (bench/in_turn.py), each ratio with its
spread over the rounds.

It only reports: no figure makes it fail. It fails only when something
could not be measured.
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import time

REPOSITORY = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
# The harness the tests drive the game with (bench/ itself is on the path as the script's folder).
sys.path.insert(0, os.path.join(REPOSITORY, "tests", "e2e"))

# The court's seconds measured in each run, after the five of the splash and
# one more to settle.
COURT_SECONDS = 8
SKIPPED_SECONDS = 6
FLOOR_SECONDS = 8
FIRST_FRAME_ROUNDS = 6
WORLD_STEP_ROUNDS = 2
# A load average above this many per core makes a busy machine.
BUSY_LOAD = 0.5
# Targets.
FLOOR_RATIO = 0.9
WINE_RATIO = 0.8
WORLD_STEP_NS = 100
# The screen: a windowed 1152x864 client area fits with Wine's frame.
SCREEN = "1280x1024x24"


def arguments():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(REPOSITORY, "build", "default"))
    parser.add_argument("--exe", default=os.path.join(REPOSITORY, "build", "windows", "Zarvo.exe"))
    parser.add_argument("--prefix", default=os.path.join(REPOSITORY, "build", "windows", "wine-prefix"))
    parser.add_argument("--unhardened", default=os.path.join(REPOSITORY, "build", "unhardened"),
                        help="the build without the hardening flags")
    parser.add_argument("--no-wine", action="store_true", help="leave out the Windows program under Wine")
    parser.add_argument("--rounds", type=int, default=2, help="games of each kind")
    parser.add_argument("--no-sound", action="store_true", help="leave out the sound figures")
    parser.add_argument("--sound-only", action="store_true", help="only the sound figures")
    parser.add_argument("--latency-only", action="store_true",
                        help="only key to screen, first frame and even frames")
    return parser.parse_args()


ARGS = arguments()
os.environ["ZARVO"] = os.path.join(ARGS.build, "zarvo")
os.environ["ZARVO_BENCH"] = os.path.join(ARGS.build, "bench")
os.environ["ZARVO_SOUNDS"] = os.path.join(REPOSITORY, "resources")
for variable, tool in (("ZARVO_PROBE_LIBRARY", "libzarvo_sdl_probe.so"),
                       ("ZARVO_SOUND_RECORDER", "zarvo_sound_recorder"), ("ZARVO_SOUND_MATCH", "zarvo_sound_match")):
    os.environ[variable] = os.path.join(ARGS.build, "tests", "e2e", tool)

import zarvo_e2e  # noqa: E402  (needs the variables above)
from zarvo_e2e import Session, WineSession, check  # noqa: E402
from in_turn import in_turn  # noqa: E402
import latency_figures  # noqa: E402
import sound_figures  # noqa: E402

FLOOR = os.path.join(ARGS.build, "bench", "zarvo_frame_floor")
WORLD_STEP = os.path.join(ARGS.build, "bench", "world_step_bench")
UNHARDENED_GAME = os.path.join(ARGS.unhardened, "zarvo")
UNHARDENED_WORLD_STEP = os.path.join(ARGS.unhardened, "bench", "world_step_bench")


def say(text):
    print(text, flush=True)


def load():
    return " ".join(f"{value:.2f}" for value in os.getloadavg())


def court_rates(lines):
    rates = [int(line.split()[0]) for line in lines[SKIPPED_SECONDS:SKIPPED_SECONDS + COURT_SECONDS]]
    check(len(rates) == COURT_SECONDS, f"only {len(rates)} court seconds in the log")
    return rates


# ---- the Linux program and the floor -------------------------------------------------


def linux_game(session, program):
    """One game of program with both computer players; returns its court
    frame rates and its peak resident memory in kB."""
    zarvo_e2e.GAME = program
    session.start_game()
    session.answer_both_computers()
    session.wait_game_window()
    lines = session.wait_log_lines(SKIPPED_SECONDS + COURT_SECONDS, SKIPPED_SECONDS + COURT_SECONDS + 20,
                                   "the game did not log its seconds")
    peak = session.memory_kb("VmHWM")
    session.end_with_escape()
    session.game = None
    return court_rates(lines), peak


def floor(session):
    """The floor's frames per second, and a line on its picture and calls."""
    result = subprocess.run([FLOOR, str(FLOOR_SECONDS)], env=session.environment(), capture_output=True,
                            text=True, timeout=FLOOR_SECONDS + 30)
    check(result.returncode == 0, f"zarvo_frame_floor failed: {result.stderr.strip()}")
    renderer = re.search(r"^renderer (.*)$", result.stdout, re.M).group(1)
    picture = re.search(r"^picture (.*)$", result.stdout, re.M).group(1)
    calls = re.search(r"^gl_calls game (\d+) floor (\d+)$", result.stdout, re.M)
    check(picture == "same", f"the floor's picture is not the game's: it {picture}")
    rate = float(re.search(r"^frames_per_second (\S+)$", result.stdout, re.M).group(1))
    return rate, f"{renderer}; the court's GL calls: {calls.group(1)} the game's way, {calls.group(2)} the floor's"


# ---- the Windows program under Wine ----------------------------------------------------


def wine_game():
    """One game of Zarvo.exe with both computer players, on a screen of the
    same size; returns its court frame rates."""
    with WineSession("figures-wine", screen=SCREEN, prefix=ARGS.prefix, program=ARGS.exe, keep="") as session:
        session.start_game()
        session.answer("Start fullscreen?", "n")
        session.answer("Left AI", "Return")  # Yes is the default button
        session.answer("Right AI", "y")  # No is the default: Y picks Yes
        window = session.wait_caption("Zarvo")
        lines = session.wait_log_lines(SKIPPED_SECONDS + COURT_SECONDS, SKIPPED_SECONDS + COURT_SECONDS + 30,
                                       "Zarvo.exe did not log its seconds")
        session.xdotool("windowfocus", window)
        session.end_with_escape()
        return court_rates(lines)


# ---- world step ----------------------------------------------------------------------------


def world_step(program=WORLD_STEP):
    result = subprocess.run([program, "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true"],
                            capture_output=True, text=True, timeout=600)
    check(result.returncode == 0, f"world_step_bench failed: {result.stderr.strip()}")
    median = re.search(r"^BM_RunFrame_median\s+(\S+) ns.*allocs_per_frame=(\S+)", result.stdout, re.M)
    check(median is not None, "no median in world_step_bench's output")
    return float(median.group(1)), float(median.group(2))


# ---- all of it -------------------------------------------------------------------------------


def spread(ratios):
    return f"each round's {min(ratios):.3f} to {max(ratios):.3f} over {len(ratios)} rounds, in turn"


def verdict(met):
    return "met" if met else "missed"


def performance():
    games, unhardened_games, floors, wines, peaks = [], [], [], [], []
    floor_note = None
    with Session("figures", screen=SCREEN, time_limit=300) as session:
        for round_number in range(1, ARGS.rounds + 1):
            measurements = [lambda: linux_game(session, os.environ["ZARVO"]),
                            lambda: linux_game(session, UNHARDENED_GAME), lambda: floor(session)]
            if not ARGS.no_wine:
                measurements.append(wine_game)
            results = in_turn(round_number, *measurements)
            (rates, peak), (unhardened_rates, _), (rate, floor_note) = results[:3]
            games.append(statistics.mean(rates))
            peaks.append(peak)
            unhardened_games.append(statistics.mean(unhardened_rates))
            floors.append(rate)
            order = "in the order below" if round_number % 2 else "in the opposite order"
            say(f"round {round_number} ({order}): Linux game, court frames per second {rates}, mean {games[-1]:.0f}")
            say(f"round {round_number}: the same unhardened, court frames per second {unhardened_rates}, "
                f"mean {unhardened_games[-1]:.0f}")
            say(f"round {round_number}: frame floor, frames per second {rate:.0f}")
            if not ARGS.no_wine:
                wines.append(statistics.mean(results[3]))
                say(f"round {round_number}: Zarvo.exe under Wine, court frames per second {results[3]}, "
                    f"mean {wines[-1]:.0f}")

    steps, unhardened_steps = [], []
    for round_number in range(1, WORLD_STEP_ROUNDS + 1):
        (step_ns, allocations), (unhardened_step_ns, _) = in_turn(
            round_number, world_step, lambda: world_step(UNHARDENED_WORLD_STEP))
        steps.append(step_ns)
        unhardened_steps.append(unhardened_step_ns)
    step_ns = statistics.mean(steps)

    game, floor_rate = statistics.mean(games), statistics.mean(floors)
    say("")
    say(f"GL renderer: {floor_note}; screen {SCREEN}, window 1152x864")
    say(f"frame cost: game {game:.0f} fps, floor (the same picture, fewest GL calls) {floor_rate:.0f} fps, "
        f"ratio {game / floor_rate:.2f} ({spread([a / b for a, b in zip(games, floors)])}) "
        f"(target: at least {FLOOR_RATIO}: {verdict(game / floor_rate >= FLOOR_RATIO)})")
    if wines:
        wine = statistics.mean(wines)
        say(f"Wine against Linux: {wine:.0f} fps against {game:.0f} fps, ratio {wine / game:.2f} "
            f"({spread([a / b for a, b in zip(wines, games)])}) "
            f"(target: at least {WINE_RATIO}: {verdict(wine / game >= WINE_RATIO)})")
    say(f"world step: {step_ns:.1f} ns per frame (median of 5, mean of {WORLD_STEP_ROUNDS} runs), "
        f"{allocations:g} allocations per frame (target: under {WORLD_STEP_NS} ns: "
        f"{verdict(step_ns < WORLD_STEP_NS)}; no allocation: {verdict(allocations == 0)})")
    unhardened_game, unhardened_step = statistics.mean(unhardened_games), statistics.mean(unhardened_steps)
    say(f"hardening, frame rate: {game:.0f} fps hardened, {unhardened_game:.0f} fps without, "
        f"ratio {game / unhardened_game:.3f} ({spread([a / b for a, b in zip(games, unhardened_games)])})")
    say(f"hardening, world step: {step_ns:.1f} ns hardened, {unhardened_step:.1f} ns without, "
        f"speed ratio {unhardened_step / step_ns:.3f} ({spread([b / a for a, b in zip(steps, unhardened_steps)])})")
    say(f"peak resident memory of the game: {max(peaks) / 1024:.1f} MB (VmHWM)")


def latency():
    say("")
    say(f"key to screen: {latency_figures.KEY_PRESSES} presses of the right paddle's keys at random moments")
    latency_figures.report_keys("Linux", latency_figures.key_to_screen_linux(SCREEN), say)
    if not ARGS.no_wine:
        latency_figures.report_keys("Zarvo.exe under Wine",
                                    latency_figures.key_to_screen_wine(SCREEN, ARGS.prefix, ARGS.exe), say)
    say("")
    games, references = latency_figures.first_frames(SCREEN, FIRST_FRAME_ROUNDS, say)
    latency_figures.report_first_frames(games, references, say)
    say("")
    latency_figures.report_even_frames(latency_figures.even_frames(SCREEN), say)


def sound():
    """On PipeWire, the game's own choice (SDL's PipeWire driver) against SDL
    2's (its PulseAudio driver, through pipewire-pulse), in turn (ABBA); then
    PulseAudio."""
    say("")
    say(f"sound, request to sink; target: {sound_figures.TARGET}")
    choices = (("the game's choice, SDL's PipeWire driver", None),
               ("SDL's PulseAudio driver, through pipewire-pulse", "pulseaudio"))
    medians = {driver: [] for _, driver in choices}
    def measure(name, driver):
        figures = sound_figures.measure("pipewire", SCREEN, driver=driver)
        sound_figures.report(f"PipeWire, {name} (load {load()})", figures, say)
        medians[driver].append(figures["median"])
    for round_number in range(1, ARGS.rounds + 1):
        in_turn(round_number, *(lambda choice=choice: measure(*choice) for choice in choices))
    native, through_pulse = medians[None], medians["pulseaudio"]
    say(f"PipeWire medians, SDL's PipeWire driver / its PulseAudio driver: {statistics.mean(native):.1f} / "
        f"{statistics.mean(through_pulse):.1f} ms; each round's difference "
        f"{min(b - a for a, b in zip(native, through_pulse)):.1f} to "
        f"{max(b - a for a, b in zip(native, through_pulse)):.1f} ms over {len(native)} rounds, in turn")
    sound_figures.report(f"PulseAudio (load {load()})", sound_figures.measure("pulseaudio", SCREEN), say)
    sound_figures.report_stalls(SCREEN, say)
    if not ARGS.no_wine:
        for kind in ("pipewire", "pulseaudio"):
            sound_figures.report_wine(kind, sound_figures.measure_wine(kind, SCREEN, ARGS.prefix, ARGS.exe), say)


def main():
    started = time.monotonic()
    say(f"load average at the start (1, 5, 15 min): {load()}  on {os.cpu_count()} cores")
    if os.getloadavg()[0] > BUSY_LOAD * os.cpu_count():
        say("the machine is busy: every figure below moves with what else runs (a third and more from run to run "
            "at a load of a few), and those in turn say more than those alone")
    if not ARGS.sound_only and not ARGS.latency_only:
        performance()
    if not ARGS.sound_only:
        latency()
    if not ARGS.no_sound and not ARGS.latency_only:
        sound()
    say(f"load average at the end (1, 5, 15 min): {load()}; {time.monotonic() - started:.0f} s in all")


if __name__ == "__main__":
    main()
