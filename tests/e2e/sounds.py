#!/usr/bin/env python3
"""Sound that players hear: the zarvo program on a real sound server, as a
player runs it (SDL_AUDIODRIVER unset). Run one scenario on one server:

    sounds.py heard pipewire

Scenarios: heard (every sound the game asks for reaches the sink, and is
the one asked for), killed (the server dies during play), restarted (it
comes back during play), unanswered (a socket in its place that never
answers), stalled (the server stopped, kill -STOP, for a while), late (no
server at the start; it starts during play), ignored_sigchld (restarted,
the game started by a parent that ignores SIGCHLD), driver (the driver the
game plays through, and the one a player names), no_server (none at all,
and no ALSA device; the server argument is "none"). Servers: pipewire, pulseaudio. A server that is not installed
skips the scenario (status 77). With ZARVO_KEEP set to a folder, the
recording and the sounds asked for are left in a folder of the game's in it.
"""

import os
import select
import shutil
import socket
import statistics
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree for the imports below
from sound_servers import HEARD_SCORE, SEARCH_S, SERVERS, Probe, SoundServer, SoundServerUnavailable, start_play
import zarvo_e2e
from zarvo_e2e import GAME_PRELOAD, SKIP_STATUS, SOUND_FILES, Session, check, run_scenario_on, wait_until

NAMES = tuple(os.path.splitext(file)[0] for file in SOUND_FILES)
# How long after its return a restarted server must hear the game again: the
# game asks once a second, and on a busy machine the question (a copy of the
# program) and the open have taken over two seconds more.
BACK_WITHIN_S = 4
# However long a sound server takes to answer.
ESCAPE_WITHIN_S = 3
# However long a stopped server stays stopped: at once.
ESCAPE_STALLED_WITHIN_S = 1
# How long a server is stopped.
STALL_S = 4
# From the answered questions to the game's sound device, opened with its window.
START_GAME_S = 10
KEEP = os.environ.get("ZARVO_KEEP", "")


def wait_requests(session, probe, since, count, names=NAMES, timeout=60):
    """Waits until the game has asked for count sounds after the time since,
    among them each of names."""
    def enough():
        check(session.running(), "the game ended during play")
        asked = [request[1] for request in probe.requests() if request[0] > since]
        return len(asked) >= count and set(names) <= set(asked)
    among = f", {', '.join(names)} among them," if names else ""
    check(wait_until(enough, timeout, interval=0.2),
          f"the game did not ask for {count} sounds{among} within {timeout} s: "
          f"{[request[1] for request in probe.requests() if request[0] > since]}")


def wait_playing_on(session, seconds=2):
    """The game goes on: it logs seconds more seconds, and the court moves."""
    lines = len(session.log_lines() or [])
    check(wait_until(lambda: len(session.log_lines() or []) >= lines + seconds, seconds + 8),
          "the game stopped logging its seconds")
    before = session.shot()
    check(session.wait_shot(lambda shot: shot.data != before.data, 2) is not None and session.running(),
          "nothing moves on the court")


def check_heard(recording, requests, probe):
    """Each sound asked for (as Probe.requests gives them) is found in the
    recording and is the one asked for, but for those cut off by the next
    before SDL wrote any of them or due while the server stalled. Returns
    what Recording.find found."""
    found = recording.find(requests)
    if KEEP:
        keep = os.path.join(KEEP, os.path.basename(os.path.dirname(recording.path)))
        os.makedirs(keep, exist_ok=True)
        for path in (recording.path, recording.path + ".timing", probe.path):
            shutil.copy(path, keep)
        with open(os.path.join(keep, "requests.txt"), "w") as kept:
            kept.write("".join(" ".join(map(str, request)) + "\n" for request in requests))
    wrong = []
    for (t, asked, *_), match in zip(requests, found):
        unjudged = "due while the server stalled" if t in probe.stalled_away else "cut off before it could be heard"
        print(f"  {t:.3f} {asked}: " + (unjudged if match is None else
                                       "found {} at {:.1f} ms, score {:.3f}, gaps {} ms".format(*match)))
        if match is not None and (match[0] != asked or match[2] < HEARD_SCORE):
            wrong.append(f"{asked} at {t:.3f} s: best match {match[0]} at {match[1]:.0f} ms, score {match[2]:.2f}")
    judged = [match for match in found if match is not None]
    stalled = sum(1 for t, *_ in requests if t in probe.stalled_away)
    print(f"{len(judged)} sounds judged, {len(found) - len(judged) - stalled} cut off by the next before they could "
          f"be heard, {stalled} due while the server stalled")
    check(judged, "every sound was cut off before it could be heard")
    check(not wrong, f"{len(wrong)} of {len(judged)} sounds asked for were not heard:\n  " + "\n  ".join(wrong))
    print(f"latency from request to sink: median {statistics.median(m[1] for m in judged):.1f} ms, "
          f"worst {max(m[1] for m in judged):.1f} ms; sounds with gaps: {sum(1 for m in judged if m[3])}")
    return found


# ---- scenarios -------------------------------------------------------------------------


def heard(kind):
    """Every sound the game asks for reaches the sink, named right: bounces
    off walls and paddles, and misses."""
    with SoundServer(kind) as server, Session(f"sound-heard-{kind}") as session:
        probe = Probe(session.folder)
        recording = server.record(os.path.join(session.folder, "recording.raw"))
        start_play(session, probe, server.environment())
        wait_requests(session, probe, 0, 12)
        time.sleep(SEARCH_S)  # the last one's time to reach the sink
        recording.stop()
        session.end_with_escape()
        check_heard(recording, probe.requests(), probe)


def killed(kind):
    """The server dies during play, as in a crash: play goes on in silence,
    and Escape ends the game as always."""
    with SoundServer(kind) as server, Session(f"sound-killed-{kind}") as session:
        probe = Probe(session.folder)
        start_play(session, probe, server.environment())
        wait_requests(session, probe, 0, 2, names=())
        server.kill()
        wait_playing_on(session, seconds=4)
        # The lost device is looked for again with the driver that had it,
        # not through ALSA, which would print its complaints every second.
        check("ALSA" not in session.game_stderr(), f"ALSA was tried: {session.game_stderr()[-500:]}")
        session.end_with_escape()


def restarted(kind, name="restarted"):
    """The server dies during play and comes back (an update, a restart, a
    crash): within seconds of its return the game opens a device again, and
    from then on every sound it asks for is heard."""
    with SoundServer(kind) as server, Session(f"sound-{name}-{kind}") as session:
        probe = Probe(session.folder)
        start_play(session, probe, server.environment())
        wait_requests(session, probe, 0, 2, names=())
        server.kill()
        killed_at = time.monotonic()
        wait_playing_on(session)
        server.start()
        reopened = heard_again(session, probe, server, killed_at, time.monotonic())
        check(len(reopened) == 1, f"the game opened {len(reopened)} devices after the server's return, not one")


def heard_again(session, probe, server, since, answered_at):
    """After the server answers again at answered_at, the game opens a
    device within BACK_WITHIN_S, and every sound it asks for from then on
    (from the device's return, or from the time it should have been back)
    is heard. Returns when the devices opened since since were opened."""
    recording = server.record(os.path.join(session.folder, "recording.raw"))
    check(wait_until(lambda: time.monotonic() > answered_at + BACK_WITHIN_S, BACK_WITHIN_S + 1), "time stood still")
    wait_requests(session, probe, answered_at + BACK_WITHIN_S, 4, names=())
    time.sleep(SEARCH_S)  # the last one's time to reach the sink
    origin = recording.stop()
    session.end_with_escape()

    reopened = [t for t, device, *_ in probe.opens() if device != 0 and t > since]
    if reopened:
        print(f"sound device opened {reopened[0] - answered_at:.2f} s after the server answered")
    start = max(origin, min(reopened[:1] + [answered_at + BACK_WITHIN_S]))
    check_heard(recording, [request for request in probe.requests() if request[0] > start], probe)
    check(reopened and reopened[0] - answered_at <= BACK_WITHIN_S,
          f"the game did not open a sound device within {BACK_WITHIN_S} s of the server answering")
    return reopened


def stalled(kind):
    """The server stops answering for a while (kill -STOP: a Bluetooth
    module that blocks, a session swapped out, an update) with sounds
    queued: every second of it has frames, and once it answers again sounds
    are heard. Escape during such a stop ends the game at once."""
    with SoundServer(kind) as server:
        with Session(f"sound-stalled-{kind}") as session:
            probe = Probe(session.folder)
            start_play(session, probe, server.environment())
            wait_requests(session, probe, 0, 2, names=())
            lines = len(session.log_lines() or [])
            server.pause()
            stopped_at = time.monotonic()
            try:
                check(wait_until(lambda: len(session.log_lines() or []) >= lines + STALL_S + 1, STALL_S + 8),
                      "the game stopped logging its seconds")
            finally:
                server.pause(False)
            answered_at = time.monotonic()
            during = (session.log_lines() or [])[lines:lines + STALL_S + 1]
            print(f"frames each second while the server was stopped: {during}")
            check(all(int(line.split()[0]) > 0 for line in during),
                  f"seconds without a frame while the server was stopped: {during}")
            heard_again(session, probe, server, stopped_at, answered_at)
        with Session(f"sound-stalled-escape-{kind}") as session:
            probe = Probe(session.folder)
            start_play(session, probe, server.environment())
            wait_requests(session, probe, 0, 2, names=())
            server.pause()
            try:
                wait_playing_on(session, seconds=2)
                asked = time.monotonic()
                session.end_with_escape(what="with the server stopped: ")
                took = time.monotonic() - asked
            finally:
                server.pause(False)
            print(f"the game ended {took:.2f} s after Escape, its server stopped")
            check(took < ESCAPE_STALLED_WITHIN_S, f"the game took {took:.1f} s to end after Escape")


def late(kind):
    """No server when the game starts (the session's server starts after
    the game, a headset connects later): once it answers, a sound is heard
    within BACK_WITHIN_S."""
    with SoundServer(kind) as server, Session(f"sound-late-{kind}") as session:
        server.kill()
        probe = Probe(session.folder)
        start_play(session, probe, server.environment())
        wait_playing_on(session)
        check(not [entry for entry in probe.opens() if entry[1] != 0], "a sound device was opened without a server")
        started_at = time.monotonic()
        server.start()
        heard_again(session, probe, server, started_at, time.monotonic())


def ignored_sigchld(kind):
    """restarted, the game started by a parent that ignores SIGCHLD (some
    launchers and shells do so): an ignored SIGCHLD survives exec."""
    game = zarvo_e2e.GAME
    with tempfile.TemporaryDirectory(prefix="zarvo-sigchld-") as folder:
        zarvo_e2e.GAME = os.path.join(folder, "zarvo-sigchld-ignored")
        with open(zarvo_e2e.GAME, "w") as wrapper:
            wrapper.write(f"#!{sys.executable}\nimport os, signal\nsignal.signal(signal.SIGCHLD, signal.SIG_IGN)\n"
                          f"os.execv({game!r}, [{game!r}])\n")
        os.chmod(zarvo_e2e.GAME, 0o755)
        try:
            restarted(kind, "ignored-sigchld")
        finally:
            zarvo_e2e.GAME = game


def unanswered(kind):
    """The server dies and its socket is taken by one that never answers, as
    a server hung while starting: the game's tries to open a device wait on
    it, off the frame. Play goes on, and Escape ends the game at once."""
    with SoundServer(kind) as server, Session(f"sound-unanswered-{kind}") as session:
        probe = Probe(session.folder)
        start_play(session, probe, server.environment())
        wait_requests(session, probe, 0, 2, names=())
        server.kill()
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as silent:
            path = os.path.join(server.folder, "pulse", "native")
            os.remove(path)
            silent.bind(path)
            silent.listen(8)
            check(wait_until(lambda: select.select([silent], [], [], 0)[0], 5),
                  "the game did not try the server's socket again")
            wait_playing_on(session)
            asked = time.monotonic()
            session.end_with_escape()
            took = time.monotonic() - asked
            print(f"the game ended {took:.2f} s after Escape")
            check(took < ESCAPE_WITHIN_S, f"the game took {took:.1f} s to end after Escape")


def driver(kind):
    """The game plays through SDL's own driver for the server it finds: on
    PipeWire, PipeWire's (SDL 2 would take PulseAudio's, through
    pipewire-pulse), on PulseAudio, PulseAudio's. A driver the player names
    in SDL_AUDIODRIVER is the one it takes."""
    with SoundServer(kind) as server:
        for named, wanted in ((None, kind), ("pulseaudio", "pulseaudio")):
            with Session(f"sound-driver-{kind}") as session:
                probe = Probe(session.folder)
                session.extra_env["SDL_AUDIODRIVER"] = None
                session.game_env.update(server.environment())
                session.game_env.update(probe.environment(GAME_PRELOAD))
                if named:
                    session.game_env["SDL_AUDIODRIVER"] = named
                session.start_game()
                session.answer_start_questions(fullscreen=False, left=True, right=False)  # the device opens after them
                check(wait_until(probe.opens, START_GAME_S), f"no sound device opened within {START_GAME_S} s")
                drivers = [entry[5] for entry in probe.opens() if entry[1] != 0]
                check(drivers == [wanted], f"with SDL_AUDIODRIVER {named or 'unset'} on {kind}, the game's "
                      f"devices were opened on {drivers}, not {wanted}")


def no_server(kind):
    """No sound server and no ALSA device: the game opens no device, asks
    for no sound, and plays on; Escape ends it as always."""
    del kind
    if os.path.exists("/proc/asound/cards") and open("/proc/asound/cards").read().strip() not in (
            "", "--- no soundcards ---"):
        print("SKIP: this machine has a sound card")
        sys.exit(SKIP_STATUS)
    with Session("sound-no-server") as session:
        probe = Probe(session.folder)
        runtime = os.path.join(session.folder, "runtime")
        os.mkdir(runtime, 0o700)
        with open(os.path.join(runtime, "client.conf"), "w") as conf:
            conf.write("autospawn = no\n")
        start_play(session, probe, {"XDG_RUNTIME_DIR": runtime,
                                    "PULSE_CLIENTCONFIG": os.path.join(runtime, "client.conf")})
        wait_playing_on(session)
        opens = probe.opens()
        check(opens and all(device == 0 for _, device, *_ in opens), f"a sound device was opened: {opens}")
        check(not probe.requests(), "sounds were queued without a device")
        session.end_with_escape()


if __name__ == "__main__":
    run_scenario_on((heard, killed, restarted, stalled, late, ignored_sigchld, unanswered, driver, no_server), (*SERVERS, "none"), SoundServerUnavailable,
                    sys.argv)
