#!/usr/bin/env python3
"""The zarvo program under bad input, hostile conditions and long runs; run
one by name:

    stress.py odd_sound_files

Like scenarios.py, it finds the program and its helpers through the ZARVO,
ZARVO_WINDOW_MANAGER and ZARVO_SOUNDS environment variables.
"""

import os
import re
import struct
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree for the imports below
from probe import Probe
from scenarios import paddle_at_rest, play_until_a_point, wait_for_a_point
from zarvo_e2e import (FIRST_FRAME_SECONDS, GAME_PRELOAD, RIGHT_PADDLE_COLUMN, SOUNDS, SPLASH_SECONDS, Session, check, check_log,
                       shows_court, shows_splash, run_scenario, wait_for_court, wait_until)

WAV_HEADER_BYTES = 44  # RIFF, fmt and data chunk headers of a plain PCM file
BOTTOM_PADDLE_ROW = 780  # the right paddle's centre against the bottom wall


# ---- sound files ------------------------------------------------------------------


def sound_bytes(name):
    with open(os.path.join(SOUNDS, name), "rb") as sound:
        data = sound.read()
    check(data[:4] == b"RIFF" and data[36:40] == b"data", f"{name} is not a plain 44-byte-header WAV file")
    return data


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as sound:
        sound.write(data)


def truncated(name, keep):
    """The file cut keep bytes into its samples, in the middle of a sample:
    the header still claims them all."""
    return sound_bytes(name)[:WAV_HEADER_BYTES + keep]


def claiming_huge_data(name):
    """The whole file, but its RIFF and data sizes claim about 4 GB."""
    data = bytearray(sound_bytes(name))
    data[4:8] = struct.pack("<I", 0xFFFFFFF0)
    data[40:44] = struct.pack("<I", 0xFFFFFF00)
    return bytes(data)


def write_huge_sparse(folder, name, size):
    """A valid file of size bytes: the header, the real samples, then a hole
    of zeros the file system does not store."""
    data = bytearray(sound_bytes(name))
    data[4:8] = struct.pack("<I", size - 8)
    data[40:44] = struct.pack("<I", size - WAV_HEADER_BYTES)
    path = os.path.join(folder, name)
    with open(path, "wb") as sound:
        sound.write(data)
        sound.truncate(size)
    check(os.stat(path).st_blocks * 512 < 1024 * 1024, f"{name} is not sparse")


def device_samples(name, first, count):
    """Samples first to first+count of a mono 16-bit sound as the stereo
    device plays them: each sample twice."""
    data = sound_bytes(name)[WAV_HEADER_BYTES:]
    samples = struct.unpack(f"<{count}h", data[2 * first:2 * (first + count)])
    return b"".join(struct.pack("<hh", sample, sample) for sample in samples)


# ---- common steps ---------------------------------------------------------------------


def check_frames_every_second(session):
    """Each whole second of the run had frames: a stall of a second or more
    (the game blocked on a file, say) shows as a line with 0 frames."""
    rates = session.frame_rates()
    check(all(rate > 0 for rate in rates), f"a second without frames: {rates}")
    return rates


# ---- bad sound files --------------------------------------------------------------


def odd_sound_files():
    """An empty file, a file cut off in the middle of a sample and one whose
    header claims 4 GB: the game plays on, and plays what the cut and the
    oversized files do hold (caught on SDL's disk audio driver)."""
    with Session("odd-sound-files", sounds=()) as session:
        audio = os.path.join(session.folder, "audio.raw")
        session.extra_env = {"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": audio}
        write(session.folder, "miss.wav", truncated("miss.wav", 20001))
        write(session.folder, "tbhit.wav", b"")
        write(session.folder, "rlhit.wav", claiming_huge_data("rlhit.wav"))
        play_until_a_point(session)
        # Played samples reach the file within a device buffer or two.
        heard = device_samples("miss.wav", 100, 64)

        def miss_heard():
            with open(audio, "rb") as output:
                return heard in output.read()
        check(wait_until(miss_heard, timeout=3), "the cut-off miss.wav was not played")
        session.end_with_escape()
        check_frames_every_second(session)


def bytes_read(session):
    """What the game has read through system calls so far (rchar)."""
    with open(f"/proc/{session.game_pid()}/io") as io:
        return int(re.search(r"^rchar: (\d+)$", io.read(), re.M).group(1))


def huge_sound_file():
    """A valid 200 MB miss.wav (sparse): it is not read, and no frame waits
    for it."""
    with Session("huge-sound-file", sounds=("tbhit.wav", "rlhit.wav")) as session:
        write_huge_sparse(session.folder, "miss.wav", 200 * 1024 * 1024)
        session.start_game()
        session.answer_start_questions(fullscreen=False, left=True, right=False)
        session.wait_game_window()
        check(session.wait_shot(shows_splash, timeout=FIRST_FRAME_SECONDS) is not None, "no splash")
        # The sounds are read when first played, after the splash.
        read_before = bytes_read(session)
        wait_for_court(session)
        wait_for_a_point(session)
        lines = len(session.log_lines() or [])
        session.wait_log_lines(lines + 2, 5)
        check(session.running(), "the game stopped after the first point")
        read = bytes_read(session) - read_before
        print(f"the game read {read} bytes from the splash to a second after the first point")
        check(read < 64 * 1024 * 1024, f"the game read {read} bytes: the 200 MB sound was read")
        session.end_with_escape()
        check_frames_every_second(session)


def sound_named_directory():
    """miss.wav is a directory (with a file in it), tbhit.wav is missing:
    silence for those, play goes on."""
    with Session("sound-named-directory", sounds=("rlhit.wav",)) as session:
        os.mkdir(os.path.join(session.folder, "miss.wav"))
        write(session.folder, os.path.join("miss.wav", "inside.wav"), sound_bytes("miss.wav"))
        play_until_a_point(session)
        session.end_with_escape()
        check_frames_every_second(session)


# ---- the log file -------------------------------------------------------------------


def log_is_a_directory():
    """vorn.txt cannot be created, for a directory has that name: no log,
    nothing written into the directory, play goes on."""
    with Session("log-is-a-directory") as session:
        log = os.path.join(session.folder, "vorn.txt")
        os.mkdir(log)
        play_until_a_point(session, logged=False)
        session.end_with_escape()
        check(os.path.isdir(log) and os.listdir(log) == [], "vorn.txt is no longer an empty directory")


# ---- minimise and restore -------------------------------------------------------------


def seconds_without_frames(session, after):
    """The "0 1" lines logged after the first `after` lines."""
    return sum(1 for line in (session.log_lines() or [])[after:] if line == "0 1")


def minimise_and_restore():
    """Minimised for several seconds, the game runs no frames and logs "0 1"
    each second; restored, it draws the court again, the ball moves and the
    frame rate comes back."""
    with Session("minimise-and-restore") as session:
        session.start_game()
        session.answer_both_computers()
        window = session.wait_game_window()
        wait_for_court(session)
        before = session.wait_log_lines(SPLASH_SECONDS + 3, 10)
        rates_before = [int(line.split()[0]) for line in before[SPLASH_SECONDS:]]

        session.minimise(window[0])
        check(session.map_state(window[0]) == "IsUnMapped", "the window is still shown after minimising")
        # The next line counts the frames before the game saw the minimise.
        minimised_at = len(session.log_lines())
        check(wait_until(lambda: seconds_without_frames(session, minimised_at) >= 3, timeout=8),
              f"no three seconds without frames while minimised: {session.log_lines()[minimised_at:]}")
        check(session.running(), "the game ended while minimised")
        last_minimised = len(session.log_lines())
        session.restore(window[0])
        restored_at = len(session.log_lines())

        court = wait_for_court(session, timeout=3)
        moved = session.wait_shot(lambda s: s.data != court.data and shows_court(s), timeout=2)
        check(moved is not None, "nothing moves on the court after restoring")
        # The second after the one the restore fell into is a whole second of frames.
        after = session.wait_log_lines(restored_at + 3, 6)
        rates_after = [int(line.split()[0]) for line in after[restored_at + 1:]]
        print("frames per second before:", rates_before, "minimised:", after[minimised_at:restored_at],
              "after:", rates_after)
        check(all(line == "0 1" for line in after[minimised_at + 1:last_minimised]),
              f"frames ran while minimised: {after[minimised_at:last_minimised]}")
        # Load on the machine moves the rate about, so a few seconds may pass
        # before it is back; a game stuck in the minimised state, or crawling,
        # would stay far below.
        def rate_back():
            lines = session.log_lines()[restored_at + 1:]
            return any(int(line.split()[0]) > min(rates_before) / 3 for line in lines)
        check(wait_until(rate_back, timeout=8),
              f"frames per second after restoring {session.frame_rates()[restored_at + 1:]}, "
              f"before minimising {rates_before}")
        session.end_with_escape()


def key_held_across_minimise():
    """A key let go while the window is minimised does not stick: the paddle
    stays where it was. A key held through minimise and restore moves the
    paddle again after the restore, and stops it when let go."""
    with Session("key-held-across-minimise") as session:
        session.start_game()
        session.answer_start_questions(fullscreen=False, left=True, right=False)
        window = session.wait_game_window()
        wait_for_court(session)
        start = paddle_at_rest(session, RIGHT_PADDLE_COLUMN)

        # Down goes down, the window is minimised at once, Down comes up.
        session.hold_key("Down")
        try:
            session.minimise(window[0])
        finally:
            session.release_key("Down")
        lines = len(session.log_lines() or [])
        check(wait_until(lambda: seconds_without_frames(session, lines) >= 1, timeout=4),
              "frames ran on while minimised")
        session.restore(window[0])
        rest = paddle_at_rest(session, RIGHT_PADDLE_COLUMN)
        check(rest < BOTTOM_PADDLE_ROW - 10,
              f"the right paddle ran on to the bottom (row {rest}, from {start}): Down stuck after minimising")

        # Up held down from before minimising until after restoring.
        session.hold_key("Up")
        try:
            session.minimise(window[0])
            lines = len(session.log_lines() or [])
            check(wait_until(lambda: seconds_without_frames(session, lines) >= 1, timeout=4),
                  "frames ran on while minimised")
            session.restore(window[0])
            moved = wait_until(lambda: (session.shot().grey_run_centre(RIGHT_PADDLE_COLUMN) or rest) < rest - 40,
                               timeout=5)
            check(moved, "Up held through minimise and restore did not move the right paddle after restoring")
        finally:
            session.release_key("Up")
        stopped = paddle_at_rest(session, RIGHT_PADDLE_COLUMN)
        print(f"right paddle rows: start {start}, after Down {rest}, after Up {stopped}")
        check(session.running(), "the game ended")
        session.end_with_escape()


# ---- long runs ------------------------------------------------------------------------

TICKS_WANTED = 20
FRAMES_WANTED = 2000
# The ThreadSanitizer build beside both release roots' tests drew 10 to 50
# frames a second: the 2000 took it over 70 s.
TICKS_TIME_LIMIT_S = 150


def ticks_while_frames_run():
    """Both computer players until the timer thread has ticked at least 20
    times and at least 2000 frames have run beside it; one log line a second,
    every second with frames, and a clean end (the sanitizer builds fail the
    exit status on any report)."""
    with Session("ticks-while-frames-run", time_limit=TICKS_TIME_LIMIT_S) as session:
        session.start_game()
        session.answer_both_computers()
        session.wait_game_window()
        started = time.monotonic()

        def enough():
            rates = session.frame_rates()
            return len(rates) >= TICKS_WANTED and sum(rates) >= FRAMES_WANTED

        check(wait_until(enough, timeout=session.time_limit - 20, interval=0.5),
              f"after {time.monotonic() - started:.0f} s: frames per second {session.frame_rates()}")
        check(session.running(), "the game ended by itself")
        session.end_with_escape()
        seconds = time.monotonic() - started
        lines = session.log_lines()
        # The log starts with the first frame, which may come that long after the window.
        check_log(lines, at_least=int(seconds) - FIRST_FRAME_SECONDS, at_most=int(seconds) + 1)
        rates = check_frames_every_second(session)
        print(f"{len(rates)} ticks, {sum(rates)} frames: {rates}")


SOAK_SECONDS = 190
SETTLE_SECONDS = 30
# The game's heap is read after each whole minute of play. Between readings
# the heap in use moves by a few kB (what a frame holds at the swap, the sound
# queued), and on a busy machine it once stepped up by 172 kB and stayed; a
# leak grows it every minute: 16 bytes a frame at a hundred frames a second
# adds over 90 kB a minute.
SOAK_MINUTE_GROWTH_KB = 32


def resident_by_mapping(pid):
    """kB resident of the game's mappings, by what is mapped: a file's name,
    [heap] (malloc's main arena), [anon] (other arenas, large blocks, the GL
    driver's own), [stack]."""
    resident = {}
    with open(f"/proc/{pid}/smaps") as smaps:
        for line in smaps:
            fields = line.split()
            if "-" in fields[0] and len(fields) >= 5 and ":" in fields[3]:
                name = os.path.basename(fields[5]) if len(fields) > 5 else "[anon]"
                name = "[stack]" if name.startswith("[stack") else name
            elif fields[0] == "Rss:":
                resident[name] = resident.get(name, 0) + int(fields[1])
    return resident


def soak():
    """Both computer players for over three minutes: the game keeps running
    and logging every second, the heap in use (what malloc has handed out
    and not had back, as the probe preloaded into the game reads it) does not
    grow from the first minute to the third, and Escape ends it cleanly. The
    resident size is shown, not judged: it grows in steps of half a
    megabyte and more that are no leak. Once a large block malloc had mapped
    on its own is freed, glibc raises the size from which it maps blocks so,
    and later blocks of that size come from the main arena: their holes
    make it take more from the system while the bytes in use stay flat
    (with the threshold fixed, GLIBC_TUNABLES=glibc.malloc.mmap_threshold,
    the steps are gone)."""
    with Session("soak", time_limit=SOAK_SECONDS + 60) as session:
        probe = Probe(session.folder)
        session.game_env.update(probe.environment(GAME_PRELOAD))
        session.start_game()
        session.answer_both_computers()
        session.wait_game_window()
        started = time.monotonic()

        samples = []  # (seconds since the window opened, VmRSS in kB, resident kB by mapping)
        next_sample = SETTLE_SECONDS
        while True:
            elapsed = time.monotonic() - started
            check(session.running(), f"the game ended by itself after {elapsed:.0f} s")
            if elapsed >= next_sample:
                samples.append((round(elapsed), session.memory_kb("VmRSS"), resident_by_mapping(session.game_pid())))
                next_sample += 20
                lines = len(session.log_lines() or [])
                check(abs(lines - elapsed) <= 3, f"{lines} log lines after {elapsed:.0f} s")
                if elapsed >= SOAK_SECONDS:
                    break
            time.sleep(0.5)
        peak = session.memory_kb("VmHWM")
        session.end_with_escape()

        print("resident kB by second:", " ".join(f"{second}:{kb}" for second, kb, _ in samples))
        first, last = samples[0][2], samples[-1][2]
        grown = {name: last.get(name, 0) - first.get(name, 0) for name in set(first) | set(last)}
        print(f"resident growth from {samples[0][0]} s to {samples[-1][0]} s by mapping (kB):",
              " ".join(f"{name}:{kb:+d}" for name, kb in sorted(grown.items(), key=lambda item: -abs(item[1]))
                       if kb))
        print(f"peak resident: {peak} kB")
        rates = check_frames_every_second(session)
        print(f"{len(rates)} log lines, frames per second from {min(rates)} to {max(rates)}")

        heap = [(t - started, in_use, held) for t, in_use, held in probe.heap() if t >= started]
        check(heap, f"the probe read no heap ({probe.path}): is ZARVO_PROBE_LIBRARY set?")
        print("heap kB in use/held by malloc's arenas, by second:",
              " ".join(f"{t:.0f}:{in_use // 1024}/{held // 1024}" for t, in_use, held in heap[::20]))
        minutes = [next((t, in_use) for t, in_use, _ in heap if t >= minute) for minute in (60, 120, 180)]
        print("after each minute:", " ".join(f"{t:.0f} s: {in_use} bytes" for t, in_use in minutes))
        growth = [(later[1] - earlier[1]) // 1024 for earlier, later in zip(minutes, minutes[1:])]
        check(min(growth) <= SOAK_MINUTE_GROWTH_KB,
              f"the heap in use grew every minute, by {growth} kB, from {minutes[0][0]:.0f} s to "
              f"{minutes[-1][0]:.0f} s: {minutes}")


if __name__ == "__main__":
    run_scenario((
        odd_sound_files, huge_sound_file, sound_named_directory, log_is_a_directory, minimise_and_restore,
        key_held_across_minimise, ticks_while_frames_run, soak), sys.argv)
