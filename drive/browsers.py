"""Debian's browsers driven as a visitor would use them, on 127.0.0.1 only: Chromium headless
over its DevTools protocol, Firefox ESR over WebDriver BiDi; their consoles collected for a
report. Served: a folder on a free local port. `case` is a Session (session.py)."""
import asyncio
import base64
import functools
import http.server
import io
import json
import os
import re
import shutil
import threading
import urllib.request

import websockets
from PIL import Image

from programs import read, until

CHROMIUM = shutil.which("chromium")
FIREFOX, PULSEAUDIO = shutil.which("firefox-esr"), shutil.which("pulseaudio")


class Served:
    """A folder on 127.0.0.1 at a free port, wasm with its own type so the browser streams it."""

    def __init__(self, folder, handler=None):
        handler = functools.partial(handler or Quiet, directory=folder)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = "http://127.0.0.1:%d/" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class Quiet(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript"})

    def log_message(self, *args):
        pass


class Browser:
    """Headless Chromium driven over its DevTools protocol, one page, its console collected; the
    socket, open and click shared with Firefox below."""
    path, package = CHROMIUM, "chromium"

    def __init__(self, case):
        profile = case.scratch()
        self.program = case.start([
            CHROMIUM, "--headless=new", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
            "--autoplay-policy=no-user-gesture-required", "--no-sandbox",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--no-first-run", "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
            "--user-data-dir=" + profile, "--window-size=640,480",
            "--force-device-scale-factor=1", "about:blank"])
        active = os.path.join(profile, "DevToolsActivePort")
        port = until("DevTools port", lambda: os.path.exists(active) and read(active).split("\n")[0])
        targets = json.load(urllib.request.urlopen("http://127.0.0.1:%s/json/list" % port))
        self.attach(case, next(t["webSocketDebuggerUrl"] for t in targets if t["type"] == "page"))
        for domain in ("Page", "Runtime", "Log"):
            self.call(domain + ".enable")
        # The page as large as the show's window; the headless window's own size is not.
        self.call("Emulation.setDeviceMetricsOverride", width=640, height=480,
                  deviceScaleFactor=1, mobile=False)

    def attach(self, case, url):
        self.loop = asyncio.new_event_loop()
        self.thread = threading.Thread(target=self.loop.run_forever, daemon=True)
        self.thread.start()
        self.console, self.pending, self.next_id = [], {}, 0
        self.socket = self.run(self.connect(url))
        asyncio.run_coroutine_threadsafe(self.read(), self.loop)
        case.addCleanup(self.close)
        case.programs.append(self)  # its console in the report of any failure

    def __str__(self):
        return f"{self.package} console errors:\n" + "\n".join(self.console or ["(none)"]) + "\n"

    async def connect(self, url):
        return await websockets.connect(url, max_size=1 << 26)

    def run(self, coroutine, seconds=60):
        return asyncio.run_coroutine_threadsafe(coroutine, self.loop).result(seconds)

    async def read(self):
        async for text in self.socket:
            message = json.loads(text)
            if "id" in message:
                self.pending.pop(message["id"]).set_result(message)
            elif message["method"] == "Runtime.exceptionThrown":
                self.console.append(message["params"]["exceptionDetails"].get("exception", {})
                                    .get("description", str(message["params"])))
            elif message["method"] == "Runtime.consoleAPICalled" and message["params"]["type"] == "error":
                self.console.append(" ".join(str(a.get("value", a.get("description")))
                                             for a in message["params"]["args"]))
            elif message["method"] == "Log.entryAdded" and message["params"]["entry"]["level"] == "error":
                entry = message["params"]["entry"]
                self.console.append(f"{entry['text']} {entry.get('url', '')}")
            elif message["method"] == "log.entryAdded" and message["params"]["level"] == "error":
                self.console.append(message["params"]["text"])  # Firefox's, over WebDriver BiDi

    async def send(self, method, params):
        self.next_id += 1
        answer = self.loop.create_future()
        self.pending[self.next_id] = answer
        await self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        return await answer

    def call(self, method, **params):
        answer = self.run(self.send(method, params))
        if "error" in answer:
            raise AssertionError(f"{method}: {answer['error']} {answer.get('message', '')}")
        return answer["result"]

    def js(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True)
        if "exceptionDetails" in result:
            raise AssertionError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def navigate(self, url):
        self.call("Page.navigate", url=url)

    def open(self, url):
        self.navigate(url)
        until("page ready to play", lambda: self.js("document.body && document.body.dataset.state") in ("ready", "failed"))

    def click(self, selector):
        """A real click at the element's centre: the user gesture browsers want for sound."""
        self.press_at(*self.js(f"(r => [r.x + r.width / 2, r.y + r.height / 2])"
                               f"(document.querySelector('{selector}').getBoundingClientRect())"))

    def press_at(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    def escape(self, down):
        self.call("Input.dispatchKeyEvent", type="keyDown" if down else "keyUp", key="Escape",
                  code="Escape", windowsVirtualKeyCode=27)

    def shot(self):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        return Image.open(io.BytesIO(base64.b64decode(data))).convert("RGB")

    def preload(self, script):
        """Runs script in every page opened from now on, before the page's own."""
        self.call("Page.addScriptToEvaluateOnNewDocument", source=script)

    def hide(self, hidden):
        """Another tab over the page, as a user switching tabs; or gone again."""
        if hidden:
            self.other = self.call("Target.createTarget", url="about:blank")["targetId"]
        else:
            self.call("Target.closeTarget", targetId=self.other)

    def close(self):
        try:
            self.run(self.socket.close(), 10)
        finally:
            self.loop.call_soon_threadsafe(self.loop.stop)
            self.thread.join(10)
            self.loop.close()


class Firefox(Browser):
    """Firefox over WebDriver BiDi, on a private X display: headless it has no WebGL on Linux
    (Mozilla bug 1375585). Its sound needs a sound server (ALSA's null device has no clock): a
    private PulseAudio's null sink. Kept off the network: only local connections, no plugin
    updates."""
    path, package = FIREFOX and PULSEAUDIO, "firefox-esr or pulseaudio"

    def __init__(self, case):
        home, profile = case.scratch(), case.scratch()
        pulse = os.path.join(home, "socket")
        case.start([PULSEAUDIO, "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                    "-L", "module-null-sink", "-L", f"module-native-protocol-unix socket={pulse} auth-anonymous=1"],
                   {"HOME": home, "PULSE_RUNTIME_PATH": home, "PULSE_STATE_PATH": home})
        until("sound server", lambda: os.path.exists(pulse))
        with open(os.path.join(profile, "user.js"), "w") as prefs:
            prefs.write('user_pref("media.gmp-manager.updateEnabled", false);\n')
        self.program = case.start(
            [FIREFOX, "--no-remote", "--profile", profile, "--remote-debugging-port=0", "about:blank"],
            dict(case.display("640x480").env, HOME=home, PULSE_SERVER="unix:" + pulse,
                 MOZ_DISABLE_NONLOCAL_CONNECTIONS="1"))
        url = until("WebDriver BiDi port", lambda: re.search(r"BiDi listening on (ws://\S+)", self.program.err))
        self.attach(case, url[1] + "/session")
        self.call("session.new", capabilities={})
        self.context = self.call("browsingContext.getTree")["contexts"][0]["context"]
        self.call("session.subscribe", events=["log.entryAdded"])
        self.call("browsingContext.setViewport", context=self.context,
                  viewport={"width": 640, "height": 480}, devicePixelRatio=1)

    def js(self, expression):
        result = self.call("script.evaluate", expression=expression, awaitPromise=True,
                           target={"context": self.context}, resultOwnership="none")
        if result["type"] == "exception":
            raise AssertionError(f"{expression}: {result['exceptionDetails']['text']}")
        # Arrays and the primitives the test asks for, from BiDi's typed values.
        unwrap = lambda v: [unwrap(e) for e in v["value"]] if v["type"] == "array" else v.get("value")
        return unwrap(result["result"])

    def navigate(self, url):
        self.call("browsingContext.navigate", context=self.context, url=url, wait="complete")

    def act(self, kind, *actions):
        self.call("input.performActions", context=self.context,
                  actions=[{"type": kind, "id": kind, "actions": list(actions)}])

    def press_at(self, x, y):
        self.act("pointer", {"type": "pointerMove", "x": round(x), "y": round(y)},
                 {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0})

    def escape(self, down):
        self.act("key", {"type": "keyDown" if down else "keyUp", "value": "\ue00c"})

    def shot(self):
        data = self.call("browsingContext.captureScreenshot", context=self.context)["data"]
        return Image.open(io.BytesIO(base64.b64decode(data))).convert("RGB")

    def preload(self, script):
        self.call("script.addPreloadScript", functionDeclaration="() => {" + script + "}")

    def hide(self, hidden):
        if hidden:
            self.other = self.call("browsingContext.create", type="tab")["context"]
        else:
            self.call("browsingContext.close", context=self.other)
