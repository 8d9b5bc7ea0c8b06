"""The sound figures of bench/figures.py: for each sound server, a game of
a minute as the sound tests play it (tests/e2e/sounds.py: the left computer
against the right paddle parked at the top), run as a player runs it, the
sink's monitor recorded, and each sound the game asked for found in the
recording.

  latency   request (SDL_QueueAudio) to the sink: median, p90 and worst
  gaps      sounds with silence inside them, and that silence in all
  SDL       stretches of over 50 ms in which SDL wrote nothing to the server
  threads   how long each of the game's threads waited to run, in all
            (the run queue: /proc/PID/task/TID/schedstat)

  stalls    the longest frame while the server is stopped (kill -STOP) for
            STALL_S and in the STALL_S after it answers again, beside the
            longest of as long a stretch of the same game before the stop;
            and the same where the server question says yes and the open
            fails (SDL's ALSA driver through ALSA's PulseAudio plugin, the
            server killed): a reopening tried every second

The Windows program under Wine (its PulseAudio driver, winepulse) is timed
from its PlaySoundA calls, as Wine's trace (+timestamp,+winmm) gives them,
to the sink; its figures leave out what the probe sees of SDL.

Needs the environment of the sound tests (figures.py sets it).
"""

import os
import re
import statistics
import time

from sound_servers import SEARCH_S, Probe, SoundServer, requests_for, start_play
import zarvo_e2e
from zarvo_e2e import PARK_S, WINE_SEARCH_S, WINE_TRACE_PLAYSOUND, Session, WineSession, check, wait_until

MEASURED_S = 60
SDL_PAUSE_S = 0.05
TARGET = ("median at most 15 ms on PipeWire; on PulseAudio no more than before (10.8 / 16.0 / 17.6 ms, "
          "median / p90 / worst, on a quiet machine); no sound with gaps")


def thread_waits(pid):
    """{thread name: (ns run, ns waited to run)} of the process's threads."""
    waits = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/comm") as comm, open(f"/proc/{pid}/task/{tid}/schedstat") as stat:
                name = f"{comm.read().strip()}/{tid}"
                run, waited = (int(field) for field in stat.read().split()[:2])
        except OSError:
            continue  # ended meanwhile
        waits[name] = (run, waited)
    return waits


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def as_player(folder):
    """The game as a player runs it, without the right to raise a thread's
    priority (root has it; a player has it only through rtkit, if at all):
    SDL's audio thread then runs at the priority of the game's own."""
    if os.geteuid() != 0:
        return zarvo_e2e.GAME
    wrapper = os.path.join(folder, "zarvo-as-player")
    with open(wrapper, "w") as script:
        script.write(f"#!/bin/sh\nexec setpriv --bounding-set=-sys_nice --inh-caps=-sys_nice {zarvo_e2e.GAME}\n")
    os.chmod(wrapper, 0o755)
    return wrapper


def measure(kind, screen, seconds=MEASURED_S, driver=None):
    """One game of seconds on the server kind, through SDL's audio driver
    driver (None: the one SDL picks, as a player gets it); returns the
    figures as a dict."""
    with SoundServer(kind) as server, Session(f"figures-sound-{kind}", screen=screen, time_limit=seconds + 120) as session:
        game = zarvo_e2e.GAME
        zarvo_e2e.GAME = as_player(server.folder)
        probe = Probe(session.folder)
        recording = server.record(os.path.join(session.folder, "recording.raw"))
        start_play(session, probe, dict(server.environment(), **({"SDL_AUDIODRIVER": driver} if driver else {})))
        pid = session.game_pid()
        started = time.monotonic()
        before = thread_waits(pid)
        session.play_for(seconds, since=started)
        after = thread_waits(pid)
        time.sleep(SEARCH_S)
        recording.stop()
        dropped_ms = recording.dropped_ms
        session.end_with_escape()
        zarvo_e2e.GAME = game
        requests = [request for request in probe.requests() if started <= request[0] <= started + seconds]
        found = recording.find(requests)
        writes = [t for t, _ in probe.writes() if started <= t <= started + seconds]
        opened = sum(1 for _, device, *_ in probe.opens() if device != 0)
        starts = probe.starts()

    judged = [match for match in found if match is not None]
    heard = [match for (_, name, *_), match in zip(requests, found) if match is not None and match[0] == name]
    latencies = [match[1] for match in heard]
    check(latencies, f"no sound was heard on {kind}")
    # Where the time goes: in the game and SDL until SDL hands the sound's
    # first bytes to the server, and from there to the sink.
    in_sdl = []
    for (asked, name, *_), match in zip(requests, found):
        if match is not None and match[0] == name:
            handed = [t for t in starts if t > asked]
            if handed:
                in_sdl.append(1000 * (handed[0] - asked))
    pauses = [b - a for a, b in zip(writes, writes[1:]) if b - a > SDL_PAUSE_S]
    waited = {name: ((after[name][0] - before[name][0]) / 1e6, (after[name][1] - before[name][1]) / 1e6)
              for name in after if name in before}
    return {
        "asked": len(requests), "judged": len(judged), "heard": len(heard),
        "median": statistics.median(latencies),
        "in_sdl": statistics.median(in_sdl) if in_sdl else float("nan"), "p90": percentile(latencies, 0.9), "worst": max(latencies),
        "gapped": sum(1 for match in heard if match[3] > 0), "gap_ms": sum(match[3] for match in heard),
        "sdl_pauses": len(pauses), "sdl_longest_ms": 1000 * max(pauses, default=0),
        "threads": waited, "dropped_ms": dropped_ms, "opened": opened,
    }


def report(kind, figures, say):
    say(f"{kind}: {figures['heard']} of {figures['judged']} sounds heard ({figures['asked']} asked for, the rest cut "
        f"off by the next before SDL wrote them); latency request to sink median {figures['median']:.1f} ms, "
        f"p90 {figures['p90']:.1f}, worst {figures['worst']:.1f} (median until SDL hands it to the server "
        f"{figures['in_sdl']:.1f}); sounds with gaps {figures['gapped']} "
        f"({figures['gap_ms']} ms of silence); SDL wrote nothing for over {1000 * SDL_PAUSE_S:.0f} ms "
        f"{figures['sdl_pauses']} times (longest {figures['sdl_longest_ms']:.0f} ms); the server dropped "
        f"{figures['dropped_ms']:.0f} ms of the recording; the device was opened {figures['opened']} "
        f"time{'s' if figures['opened'] != 1 else ''} (more than once: lost, or stalled, and opened again)")
    busiest = sorted(figures["threads"].items(), key=lambda item: -item[1][0])[:6]
    say("  threads (ms run, ms waiting to run): "
        + ", ".join(f"{name.split('/')[0]} {run:.0f}/{waited:.0f}" for name, (run, waited) in busiest))


def measure_wine(kind, screen, prefix, program, seconds=MEASURED_S):
    """One game of Zarvo.exe of seconds on the server kind, through Wine's
    PulseAudio driver; returns the figures as a dict."""
    with SoundServer(kind) as server, WineSession(f"figures-sound-wine-{kind}", screen=screen, prefix=prefix,
                                                  program=program, keep="",
                                                  more_overrides=";winepulse.drv=b") as session:
        recording = server.record(os.path.join(session.work, "recording.raw"))
        session.start_game(env=dict(server.environment(), WINEDEBUG=WINE_TRACE_PLAYSOUND))
        session.start_questions(fullscreen=False, left=True, right=False)
        session.focus(session.wait_caption("Zarvo"))
        session.hold_key_for("Up", PARK_S)
        started = time.monotonic()
        session.play_for(seconds, since=started)
        time.sleep(WINE_SEARCH_S)
        recording.stop()
        session.end_with_escape()
        calls = [call for call in session.sounds_asked() if started <= call[0] <= started + seconds]
        requests = requests_for(calls, WINE_SEARCH_S)
        found = recording.find(requests)
    latencies = [match[1] for (_, name, *_), match in zip(requests, found) if match is not None and match[0] == name]
    check(latencies, f"no sound of Zarvo.exe was heard on {kind}")
    return {"asked": len(requests), "heard": len(latencies), "median": statistics.median(latencies),
            "worst": max(latencies)}


STALL_S = 4


def longest_frame_ms(swaps, start, end):
    """The longest time between two frames' ends in start..end (the frame
    that spans start counted)."""
    ends = [e for _, e, *_ in swaps]
    gaps = [b - a for a, b in zip(ends, ends[1:]) if b > start and a < end]
    return 1000 * max(gaps, default=float("nan"))


def measure_stall(kind, screen, alsa=False):
    """One game on the server kind: STALL_S * 2 of play, then the server
    stopped for STALL_S (killed, with alsa), then STALL_S more. Returns the
    longest frame (ms) before, during the stop and just after it."""
    with SoundServer(kind) as server, Session(f"figures-stall-{kind}", screen=screen, time_limit=120) as session:
        probe = Probe(session.folder)
        env = server.environment()
        if alsa:
            # ALSA's default through PulseAudio, listed (as a card is) whether the server runs or not.
            config = os.path.join(session.folder, "config")
            os.makedirs(os.path.join(config, "alsa"))
            with open(os.path.join(config, "alsa", "asoundrc"), "w") as asoundrc:
                asoundrc.write('pcm.!default { type pulse hint { show on description "PulseAudio" } }\n'
                               "ctl.!default { type pulse }\n")
            env.update({"SDL_AUDIODRIVER": "alsa", "XDG_CONFIG_HOME": config})
        start_play(session, probe, env)
        check(wait_until(lambda: len(probe.requests()) >= 2, 30, interval=0.2), "no sound was asked for")
        check(not alsa or [o for o in probe.opens() if o[1] != 0 and o[5] == "alsa"], "no device on ALSA")
        quiet = time.monotonic()
        check(wait_until(lambda: time.monotonic() > quiet + 2 * STALL_S, 2 * STALL_S + 2, interval=0.2),
              "time stood still")
        stopped = time.monotonic()
        if alsa:
            server.kill()
        else:
            server.pause()
        check(wait_until(lambda: time.monotonic() > stopped + STALL_S, STALL_S + 2, interval=0.2), "time stood still")
        answered = time.monotonic()
        if not alsa:
            server.pause(False)
        check(wait_until(lambda: time.monotonic() > answered + STALL_S, STALL_S + 2, interval=0.2), "time stood still")
        session.end_with_escape()
        swaps = probe.swaps()
        failed = sum(1 for t, device, *_ in probe.opens() if device == 0 and t > stopped)
    return {"before": longest_frame_ms(swaps, quiet, stopped), "stopped": longest_frame_ms(swaps, stopped, answered),
            "after": longest_frame_ms(swaps, answered, answered + STALL_S), "failed": failed}


def report_stall(name, figures, say):
    say(f"  {name}: longest frame {figures['before']:.1f} ms in {2 * STALL_S} s of play, "
        f"{figures['stopped']:.1f} ms in the {STALL_S} s stopped, {figures['after']:.1f} ms in the {STALL_S} s after; "
        f"{figures['failed']} opens failed")


def report_stalls(screen, say):
    """The server stopped on PipeWire and on PulseAudio; the reopening that
    fails on ALSA."""
    say(f"sound server stopped {STALL_S} s during play: the longest frame, beside the same game without a stop "
        "(goal: no longer)")
    for kind in ("pipewire", "pulseaudio"):
        report_stall(kind, measure_stall(kind, screen), say)
    report_stall("ALSA through its PulseAudio plugin, the server killed (stopped: the first seconds of "
                 "reopenings that fail)", measure_stall("pulseaudio", screen, alsa=True), say)


def report_wine(kind, figures, say):
    say(f"Zarvo.exe under Wine (winepulse) on {kind}: {figures['heard']} of {figures['asked']} sounds heard; "
        f"latency PlaySoundA to sink median {figures['median']:.0f} ms, worst {figures['worst']:.0f}")
