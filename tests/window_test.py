#!/usr/bin/python3
"""The real orvi on virtual displays: its questions answered by key, its window looked at,
closed, minimised, letterboxed, and ended by keys and signals."""
import contextlib
import os
import signal
import socket
import struct
import threading
import time

import numpy as np
from Xlib import X
from Xlib.ext import res

from harness import ARTIFACTS, Case, MusicPipe, ORVI, blank, main, until
from show_test import settled

TITLE = "Orvi: Tonaro"
SHOW = (640, 480)


def frames(screen, win, program, count):
    """Waits for count new frames in win, or the program's end."""
    for _ in range(count):
        before = screen.shot(win)
        until("new frame", lambda: not program.alive() or screen.shot(win) != before)


class Shown(Case):
    def shown(self, args=("--windowed",), screen=None, env=None):
        """orvi on a 640x480 display (or `screen`) with `args`, its window found and drawn."""
        screen = screen or self.display("640x480")
        orvi = self.start([ORVI, *args], dict(screen.env, SDL_AUDIODRIVER="dummy") | (env or {}))
        win = screen.find(TITLE, SHOW)
        screen.drawn(win)
        return screen, orvi, win

    def ends_on_escape(self, screen, orvi, win):
        screen.press(win, ["Escape"])
        self.assertEqual(orvi.wait(), 0)


class Question(Shown):
    # No runs the show windowed; the Escape that answered it, held, counts in the show only once
    # pressed anew. Minimised as a window manager iconifies it, the music, and so the show, goes on.
    def test_no_held_runs_windowed_takes_escape_only_anew_and_goes_on_minimised(self):
        screen = self.display("640x480")
        pipe = MusicPipe(self.scratch())
        orvi = self.start([ORVI], dict(screen.env, **pipe.env))
        box = screen.find(TITLE)
        until(f"text in {box}", lambda: not blank(screen.shot(box)))
        screen.press(box, ["Escape"])  # held: the box answers No at the first repeat
        screen.gone(box)
        win = screen.find(TITLE, SHOW)
        win.x.set_input_focus(X.RevertToParent, X.CurrentTime)  # as a window manager gives it
        until("focus on the show", lambda: screen.x.get_input_focus().focus == win.x)
        # Ten new frames with Escape down and the window focused (SDL takes focus 200 ms late).
        frames(screen, win, orvi, 10)
        self.assertTrue(orvi.alive(), "Escape held since the question ended the show")
        screen.release()
        frames(screen, win, orvi, 1)  # else SDL takes a release and press at once for a repeat
        screen.unmap(win)
        minimised = pipe.show_ms()
        until("sound while minimised", lambda: pipe.show_ms() > minimised + 500)
        screen.map(win)
        screen.drawn(win)
        self.ends_on_escape(screen, orvi, win)

    def test_yes_on_a_640x480_display_runs_fullscreen(self):
        screen = self.display("640x480")
        screen.manage()
        orvi = self.start([ORVI], dict(screen.env, SDL_AUDIODRIVER="dummy"))
        screen.find(TITLE)
        # The program's own connection is up beside the box's (drawn from a forked child): were the
        # box's the display's last, its end would reset the server and refuse the window's.
        ids = screen.x.res_query_client_ids([{"client": 0, "mask": res.LocalClientPIDMask}]).ids
        self.assertIn(orvi.process.pid, [i.value[0] for i in ids if i.value])
        screen.answer(TITLE, "Return")
        win = screen.find(TITLE, SHOW)
        screen.drawn(win)
        until("fullscreen", lambda: "_NET_WM_STATE_FULLSCREEN" in screen.state(win))
        self.assertEqual(screen.find(TITLE).box, (0, 0) + SHOW)
        self.ends_on_escape(screen, orvi, win)

    def test_yes_where_640x480_cannot_be_set_offers_the_fallback_and_declining_fails_the_start(self):
        screen = self.display("1024x768")
        orvi = self.start([ORVI], dict(screen.env, SDL_AUDIODRIVER="dummy"))
        question = screen.answer(TITLE, "Return")
        # Each box is a new client, which may get the last one's window id: the question is gone.
        error = screen.find("Orvi - ERROR")
        print(f"the question was {question.x.id:#x}, the fallback's box is {error.x.id:#x}")
        self.assertFalse(screen.showing(question))
        screen.answer("Orvi - ERROR", "Escape")
        screen.answer("main()", "Return")
        self.assertEqual(orvi.wait(), 0)

    def test_a_question_no_box_can_show_is_answered_no_and_says_why(self):
        # Only the server's built-in fonts, which SDL's box cannot use, and no zenity to fall back on.
        screen, orvi, win = self.shown((), self.display("640x480", "-fp", "built-ins"), {"PATH": self.scratch()})
        self.assertRegex(orvi.err, r"Orvi: Tonaro: Go fullscreen\? \(no box can be shown: .+\): answered No")
        self.ends_on_escape(screen, orvi, win)


class Ending(Shown):
    def test_every_key_but_escape_is_ignored_and_closing_the_window_ends_the_show(self):
        # Asking more samples than any visual offers: the show still starts and draws.
        screen, orvi, win = self.shown(("--windowed", "--msaa", "16"))
        self.assertEqual(win.x.get_wm_class(), ("Orvi", "Orvi"))
        screen.press(win, [8] + list(range(10, 256)))
        # Held until two new frames show the loop went round with them down.
        frames(screen, win, orvi, 2)
        screen.release()
        self.assertTrue(orvi.alive(), "a key other than Escape (X keycode 9) ended the show")
        screen.close(win)
        self.assertEqual(orvi.wait(), 0)

    def test_signals_in_the_show_or_the_question_and_the_display_going_away_end_it_with_exit_0(self):
        screen = self.display("640x480")
        for name in ("SIGTERM", "SIGINT", "SIGHUP", "SIGQUIT"):
            with self.subTest(name, during="the show"):
                _, orvi, win = self.shown(screen=screen)
                orvi.signal(getattr(signal, name))
                self.assertEqual(orvi.wait(), 0)
                screen.gone(win)
        for name in ("SIGTERM", "SIGHUP"):
            with self.subTest(name, during="the question"):
                orvi = self.start([ORVI], dict(screen.env, SDL_AUDIODRIVER="dummy"))
                box = screen.find(TITLE)
                orvi.signal(getattr(signal, name))
                self.assertEqual(orvi.wait(), 0)
                screen.gone(box)
        with self.subTest("the display going away"):
            _, orvi, _ = self.shown(screen=screen)
            screen.stop()
            self.assertEqual(orvi.wait(), 0)

    def test_a_signal_while_a_picture_loads_ends_the_loading_there_before_the_music(self):
        # A harmless fault in the first blood-cell picture (an ancillary chunk's checksum) holds the
        # loader at libpng's box mid-load until the signal closes it.
        screen, world = self.display("640x480"), self.world()
        data = lambda name: os.path.join(world, "data", name)
        with open(data("veri-tausta1.png"), "r+b") as f:
            png = f.read()
            f.seek(0)
            f.write(png[:33] + struct.pack(">I", 4) + b"tEXtk\0vv" + bytes(4) + png[33:])
        os.utime(data("veri-tausta2.png"), (0, time.time()))  # a read moves its access time on
        sound = os.path.join(self.scratch(), "sound.raw")
        orvi = self.start([ORVI, "--windowed"], dict(screen.env, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=sound), world)
        box = screen.find("")
        until("text in the box", lambda: len(screen.shot(box).getcolors(1 << 20) or []) > 1)
        orvi.signal(signal.SIGTERM)
        self.assertEqual(orvi.wait(), 0)
        self.assertEqual(os.stat(data("veri-tausta2.png")).st_atime, 0, "the next picture was read")
        self.assertFalse(os.path.exists(sound), "the music started")


class Boxes(Case):
    # A kiosk's bare X server (no compositor, no window manager, a root showing nothing): the window
    # under a closing box is cleared, so the next, smaller box stands among no pieces of the first.
    def test_the_box_after_another_shows_nothing_of_it_on_a_bare_x_server(self):
        for what, breaks, env, first in [
                ("a picture missing", lambda world: os.remove(os.path.join(world, "data", "chrome.png")),
                 {"SDL_AUDIODRIVER": "dummy"}, "LoadTextures()"),
                ("no sound device", lambda world: None, {"SDL_AUDIODRIVER": "no-such-driver"}, "Orvi")]:
            with self.subTest(what):
                screen, world = self.display("640x480", "-background", "none"), self.world()
                breaks(world)
                orvi = self.start([ORVI, "--windowed"], dict(screen.env, **env), world)
                self.answered(screen, self.box(screen, first))
                box = self.box(screen, "main()")
                x, y, w, h = box.box
                around = np.asarray(screen.shot()).copy()
                around[y:y + h, x:x + w] = 0
                if around.max():
                    os.makedirs(ARTIFACTS, exist_ok=True)
                    screen.shot().save(os.path.join(ARTIFACTS, "box-among-pieces.png"))
                self.assertEqual(around.max(), 0, "pieces of the first box around the second")
                self.answered(screen, box)
                self.assertEqual(orvi.wait(), 0)

    def box(self, screen, title):
        """The box of this title with its text painted (not the show's window, titled "Orvi" a moment)."""
        box = until(f"box \"{title}\"", lambda: next(
            (w for w in screen.windows() if w.title == title and w.size != SHOW), None), 60)
        until("text in the box", lambda: len(screen.shot(box).getcolors(1 << 20) or []) > 1)
        return box

    def answered(self, screen, box):
        screen.press(box, ["Return"])
        screen.release()
        screen.gone(box)


def display_at_the_door(case, target, refused):
    """The environment of a display whose first `refused` connections are closed at once, as one
    not up yet; later ones are relayed to the display `target`."""
    door, seen = socket.socket(socket.AF_UNIX), []
    for number in range(300, 400):
        with contextlib.suppress(OSError):
            door.bind(f"\0/tmp/.X11-unix/X{number}")
            break
    door.listen(8)
    case.addCleanup(lambda: (door.shutdown(socket.SHUT_RDWR), door.close()))

    def relay(a, b):
        with contextlib.suppress(OSError):
            while data := a.recv(1 << 16):
                b.sendall(data)
            b.shutdown(socket.SHUT_WR)

    def serve():
        with contextlib.suppress(OSError):
            while True:
                visitor = door.accept()[0]
                seen.append(visitor)
                if len(seen) <= refused:
                    visitor.close()
                    continue
                real = socket.socket(socket.AF_UNIX)
                real.connect(f"\0/tmp/.X11-unix/X{target[1:]}")
                for a, b in ((visitor, real), (real, visitor)):
                    threading.Thread(target=relay, args=(a, b), daemon=True).start()
    threading.Thread(target=serve, daemon=True).start()
    return {"DISPLAY": f":{number}"}


class DeadDisplay(Shown):
    def test_a_display_that_answers_late_is_waited_for_and_one_that_never_does_given_up(self):
        screen = self.display("640x480")
        self.ends_on_escape(*self.shown(screen=screen, env=display_at_the_door(self, screen.env["DISPLAY"], 3)))
        orvi = self.start([ORVI, "--windowed"], dict(display_at_the_door(self, ":0", 10 ** 9), SDL_AUDIODRIVER="dummy"))
        self.assertEqual(orvi.wait(30), 0)
        self.assertIn("Cannot start application!", orvi.err)


def bars_wrong(image, columns, rows):
    """What is wrong (None: nothing) with a frame meant to have black bars of this width or height
    beside or above and below a picture that reaches right up to them."""
    a = np.asarray(image).astype(int)
    h, w, _ = a.shape
    bars = [a[:, :columns], a[:, w - columns:]] if columns else [a[:rows], a[h - rows:]] if rows else []
    edges = [a[rows:h - rows, columns], a[rows:h - rows, w - columns - 1],
             a[rows, columns:w - columns], a[h - rows - 1, columns:w - columns]]
    if any(b.size and b.max() > 0 for b in bars):
        return "a bar is not black"
    if any((e.max(axis=1) > 24).mean() < 0.3 for e in edges):
        return "the picture does not reach an edge of its area"
    return None


class Letterbox(Case):
    # The opening logo's picture fills the show's area to its edges. On the large desktop a large
    # picture that cannot be read (a folder here) is drawn from data/, with a line saying so.
    def test_desktop_fullscreen_letterboxes_or_stretches_to_the_display(self):
        for size, option, columns, rows in [("1280x720", "--fullscreen", 160, 0),
                                            ("1280x1024", "--fullscreen", 0, 32),
                                            ("1280x720", "--stretch", 0, 0),
                                            ("1920x1080", "--fullscreen", 240, 0)]:
            with self.subTest(size=size, option=option):
                screen, world, large = self.display(size), None, size == "1920x1080"
                if large:
                    chrome = os.path.join(world := self.world(), "data", "2x", "chrome.png")
                    os.remove(chrome)
                    os.mkdir(chrome)
                orvi = self.start([ORVI, option], dict(screen.env, SDL_AUDIODRIVER="dummy"), world)
                win = screen.find(TITLE, tuple(map(int, size.split("x"))))
                shots = []
                def judged():
                    shots.append(screen.shot(win))
                    return not blank(shots[-1]) and not bars_wrong(shots[-1], columns, rows)
                try:
                    until("frame with the right bars", judged, 20)
                finally:
                    os.makedirs(ARTIFACTS, exist_ok=True)
                    shots[-1].save(os.path.join(ARTIFACTS, f"letterbox{option}-{size}.png"))
                    print(f"{option} on {size}: {bars_wrong(shots[-1], columns, rows) or 'right'}")
                for says in ("not a regular file", "drawn from the picture in data/ instead") if large else ():
                    self.assertIn("orvi: data/2x/chrome.png: " + says, orvi.err)
                orvi.signal(signal.SIGTERM)
                self.assertEqual(orvi.wait(), 0)
                screen.stop()


def glow(shot, rest):
    """How far a frame lies from the frame at rest towards white: 0 the same, 1 all white."""
    shot, rest = (np.asarray(i.convert("RGB")).astype(float) for i in (shot, rest))
    room = 255 - rest
    return float(np.median((shot - rest)[room > 64] / room[room > 64]))


class Flashing(Case):
    def test_reduce_flashing_softens_the_cut_to_a_glow(self):
        # The show held every 10 ms across the first cut's flash (3515 to 3685 ms): each frame the
        # logo before or after it lightened by at most the reduced flash's 15 %, somewhere by some.
        screen = self.display("640x480")
        pipe = MusicPipe(self.scratch(), held=True)
        orvi = self.start([ORVI, "--windowed", "--reduce-flashing"], dict(screen.env, **pipe.env))
        win = screen.find(TITLE, SHOW)

        held = lambda ms: pipe.hold(ms) or settled(screen, win)
        before = held(3400)
        scan = {ms: held(ms) for ms in range(3450, 3760, 10)}
        after = held(3800)
        near = lambda shot, rest: np.abs(np.asarray(shot).astype(int) - np.asarray(rest)).mean()
        glows = {ms: glow(shot, min((before, after), key=lambda rest: near(shot, rest)))  # against the nearer logo
                 for ms, shot in scan.items()}
        print("glow across the cut:", " ".join(f"{ms}:{g:.2f}" for ms, g in glows.items()))
        brightest = max(glows, key=glows.get)
        os.makedirs(ARTIFACTS, exist_ok=True)
        scan[brightest].save(os.path.join(ARTIFACTS, "reduced-flash.png"))
        self.assertLessEqual(glows[brightest], 0.2, f"a flash at {brightest} ms")
        self.assertGreaterEqual(glows[brightest], 0.08, "no glow across the cut")
        pipe.release()
        orvi.signal(signal.SIGTERM)
        self.assertEqual(orvi.wait(), 0)


if __name__ == "__main__":
    main()
