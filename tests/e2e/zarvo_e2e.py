"""Drives the real zarvo program on its own Xvfb screen with xdotool.

A Session starts a private X server on a free display, runs the game in a
fresh working folder holding the three sounds, and offers what the scenarios
need: answering the start-up questions by key or by click, finding the game
window, screenshots with pixel tests, game keys, the close request, and the
exit status. Everything it started is ended when the session ends, whether
the scenario passed or not. The screen is a bare Xvfb, or a desktop: openbox
on the Xvfb, or GNOME's or KDE's compositor (mutter, KWin) with XWayland.
"""

import collections
import ctypes
import fcntl
import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

import x_grab

GAME = os.environ.get("ZARVO", "")
# Asks for what a window manager's buttons do (window_manager.c).
WINDOW_MANAGER = os.environ.get("ZARVO_WINDOW_MANAGER", "")
SOUNDS = os.environ.get("ZARVO_SOUNDS", "")
SOUND_FILES = ("miss.wav", "tbhit.wav", "rlhit.wav")
# Libraries preloaded into the game only (the sanitizer builds keep the GL
# driver mapped to the end, so that its allocations can be told apart).
GAME_PRELOAD = os.environ.get("ZARVO_PRELOAD", "")

# The user and group with no rights of their own that a session may run the
# game as (nobody, nogroup).
NOBODY = 65534
# The game's own limit: a scenario that loses control of it still ends.
GAME_TIME_LIMIT_S = 90
SKIP_STATUS = 77  # what CTest's SKIP_RETURN_CODE is set to for the scripts
# Escape ends the game with the key's code: the Windows program's last
# message taken is a key message of Escape, whose word parameter is 27.
ESCAPE_STATUS = 27
SPLASH_SECONDS = 5
# A build run under an emulator (ZARVO_EMULATED, set by its tests) starts many
# times slower and draws one to five frames a second.
EMULATED = bool(os.environ.get("ZARVO_EMULATED"))
# A sanitizer build (ZARVO_SANITIZED) starts a few times slower: its first
# frame took over 3 s beside the other lane's tests.
SANITIZED = bool(os.environ.get("ZARVO_SANITIZED"))
# How long the first frame may take once the game window is up.
FIRST_FRAME_SECONDS = 20 if EMULATED else 8 if SANITIZED else 3
# What a sanitizer build's end takes beyond the program's own: LeakSanitizer
# stops every thread and reads the whole heap as the process exits. An ASan
# game's end took 0.35 s idle and up to 1.65 s beside a compile and a lane of
# games (the optimised build's 0.16 s either way); a whole run's roots held
# one past 2 s.
END_SLACK_S = 4 if SANITIZED else 0
# From one screenshot to the next while waiting on the screen. Each takes a
# busy core about 30 ms, beside the game being watched: an emulated game,
# whose splash frames take 0.2 to 1 s each, is looked at less often, so that
# the looking leaves it the processor.
SHOT_INTERVAL_S = 0.1 if EMULATED else 0.02
# Long enough for a held key to take a paddle from the middle to a wall.
PARK_S = 1.5
# By its full name: the game may be given a PATH of its own.
TIMEOUT = shutil.which("timeout")
XVFB_TIME_LIMIT_S = 150

# The desktops a session can show the game on: a bare X server, the classic
# window manager openbox on it, and the Wayland compositors of GNOME (mutter)
# and KDE (KWin), whose XWayland serves the game: SDL picks X11 first.
DESKTOPS = ("xvfb", "openbox", "mutter", "kwin")
DESKTOP_START_S = 30

# A termination request (CTest's time limit) ends the scenario through the
# sessions' clean-up like any failure.
signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(f"terminated by signal {number}"))

# Colours the game draws.
TITLE_BLUE = (103, 196, 255)
WALL_BLUE = (0, 163, 255)
TOP_BAR_BLUE = (0, 86, 167)
WHITE = (255, 255, 255)

# Screen rows and columns of the court at 1152 by 864, with the window at 0,0:
# 173.8 pixels a scene unit, the origin at the centre.
TOP_WALL_ROW = 28
BOTTOM_WALL_ROW = 836
TOP_BAR_ROW = 17
BOTTOM_BAR_ROW = 846
LEFT_PADDLE_COLUMN = 41
RIGHT_PADDLE_COLUMN = 1111


class ScenarioFailure(AssertionError):
    pass


class DesktopUnavailable(Exception):
    """The desktop cannot start on this machine: its program is missing, or
    ends as soon as it starts."""


def check(condition, message):
    if not condition:
        raise ScenarioFailure(message)


def wait_until(condition, timeout, interval=0.05):
    """Polls condition until it gives a true value, which is returned; None
    when the timeout passes first."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            return None
        time.sleep(interval)


def appending(output):
    """Sets a file to append, for the output of processes that the test reads
    while they run. They share the file's offset with the test, which goes
    back to the start to read: without it, a line written meanwhile lands
    there, over earlier output (a KWin script's last line before its first)."""
    fcntl.fcntl(output, fcntl.F_SETFL, fcntl.fcntl(output, fcntl.F_GETFL) | os.O_APPEND)
    return output


def near(pixel, colour, tolerance):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))


class Shot:
    """A screenshot or picture, as rows of RGB bytes."""

    def __init__(self, width, height, data):
        self.width = width
        self.height = height
        self.data = data

    @classmethod
    def of(cls, command, env=None):
        """The picture that an ImageMagick command writes as PPM on its
        standard output."""
        ppm = subprocess.run(command, env=env, capture_output=True, check=True, timeout=60).stdout
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        check(header is not None, f"{command[0]} wrote no 8-bit PPM")
        width, height = int(header.group(1)), int(header.group(2))
        data = ppm[header.end():]
        check(len(data) == width * height * 3, f"{command[0]} wrote {len(data)} bytes of pixels for {width}x{height}")
        return cls(width, height, data)

    @classmethod
    def read(cls, path, frame=None):
        """A picture file; of an animation, its "first" or "last" whole frame."""
        selection = {None: [], "first": ["-coalesce", "-delete", "1--1"], "last": ["-coalesce", "-delete", "0--2"]}
        return cls.of(["convert", path, *selection[frame], "-depth", "8", "ppm:-"])

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def count(self, predicate, left, top, right, bottom, step=1):
        return sum(1 for y in range(top, bottom, step) for x in range(left, right, step)
                   if predicate(self.pixel(x, y)))

    def count_near(self, colour, tolerance, box=None):
        """Pixels near colour in the box (left, top, width, height), by default
        the whole picture."""
        left, top, width, height = box or (0, 0, self.width, self.height)
        return self.count(lambda p: near(p, colour, tolerance), left, top, left + width, top + height)

    def grey_run_centre(self, column, top=33, bottom=831):
        """Centre row of the longest run of bright grey pixels in a column (a
        paddle), or None."""
        best = (0, None)
        start = None
        for y in range(top, bottom + 1):
            r, g, b = self.pixel(column, y) if y < bottom else (0, 0, 0)
            grey = r > 90 and abs(r - g) < 30 and abs(g - b) < 30 and abs(r - b) < 30
            if grey and start is None:
                start = y
            elif not grey and start is not None:
                if y - start > best[0]:
                    best = (y - start, (start + y - 1) / 2)
                start = None
        return best[1] if best[0] >= 40 else None

    def save(self, path):
        subprocess.run(["convert", "-size", f"{self.width}x{self.height}", "-depth", "8", "rgb:-", path],
                       input=self.data, check=True)


# A window on the X screen, as xwininfo lists it.
Window = collections.namedtuple("Window", "id title width height x y")


class WaylandBox:
    """A question box shown as a native Wayland window: zenity's, which GTK 4
    puts on the compositor itself where it has a Wayland display, although
    the game is an X client. No X tool sees it; handle is how the compositor
    or the process list knows it."""

    def __init__(self, title, handle):
        self.title = title
        self.handle = handle

    def __repr__(self):
        return f"Wayland window {self.title!r} ({self.handle})"


def x_server_pid(display):
    """The process serving the X display as its clients reach it, by the
    kernel's account of the socket's peer (0 for a process this PID namespace
    does not see). Clients try the display's abstract socket first, which
    every mount namespace on the machine shares: a release root's private
    /tmp hides lock files, not abstract sockets."""
    number = display.lstrip(":").split(".")[0]
    for address in ("\0/tmp/.X11-unix/X" + number, "/tmp/.X11-unix/X" + number):
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as connection:
            try:
                connection.connect(address)
            except OSError:
                continue
            credentials = connection.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, struct.calcsize("3i"))
            return struct.unpack("3i", credentials)[0]
    return None


def read_stat(path):
    """A process's or thread's name and the fields after it, from its stat
    file; None once it has gone."""
    try:
        with open(path) as stat:
            head, fields = stat.read().rsplit(")", 1)
    except (OSError, ValueError):
        return None
    return head.split("(", 1)[1], fields.split()


def processes_in_group(group):
    """(pid, name) of the living processes in a process group."""
    found = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        stat = read_stat(f"/proc/{entry}/stat")
        if stat is not None and stat[1][0] != "Z" and int(stat[1][2]) == group:
            found.append((int(entry), stat[0]))
    return found


def threads_of(pid):
    """(name, state, what the kernel has it wait in) of each thread of a
    process: where a program that does not end is held."""
    found = []
    folder = f"/proc/{pid}/task"
    try:
        tasks = os.listdir(folder)
    except OSError:
        return found
    for task in tasks:
        stat = read_stat(f"{folder}/{task}/stat")
        try:
            with open(f"{folder}/{task}/wchan") as wchan:
                waiting_in = wchan.read()
        except OSError:
            continue
        if stat is not None:
            found.append((stat[0], stat[1][0], waiting_in))
    return found


def group_processes(session):
    """The processes still alive in the game's process group: the time limit,
    the game, and whatever the game started (a box's own process, zenity)."""
    return [pid for pid, _ in processes_in_group(session.game.pid)]


class MutterKeyboard:
    """Keys pressed through mutter's remote desktop interface, which sends
    them to the focused window as a keyboard of its own does: the way to reach
    a native Wayland window there (XWayland passes xdotool's keys to X windows
    only). mutter ends the remote desktop session when the connection that
    made it closes, so it is kept open."""

    def __init__(self, bus_address):
        from gi.repository import Gio, GLib
        self.variant = GLib.Variant
        self.error = GLib.Error
        self.bus = Gio.DBusConnection.new_for_address_sync(
            bus_address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        self.call_sync = lambda path, interface, method, arguments=None, reply=None: self.bus.call_sync(
            "org.gnome.Mutter.RemoteDesktop", path, interface, method, arguments,
            GLib.VariantType(reply) if reply else None, Gio.DBusCallFlags.NONE, 5000, None)
        self.session = self.call_sync("/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop",
                                      "CreateSession", reply="(o)").unpack()[0]
        self.call("Start")
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XStringToKeysym.restype = ctypes.c_ulong
        x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.keysym = lambda name: x11.XStringToKeysym(name.encode())

    def call(self, method, arguments=None):
        self.call_sync(self.session, "org.gnome.Mutter.RemoteDesktop.Session", method, arguments)

    def press(self, key):
        keysym = self.keysym(key)
        check(keysym != 0, f"no key {key!r}")
        for down in (True, False):
            self.call("NotifyKeyboardKeysym", self.variant("(ub)", (keysym, down)))

    def close(self):
        try:
            self.bus.close_sync(None)
        except self.error:  # closed already: the compositor has gone
            pass


class Scoped:
    """A context that starts in start_up(): should the start fail, __exit__
    undoes what of it was done."""

    def __enter__(self):
        try:
            self.start_up()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self


class Session(Scoped):
    """One game on one private screen. Use as a context manager."""

    def __init__(self, name, screen="1280x1024x24", env=None, sounds=SOUND_FILES, as_nobody=False,
                 time_limit=GAME_TIME_LIMIT_S, xvfb_args=(), desktop="xvfb", scale=1):
        self.name = name
        # The output's scale, on KWin: points to a pixel.
        self.scale = scale
        check(desktop in DESKTOPS, f"no desktop {desktop!r}")
        self.desktop = desktop
        # The window manager or compositor, and what it gives its clients.
        self.manager = None
        self.manager_output = None
        self.desktop_env = {}
        self.runtime_folder = None
        self.first_client_hold = None
        self.mutter_keyboard = None
        # The game's time limit; its X server's is a minute longer.
        self.time_limit = time_limit
        self.xvfb_time_limit = time_limit + XVFB_TIME_LIMIT_S - GAME_TIME_LIMIT_S
        self.screen = screen
        self.xvfb_args = list(xvfb_args)
        self.extra_env = env or {}
        # Given to the game alone, not to the tools that drive it.
        self.game_env = {}
        self.sounds = sounds
        self.as_nobody = as_nobody
        self.xvfb = None
        self.game = None
        self.display = None
        self.folder = None
        self.program_folder = None
        self.last_answer_time = None

    # ---- life cycle ------------------------------------------------------

    def start_up(self):
        self.folder = tempfile.mkdtemp(prefix=f"zarvo-e2e-{self.name}-")
        for sound in self.sounds:
            shutil.copy(os.path.join(SOUNDS, sound), self.folder)
        self._start_desktop()

    def __exit__(self, kind, value, trace):
        failed = kind is not None
        if failed:
            self._report()
        self._end_game()
        self._end_manager()
        if self.xvfb is not None:
            # Never leave a key held for whoever uses this server next.
            self.xdotool("keyup", "Escape", "Up", "Down", "w", "s", check_result=False)
            self.xvfb.terminate()
            try:
                self.xvfb.wait(5)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
        self._remove_folders()
        return False

    def _remove_folders(self):
        if self.folder is not None:
            os.chmod(self.folder, 0o755)
            shutil.rmtree(self.folder, ignore_errors=True)
        if self.program_folder is not None:
            shutil.rmtree(self.program_folder, ignore_errors=True)

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        # Its own time limit too: should this script be killed outright, the
        # server does not outlive it for long.
        self.xvfb = subprocess.Popen(
            ["timeout", "-s", "KILL", str(self.xvfb_time_limit), "Xvfb", "-displayfd", str(write_end), "-screen", "0", self.screen, "-noreset", "-nolisten", "tcp"]
            + self.xvfb_args,
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 10
        os.set_blocking(read_end, False)
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            try:
                chunk = os.read(read_end, 16)
            except BlockingIOError:
                chunk = None
            if chunk == b"":
                break
            if chunk:
                number += chunk
            else:
                time.sleep(0.02)
        os.close(read_end)
        check(number.strip().isdigit(), "Xvfb did not report a display number")
        self.display = ":" + number.strip().decode()
        with open(f"/proc/{self.xvfb.pid}/task/{self.xvfb.pid}/children") as children:
            self._check_own_server([int(children.read().split()[0])], "Xvfb")
        # A window manager would have made this atom; SDL sets a borderless
        # window's hints only when it exists, and the scenarios read them.
        self.run("xprop", "-root", "-f", "_MOTIF_WM_HINTS", "32c", "-set", "_MOTIF_WM_HINTS", "0")
        self.run("xprop", "-root", "-remove", "_MOTIF_WM_HINTS")

    def _check_own_server(self, pids, server):
        """Checks that the display's clients reach the session's own X server
        (one of pids): else every tool here would drive another session's."""
        serving = x_server_pid(self.display)
        check(serving in pids, f"display {self.display} is served by process {serving}, not by the session's "
                               f"{server}: another X server on this machine holds its socket")

    # ---- desktops ----------------------------------------------------------

    def _start_desktop(self):
        if self.desktop in ("xvfb", "openbox"):
            self._start_xvfb()
        if self.desktop == "openbox":
            self._start_openbox()
        elif self.desktop in ("mutter", "kwin"):
            self._start_compositor()

    def _start_openbox(self, *options):
        if shutil.which("openbox") is None:
            raise DesktopUnavailable("openbox is not installed")
        # openbox runs its start-up command once it manages windows: a window
        # mapped before then can stay unmapped, its request never answered.
        self.runtime_folder = self.runtime_folder or tempfile.mkdtemp(prefix=f"zarvo-e2e-{self.name}-openbox-")
        ready = os.path.join(self.runtime_folder, "ready")
        if os.path.exists(ready):
            os.remove(ready)
        self.manager_output = appending(tempfile.TemporaryFile("w+"))
        self.manager = subprocess.Popen(
            [TIMEOUT, "-s", "KILL", str(self.xvfb_time_limit), "openbox", *options, "--sm-disable", "--startup",
             f"touch {ready}"], env=self.environment(),
            stdout=self.manager_output, stderr=self.manager_output, start_new_session=True)
        started = wait_until(lambda: os.path.exists(ready) or self.manager.poll() is not None, DESKTOP_START_S)
        check(started and self.manager.poll() is None,
              f"openbox did not start within {DESKTOP_START_S} s: {self.manager_said()}")
        self._wait_manager()

    def _start_compositor(self):
        """Starts mutter or KWin headless on a virtual monitor of the
        session's screen size, with XWayland, in a runtime folder of its own,
        so that sessions can run side by side. Its first client writes the
        environment the compositor gives its clients, then lives as long as
        the session holds the pipe "hold" open: mutter ends with it."""
        needed = [{"mutter": "mutter", "kwin": "kwin_wayland"}[self.desktop], "Xwayland", "dbus-run-session"]
        absent = [program for program in needed if shutil.which(program) is None]
        if absent:
            raise DesktopUnavailable(f"{' and '.join(absent)} not installed")
        width, height = self.screen.split("x")[:2]
        # An X server makes this folder writable by all, sticky; mutter checks
        # that it is so, but where it makes the folder itself the umask takes
        # the write bits.
        if not os.path.isdir("/tmp/.X11-unix"):
            os.makedirs("/tmp/.X11-unix", exist_ok=True)
            os.chmod("/tmp/.X11-unix", 0o1777)
        self.runtime_folder = tempfile.mkdtemp(prefix=f"zarvo-e2e-{self.name}-{self.desktop}-")
        ready = os.path.join(self.runtime_folder, "environment")
        hold = os.path.join(self.runtime_folder, "hold")
        first_client = os.path.join(self.runtime_folder, "first-client")
        os.mkfifo(hold)
        with open(first_client, "w") as script:
            script.write('#!/bin/sh\nenv > "$1.part" && mv "$1.part" "$1"\nexec cat "$2" >/dev/null\n')
        os.chmod(first_client, 0o755)
        self.first_client_hold = os.open(hold, os.O_RDWR | os.O_CLOEXEC)
        env = {name: value for name, value in os.environ.items()
               if name not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS")}
        env["XDG_RUNTIME_DIR"] = self.runtime_folder
        # The desktop's settings are its own, not those of whoever runs the tests.
        env["XDG_CONFIG_HOME"] = os.path.join(self.runtime_folder, "config")
        os.mkdir(env["XDG_CONFIG_HOME"])
        if self.desktop == "kwin":
            with open(os.path.join(env["XDG_CONFIG_HOME"], "kwinrc"), "w") as settings:
                # KWin 6.7 asks the person at the screen before XWayland may
                # pass on keys and clicks made up by its clients (xdotool's);
                # the test session is that person and allows them.
                settings.write("[Xwayland]\nXwaylandEisNoPrompt=true\n")
        if self.desktop == "mutter":
            command = ["mutter", "--headless", "--virtual-monitor", f"{width}x{height}", "--wayland",
                       "--wayland-display", "wayland-zarvo", "--", first_client, ready, hold]
        else:
            # The installed program carries a file capability (to raise its
            # own limits), which a container without that capability refuses
            # to run; a copy has none. KWin takes its client as one string.
            kwin = shutil.copy(shutil.which("kwin_wayland"), self.runtime_folder)
            command = [kwin, "--virtual", "--xwayland", "--socket", "wayland-zarvo", "--width", width,
                       "--height", height, "--scale", str(self.scale), "--no-lockscreen",
                       f"{first_client} {ready} {hold}"]
        self.manager_output = appending(tempfile.TemporaryFile("w+"))
        self.manager = subprocess.Popen(
            [TIMEOUT, "-s", "KILL", str(self.xvfb_time_limit), "dbus-run-session", "--", *command], env=env,
            stdout=self.manager_output, stderr=self.manager_output, start_new_session=True)
        started = wait_until(lambda: os.path.exists(ready) or self.manager.poll() is not None, DESKTOP_START_S)
        if self.manager.poll() is not None:
            raise DesktopUnavailable(f"{self.desktop} ended as it started: {self.manager_said()}")
        check(started, f"{self.desktop} did not start its first client within {DESKTOP_START_S} s")
        with open(ready) as given:
            variables = dict(line.split("=", 1) for line in given.read().splitlines() if "=" in line)
        self.desktop_env = {name: variables.get(name, "") for name in
                            ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS")}
        self.display = self.desktop_env["DISPLAY"]
        check(self.display, f"{self.desktop} gave its clients no X display")
        # The compositor makes XWayland's sockets: the kernel names it as their peer.
        self._check_own_server([pid for pid, _ in processes_in_group(self.manager.pid)], self.desktop)
        self._wait_manager()

    def desktop_version(self):
        """The compositor's version, (major, minor)."""
        if self.desktop == "mutter":
            said = self.run("mutter", "--version")
        else:
            check(self.desktop == "kwin", f"{self.desktop} is not a compositor")
            said = self.run("dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin", "/KWin",
                            "org.kde.KWin.supportInformation")
        version = re.search(r"(?:^mutter |KWin version: )(\d+)\.(\d+)", said, re.M)
        check(version is not None, f"{self.desktop} does not tell its version")
        return int(version.group(1)), int(version.group(2))

    def manager_lines(self):
        """What the window manager or compositor has written, line by line."""
        self.manager_output.seek(0)
        return self.manager_output.read().strip().splitlines()

    def manager_said(self, lines=3):
        """The last lines the window manager or compositor wrote; all that it
        wrote for lines None."""
        return " | ".join(self.manager_lines()[-lines if lines else 0:])

    def _wait_manager(self):
        """Waits until the window manager has taken the X screen."""
        def managing():
            check(self.manager.poll() is None, f"{self.desktop} ended: {self.manager_said()}")
            return "Name:" in self.run("wmctrl", "-m", check_result=False)
        check(wait_until(managing, DESKTOP_START_S),
              f"{self.desktop} did not manage the screen within {DESKTOP_START_S} s")

    def _end_manager(self):
        """Ends the window manager or compositor with what it started (XWayland,
        its D-Bus daemon): its whole process group, and nothing else."""
        if self.mutter_keyboard is not None:
            self.mutter_keyboard.close()
            self.mutter_keyboard = None
        if self.first_client_hold is not None:
            os.close(self.first_client_hold)
            self.first_client_hold = None
        if self.manager is not None:
            def group_gone():
                self.manager.poll()  # a leader not yet waited for still counts
                try:
                    os.killpg(self.manager.pid, 0)
                    return False
                except ProcessLookupError:
                    return True
            # Given time to end cleanly, an X server leaves no lock behind.
            for signal_number in (signal.SIGTERM, signal.SIGKILL):
                if group_gone():
                    break
                os.killpg(self.manager.pid, signal_number)
                wait_until(group_gone, 10)
            self.manager.wait()
        if self.runtime_folder is not None:
            shutil.rmtree(self.runtime_folder, ignore_errors=True)

    def close_button(self, window_id):
        """What the window's close button does: the window manager's close,
        as wmctrl asks for it; on a bare X server, the request the manager
        would send."""
        if self.desktop == "xvfb":
            self.request_close(window_id)
        else:
            self.run("wmctrl", "-i", "-c", window_id)

    def kwin_script(self, body):
        """Runs JavaScript in KWin, loaded over D-Bus, and returns what it
        passed to say(), in order; what a script prints comes out in KWin's
        own output. KWin 6 lists windows with windowList, KWin 5 with
        clientList: the script's windows() is the one there is."""
        check(self.desktop == "kwin", "only KWin takes scripts")
        name = f"zarvo-script-{time.monotonic_ns()}"
        script = os.path.join(self.runtime_folder, name + ".js")
        with open(script, "w") as source:
            source.write(f"function say(text) {{ print('{name} ' + text); }}\n"
                         "function windows() {\n"
                         "    return workspace.windowList ? workspace.windowList() : workspace.clientList();\n"
                         "}\n"
                         f"{body}\n"
                         f"print('{name} end');\n")

        def call(method, *arguments):
            self.run("dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin", "/Scripting",
                     f"org.kde.kwin.Scripting.{method}", *arguments)
        call("loadScript", f"string:{script}", f"string:{name}")
        call("start")
        said = []

        def ended():
            said[:] = [line.split(f"{name} ", 1)[1] for line in self.manager_lines() if f"{name} " in line]
            return said and said[-1] == "end"
        finished = wait_until(ended, 10)
        call("unloadScript", f"string:{name}")
        os.remove(script)
        check(finished, f"KWin did not run the script: {self.manager_said()}")
        return said[:-1]

    def compositor_close(self, caption):
        """Asks KWin to close its windows with this caption, as their close
        buttons do, native Wayland windows too (xdotool and wmctrl reach X
        windows only); returns how many there were."""
        said = self.kwin_script(f"var closed = 0;\n"
                                f"windows().forEach(function (window) {{\n"
                                f"    if (window.caption !== {json.dumps(caption)}) return;\n"
                                f"    window.closeWindow();\n"
                                f"    closed++;\n"
                                f"}});\n"
                                f"say(closed);")
        return int(said[0])

    # ---- native Wayland windows ----------------------------------------------------

    def wayland_box(self, title):
        """The question box with this title where it is a native Wayland
        window, or None. KWin lists its windows to scripts; those with no X
        window id are Wayland's. mutter offers no list of windows without
        GNOME Shell: there the box is known by the program that shows it,
        zenity, started by the game with the box's title."""
        if self.desktop == "kwin":
            said = self.kwin_script(f"windows().forEach(function (window) {{\n"
                                    f"    if (window.caption === {json.dumps(title)} && !window.windowId)\n"
                                    f"        say(String(window.internalId));\n"
                                    f"}});")
            return WaylandBox(title, said[0]) if said else None
        if self.desktop == "mutter" and self.game is not None:
            for pid in group_processes(self):
                try:
                    with open(f"/proc/{pid}/cmdline", "rb") as command:
                        arguments = command.read().decode(errors="replace").split("\0")
                except OSError:
                    continue
                if os.path.basename(arguments[0]) == "zenity" and ("--title", title) in zip(arguments, arguments[1:]):
                    return WaylandBox(title, pid)
        return None

    def wayland_box_shown(self, box):
        if self.desktop == "kwin":
            return bool(self.kwin_script(f"windows().forEach(function (window) {{\n"
                                         f"    if (String(window.internalId) === {json.dumps(box.handle)})\n"
                                         f"        say('shown');\n"
                                         f"}});"))
        return box.handle in group_processes(self)

    def press_on_wayland_box(self, box, key):
        """Presses a key as the compositor's own keyboard, which sends it to
        the window it has focused. KWin takes XWayland's made-up keys
        (xdotool's) as its own input once its box is active; mutter takes keys
        through its remote desktop interface."""
        if self.desktop == "kwin":
            def make_active(assign=""):
                return self.kwin_script(f"windows().forEach(function (window) {{\n"
                                        f"    if (String(window.internalId) !== {json.dumps(box.handle)}) return;\n"
                                        f"    {assign}\n"
                                        f"    if (window.active) say('active');\n"
                                        f"}});")
            # As a click would, where KWin has not activated the box itself.
            if not wait_until(make_active, 2):
                make_active("if (workspace.activeWindow !== undefined) workspace.activeWindow = window; "
                            "else workspace.activeClient = window;")
            check(wait_until(make_active, 3), f'the box "{box.title}" is not the active window')
            self.xdotool("key", key)
        else:
            if self.mutter_keyboard is None:
                self.mutter_keyboard = MutterKeyboard(self.desktop_env["DBUS_SESSION_BUS_ADDRESS"])
            self.mutter_keyboard.press(key)

    def add_display_mode(self, width, height):
        """Adds a display mode to the X server's output, as a monitor offers
        several (Xvfb offers only its screen size): 60 Hz, with blanking."""
        output = re.search(r"^(\S+) connected", self.run("xrandr"), re.M)
        check(output is not None, "xrandr lists no connected output")
        name = f"{width}x{height}"
        timings = [width, width + 64, width + 184, width + 368, height, height + 3, height + 7, height + 33]
        clock = f"{timings[3] * timings[7] * 60 / 1e6:.2f}"
        self.run("xrandr", "--newmode", name, clock, *map(str, timings), "-hsync", "+vsync")
        self.run("xrandr", "--addmode", output.group(1), name)

    def screen_size(self):
        """The X screen's size as RandR tells every client: (width, height)."""
        current = re.search(r"current (\d+) x (\d+)", self.run("xrandr", "--current"))
        check(current is not None, "xrandr gives no current screen size")
        return int(current.group(1)), int(current.group(2))

    def environment(self):
        env = dict(os.environ)
        env.update({"DISPLAY": self.display, "SDL_VIDEODRIVER": "x11", "SDL_AUDIODRIVER": "dummy"})
        env.update(self.desktop_env)
        env.update(self.extra_env)
        # A variable given as None is left out.
        return {name: value for name, value in env.items() if value is not None}

    def start_game(self, command=None):
        """Starts the program, or command in its place as it is given (an
        installed launcher, say), in the session's folder."""
        game = GAME
        if self.as_nobody and command is None:
            # The build folder may lie inside a folder only its owner can enter
            # (a clone in a mktemp folder), so nobody runs a copy of the program.
            self.program_folder = tempfile.mkdtemp(prefix=f"zarvo-e2e-{self.name}-program-")
            os.chmod(self.program_folder, 0o755)
            game = shutil.copy(GAME, self.program_folder)
            os.chmod(game, 0o755)
        command = [TIMEOUT, "-s", "KILL", str(self.time_limit), *(command or [game])]
        if self.as_nobody:
            command = ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups"] + command
        self.stderr = appending(tempfile.TemporaryFile("w+"))
        env = self.environment()
        env.update(self.game_env)
        if self.program_folder is not None:
            self._copy_suppressions(env)
        if GAME_PRELOAD:
            env["LD_PRELOAD"] = GAME_PRELOAD
        self.game = subprocess.Popen(command, cwd=self.folder, env=env, stdout=subprocess.DEVNULL,
                                     stderr=self.stderr, start_new_session=True)
        self.start_time = time.monotonic()

    def _copy_suppressions(self, env):
        """Points the sanitizers' suppression files at copies that nobody can
        read, beside the copy of the program."""
        for name in ("ASAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS", "UBSAN_OPTIONS"):
            def copy(match):
                copied = shutil.copy(match.group(2), os.path.join(self.program_folder, f"{name}.supp"))
                os.chmod(copied, 0o644)
                return match.group(1) + "suppressions=" + copied
            if name in env:
                env[name] = re.sub(r"(^|:)suppressions=([^:]+)", copy, env[name])

    def _end_game(self):
        if self.game is not None and self.game.poll() is None:
            os.killpg(self.game.pid, signal.SIGKILL)
            self.game.wait()

    def _report(self):
        print(f"--- {self.name}: windows on {self.display}:")
        for window in self.windows():
            print("   ", window)
        print("--- vorn.txt:", self.log_lines())
        if self.display is not None:
            grabbed = x_grab.grab(self.display, "root", self.desktop_env.get("XAUTHORITY"))
            if grabbed is not None:
                shot = Shot(*grabbed)
                print(f"--- the screen now: splash {shows_splash(shot)}, court {shows_court(shot)}")
        if self.running():
            print("--- the game's threads (name, state, waiting in):",
                  [threads_of(pid) for pid, name in processes_in_group(self.game.pid) if name != "timeout"])
        if self.game is not None:
            self.stderr.seek(0)
            print("--- game's standard error:\n" + self.stderr.read()[-3000:])

    def wait_exit(self, timeout=10):
        check(self.game is not None, "the game was not started")
        try:
            status = self.game.wait(timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"the game did not end within {timeout} s")
        check(status != 128 + signal.SIGKILL, "the game was killed by its time limit")
        return status

    def running(self):
        return self.game is not None and self.game.poll() is None

    def game_stderr(self):
        self.stderr.seek(0)
        return self.stderr.read()

    def printed_question(self, title):
        """The line in which the game printed the question with this title to
        standard error, having failed to show it as a box (it then takes the
        default answer), or None."""
        if self.game is None:
            return None
        return next((line for line in self.game_stderr().splitlines() if line.startswith(title + ": ")), None)

    def game_pid(self):
        """The game's own process id: the child of the time limit."""
        check(self.running(), "the game is not running")
        with open(f"/proc/{self.game.pid}/task/{self.game.pid}/children") as children:
            pids = children.read().split()
        check(len(pids) == 1, f"the time limit runs {len(pids)} processes, expected the game alone")
        return int(pids[0])

    def memory_kb(self, field):
        """A size from the game's /proc status, in kB: VmRSS (resident now),
        VmHWM (the most it has been resident)."""
        with open(f"/proc/{self.game_pid()}/status") as status:
            match = re.search(rf"^{field}:\s+(\d+) kB$", status.read(), re.M)
        check(match is not None, f"no {field} in the game's status")
        return int(match.group(1))

    # ---- X -----------------------------------------------------------------

    def run(self, *command, check_result=True, capture=True):
        result = subprocess.run(list(command), env=self.environment(), capture_output=capture, text=True,
                                timeout=20)
        if check_result and result.returncode != 0:
            raise ScenarioFailure(f"{command[0]} failed: {result.stderr.strip()}")
        return result.stdout if capture else ""

    def xdotool(self, *arguments, check_result=True):
        return self.run("xdotool", *arguments, check_result=check_result)

    def windows(self):
        """Every window on the screen, hidden and framing ones too: (id,
        title, width, height, x, y). SDL's own message boxes are found here;
        xdotool's name search misses them."""
        if self.display is None:
            return []
        text = self.run("xwininfo", "-root", "-tree", check_result=False)
        found = []
        for match in re.finditer(r'^\s+(0x[0-9a-f]+) "(.*)": \(.*\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)', text, re.M):
            found.append(Window(match.group(1), match.group(2), int(match.group(3)), int(match.group(4)),
                                int(match.group(5)), int(match.group(6))))
        return found

    def shown_client(self, window_id):
        """Whether the window is one a player sees: mapped with all its
        ancestors, and a program's own window, not the frame a window manager
        put around it (mutter 48 and later draw the frames of X windows in a
        client of their own, and give each frame its client's title)."""
        if "Map State: IsViewable" not in self.run("xwininfo", "-id", window_id, check_result=False):
            return False
        frame = self.run("xprop", "-id", window_id, "_MUTTER_FRAME_FOR", check_result=False)
        return "_MUTTER_FRAME_FOR(" not in frame

    def window(self, title):
        """The shown client window with this title, or None."""
        return next((window for window in self.windows() if window.title == title and self.shown_client(window.id)),
                    None)

    def wait_window(self, title, timeout=30):
        """The question box, or window, with this title once it is shown: an
        X window, or a native Wayland window on a compositor (zenity's, where
        SDL has it draw the box); fails at once when the game printed it as a
        question instead of showing it. A sanitizer build beside a busy
        machine took over 10 s to show its first box."""
        printed = []

        def shown():
            window = self.window(title) or self.wayland_box(title)
            if window is None and self.printed_question(title):
                printed.append(self.printed_question(title))
                return True
            return window
        window = wait_until(shown, timeout)
        check(not printed, f'the game could not show the question "{title}" and printed it: {printed and printed[0]}')
        check(window is not None, f'no window "{title}" within {timeout} s')
        return window

    def wait_box_gone(self, box, timeout=5):
        """Waits until the box has gone; the next box may reuse its window
        under another title, and the game window may share its title."""
        def gone():
            if isinstance(box, WaylandBox):
                return not self.wayland_box_shown(box)
            return not any(window.id == box.id and window.title == box.title and self.shown_client(window.id)
                           for window in self.windows())
        return wait_until(gone, timeout) is not None

    def has_focus(self, window_id):
        return self.xdotool("getwindowfocus", check_result=False).strip() == str(int(window_id, 0))

    def focus_grace(self):
        """How long a new window is given to get the keyboard focus by itself:
        a window manager gives it; on a bare X server nothing does, and SDL's
        own boxes do not take it."""
        return 0 if self.desktop == "xvfb" else 2

    def focus(self, window_id):
        """Waits until the window has the keyboard focus, giving it the focus
        as a click would if it does not get it by itself: a key sent earlier
        can be lost. A window manager is asked to activate it; on a bare X
        server the focus is set directly."""
        if wait_until(lambda: self.has_focus(window_id), self.focus_grace()):
            return
        self.xdotool("windowfocus" if self.desktop == "xvfb" else "windowactivate", window_id, check_result=False)
        check(wait_until(lambda: self.has_focus(window_id), 3), f"window {window_id} does not take the focus")

    def geometry(self, window_id):
        """(x, y, width, height) of the window on the screen."""
        info = self.run("xwininfo", "-id", window_id)
        return tuple(int(re.search(rf"{field}:\s+(-?\d+)", info).group(1))
                     for field in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def properties(self, window_id):
        return self.run("xprop", "-id", window_id)

    # ---- message boxes -------------------------------------------------------

    def answer(self, title, key):
        """Answers the message box with this title by a key, pressed as a
        player does once the box has the keyboard focus."""
        box = self.wait_window(title)
        # mutter tells nothing of its windows, so a key may come before the
        # box has the focus and be lost: it is pressed again while the same
        # zenity runs (the game asks the next question only once it has ended).
        # On X the key goes to the box that has the focus, and a box that took
        # it may close slowly: a busy machine took over 3 s, and a key pressed
        # again meanwhile answered the next question.
        attempts, wait = (10, 1) if isinstance(box, WaylandBox) and self.desktop == "mutter" else (3, 8)
        for _ in range(attempts):
            if isinstance(box, WaylandBox):
                self.press_on_wayland_box(box, key)
            else:
                self.focus(box.id)
                self.xdotool("key", key)
            if self.wait_box_gone(box, timeout=wait):
                self.last_answer_time = time.monotonic()
                return
        raise ScenarioFailure(f'the box "{title}" did not take the key {key}')

    def click(self, title, button):
        """Answers the message box with this title by clicking its button
        number button, counted from the left from 0."""
        box = self.wait_window(title)
        buttons = []

        def drawn():
            buttons[:] = self.box_buttons(box)
            return len(buttons) > button
        check(wait_until(drawn, 5), f'the box "{title}" shows {len(buttons)} buttons')
        x, y = buttons[button]
        self.xdotool("mousemove", "--window", box[0], str(x), str(y), "click", "1")
        check(self.wait_box_gone(box), f'the box "{title}" did not take the click')
        self.last_answer_time = time.monotonic()

    def box_buttons(self, box):
        """Centres of a box's buttons, left to right: the wide runs that stand
        out from the box's background (its commonest colour) along its lower
        rows."""
        shot = self.shot(box.id)  # its size now: zenity's window is mapped at 1x1 and then grows
        width, height = shot.width, shot.height
        colours = collections.Counter(shot.data[i:i + 3] for i in range(0, len(shot.data), 3))
        background = tuple(colours.most_common(1)[0][0])
        best = []
        for y in range(height - 1, height // 2, -1):
            runs, start = [], None
            for x in range(width + 1):
                inside = x < width and shot.pixel(x, y) != background
                if inside and start is None:
                    start = x
                elif not inside and start is not None:
                    if x - start >= 40:
                        runs.append(((start + x - 1) // 2, y))
                    start = None
            if len(runs) > len(best):
                best = runs
        return best

    # ---- the game window and the screen ----------------------------------------

    def wait_game_window(self, timeout=10):
        """The game window; the fullscreen fallback question has the same
        title, so the size tells them apart."""
        def mapped_game_window():
            return next((window for window in self.windows()
                         if window.title == "Zarvo" and window.width >= 1152 and self.shown_client(window.id)), None)
        window = wait_until(mapped_game_window, timeout)
        check(window is not None, f"no game window within {timeout} s")
        return window

    def shot(self, window="root"):
        env = self.environment()
        grabbed = x_grab.grab(env["DISPLAY"], window, env.get("XAUTHORITY"))
        if grabbed is not None:
            return Shot(*grabbed)
        # What the server will not give whole (a window partly off the
        # screen, say), import crops; it fails where the window is not shown.
        return Shot.of(["import", "-window", window, "-depth", "8", "ppm:-"], env=env)

    def wait_shot(self, predicate, timeout, window="root"):
        """Takes screenshots until one satisfies predicate; returns it, or None."""
        found = []

        def attempt():
            shot = self.shot(window)
            if predicate(shot):
                found.append(shot)
                return True
            return False
        wait_until(attempt, timeout, interval=SHOT_INTERVAL_S)
        return found[0] if found else None

    # ---- the game ------------------------------------------------------------

    def hold_key(self, key):
        self.xdotool("keydown", key)

    def release_key(self, key):
        self.xdotool("keyup", key)

    def hold_key_for(self, key, seconds):
        """Holds a key down for that long; one xdotool run times both ends."""
        try:
            self.xdotool("keydown", key, "sleep", str(seconds), "keyup", key)
        finally:
            self.xdotool("keyup", key, check_result=False)

    def press_escape_and_wait_exit(self, timeout=10):
        """Holds Escape until the game has ended, then lets it go, so the
        server never keeps it held."""
        self.hold_key("Escape")
        try:
            return self.wait_exit(timeout)
        finally:
            self.release_key("Escape")

    def play_for(self, seconds, since):
        """Lets the game play until seconds after since, or until it ends."""
        check(wait_until(lambda: time.monotonic() > since + seconds or not self.running(), seconds + 5, interval=0.5),
              "time stood still")

    def end_with_escape(self, timeout=10, what=""):
        """Escape ends the game with status 27; what says what came before."""
        check_escape_status(self.press_escape_and_wait_exit(timeout), what)

    def request_close(self, window_id):
        subprocess.run([WINDOW_MANAGER, window_id, "close"], env=self.environment(), check=True, timeout=10)

    def minimise(self, window_id):
        """Minimises the window as a window manager would; returns when it is
        unmapped."""
        subprocess.run([WINDOW_MANAGER, window_id, "minimise"], env=self.environment(), check=True, timeout=10)

    def restore(self, window_id):
        """Restores a minimised window and gives it the keyboard focus;
        returns when it is mapped again."""
        subprocess.run([WINDOW_MANAGER, window_id, "restore"], env=self.environment(), check=True, timeout=10)

    def cursor_state(self):
        """ "hidden" or "shown": the cursor with the pointer over the middle of
        the game window's place."""
        self.xdotool("mousemove", "576", "432")
        return cursor_state(self.display)

    def map_state(self, window_id):
        return re.search(r"Map State: (\w+)", self.run("xwininfo", "-id", window_id)).group(1)

    def log_lines(self):
        path = os.path.join(self.folder, "vorn.txt")
        if not os.path.isfile(path):  # not written, or something else by that name
            return None
        with open(path) as log:
            return log.read().splitlines()

    def log_line_count(self):
        """Complete lines in the game's vorn.txt."""
        path = os.path.join(self.folder, "vorn.txt")
        if not os.path.isfile(path):
            return 0
        with open(path, "rb") as log:
            return log.read().count(b"\n")

    def wait_log_lines(self, count, timeout, message=None):
        """Waits until vorn.txt has count lines; returns its lines."""
        check(wait_until(lambda: self.log_line_count() >= count, timeout),
              message or f"vorn.txt did not reach {count} lines within {timeout} s")
        return self.log_lines()

    def frame_rates(self, first=0, last=None):
        """The frames per second of vorn.txt's lines first to last."""
        return [int(line.split()[0]) for line in (self.log_lines() or [])[first:last]]

    def answer_start_questions(self, fullscreen, left, right):
        """Answers the three questions by key: Return for the default button
        (Yes, Yes, No), Escape for No."""
        self.answer("Start fullscreen?", "Return" if fullscreen else "Escape")
        self.answer("Left AI", "Return" if left else "Escape")
        check(not right, "Right AI Yes needs a click: Return takes No there")
        self.answer("Right AI", "Return")

    def start_to_court(self):
        """A windowed game, the computer on the left, a person on the right,
        up to its court; returns the court's picture."""
        self.start_game()
        self.answer_start_questions(fullscreen=False, left=True, right=False)
        self.wait_game_window()
        return wait_for_court(self)

    def answer_both_computers(self):
        """Computers on both sides: No, Yes, then Yes by a click (Return takes
        No, the first button, there)."""
        self.answer("Start fullscreen?", "Escape")
        self.answer("Left AI", "Return")
        self.click("Right AI", 1)


def wait_for_court(session, timeout=SPLASH_SECONDS + FIRST_FRAME_SECONDS + 2, window="root"):
    """A shot of the court: of the screen, or of the window that is the
    game's client area."""
    shot = session.wait_shot(shows_court, timeout, window)
    check(shot is not None, f"no court within {timeout} s")
    return shot


# ---- checks on screenshots ---------------------------------------------------------


def title_pixels(shot):
    """Pixels in the light blue of the splash title letters, around the middle."""
    return shot.count(lambda p: near(p, TITLE_BLUE, 16), 300, 300, 850, 500, step=2)


def shows_splash(shot):
    return title_pixels(shot) > 500


def shows_court(shot):
    columns = range(100, 1050, 50)
    top = sum(1 for x in columns if near(shot.pixel(x, TOP_WALL_ROW), WALL_BLUE, 3))
    bottom = sum(1 for x in columns if near(shot.pixel(x, BOTTOM_WALL_ROW), WALL_BLUE, 3))
    return top >= len(columns) - 2 and bottom >= len(columns) - 2


def point_shown(shot, left=0, top=0):
    """Whether a score bar reaches past the middle (x 576) of a court whose
    client area starts at left, top: one side leads, so a point was won and
    the miss sound started. The top bar grows to the right with the left
    side's share, the bottom one to the left with the right side's. Each ends
    at the middle at 0:0 and again whenever the scores are level; a lead of
    one point in twenty still reaches 8 to 28 pixels past it. (Far past it,
    as a lone point has it, is soon gone where both sides score.)"""
    return (shot.count_near(TOP_BAR_BLUE, 8, (left + 584, top + TOP_BAR_ROW - 1, 20, 4)) > 60
            or shot.count_near(WHITE, 8, (left + 548, top + BOTTOM_BAR_ROW - 2, 20, 4)) > 60)


def court_out_of_sight(shot, box=None):
    """What of the court a shot misses in the game's client area box (x, y,
    width, height; by default the whole shot), for the court as the game
    frames it at any window shape: both walls to both ends, and both paddles.
    An empty list when the whole court is in sight."""
    left, top, width, height = box or (0, 0, shot.width, shot.height)
    scale = min(width / 1152, height / 864)

    def at(column, row):
        return (round(left + width / 2 + (column - 576) * scale), round(top + height / 2 + (row - 432) * scale))
    missing = []
    for wall, row in (("top wall", TOP_WALL_ROW), ("bottom wall", BOTTOM_WALL_ROW)):
        for column in (100, 576, 1050):
            x, y = at(column, row)
            if not (0 <= x < shot.width and 0 <= y < shot.height and near(shot.pixel(x, y), WALL_BLUE, 12)):
                missing.append(f"the {wall} at {x},{y}")
    for paddle, column in (("left paddle", LEFT_PADDLE_COLUMN), ("right paddle", RIGHT_PADDLE_COLUMN)):
        x, first = at(column, TOP_WALL_ROW + 5)
        _, last = at(column, BOTTOM_WALL_ROW - 5)
        if not 0 <= x < shot.width or shot.grey_run_centre(x, max(first, 0), min(last, shot.height - 1)) is None:
            missing.append(f"the {paddle} in column {x}")
    return missing


def check_escape_status(status, what=""):
    check(status == ESCAPE_STATUS, f"{what}exit status {status} after Escape, expected {ESCAPE_STATUS}")


def check_log(lines, at_least, at_most=None):
    check(lines is not None, "vorn.txt was not written")
    check(len(lines) >= at_least, f"vorn.txt holds {len(lines)} lines, expected at least {at_least}")
    check(at_most is None or len(lines) <= at_most, f"vorn.txt holds {len(lines)} lines, expected at most {at_most}")
    for line in lines:
        check(re.fullmatch(r"\d+ \d+", line) is not None, f"vorn.txt line {line!r} is not two whole numbers")


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def cursor_state(display_name):
    """ "hidden" when the pointer's cursor on that display has no visible
    pixel, else "shown" (read with the X fixes extension); None while the
    server gives no cursor image (for a moment after Wine 10 ends a
    fullscreen game)."""
    x11 = ctypes.CDLL("libX11.so.6")
    xfixes = ctypes.CDLL("libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                            ctypes.POINTER(ctypes.c_int)]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(display_name.encode())
    check(display, f"cannot open the display {display_name}")
    try:
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        check(xfixes.XFixesQueryExtension(display, ctypes.byref(event_base), ctypes.byref(error_base)),
              "the X server lacks the X fixes extension")
        image = xfixes.XFixesGetCursorImage(display)
        if not image:
            return None
        shape = image.contents
        # Pixels are ARGB, one to an unsigned long.
        visible = any(shape.pixels[i] >> 24 for i in range(shape.width * shape.height))
        x11.XFree(image)
    finally:
        x11.XCloseDisplay(display)
    return "shown" if visible else "hidden"


# ---- the Windows program under Wine --------------------------------------------------

WINE_TESTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "wine")
WINE_PREFIX = os.environ.get("ZARVO_WINE_PREFIX", "")
# Where a failed Wine session leaves its folders and last screenshot.
WINE_KEEP = os.environ.get("ZARVO_KEEP", "")


# How long after its PlaySoundA a sound of Zarvo.exe is looked for in the
# sink's recording (it took a median 16 to 38 ms, the slowest 0.4 s).
WINE_SEARCH_S = 1.5
# Wine's trace of each PlaySoundA, and of the sound it names.
WINE_TRACE_PLAYSOUND = "+timestamp,+winmm"
WINE_PLAYSOUND_CALL = re.compile(r"\s*(\d+)\.(\d{3}):\w+:trace:winmm:MULTIMEDIA_PlaySound ")
WINE_PLAYSOUND_NAME = re.compile(r'trace:winmm:proc_PlaySound SoundName=L"(?:.*\\)?(\w+)\.wav"')


class WineSession(Session):
    """Zarvo.exe under Wine on a private screen. The prefix's one wineserver
    serves one display at a time, so the session holds the prefix alone from
    start to end. Wine's message boxes are found by caption; every
    start_game runs the program in a fresh folder beside the sounds, unless
    it is given a folder."""

    def __init__(self, name, screen="1280x1024x24", prefix=WINE_PREFIX, program=GAME, keep=WINE_KEEP,
                 more_overrides=""):
        super().__init__(name, screen=screen, sounds=(), time_limit=120)
        self.prefix = os.path.realpath(prefix)
        self.program = os.path.realpath(program)
        self.keep = keep
        self.more_overrides = more_overrides
        self.work = None
        self.lock = None
        self.runs = 0

    def start_up(self):
        self.work = tempfile.mkdtemp(prefix=f"zarvo-wine-{self.name}-")
        self.extra_env = self.prefix_environment()
        self.lock = open(self.prefix + ".users.lock", "w")
        check(wait_until(self._take_prefix, 150, interval=0.5), "the Wine prefix stayed in use by others for 150 s")
        # A wineserver left from another run may serve another display.
        self.stop_wineserver()
        super().start_up()

    def prefix_environment(self):
        """Makes the prefix once (wine-env.sh) and returns the environment
        every Wine run here uses."""
        script = ('source "$1"; WINEDLLOVERRIDES+=$3; zarvo_wine_prefix "$2"; '
                  'printf "%s\\n%s\\n" "$WINEDEBUG" "$WINEDLLOVERRIDES"')
        result = subprocess.run(["bash", "-c", script, "-", os.path.join(WINE_TESTS, "wine-env.sh"), self.prefix,
                                 self.more_overrides], capture_output=True, text=True, timeout=300)
        check(result.returncode == 0, f"the Wine prefix could not be made: {result.stderr.strip()}")
        debug, overrides = result.stdout.splitlines()
        return {"WINEPREFIX": self.prefix, "WINEDEBUG": debug, "WINEDLLOVERRIDES": overrides}

    def _take_prefix(self):
        try:
            fcntl.flock(self.lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return True
        except BlockingIOError:
            return False

    def stop_wineserver(self):
        """Ends the prefix's wineserver and every program it serves, and waits
        until it is gone: a program started meanwhile would reach the dying
        server and fail."""
        env = dict(os.environ, **self.extra_env)
        for flag in ("-k", "-w"):
            subprocess.run(["wineserver", flag], env=env, capture_output=True, timeout=60)

    def __exit__(self, kind, value, trace):
        if kind is not None and self.keep and self.work is not None:
            shutil.rmtree(self.keep, ignore_errors=True)
            shutil.copytree(self.work, self.keep, symlinks=True, ignore_dangling_symlinks=True)
            if self.display is not None:
                self.shot().save(os.path.join(self.keep, "screen.png"))
            print(f"folders and the last screen of the failed run: {self.keep}")
        self._end_game()
        if self.extra_env:
            self.stop_wineserver()
        super().__exit__(kind, value, trace)
        if self.lock is not None:
            self.lock.close()
        return False

    def _remove_folders(self):
        if self.work is not None:
            shutil.rmtree(self.work, ignore_errors=True)

    def start_game(self, prepare=None, folder=None, program=None, env=None):
        """Runs the program under Wine in folder, by default a fresh one
        holding the sounds from beside the program, which prepare(folder)
        may change first."""
        self.runs += 1
        if folder is None:
            folder = os.path.join(self.work, f"run{self.runs}")
            os.mkdir(folder)
            for sound in SOUND_FILES:
                source = os.path.join(os.path.dirname(self.program), sound)
                check(os.path.isfile(source), f"{sound} is not beside {self.program}")
                shutil.copy(source, folder)
            if prepare is not None:
                prepare(folder)
        self.folder = folder
        # Wine's trace can hold any bytes.
        self.stderr = appending(open(os.path.join(self.work, f"wine{self.runs}.out"), "w+", encoding="latin-1"))
        self.game = subprocess.Popen(["timeout", "-s", "KILL", str(self.time_limit), "wine", program or self.program],
                                     cwd=folder, env=dict(self.environment(), **(env or {})), stdout=self.stderr,
                                     stderr=self.stderr, start_new_session=True)

    def wine(self, *command, display=True):
        """Runs a program under Wine in the prefix and waits for it."""
        env = self.environment()
        if not display:
            del env["DISPLAY"]
        return subprocess.run(["wine", *command], env=env, capture_output=True, text=True, timeout=120)

    # ---- Wine's windows ----------------------------------------------------------

    def visible_window(self, caption):
        """The id of a visible window with exactly this caption, or None (Wine
        also makes hidden windows)."""
        found = self.xdotool("search", "--onlyvisible", "--name", f"^{re.escape(caption)}$",
                             check_result=False).split()
        return found[0] if found else None

    def wait_caption(self, caption, timeout=20):
        def shown():
            check(self.running(), f"Zarvo.exe ended while waiting for a window {caption!r}")
            return self.visible_window(caption)
        window = wait_until(shown, timeout, interval=0.1)
        check(window is not None, f"no window {caption!r} within {timeout} s")
        return window

    def window_gone(self, window_id):
        result = self.run("xwininfo", "-id", window_id, check_result=False)
        return "IsViewable" not in result

    def focus_grace(self):
        # Wine gives its windows the focus itself; a key sent before can be lost.
        return 2

    def answer(self, caption, key):
        """Waits for the message box with this caption, sends the key to it
        once it has the focus and waits until it has closed."""
        box = self.wait_caption(caption)
        self.focus(box)
        self.xdotool("key", key)
        check(wait_until(lambda: self.window_gone(box), 5), f"box {caption!r} still open after {key}")
        self.last_answer_time = time.monotonic()

    def client_window(self, window_id):
        """The client area: the X child window that Wine draws GL into, or
        the window itself when it has none."""
        tree = self.run("xwininfo", "-tree", "-id", window_id)
        child = re.search(r"^\s+(0x[0-9a-f]+) .*\d+x\d+\+", tree, re.M)
        return child.group(1) if child else window_id

    def client_geometry(self, window_id):
        """(x, y, width, height) of the client area."""
        return self.geometry(self.client_window(window_id))

    def wait_focus(self, window):
        check(wait_until(lambda: self.has_focus(window), 5), "the game window did not get the keyboard focus")

    def end_with_escape(self, window=None, timeout=15, what=""):
        """Escape, once the window (if given) has the focus: Wine gives it
        the focus itself, and a key sent before is lost."""
        if window is not None:
            self.wait_focus(window)
        super().end_with_escape(timeout, what)

    def start_windowed(self, prepare=None, env=None, left=True):
        """A windowed game, the computer on the left unless not left, a
        person on the right; returns the window and its client area."""
        self.start_game(prepare, env=env)
        self.start_questions(fullscreen=False, left=left, right=False)
        window = self.wait_caption("Zarvo")
        client = self.client_geometry(window)
        check(client[2:] == (1152, 864), f"client area {client[2]}x{client[3]}, not 1152x864")
        self.wait_focus(window)
        return window, client

    def start_questions(self, fullscreen, left, right):
        """Answers the three questions: Return takes the default button (Yes,
        Yes, No), n takes No."""
        self.answer("Start fullscreen?", "Return" if fullscreen else "n")
        self.answer("Left AI", "Return" if left else "n")
        check(not right, "Right AI Yes is not wanted by any game here")
        self.answer("Right AI", "Return")

    def sounds_opened(self, folder_name, sounds=SOUND_FILES):
        """The sounds the game has opened with a valid handle from a folder
        of that name, as Wine's trace of file opens (trace+file) shows."""
        asked = {}  # thread -> the sound it asked CreateFileW for
        opened = set()
        for line in self.game_stderr().splitlines():
            request = re.match(r'(\w+):trace:file:CreateFileW L"[^"]*\\\\(\S+?)\\\\(\w+\.wav)" GENERIC_READ', line)
            if request:
                if request.group(2) == folder_name and request.group(3) in sounds:
                    asked[request.group(1)] = request.group(3)
                continue
            result = re.match(r"(\w+):trace:file:CreateFileW returning (\w+)", line)
            if result and result.group(1) in asked:
                sound = asked.pop(result.group(1))
                if int(result.group(2), 16) not in (0, 2**64 - 1):
                    opened.add(sound)
        return opened

    def sounds_asked(self):
        """(time, name) of each PlaySoundA the game made, as Wine's trace
        (WINE_TRACE_PLAYSOUND) gives them; Wine stamps it in milliseconds of
        CLOCK_MONOTONIC_RAW, taken here to time.monotonic's clock."""
        offset = time.monotonic() - time.clock_gettime(time.CLOCK_MONOTONIC_RAW)
        lines = self.game_stderr().splitlines()
        calls = [int(m.group(1)) + int(m.group(2)) / 1000 + offset for m in map(WINE_PLAYSOUND_CALL.match, lines) if m]
        names = [m.group(1) for m in map(WINE_PLAYSOUND_NAME.search, lines) if m]
        return list(zip(calls, names))

    def expect_sounds_opened(self, folder_name):
        """Waits until the game has opened all three sounds from that folder
        (wall and paddle bounces and misses each play one)."""
        opened = wait_until(lambda: len(self.sounds_opened(folder_name)) == len(SOUND_FILES), 60, interval=0.5)
        check(opened, "the game did not open all three sounds from its folder; not opened: "
              + " ".join(sorted(set(SOUND_FILES) - self.sounds_opened(folder_name))))


def run_scenario(scenarios, argv):
    """Runs the scenario argv[1] names, one of the functions given."""
    table = {function.__name__: function for function in scenarios}
    if len(argv) != 2 or argv[1] not in table:
        print(f"usage: {os.path.basename(argv[0])} " + "|".join(table), file=sys.stderr)
        sys.exit(2)
    table[argv[1]]()
    print(argv[1], "passed")


def run_scenario_on(scenarios, places, unavailable, argv):
    """Runs the scenario argv[1] names on the place argv[2] names (a desktop,
    a sound server); where that place cannot be had (the exception
    unavailable), says so in one line and skips."""
    table = {function.__name__: function for function in scenarios}
    if len(argv) != 3 or argv[1] not in table or argv[2] not in places:
        sys.exit(f"usage: {os.path.basename(argv[0])} {'|'.join(table)} {'|'.join(places)}")
    try:
        table[argv[1]](argv[2])
    except unavailable as reason:
        print(f"SKIP: {argv[2]} cannot start on this machine: {reason}")
        sys.exit(SKIP_STATUS)
    print(argv[1], "on", argv[2], "passed")


def run_script(main):
    """Runs a test script's main(); a failed check ends it with FAIL and the
    reason."""
    try:
        main()
    except ScenarioFailure as failure:
        sys.exit(f"FAIL: {failure}")
    print("passed")
