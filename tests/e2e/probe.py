"""What the game asked of SDL, as the probe preloaded into it (sdl_probe.c)
wrote it down: its frames, keys, window calls, heap and sounds. Times are
in seconds on time.monotonic's clock. The library is found through
ZARVO_PROBE_LIBRARY (CTest and bench/figures.py set it)."""

import os

LIBRARY = os.environ.get("ZARVO_PROBE_LIBRARY", "")


class Probe:
    def __init__(self, folder, name="probe.txt"):
        self.path = os.path.join(folder, name)

    def environment(self, preload="", refresh_rate=None):
        """The game's environment to preload the probe beside preload; with
        refresh_rate, its frames paced as a display of that rate would."""
        paced = {"ZARVO_PROBE_FRAME_RATE": str(refresh_rate)} if refresh_rate else {}
        return {"ZARVO_PROBE": self.path, "LD_PRELOAD": " ".join(filter(None, (LIBRARY, preload))), **paced}

    def _lines(self, kind):
        if not os.path.exists(self.path):
            return []
        with open(self.path) as log:
            return [line.split()[1:] for line in log if line.startswith(kind + " ")]

    def start(self):
        """When the game started (a program it starts writes its own line later)."""
        starts = self._lines("start")
        return int(starts[0][0]) / 1e9 if starts else None

    def swaps(self):
        """(begin, end, cpu_begin, cpu_end, involuntary, voluntary) of each
        SDL_GL_SwapWindow (written in blocks, and at exit)."""
        return [(*(int(field) / 1e9 for field in fields[:4]), int(fields[4]), int(fields[5]))
                for fields in self._lines("swap")]

    def key_downs(self):
        """Times the game took a key-down event."""
        return [int(t) / 1e9 for t, down, _ in self._lines("key") if down == "1"]

    def calls(self):
        """(name, begin, end, cpu_begin, cpu_end) of the window and sound calls."""
        return [(name, *(int(field) / 1e9 for field in fields)) for name, *fields in self._lines("call")]

    def heap(self):
        """(time, bytes, held) once a second: the bytes the game's malloc had
        handed out and not had back, and those its arenas held."""
        return [(int(t) / 1e9, int(in_use) + int(mapped), int(arenas)) for t, in_use, mapped, arenas in
                self._lines("heap")]

    def opens(self):
        """(time, device, rate, channels, format, driver) of each
        SDL_OpenAudioDevice; device 0 when it failed."""
        return [(int(t) / 1e9, int(device), int(rate), int(channels), int(sample_format), driver)
                for t, device, rate, channels, sample_format, driver in self._lines("open")]

    def closes(self):
        """When each SDL_CloseAudioDevice was called."""
        return [begin for name, begin, *_ in self.calls() if name == "SDL_CloseAudioDevice"]

    def queued(self):
        """(time, bytes) of each sound the game queued."""
        return [(int(t) / 1e9, int(size)) for t, size in self._lines("queue")]

    def starts(self):
        """Times of the writes that began with the sound queued last."""
        return [int(t) / 1e9 for t, in self._lines("sound")]

    def writes(self):
        """(time, bytes) of each write of SDL to the server."""
        return [(int(t) / 1e9, int(size)) for t, size in self._lines("write")]
