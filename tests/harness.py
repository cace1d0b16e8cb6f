"""The one harness for the tests that run the built programs as a person would: a Case is a
Session (drive/session.py: programs started with a clean environment, scratch folders, private X
displays, drive/screens.py) whose failure prints every program as it was when the case ended,
before any is stopped: command, exit code or "still running", stdout, stderr. Case.world(): a
copy of data/. run(argv): a helper's stdout, its stderr in the failure.
Run one case:  /usr/bin/python3 tests/window_test.py Ending.test_closing_the_window_ends_the_show
"""
import os
import shutil
import subprocess
import sys
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


def run(argv, raw=False, **kwargs):
    """A helper program's stdout (bytes if raw); its stderr and exit code in the failure when it
    fails."""
    done = subprocess.run([str(a) for a in argv], capture_output=True, **kwargs)
    if done.returncode:
        raise AssertionError(f"$ {' '.join(map(str, argv))}\nexit code: {done.returncode}\n"
                             f"stdout:\n{done.stdout[-4000:].decode(errors='replace')}\n"
                             f"stderr:\n{done.stderr[-4000:].decode(errors='replace')}")
    return done.stdout if raw else done.stdout.decode(errors="replace")


def main():
    unittest.main(module="__main__", verbosity=2)
