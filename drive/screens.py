"""A private X display (Xvfb) as a person's desktop: windows found by title, keys pressed
through XTEST, boxes answered, shots taken; optionally its window manager."""
import contextlib
import os
import select
import subprocess
import threading

from PIL import Image
from Xlib import X, XK, Xatom, display as xdisplay, error as xerror
from Xlib.ext import xtest
from Xlib.protocol import event as xevent

from programs import clean_env, until


def blank(image):
    colours = image.getcolors(1 << 20) or []
    most = max((n for n, _ in colours), default=0)
    return len(colours) < 3 or most >= 0.9 * image.width * image.height



class Window:
    def __init__(self, xwin, title, x, y, width, height):
        self.x, self.title, self.box = xwin, title, (x, y, width, height)
        self.size = (width, height)

    def __repr__(self):
        return f"window {self.x.id:#x} \"{self.title}\" {self.size[0]}x{self.size[1]}"


class Display:
    def __init__(self, size, options=()):
        reader, writer = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(writer), "-screen", "0", f"{size}x24", "-nolisten", "tcp", *options],
            pass_fds=[writer], env=clean_env(), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(writer)
        # The number comes in more than one write: closing the pipe before its
        # end of line kills the server.
        number = b""
        while not number.endswith(b"\n") and select.select([reader], [], [], 30)[0]:
            got = os.read(reader, 64)
            if not got:
                break
            number += got
        os.close(reader)
        number = number.strip()
        if not number:
            self.stop()
            raise AssertionError(f"Xvfb did not start a {size} display")
        self.env = {"DISPLAY": ":" + number.decode()}
        self.x = xdisplay.Display(self.env["DISPLAY"])
        # Windows come and go under our feet; a request on one that went is no failure.
        self.x.set_error_handler(lambda *_: None)
        self.root = self.x.screen().root
        self.held = []
        self.x.xfixes_query_version()  # before any other XFixes request

    def manage(self):
        """Be the display's window manager, as a desktop has one: windows are mapped and placed as
        they ask, and _NET_WM_STATE requests kept in the window's property, fullscreen filling
        the screen."""
        wm = xdisplay.Display(self.env["DISPLAY"])
        root, atom = wm.screen().root, wm.intern_atom
        check = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
        for w in (root, check):
            w.change_property(atom("_NET_SUPPORTING_WM_CHECK"), Xatom.WINDOW, 32, [check.id])
        root.change_property(atom("_NET_SUPPORTED"), Xatom.ATOM, 32,
                             [atom("_NET_WM_STATE"), atom("_NET_WM_STATE_FULLSCREEN")])
        root.change_attributes(event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
        wm.sync()

        def serve():
            with contextlib.suppress(Exception):  # until the display goes
                while True:
                    e = wm.next_event()
                    if e.type == X.MapRequest:  # mapped and given the focus, as a desktop's would
                        e.window.map()
                        e.window.set_input_focus(X.RevertToParent, X.CurrentTime)
                    elif e.type == X.ConfigureRequest:
                        e.window.configure(x=e.x, y=e.y, width=e.width, height=e.height)
                    elif e.type == X.ClientMessage and e.client_type == atom("_NET_WM_STATE"):
                        how, *names = e.data[1][:3]
                        state = e.window.get_full_property(atom("_NET_WM_STATE"), Xatom.ATOM)
                        state = set(state.value if state else []) - {0}
                        state = state | set(names) - {0} if how == 1 else state - set(names)
                        e.window.change_property(atom("_NET_WM_STATE"), Xatom.ATOM, 32, list(state))
                        if atom("_NET_WM_STATE_FULLSCREEN") in state:
                            g = root.get_geometry()
                            e.window.configure(x=0, y=0, width=g.width, height=g.height)
                    wm.flush()
        threading.Thread(target=serve, daemon=True).start()

    def state(self, win):
        """The names in a window's _NET_WM_STATE."""
        state = win.x.get_full_property(self.atom("_NET_WM_STATE"), Xatom.ATOM)
        return [self.x.get_atom_name(a) for a in (state.value if state else [])]

    def pointer_hidden(self):
        """Whether the pointer shows nothing, as over a fullscreen show."""
        return not any(self.x.xfixes_get_cursor_image(self.root).cursor_image)

    def stop(self):
        if getattr(self, "x", None):
            self.x.close()
            self.x = None
        if self.server.poll() is None:
            self.server.terminate()
        self.server.wait()

    def atom(self, name):
        return self.x.intern_atom(name)

    def windows(self):
        found = []
        for w in self.root.query_tree().children:
            try:
                if w.get_attributes().map_state != X.IsViewable:
                    continue
                name = (w.get_full_property(self.atom("_NET_WM_NAME"), X.AnyPropertyType)
                        or w.get_full_property(Xatom.WM_NAME, X.AnyPropertyType))
                g = w.get_geometry()
            except xerror.XError:
                continue
            title = name.value if name else b""
            title = title.decode(errors="replace") if isinstance(title, bytes) else title
            found.append(Window(w, title, g.x, g.y, g.width, g.height))
        return found

    def find(self, title, size=None, seconds=30):
        win = until(f"window \"{title}\"{' of %dx%d' % size if size else ''}", lambda: next(
            (w for w in self.windows() if w.title == title and size in (None, w.size)), None), seconds)
        # Marked as the one found: the server hands a window's id to the next client's window
        # once it goes (a box's to the box after it), so the id alone cannot tell it is gone.
        self.found += 1
        win.mark = self.found
        win.x.change_property(self.atom("_ORVI_TEST_FOUND"), Xatom.CARDINAL, 32, [win.mark])
        self.x.sync()
        return win

    found = 0

    def showing(self, win):
        def marked(w):
            with contextlib.suppress(xerror.XError):
                mark = w.x.get_full_property(self.atom("_ORVI_TEST_FOUND"), Xatom.CARDINAL)
                return mark is not None and list(mark.value) == [getattr(win, "mark", None)]
            return False
        return any(w.x.id == win.x.id and marked(w) for w in self.windows())

    def gone(self, win, seconds=15):
        until(f"end of {win}", lambda: not self.showing(win), seconds)

    def keycode(self, key):
        return key if isinstance(key, int) else self.x.keysym_to_keycode(XK.string_to_keysym(key))

    def press(self, win, keys):
        self.release()
        win.x.set_input_focus(X.RevertToParent, X.CurrentTime)
        for key in keys:
            xtest.fake_input(self.x, X.KeyPress, self.keycode(key))
            self.held.append(self.keycode(key))
        self.x.sync()

    def release(self):
        for code in self.held:
            xtest.fake_input(self.x, X.KeyRelease, code)
        self.held = []
        self.x.sync()

    def answer(self, title, key, seconds=30):
        box = self.find(title, None, seconds)
        # Mapped is not yet listening (Wine's boxes): a box that has painted its text has
        # been through its message loop.
        until(f"text in {box}", lambda: len(self.shot(box).getcolors(1 << 20) or []) > 1, seconds)
        # Pressed and released in one request: a harness held off the CPU between the two would
        # hold the key into autorepeat, and a repeat would reach the box that comes next.
        self.release()
        box.x.set_input_focus(X.RevertToParent, X.CurrentTime)
        for event in (X.KeyPress, X.KeyRelease):
            xtest.fake_input(self.x, event, self.keycode(key))
        self.x.sync()
        self.gone(box)
        return box

    def close(self, win):
        message = xevent.ClientMessage(window=win.x, client_type=self.atom("WM_PROTOCOLS"),
                                       data=(32, [self.atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        win.x.send_event(message)
        self.x.sync()

    def unmap(self, win):
        win.x.unmap()
        self.x.sync()

    def map(self, win):
        win.x.map()
        self.x.sync()

    def shot(self, win=None):
        x, y, w, h = win.box if win else (0, 0, self.root.get_geometry().width, self.root.get_geometry().height)
        raw = self.root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF).data
        return Image.frombytes("RGB", (w, h), raw, "raw", "BGRX")

    def drawn(self, win=None, seconds=30):
        def probe():
            image = self.shot(win)
            return None if blank(image) else image
        return until(f"picture in {win or 'the screen'}", probe, seconds)
