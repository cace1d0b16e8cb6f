"""Debian's browsers driven as a visitor would use them, on 127.0.0.1 only: Chromium headless and
WebKit (WebKitGTK's MiniBrowser, Safari's engine) through their WebDriver servers with Debian's
Selenium; Firefox ESR, for which Debian packages no WebDriver server, through its own WebDriver
BiDi endpoint by the small client below. Their consoles collected for a report. Served: a folder
on a free local port, optionally with a script run in its pages before their own. `case` is a
Session (session.py)."""
import asyncio
import functools
import http.server
import io
import json
import os
import re
import shutil
import socket
import threading
import urllib.request

from PIL import Image

from programs import read, until

CHROMIUM, CHROMEDRIVER = shutil.which("chromium"), shutil.which("chromedriver")
WEBKIT_DRIVER = shutil.which("WebKitWebDriver")
MINIBROWSER = next((p for p in ("/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser",
                                "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.0/MiniBrowser") if os.path.exists(p)), None)
FIREFOX, PULSEAUDIO = shutil.which("firefox-esr"), shutil.which("pulseaudio")

# What a page's console says, kept in the page for a driver that cannot read the console itself
# (WebKit's has no log command): errors, uncaught exceptions and rejections, and resources that
# failed to load.
CONSOLE_HOOK = """window.consoleErrors = [];
{ const error = console.error.bind(console);
  console.error = (...a) => { consoleErrors.push(a.map(String).join(' ')); error(...a); }; }
addEventListener('error', e => consoleErrors.push(e.message || 'failed to load ' + (e.target.src || e.target.href)), true);
addEventListener('unhandledrejection', e => consoleErrors.push('unhandled rejection: ' + e.reason));"""


class Served:
    """A folder on 127.0.0.1 at a free port, wasm with its own type so the browser streams it;
    with `before`, every HTML page served runs that script ahead of its own (a sound that never
    starts, say), which works the same in every browser."""

    def __init__(self, folder, handler=None, before=None):
        handler = handler or Quiet
        if before is not None:
            handler = type("Prefaced", (Prefaced, handler), {"before": before})
        handler = functools.partial(handler, directory=folder)
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

    def handle(self):
        try:
            super().handle()
        except ConnectionError:
            pass  # the page was left while a file was on its way


class Prefaced(Quiet):
    before = ""

    def do_GET(self):
        path = self.translate_path(self.path)
        path = os.path.join(path, "index.html") if os.path.isdir(path) else path
        if not path.endswith(".html") or not os.path.isfile(path):
            return super().do_GET()
        page = read(path).replace("<head>", "<head>\n<script>" + self.before + "</script>", 1).encode()
        self.send_response(200)
        for header, value in (("Content-Type", "text/html; charset=utf-8"), ("Content-Length", str(len(page))),
                              ("Cache-Control", "no-store")):
            self.send_header(header, value)
        self.end_headers()
        self.wfile.write(page)


def sound_server(case):
    """A private PulseAudio with a null sink, as a machine without a sound card has one: ALSA's
    null device has no clock for a browser's audio to run by. The environment to reach it."""
    home = case.scratch()
    pulse = os.path.join(home, "socket")
    case.start([PULSEAUDIO, "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                "-L", "module-null-sink", "-L", f"module-native-protocol-unix socket={pulse} auth-anonymous=1"],
               {"HOME": home, "PULSE_RUNTIME_PATH": home, "PULSE_STATE_PATH": home})
    until("sound server", lambda: os.path.exists(pulse))
    return {"HOME": home, "PULSE_SERVER": "unix:" + pulse}


class Driven:
    """A browser behind a WebDriver server, driven by Selenium: one page, its console errors
    collected. Subclasses start the server and say how the page is hidden."""
    throttles_hidden = False  # whether a hidden page's timers are slowed to a second here

    def connect(self, case, port, options):
        """A session in the WebDriver server at the port of 127.0.0.1, once it answers."""
        from selenium import webdriver  # only where a driven browser is installed
        until(f"{self.program.name} answering", lambda: self.answers(port) or not self.program.alive(), 30)
        if not self.program.alive():
            raise AssertionError(f"{self.program.name} ended before it answered")
        self.collected = []
        # Navigation waits for nothing (WebKit's driver never sees an eager load end): navigate
        # waits for the new page itself.
        options.page_load_strategy = "none"
        self.driver = webdriver.Remote(command_executor=f"http://127.0.0.1:{port}", options=options)
        case.addCleanup(self.driver.quit)
        case.programs.append(self)  # its console in the report of any failure

    @staticmethod
    def answers(port):
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/status", timeout=5) as answer:
                return json.load(answer)["value"].get("ready", True) is not False
        except OSError:
            return False

    def __str__(self):
        try:
            console = self.console
        except Exception as error:  # the browser already gone: say so, not fail the report
            console = [f"(console unreadable: {error})"]
        return f"{self.package} console errors:\n" + "\n".join(console or ["(none)"]) + "\n"

    def js(self, expression):
        """The expression's value (a promise's, once settled), run as the page's own script."""
        from selenium.common.exceptions import JavascriptException
        try:
            return self.driver.execute_script("return eval(arguments[0])", expression)
        except JavascriptException as error:
            raise AssertionError(f"{expression}: {error.msg}") from None

    def navigate(self, url):
        """The page at url, begun: by way of a blank page, so nothing of the page before is
        taken for it."""
        from selenium.common.exceptions import WebDriverException

        def there(address):
            try:
                return self.driver.execute_script("return document.readyState != 'loading' && location.href") == address
            except WebDriverException:  # asked while the page before unloads
                return False
        for address in ("about:blank", url):
            self.driver.get(address)
            until(f"{address} open", lambda: there(address), 60)

    def open(self, url):
        self.navigate(url)
        until("page ready to play", lambda: self.js("document.body && document.body.dataset.state") in ("ready", "failed"))

    def click(self, selector):
        """A real click at the element's centre: the user gesture browsers want for sound."""
        self.press_at(*self.js(f"(r => [r.x + r.width / 2, r.y + r.height / 2])"
                               f"(document.querySelector('{selector}').getBoundingClientRect())"))

    def press_at(self, x, y):
        from selenium.webdriver.common.actions.action_builder import ActionBuilder
        actions = ActionBuilder(self.driver)
        actions.pointer_action.move_to_location(round(x), round(y))
        actions.pointer_action.click()
        actions.perform()

    def escape(self, down):
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.keys import Keys
        keys = ActionChains(self.driver)
        (keys.key_down if down else keys.key_up)(Keys.ESCAPE).perform()

    def shot(self):
        return Image.open(io.BytesIO(self.driver.get_screenshot_as_png())).convert("RGB")


class Chromium(Driven):
    """Headless Chromium on SwiftShader through chromedriver; its own DevTools commands (`call`)
    for what WebDriver has no word for: the screen emulated, the network slowed, the manifest."""
    path, package = CHROMIUM and CHROMEDRIVER, "chromium or chromium-driver"

    def __init__(self, case):
        from selenium import webdriver
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless=new", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                     "--autoplay-policy=no-user-gesture-required", "--no-sandbox",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--no-first-run", "--user-data-dir=" + case.scratch(), "--window-size=640,480",
                     "--force-device-scale-factor=1"):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        # chromedriver says the port it took; it takes connections from this machine only.
        self.program = case.start([CHROMEDRIVER, "--port=0", "--allowed-ips=127.0.0.1"])
        port = until("chromedriver's port", lambda: re.search(r"started successfully on port (\d+)", self.program.out))
        self.connect(case, port[1], options)
        self.driver.command_executor._commands["executeCdpCommand"] = ("POST", "/session/$sessionId/goog/cdp/execute")
        # The page as large as the show's window; the headless window's own size is not.
        self.call("Emulation.setDeviceMetricsOverride", width=640, height=480, deviceScaleFactor=1, mobile=False)

    @property
    def console(self):
        self.collected += [f"{e['message']}" for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]
        return self.collected

    def call(self, method, **params):
        return self.driver.execute("executeCdpCommand", {"cmd": method, "params": params})["value"]

    def hide(self, hidden):
        """Another tab over the page, as a user switching tabs; or gone again."""
        if hidden:
            self.other = self.call("Target.createTarget", url="about:blank")["targetId"]
        else:
            self.call("Target.closeTarget", targetId=self.other)


class WebKit(Driven):
    """WebKitGTK's MiniBrowser through WebKitWebDriver, on a private X display, its sound through
    a private sound server; its page 640x480 CSS pixels. Hidden by minimising its window, which
    puts its page's timers at once a second, as a hidden tab's."""
    throttles_hidden = True
    path, package = WEBKIT_DRIVER and MINIBROWSER and PULSEAUDIO, "webkit2gtk-driver or pulseaudio"

    def __init__(self, case):
        from selenium.webdriver.webkitgtk.options import Options
        options = Options()
        options.binary_location = MINIBROWSER
        options.add_argument("--automation")
        for legacy in ("platform", "version"):  # Selenium's old defaults, which it then warns of
            options.capabilities.pop(legacy, None)
        env = dict(case.display("1024x768").env, **sound_server(case))
        # WebKitWebDriver says no port it took: one free a moment ago.
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        self.program = case.start([WEBKIT_DRIVER, "--host=127.0.0.1", f"--port={port}"], env)
        self.connect(case, port, options)
        # The window's frame and toolbar around the page, then the page at the show's size.
        self.driver.set_window_rect(width=640, height=480)
        inner = self.driver.execute_script("return [innerWidth, innerHeight]")
        self.driver.set_window_rect(width=1280 - inner[0], height=960 - inner[1])
        until("a 640x480 page", lambda: self.driver.execute_script("return [innerWidth, innerHeight]") == [640, 480], 10)

    @property
    def console(self):
        """The page's own record of its console (a page served with CONSOLE_HOOK)."""
        errors = self.driver.execute_script("return window.consoleErrors")
        if errors is None:
            raise AssertionError("the page was served without the console hook: its errors are unknown")
        return errors

    def hide(self, hidden):
        if hidden:
            self.shown = self.driver.get_window_rect()
            self.driver.minimize_window()
        else:  # a window given its size back is no longer minimised
            self.driver.set_window_rect(width=self.shown["width"], height=self.shown["height"])


class Firefox:
    """Firefox over WebDriver BiDi, on a private X display: headless it has no WebGL on Linux
    (Mozilla bug 1375585), with its sound through a private sound server. Kept off the network:
    only local connections, no plugin updates."""
    path, package = FIREFOX and PULSEAUDIO, "firefox-esr or pulseaudio"
    throttles_hidden = False

    def __init__(self, case):
        import websockets  # only where Firefox is driven
        profile = case.scratch()
        sound = sound_server(case)
        with open(os.path.join(profile, "user.js"), "w") as prefs:
            prefs.write('user_pref("media.gmp-manager.updateEnabled", false);\n')
        self.program = case.start(
            [FIREFOX, "--no-remote", "--profile", profile, "--remote-debugging-port=0", "about:blank"],
            dict(case.display("640x480").env, MOZ_DISABLE_NONLOCAL_CONNECTIONS="1", **sound))
        url = until("WebDriver BiDi port", lambda: re.search(r"BiDi listening on (ws://\S+)", self.program.err))
        self.loop = asyncio.new_event_loop()
        self.thread = threading.Thread(target=self.loop.run_forever, daemon=True)
        self.thread.start()
        self.console, self.pending, self.next_id = [], {}, 0
        async def connect():  # the library's connect is awaitable, not a coroutine
            return await websockets.connect(url[1] + "/session", max_size=1 << 26)
        self.socket = self.run(connect())
        asyncio.run_coroutine_threadsafe(self.read(), self.loop)
        case.addCleanup(self.close)
        case.programs.append(self)
        self.call("session.new", capabilities={})
        self.context = self.call("browsingContext.getTree")["contexts"][0]["context"]
        self.call("session.subscribe", events=["log.entryAdded"])
        self.call("browsingContext.setViewport", context=self.context,
                  viewport={"width": 640, "height": 480}, devicePixelRatio=1)

    __str__ = Driven.__str__
    open, click = Driven.open, Driven.click

    def run(self, coroutine, seconds=60):
        return asyncio.run_coroutine_threadsafe(coroutine, self.loop).result(seconds)

    async def read(self):
        async for text in self.socket:
            message = json.loads(text)
            if "id" in message:
                self.pending.pop(message["id"]).set_result(message)
            elif message.get("method") == "log.entryAdded" and message["params"]["level"] == "error":
                self.console.append(message["params"]["text"])

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
        import base64
        data = self.call("browsingContext.captureScreenshot", context=self.context)["data"]
        return Image.open(io.BytesIO(base64.b64decode(data))).convert("RGB")

    def hide(self, hidden):
        if hidden:
            self.other = self.call("browsingContext.create", type="tab")["context"]
        else:
            self.call("browsingContext.close", context=self.other)

    def close(self):
        try:
            self.run(self.socket.close(), 10)
        finally:
            self.loop.call_soon_threadsafe(self.loop.stop)
            self.thread.join(10)
            self.loop.close()
