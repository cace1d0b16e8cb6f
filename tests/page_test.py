#!/usr/bin/python3
"""The web build as a visitor's Chromium meets it, served on 127.0.0.1 only: what a first visit
fetches before Play on a 1x and on a 2x screen (printed, with the time until Play over an
emulated 20 Mbit/s link); the pictures the browser decoded draw the desktop's frames, through the
native capture; a host that answers a missing file with the page itself; installable, and after
a first visit the whole show plays with the server stopped. Skipped, saying so, without Chromium."""
import base64
import gzip
import os
import shutil
import sys
import time

import numpy as np
from PIL import Image

from harness import ARTIFACTS, CAPTURE, Case, DATA, ROOT, SCENE_LIST, main, run, until
from browsers import Chromium, Quiet, Served  # noqa: E402  (drive/, on the harness's path)

WEB = os.environ.get("ORVI_WEB", os.path.join(ROOT, "dist", "web"))
# The page and its program, which the service worker keeps at once (its PAGE).
PAGE = ("", "index.html", "orvi.js", "orvi.wasm", "manifest.webmanifest", "icons/icon-192.png",
        "icons/icon-512.png")
PICTURE_COUNT = 20
# A screen whose 4:3 picture reaches 1280x960 device pixels takes the pictures drawn at twice the
# pixels.
SMALL_SCREEN = dict(width=640, height=480, deviceScaleFactor=1, screenWidth=1024, screenHeight=768)
LARGE_SCREEN = dict(width=640, height=480, deviceScaleFactor=2, screenWidth=1280, screenHeight=800)
# What the page's pictures may cost the frames: the mean difference from the desktop's, out of 255.
FRAME_TOLERANCE = 2


class Counted(Quiet):
    """Counts the bytes of every body sent, in the class's `sent` list (one total a server); with
    `compress`, the page and its program gzip-compressed for a browser that takes it, as most
    servers send them (the pictures are compressed already)."""
    sent, compress = None, False

    def do_GET(self):
        path = self.translate_path(self.path)
        path = os.path.join(path, "index.html") if os.path.isdir(path) else path
        if not (self.compress and path.endswith((".html", ".js", ".wasm")) and os.path.isfile(path)
                and "gzip" in self.headers.get("Accept-Encoding", "")):
            return super().do_GET()
        with open(path, "rb") as plain:
            body = gzip.compress(plain.read(), 6)
        self.send_response(200)
        for header, value in (("Content-Type", self.guess_type(path)), ("Content-Encoding", "gzip"),
                              ("Content-Length", str(len(body))), ("Cache-Control", "no-cache")):
            self.send_header(header, value)
        self.end_headers()
        self.wfile.write(body)
        self.sent[0] += len(body)

    def copyfile(self, source, out):
        while chunk := source.read(1 << 16):
            out.write(chunk)
            self.sent[0] += len(chunk)


class PageFallback(Quiet):
    """A single-page-app host: a file it lacks is answered with the page itself, 200 text/html."""

    def translate_path(self, path):
        found = super().translate_path(path)
        return found if os.path.exists(found) else os.path.join(self.directory, "index.html")


# A file of the page's, as base64.
READ_FILE = """new Promise(done => { const reader = new FileReader();
  reader.onload = () => done(reader.result.split(',')[1]);
  reader.readAsDataURL(new Blob([Module.FS.readFile('%s')])); })"""
# What the page's service worker has kept: each cache's name and its entries' paths.
CACHES = """caches.keys().then(names => Promise.all(names.map(name => caches.open(name)
  .then(cache => cache.keys()).then(keys => [name, keys.map(k => new URL(k.url).pathname.slice(1))]))))"""


class Visit(Case):
    def setUp(self):
        if not Chromium.path:
            self.skipTest(f"{Chromium.package} is not installed: scripts/deps --web installs it")
        if not os.path.exists(os.path.join(WEB, "orvi.wasm")):
            self.fail(f"no web build in {WEB}: scripts/build-web makes it")

    def serve(self, folder, handler=None):
        served = Served(folder, handler)
        self.addCleanup(served.stop)
        return served

    def browser(self, screen=SMALL_SCREEN):
        browser = Chromium(self)
        browser.call("Emulation.setDeviceMetricsOverride", mobile=False, **screen)
        return browser

    def state(self, browser, wanted, seconds=60):
        until(f"page state {wanted}", lambda: browser.js("document.body && document.body.dataset.state") == wanted,
              seconds)

    def copy(self):
        folder = self.scratch()
        shutil.copytree(WEB, folder, dirs_exist_ok=True)
        return folder

    def kept(self, browser, release=None):
        """Waits until the service worker has kept the page, its program and the 20 pictures;
        what it kept, by cache."""
        def whole():
            caches = dict(browser.js(CACHES))
            ours = caches.get(release or browser.js("RELEASE"), [])
            return len(caches) == 1 and set(PAGE) <= set(ours) and \
                sum(p.startswith("data/") for p in ours) == PICTURE_COUNT and caches
        return until("the page kept for offline use", whole, 60)

    def test_a_first_visit_fetches_at_most_5_mb_before_play_or_10_mb_on_a_2x_screen(self):
        browser = Chromium(self)
        browser.call("Network.enable")
        # Each visit from a server of its own: a new address, so nothing is in the browser's cache.
        for screen, budget, folder in ((SMALL_SCREEN, 5e6, "data/"), (LARGE_SCREEN, 10e6, "data/2x/")):
            with self.subTest(scale=screen["deviceScaleFactor"]):
                browser.call("Emulation.setDeviceMetricsOverride", mobile=False, **screen)
                figures = {}
                for compress, link in ((False, 0), (True, 0), (True, 20e6)):
                    browser.call("Network.emulateNetworkConditions", offline=False, latency=20 if link else 0,
                                 downloadThroughput=link / 8 if link else -1, uploadThroughput=link / 8 if link else -1)
                    handler = type("Counting", (Counted,), {"sent": [0], "compress": compress})
                    served = self.serve(WEB, handler)
                    began = time.monotonic()
                    browser.navigate(served.url + "index.html")
                    self.state(browser, "ready", 120)
                    figures[compress, link] = handler.sent[0], time.monotonic() - began
                    self.assertEqual(browser.js("largePictures"), folder == "data/2x/")
                    browser.navigate("about:blank")
                pictures = sum(os.path.getsize(os.path.join(WEB, folder, n))
                               for n in os.listdir(os.path.join(WEB, folder)) if n.endswith(".avif"))
                print(f"{screen['deviceScaleFactor']}x screen: before Play {figures[True, 0][0] / 1e6:.2f} MB "
                      f"fetched from a server that compresses the program, {figures[False, 0][0] / 1e6:.2f} MB from "
                      f"one that does not (the pictures in {folder} {pictures / 1e6:.2f} MB); Play ready "
                      f"{figures[True, 0][1]:.1f} s after the page was asked for here, {figures[True, 20e6][1]:.1f} s "
                      f"over an emulated 20 Mbit/s link", file=sys.stderr)
                self.assertLessEqual(figures[True, 0][0], budget)
                self.assertLessEqual(figures[True, 20e6][0], budget)

    def test_the_pictures_the_browser_decodes_draw_the_desktops_frames(self):
        for screen, size, folder in ((SMALL_SCREEN, "640x480", ""), (LARGE_SCREEN, "1280x960", "2x")):
            with self.subTest(size=size):
                browser = self.browser(screen)
                browser.open(self.serve(WEB).url + "index.html")
                self.assertEqual(browser.js("document.body.dataset.state"), "ready")
                # What the page handed the show, as the desktop's PNG files, in a copy of data/.
                world = self.scratch()
                shutil.copytree(DATA, os.path.join(world, "data"))
                for name in browser.js("PICTURES"):
                    png = os.path.join(world, "data", folder, name)
                    with Image.open(png) as drawn:
                        mode, shape, original = drawn.mode, drawn.size, np.asarray(drawn.convert(drawn.mode), float)
                    raw = base64.b64decode(browser.js(READ_FILE % f"/data/{folder and folder + '/'}{name}"))
                    width, height = int.from_bytes(raw[:4], "little"), int.from_bytes(raw[4:8], "little")
                    decoded = Image.frombytes("RGBA", (width, height), raw[8:]).convert(mode)
                    self.assertEqual(decoded.size, shape, name)
                    self.assert_no_blocks(name, original, np.asarray(decoded, float))
                    decoded.save(png)
                self.compare_frames(world, size)

    def assert_no_blocks(self, name, png, decoded):
        """No 8x8 block of a picture is off by more than a few levels on average: blocks and
        ringing show as blocks far from the picture drawn. Colours count as they are drawn,
        weighed by their alpha (the browser keeps no colour where nothing is seen)."""
        def drawn(picture):
            return picture[..., :3] * (picture[..., 3:] / 255 if picture.shape[2] == 4 else 1)
        error = np.abs(drawn(png) - drawn(decoded)).mean(axis=2)
        h, w = (s // 8 * 8 for s in error.shape)
        worst = error[:h, :w].reshape(h // 8, 8, w // 8, 8).mean(axis=(1, 3)).max()
        self.assertLess(worst, 8, f"{name}: an 8x8 block off by {worst:.1f} / 255 on average")

    def compare_frames(self, world, size):
        lines = run([SCENE_LIST]).splitlines()[1:]
        rows = {int(f[0]): (int(f[2]), int(f[3])) for f in (line.split("\t") for line in lines)}
        kept = os.path.join(ARTIFACTS, "page", size)
        shutil.rmtree(kept, ignore_errors=True)
        os.makedirs(kept)
        for scene in (1, 3, 5, 8, 13, 15):
            ms = (rows[scene][0] + rows[scene][1]) // 2 // 50 * 50
            frames = {}
            for side, cwd in (("desktop", ROOT), ("page", world)):
                out = os.path.join(self.scratch(), "frames")
                capture = self.start([CAPTURE, "--png", "--msaa", "0", "--size", size, "--fps", "20",
                                      "--from", str(ms / 1000), "--to", str(ms / 1000 + 0.04), "-o", out], cwd=cwd)
                self.assertEqual(capture.wait(180), 0)
                name = f"frame-{ms // 50:05d}.png"
                frames[side] = np.asarray(Image.open(os.path.join(out, name)).convert("RGB"), float)
                shutil.copy(os.path.join(out, name), os.path.join(kept, f"scene-{scene:02d}-{side}.png"))
            difference = np.abs(frames["desktop"] - frames["page"]).mean()
            print(f"{size}, scene {scene:2d} at {ms} ms: the page's pictures {difference:.2f} / 255 from the "
                  f"desktop's", file=sys.stderr)
            self.assertLess(difference, FRAME_TOLERANCE, f"scene {scene} at {ms} ms, {size}")

    def test_a_host_that_answers_a_missing_file_with_the_page_is_missing_that_file(self):
        # A 2x screen, the server without data/2x/: each 1x picture stands in, as for a 404.
        folder = self.copy()
        shutil.rmtree(os.path.join(folder, "data", "2x"))
        browser = self.browser(LARGE_SCREEN)
        browser.open(self.serve(folder, PageFallback).url + "index.html")
        self.assertEqual(browser.js("document.body.dataset.state"), "ready")
        self.assertTrue(browser.js("largePictures"))
        browser.click("#play")
        until("the first frame", lambda: browser.js("Module.firstFrameMs != null"), 30)
        self.assertEqual(browser.js("document.getElementById('messages').innerText"), "")
        browser.escape(True)
        self.state(browser, "ended", 10)
        browser.escape(False)
        # A 1x picture it lacks is a missing picture, said as the desktop says it.
        os.remove(os.path.join(folder, "data", "chrome.avif"))
        browser.open(self.serve(folder, PageFallback).url + "index.html")
        browser.click("#play")
        self.state(browser, "failed", 30)
        self.assertIn("Could not load Chrome texture!@#", browser.js("document.getElementById('messages').innerText"))
        self.assertEqual(browser.console, [])

    def test_installable_and_after_a_first_visit_it_plays_whole_with_the_server_stopped(self):
        served = self.serve(self.copy())
        browser = self.browser()
        browser.open(served.url + "index.html")
        self.assertEqual(browser.js("document.body.dataset.state"), "ready")
        self.kept(browser)
        manifest = browser.call("Page.getAppManifest")
        self.assertEqual(manifest.get("errors"), [], manifest)
        self.assertIn('"display": "fullscreen"', manifest["data"])
        installable = browser.call("Page.getInstallabilityErrors")["installabilityErrors"]
        self.assertEqual(installable, [], "Chromium's reasons the page is not installable")
        served.stop()
        browser.call("Page.reload")
        self.state(browser, "ready", 60)
        self.assertTrue(browser.js("navigator.serviceWorker.controller != null"))
        browser.click("#play")
        self.state(browser, "playing", 5)
        # The music plays on with the show's clock, to its end.
        heard = until("the show at 60 s", lambda: browser.js(
            "Module._orvi_show_ms() >= 60000 && Module._orvi_music_seconds()"), 100)
        self.assertGreater(heard, 59, "the music's position at 60 s of the show, in seconds")
        self.state(browser, "ended", 30)
        self.assertEqual(browser.js("Module.exitCode"), 0)
        self.assertEqual(browser.js("document.getElementById('messages').innerText"), "")
        self.assertEqual(browser.console, [])

    def test_a_new_release_replaces_the_kept_one_once_no_page_of_the_old_is_open(self):
        folder = self.copy()
        served = self.serve(folder)
        browser = self.browser()
        browser.open(served.url + "index.html")
        old = browser.js("RELEASE")
        self.kept(browser, old)
        # The next release on the same server: its own name, a program that differs.
        new = old + "-next"
        for name in ("index.html", "service-worker.js"):
            path = os.path.join(folder, name)
            with open(path) as f:
                text = f.read()
            self.assertIn(f"'{old}'", text, name)
            with open(path, "w") as f:
                f.write(text.replace(f"'{old}'", f"'{new}'"))
        with open(os.path.join(folder, "orvi.js"), "a") as f:
            f.write("\n// the next release\n")
        # A visit while the old release serves: the new one is kept beside it, and waits.
        browser.navigate("about:blank")
        browser.open(served.url + "index.html")
        self.assertEqual(browser.js("RELEASE"), old)
        until("the new release installed", lambda: browser.js(
            "navigator.serviceWorker.getRegistration().then(r => !!(r && r.waiting))"), 60)

        def visit():  # the old release's pages gone, the next visit is the new one's
            browser.navigate("about:blank")
            browser.open(served.url + "index.html")
            return browser.js("RELEASE") == new
        until("a visit served by the new release", visit, 60, every=0.5)
        caches = self.kept(browser, new)
        self.assertEqual(list(caches), [new])
        kept_program = browser.js(f"caches.open('{new}').then(c => c.match('orvi.js')).then(r => r.text())")
        self.assertTrue(kept_program.endswith("// the next release\n"), "the old release's program kept")
        browser.click("#play")
        until("the first frame", lambda: browser.js("Module.firstFrameMs != null"), 30)
        browser.escape(True)
        self.state(browser, "ended", 10)
        browser.escape(False)
        self.assertEqual(browser.console, [])


if __name__ == "__main__":
    main()
