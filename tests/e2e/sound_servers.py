"""The sound servers players run, started headless for the sound tests:
PipeWire (pipewire, WirePlumber and pipewire-pulse, as GNOME and KDE run it)
or PulseAudio, each in a runtime folder of its own with one null sink,
"zarvo_sink", the default sink, whose monitor is recorded. A game given
environment() finds the server as a player's game finds theirs.

What the game asked for is seen through the probe (sdl_probe.c, preloaded
into it, read by probe.py); the recording is searched for each request by sound_match.cpp.
The tools are found through ZARVO_PROBE_LIBRARY, ZARVO_SOUND_RECORDER
and ZARVO_SOUND_MATCH (CTest sets them).
"""

import os
import shutil
import signal
import subprocess
import tempfile

import probe
from zarvo_e2e import GAME_PRELOAD, PARK_S, SOUND_FILES, SOUNDS, ScenarioFailure, Scoped, check, wait_until

SERVERS = {
    "pipewire": ("pipewire", "wireplumber", "pipewire-pulse"),
    "pulseaudio": ("pulseaudio",),
}
SINK = "zarvo_sink"
RECORDER = os.environ.get("ZARVO_SOUND_RECORDER", "")
MATCH = os.environ.get("ZARVO_SOUND_MATCH", "")
# Longer than any test: should the test be killed outright, no server outlives it for long.
SERVER_TIME_LIMIT_S = 600
START_S = 20
# The sample format of the sound files, which the game plays as they are.
FILE_RATE = 44100
FILE_HEADER_BYTES = 44
# SDL writes to the server every few tens of milliseconds while its device
# lives; a loaded machine has held it up for over half a second.
WRITING_S = 2
# The game's frames as a common display paces them: these rows judge sounds,
# not frame times, and a game drawing without pause would take a core from
# the server, the recorder and the row beside it.
DISPLAY_REFRESH_RATE = 60
# A sound must reach the sink within this time of SDL writing its start.
SEARCH_S = 0.6
# A sound found with less is not the one asked for (the files themselves,
# resampled by the server, score over 0.9; one broken by a gap, less).
HEARD_SCORE = 0.6
SAME_PLACE_S = 0.01
# A busy machine's server can take nothing for over a second: the sounds
# then come late, or are lost when the game closes the device that took
# nothing and opens another. SDL writing nothing for this long is such a
# stall; a close after less is the game's own doing, and the sounds it cut
# are judged as lost.
SERVER_STALL_S = 0.5

# PipeWire's own configuration, added to the installed one: the null sink
# exists before pipewire-pulse opens its socket to clients.
PIPEWIRE_SINK = """context.objects = [
    { factory = adapter
        args = {
            factory.name = support.null-audio-sink
            node.name = %s
            node.description = "Zarvo sink"
            media.class = Audio/Sink
            audio.position = [ FL FR ]
        }
    }
]
""" % SINK


class SoundServerUnavailable(Exception):
    """The server's programs are not installed."""


class SoundServer(Scoped):
    """One server of a kind in SERVERS, started at __enter__; kill() ends it
    as a crash does, start() brings it back. Use as a context manager."""

    def __init__(self, kind):
        check(kind in SERVERS, f"no sound server {kind!r}")
        needed = SERVERS[kind] + ("dbus-daemon", "pactl") + (("pw-cli",) if kind == "pipewire" else ())
        absent = [program for program in needed if shutil.which(program) is None]
        if absent:
            raise SoundServerUnavailable(f"{' and '.join(absent)} not installed")
        self.kind = kind
        self.folder = None
        self.bus = None
        self.processes = []
        self.recordings = []
        self.output = None

    def start_up(self):
        self.folder = tempfile.mkdtemp(prefix=f"zarvo-sound-{self.kind}-")
        for sub in ("home", "config/pipewire/pipewire.conf.d"):
            os.makedirs(os.path.join(self.folder, sub))
        # The server's own folder, which a session has before any client
        # runs. pipewire-pulse makes it only where it looked and found
        # none, and fails to start if a client (our pactl) made it in
        # between.
        os.mkdir(os.path.join(self.folder, "pulse"), 0o700)
        with open(os.path.join(self.folder, "config/pipewire/pipewire.conf.d/zarvo-sink.conf"), "w") as conf:
            conf.write(PIPEWIRE_SINK)
        # A client finding no server would start PulseAudio itself.
        with open(os.path.join(self.folder, "client.conf"), "w") as conf:
            conf.write("autospawn = no\n")
        self.output = tempfile.TemporaryFile("w+")
        self.bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                f"--address=unix:path={self.folder}/bus"])
        check(wait_until(lambda: os.path.exists(os.path.join(self.folder, "bus")), START_S),
              "the D-Bus daemon did not start")
        self.start()

    def __exit__(self, kind, value, trace):
        if kind is not None and self.output is not None:
            print(f"--- {self.kind} said:\n{self.said()}")
        for recording in self.recordings:
            recording.end()
        self.kill()
        if self.bus is not None:
            self._end(self.bus)
        if self.folder is not None:
            shutil.rmtree(self.folder, ignore_errors=True)
        return False

    def environment(self):
        """What a client needs to find this server: the runtime folder, as a
        desktop session sets it."""
        return {"XDG_RUNTIME_DIR": self.folder, "PULSE_CLIENTCONFIG": os.path.join(self.folder, "client.conf")}

    def _server_environment(self):
        env = {name: value for name, value in os.environ.items()
               if name not in ("DISPLAY", "WAYLAND_DISPLAY", "PULSE_SERVER")}
        env.update(self.environment())
        env.update({"HOME": os.path.join(self.folder, "home"), "XDG_CONFIG_HOME": os.path.join(self.folder, "config"),
                    "DBUS_SESSION_BUS_ADDRESS": f"unix:path={self.folder}/bus"})
        return env

    def _spawn(self, command):
        return subprocess.Popen(["timeout", "-s", "KILL", str(SERVER_TIME_LIMIT_S), *command],
                                env=self._server_environment(), stdout=self.output, stderr=self.output,
                                start_new_session=True)

    def start(self):
        """Starts the server and returns once its null sink is the default
        sink clients get."""
        if self.kind == "pulseaudio":
            # The sink is loaded before the socket opens.
            self.processes = [self._spawn(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                           "--use-pid-file=no", "-L", f"module-null-sink sink_name={SINK}",
                                           "-L", "module-native-protocol-unix"])]
        else:
            # WirePlumber and pipewire-pulse end at once when PipeWire does
            # not answer yet.
            self.processes = [self._spawn(["pipewire"])]
            check(wait_until(lambda: self._alive() and self._answers(["pw-cli", "info", "0"]), START_S, interval=0.1),
                  f"PipeWire did not answer within {START_S} s")
            self.processes += [self._spawn([program]) for program in SERVERS[self.kind][1:]]

        def ready():
            return self._alive() and f"Default Sink: {SINK}\n" in self.pactl("info")
        check(wait_until(ready, START_S, interval=0.1), f"{self.kind} did not offer its sink within {START_S} s")

    def _alive(self):
        for process in self.processes:
            check(process.poll() is None, f"{self.kind} ended as it started: {self.said()}")
        return True

    def _answers(self, command):
        return subprocess.run(command, env=self._server_environment(), capture_output=True,
                              timeout=10).returncode == 0

    def kill(self):
        """Ends the server's programs at once, as a crash ends them, and waits
        until they are gone."""
        for process in self.processes[:1]:
            try:
                os.killpg(process.pid, signal.SIGCONT)  # a stopped server ends too
            except ProcessLookupError:
                pass
        for process in self.processes:
            self._end(process, signal.SIGKILL)
        self.processes = []

    def pause(self, paused=True):
        """Stops the server (PipeWire itself, not its session manager nor
        pipewire-pulse) as kill -STOP does, or lets it go on: it keeps its
        connections and answers none meanwhile."""
        os.killpg(self.processes[0].pid, signal.SIGSTOP if paused else signal.SIGCONT)

    @staticmethod
    def _end(process, first=signal.SIGTERM):
        for signal_number in (first, signal.SIGKILL):
            try:
                os.killpg(process.pid, signal_number)
            except ProcessLookupError:
                pass
            try:
                process.wait(5)
                return
            except subprocess.TimeoutExpired:
                pass

    def pactl(self, *arguments):
        result = subprocess.run(["pactl", *arguments], env=self._server_environment(), capture_output=True,
                                text=True, timeout=10)
        return result.stdout if result.returncode == 0 else ""

    def said(self):
        self.output.seek(0)
        return self.output.read()[-3000:]

    def record(self, path):
        """Starts recording the sink's monitor into path."""
        self.recordings.append(Recording(path, self._server_environment()))
        return self.recordings[-1]


class Recording:
    """The sink's monitor recorded by zarvo_sound_recorder until stop(), or
    until the server goes away."""

    def __init__(self, path, env):
        self.path = path
        self.origin = None
        self.dropped_ms = None
        self.process = subprocess.Popen([RECORDER, f"{SINK}.monitor", path], env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        if self.process.stdout.readline() != "recording\n":
            raise ScenarioFailure(f"the recorder did not start: {self.process.communicate(timeout=10)[1].strip()}")

    def end(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def stop(self):
        """Ends the recording; returns the time of its first sample."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        out, error = self.process.communicate(timeout=10)
        fields = out.split()
        check(len(fields) == 4 and fields[0] == "origin", f"the recorder gave no times: {error.strip()}")
        self.origin = float(fields[1])
        self.dropped_ms = float(fields[3])
        return self.origin

    def find(self, requests):
        """For each sound asked for, as Probe.requests gives them: where it
        is first heard,
        (name, latency in ms, score, ms of gaps), named by the file that
        matches best there; None for a sound cut off at once by the next."""
        check(self.origin is not None, "the recording has not been stopped")
        result = subprocess.run([MATCH, self.path, str(HEARD_SCORE),
                                 *(os.path.join(SOUNDS, name) for name in SOUND_FILES)],
                                input="".join(f"{time:.6f} {name} {ms:.1f} {latest:.6f}\n" for time, name, ms, latest in requests), capture_output=True, text=True,
                                timeout=120)
        check(result.returncode == 0, f"zarvo_sound_match failed: {result.stderr.strip()}")
        found = []
        for line in result.stdout.splitlines():
            fields = line.split()
            found.append(None if fields[0] == "short" else
                         (fields[0], float(fields[1]), float(fields[2]), int(fields[3])))
        return found


    def occurrences(self, start, end, step=0.5):
        """Every place between the times start and end where one of the
        sounds is heard: (time, name), in order. The recording is searched as
        though each sound had been asked for every step seconds."""
        places = []
        for name in (os.path.splitext(file)[0] for file in SOUND_FILES):
            grid = [(start + i * step, name, 1000 * step, start + (i + 1) * step)
                    for i in range(int((end - start) / step))]
            for (t, _, _, _), match in zip(grid, self.find(grid)):
                if match is not None and match[0] == name and match[2] >= HEARD_SCORE:
                    at = t + match[1] / 1000
                    if not any(abs(at - other) < SAME_PLACE_S for other, _ in places):
                        places.append((at, name))
        return sorted(places)


class Probe(probe.Probe):
    """What the game asked of SDL and what SDL gave the server, as the
    probe preloaded into the game wrote it down."""

    stalled_away = ()

    def requests(self):
        """(time, name, ms, latest) of each sound the game asked for: named by
        its length in the device's format, with the milliseconds of it that
        can have been played (what SDL wrote of it to the server before the
        next request cut it off: nothing if its start was never written) and
        the time by which it must have started to reach the sink. A sound
        due while the server stalled counts as never played (ms 0), and its
        time is kept in stalled_away."""
        opens = [entry for entry in self.opens() if entry[1] != 0]
        queued = self.queued()
        writes = self.writes()
        starts = self.starts()
        stalls = self.server_stalls(writes)
        self.stalled_away = []
        named = []
        for i, (t, size) in enumerate(queued):
            device = [entry for entry in opens if entry[0] <= t]
            check(device, "a sound was queued before a device was open")
            rate, channels, sample_format = device[-1][2:5]
            frame_bytes = channels * (sample_format & 0xFF) // 8
            ms = 1000 * size / frame_bytes / rate
            cut = queued[i + 1][0] if i + 1 < len(queued) else float("inf")
            started = [w for w in starts if t < w < cut]
            latest = (started[0] if started else t) + SEARCH_S
            # Where SDL writes nothing for long, its device is gone: what it
            # never wrote was lost, not cut off.
            if started:
                handed = sum(written for w, written in writes if started[0] <= w < cut)
                ms = min(ms, 1000 * handed / frame_bytes / rate)
            elif any(t < w < min(cut, t + SEARCH_S) + WRITING_S for w, _ in writes):
                ms = 0
            else:
                ms = min(ms, 1000 * (cut - t))
                latest = min(latest, cut)
            heard_by = min(cut, latest + ms / 1000)
            if any(t < end and heard_by > silent_from for silent_from, end in stalls):
                ms = 0
                self.stalled_away.append(t)
            named.append((t, sound_named(size, rate, frame_bytes), ms, latest))
        return named

    def server_stalls(self, writes):
        """(last write, end) of each time the server took nothing from SDL
        for SERVER_STALL_S, to its next write or the game's close of the
        device, whichever came first: what was to play then came late or
        was lost, and is not judged."""
        closes = self.closes()
        stalls = []
        for (silent_from, _), (next_write, _) in zip(writes, writes[1:]):
            end = min([next_write] + [closed for closed in closes if silent_from < closed])
            if end - silent_from >= SERVER_STALL_S:
                stalls.append((silent_from, end))
        return stalls


def start_play(session, probe, server_env):
    """The left computer against an idle right paddle at the top: bounces
    and misses. (In the middle, it could return the computer's level balls
    for a minute.)"""
    session.extra_env["SDL_AUDIODRIVER"] = None
    session.game_env.update(server_env)
    session.game_env.update(probe.environment(GAME_PRELOAD, refresh_rate=DISPLAY_REFRESH_RATE))
    session.start_to_court()
    session.hold_key_for("Up", PARK_S)


def file_frames(name):
    """The samples in the sound file name (16-bit mono)."""
    return (os.path.getsize(os.path.join(SOUNDS, name)) - FILE_HEADER_BYTES) // 2


def sound_seconds(name):
    """How long the sound name ("miss") lasts."""
    return file_frames(name + ".wav") / FILE_RATE


def requests_for(calls, search_s):
    """What Recording.find takes for sounds asked for at (time, name): each
    can play until the next is asked for, and is looked for until search_s
    after its call."""
    return [(t, name, 1000 * min(sound_seconds(name), after - t), t + search_s)
            for (t, name), (after, _) in zip(calls, calls[1:] + [(float("inf"), None)])]


def sound_named(size, rate, frame_bytes):
    """The sound file whose samples come to size bytes at that rate and
    frame size, or "?"."""
    for name in SOUND_FILES:
        frames = file_frames(name)
        if abs(size - frames * rate // FILE_RATE * frame_bytes) <= 8 * frame_bytes:
            return os.path.splitext(name)[0]
    return "?"
