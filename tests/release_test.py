#!/usr/bin/python3
"""What a viewer gets: orvi.exe from the Windows zip under Wine in a fresh prefix (windowed,
fullscreen from another folder to its own end, a picture missing), and the release bundles (the
Linux tarball unpacked and started from /, the Windows zip's files). Needs scripts/build-windows
and scripts/release first; run by scripts/test --full, not by CTest."""
import os
import pathlib
import re
import shutil
import subprocess
import tarfile
import time
import zipfile

import numpy as np
from PIL import Image

from harness import Case, DATA, ROOT, main, run, until
from show_test import distance, scene_table, small

EXE = os.path.join(ROOT, "build-windows", "orvi.exe")
DIST = os.path.join(ROOT, "dist")
TITLE = "Orvi: Tonaro"
with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
    VERSION = re.search(r"project\(OrviTonaro VERSION ([0-9.]+)", f.read()).group(1)


def newest(objects, prefix):
    dumped = run(["objdump", "-T", *objects])
    versions = set(re.findall(prefix + r"_([0-9.]+)", dumped))
    return max(versions, key=lambda v: tuple(map(int, v.split("."))))


class Wine(Case):
    def test_orvi_exe_from_the_zip_plays_windowed_or_fullscreen_and_reports_a_missing_picture(self):
        if not shutil.which("wine"):
            self.skipTest("Wine is not installed (scripts/deps --tests installs it)")
        # A desktop of the show's size (Xvfb has no other mode to switch to), with the window
        # manager Wine's fullscreen asks.
        screen = self.display("640x480")
        screen.manage()
        # A prefix of our own, made once for every run; no Mono or Gecko installers.
        env = dict(screen.env, WINEPREFIX=os.path.join(self.scratch(), "prefix"), WINEARCH="win64",
                   WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=", SDL_AUDIODRIVER="dummy")
        self.assertEqual(self.start(["wineboot", "-i"], env).wait(300), 0)
        self.addCleanup(subprocess.run, ["wineserver", "-k"], env=env)
        goldens = [small(Image.open(os.path.join(ROOT, "tests", "golden", f"scene-{n:02d}.png")))
                   for n in range(len(scene_table()))]

        def blood_cells(win):
            # The first blood-cell scene, drawn through Wine's OpenGL, comes some seconds in.
            until("frame nearest the first blood-cell scene", lambda: int(np.argmin(
                [distance(small(screen.shot(win)), g) for g in goldens])) == 2, 40, 0.2)
        with self.subTest("answered Yes, started from another folder: fullscreen to its own end"):
            orvi = self.start(["wine", os.path.join(self.folder(), "orvi.exe")], env, self.scratch())
            screen.answer(TITLE, "Return", 60)
            win = screen.find(TITLE, (640, 480))
            shown = time.monotonic()
            # Wine calls any window of the screen's size fullscreen: the pointer it hides tells.
            until("fullscreen", lambda: screen.pointer_hidden() and "_NET_WM_STATE_FULLSCREEN" in screen.state(win))
            blood_cells(win)
            # The window comes before the pictures load; the show's 67 s start after them.
            self.assertEqual(orvi.wait(67 + 30), 0)
            self.assertGreater(time.monotonic() - shown, 67)
        with self.subTest("answered No"):
            orvi = self.start(["wine", "orvi.exe"], env, self.folder())
            screen.answer(TITLE, "Escape", 60)
            win = screen.find(TITLE, (640, 480))
            blood_cells(win)
            self.assertFalse(screen.pointer_hidden())
            screen.press(win, ["Escape"])
            self.assertEqual(orvi.wait(30), 0)
        with self.subTest("without data/chrome.png"):
            orvi = self.start(["wine", "orvi.exe"], env, self.folder("chrome.png"))
            for title, key in ((TITLE, "Escape"), ("LoadTextures()", "Return"), ("main()", "Return")):
                screen.answer(title, key, 60)
            self.assertEqual(orvi.wait(30), 0)

    def folder(self, *missing):
        """What a viewer unpacks from the Windows zip: orvi.exe beside data/."""
        app = self.scratch()
        with zipfile.ZipFile(os.path.join(DIST, f"orvi-tonaro-{VERSION}-windows-x64.zip")) as z:
            z.extractall(app)
        for name in missing:
            os.remove(os.path.join(app, "data", name))
        return app


class Bundles(Case):
    def test_the_linux_tarball_runs_from_anywhere_on_its_own_libraries(self):
        with tarfile.open(os.path.join(DIST, f"orvi-tonaro-{VERSION}-linux-x86_64.tar.gz")) as tar:
            tar.extractall(self.scratch() + "/unpacked")
        app = os.path.join(self.folders[-1], "unpacked", f"orvi-tonaro-{VERSION}-linux-x86_64")
        orvi, libs = os.path.join(app, "orvi"), [os.path.join(app, "lib", n) for n in os.listdir(app + "/lib")]
        ldd = run(["ldd", orvi, *libs], env={"PATH": "/usr/bin:/bin"})
        self.assertNotIn("not found", ldd)
        for lib in ("libSDL2-2.0.so.0", "libopenmpt.so.0", "libpng16.so.16"):
            self.assertIn(f"{lib} => {app}/lib/{lib}", ldd)
        # Ubuntu 22.04's glibc 2.35 and GCC 12's libstdc++ must do.
        self.assertLessEqual(tuple(map(int, newest([orvi, *libs], "GLIBC").split("."))), (2, 35))
        self.assertLessEqual(tuple(map(int, newest([orvi, *libs], "GLIBCXX").split("."))), (3, 4, 30))
        for name in ("README.txt", "data/chrome.png"):
            self.assertGreater(os.path.getsize(os.path.join(app, name)), 0)
        listed = self.names_the_launch_options(pathlib.Path(app, "README.txt").read_text(), "./orvi --fullscreen")
        helped = run([orvi, "--help"])
        for option in listed:
            self.assertIn(option, helped, "README.txt lists an option orvi --help does not know")
        screen = self.display("640x480")
        started = self.start([orvi], dict(screen.env, SDL_AUDIODRIVER="dummy"), "/")
        screen.answer(TITLE, "Escape")
        win = screen.find(TITLE, (640, 480))
        screen.drawn(win)
        screen.press(win, ["Escape"])
        self.assertEqual(started.wait(), 0)

    def test_the_windows_zip_holds_the_exe_readme_and_pictures(self):
        with zipfile.ZipFile(os.path.join(DIST, f"orvi-tonaro-{VERSION}-windows-x64.zip")) as z:
            pictures = ["data/" + n for n in os.listdir(DATA) if n.endswith(".png")]
            pictures += ["data/2x/" + n for n in os.listdir(DATA + "/2x")]
            self.assertEqual(sorted(z.namelist()), sorted(["orvi.exe", "README.txt", "data/", "data/2x/"] + pictures))
            self.assertEqual(z.read("orvi.exe"), pathlib.Path(EXE).read_bytes(), "not the orvi.exe built")
            readme = z.read("README.txt").decode()
            self.assertLess(readme.index("PHOTOSENSITIVITY WARNING"), readme.index("Run it:"))
            self.assertIn("orvi.exe --reduce-flashing", readme)
            self.names_the_launch_options(readme, "orvi.exe --fullscreen")

    def names_the_launch_options(self, readme, example):
        """What a party machine or a kiosk needs, with how to give it."""
        for option in ("--fullscreen", "--windowed", "--stretch", "--reduce-flashing", "--help"):
            self.assertRegex(readme, r"(?m)^  %s\b" % option, "README.txt does not list " + option)
        self.assertIn(example, readme)
        return re.findall(r"(?m)^  (--[a-z-]+)", readme)


if __name__ == "__main__":
    main()
