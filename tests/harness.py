"""The one harness for the tests that run the built programs as a person would: a Case is a
Session (drive/session.py: clean environments, scratch folders, private X displays) whose failure
prints every program as the case left it: command, exit code or "still running", stdout, stderr.
Case.world(): a copy of data/; Case.ran(argv, code): a program run to its end, its exit checked;
run(argv): a helper's stdout. Run one case:  /usr/bin/python3 tests/window_test.py Ending
"""
import contextlib
import fcntl
import os
import shutil
import subprocess
import sys
import threading
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "drive"))
from programs import read, until  # noqa: E402
from screens import blank  # noqa: E402
from session import Session  # noqa: E402

BUILD = os.environ.get("ORVI_BUILD", os.path.join(ROOT, "build"))
ORVI = os.path.join(BUILD, "orvi")
CAPTURE = os.path.join(BUILD, "capture", "orvi-capture")
SCENE_LIST = os.path.join(BUILD, "tools", "scene_list")
RENDER_TUNE = os.path.join(BUILD, "tools", "render_tune")
DATA = os.path.join(ROOT, "data")
ARTIFACTS = os.path.join(BUILD, "artifacts")


class Case(Session, unittest.TestCase):
    def run(self, result=None):
        self.said = ""
        counts = (len(result.failures), len(result.errors)) if result else (0, 0)
        try:
            return super().run(result)
        finally:
            if result and self.said:
                for found, count in zip((result.failures, result.errors), counts):
                    found[count:] = [(test, text + "\nWhat the programs printed:\n" + self.said)
                                     for test, text in found[count:]]

    def doCleanups(self):
        # Taken before the cleanups stop them: a program left running says so.
        self.said = "\n".join(map(str, self.programs))
        return super().doCleanups()

    def world(self):
        folder = self.scratch()
        shutil.copytree(DATA, os.path.join(folder, "data"))
        return folder

    def ran(self, argv, code=0, env=None, cwd=None, seconds=120):
        """A program started and waited for, whose exit code must be `code`."""
        program = self.start(argv, env, cwd)
        self.assertEqual(program.wait(seconds), code)
        return program


def run(argv, raw=False, **kwargs):
    """A helper program's stdout (bytes if raw); its stderr and exit code in the failure if it fails."""
    done = subprocess.run([str(a) for a in argv], capture_output=True, **kwargs)
    if done.returncode:
        raise AssertionError(f"$ {' '.join(map(str, argv))}\nexit code: {done.returncode}\n"
                             f"stdout:\n{done.stdout[-4000:].decode(errors='replace')}\n"
                             f"stderr:\n{done.stderr[-4000:].decode(errors='replace')}")
    return done.stdout if raw else done.stdout.decode(errors="replace")


def main():
    unittest.main(module="__main__", verbosity=2)


class MusicPipe:
    """The show's sound device writing into a pipe the case reads: the show's clock is the music
    played, so the show goes only as far as the case reads. env: orvi's; data: what it wrote;
    show_ms(): the show's age from the tune's first sample; hold(ms): read that far and no further,
    the show staying there (give or take the device's buffers); release(): read on. held: the
    show waits at its first sound from the start, however long the case takes to find its window
    (a busy machine, or the show would be past a first hold before the case asks for it)."""
    BYTES_PER_MS = 44100 * 2 * 4 / 1000  # the disk driver's stereo 32-bit float

    def __init__(self, folder, held=False):
        self.path = os.path.join(folder, "sound.fifo")
        os.mkfifo(self.path)
        self.env = {"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": self.path}
        self.data, self.start, self.ended = bytearray(), None, False
        self.held_ms = 0 if held else None  # how far from the tune's first sample reading may go
        self.changed = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        fd = os.open(self.path, os.O_RDONLY)
        small = False
        try:
            while True:
                if not small:  # one page: the device runs at most that far ahead of the reading
                    with contextlib.suppress(OSError):
                        small = fcntl.fcntl(fd, 1031, 4096) > 0  # F_SETPIPE_SZ
                with self.changed:
                    self.changed.wait_for(lambda: self.allowed() is None or len(self.data) < self.allowed())
                    want = 4096 if self.allowed() is None else min(4096, self.allowed() - len(self.data))
                got = os.read(fd, want)
                with self.changed:
                    if not got:
                        self.ended = True
                        self.changed.notify_all()
                        return
                    if self.start is None:
                        first = next((i for i, b in enumerate(got) if b), None)
                        if first is not None:
                            self.start = (len(self.data) + first) // 8 * 8
                    self.data += got
                    self.changed.notify_all()
        finally:
            os.close(fd)

    def allowed(self):
        """The bytes the reader may hold, or None: no limit (or none known before the tune)."""
        if self.held_ms is None or self.start is None:
            return None
        return self.start + int(self.held_ms * self.BYTES_PER_MS) // 8 * 8

    def show_ms(self):
        with self.changed:
            return 0 if self.start is None else (len(self.data) - self.start) / self.BYTES_PER_MS

    def hold(self, ms, seconds=90):
        with self.changed:
            if not self.changed.wait_for(lambda: self.start is not None or self.ended, seconds):
                raise AssertionError(f"no sound of the tune in {seconds} s")
            self.held_ms = ms
            self.changed.notify_all()
            if not self.changed.wait_for(lambda: len(self.data) >= self.allowed() or self.ended, seconds):
                raise AssertionError(f"the show did not reach {ms} ms in {seconds} s")

    def release(self):
        with self.changed:
            self.held_ms = None
            self.changed.notify_all()

    def drained(self, seconds=30):
        """Once the program has closed its end: all it wrote is in data."""
        with self.changed:
            if not self.changed.wait_for(lambda: self.ended, seconds):
                raise AssertionError(f"the sound did not end in {seconds} s")
