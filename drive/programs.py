"""The built programs run as a person would: started without the caller's display or SDL
choices (clean_env), their output kept for a report, waited on by events (until), never by
fixed sleeps."""
import os
import signal
import subprocess
import time


def clean_env(extra=None):
    """The caller's environment without anything that picks a display, an SDL driver or
    Firefox's headless mode."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("SDL_") and k not in ("DISPLAY", "WAYLAND_DISPLAY", "MOZ_HEADLESS")}
    env.update(extra or {})
    return env


def until(what, probe, seconds=30, every=0.05):
    deadline = time.monotonic() + seconds
    while True:
        found = probe()
        if found:
            return found
        if time.monotonic() > deadline:
            raise AssertionError(f"no {what} in {seconds} s")
        time.sleep(every)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode(errors="replace")
    except OSError:
        return ""


def tail(path, lines=40):
    return "\n".join(read(path).splitlines()[-lines:])


class Program:
    def __init__(self, argv, env, cwd, folder):
        self.argv = [str(a) for a in argv]
        self.name = os.path.basename(self.argv[0])
        base = os.path.join(folder, f"{self.name}-{os.getpid()}-{time.monotonic_ns()}")
        self.out_path, self.err_path = base + ".out", base + ".err"
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            # A group of its own, so its children (a browser's, Wine's) end with it.
            self.process = subprocess.Popen(self.argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                            stdout=out, stderr=err, start_new_session=True)

    out = property(lambda self: read(self.out_path))
    err = property(lambda self: read(self.err_path))

    def alive(self):
        return self.process.poll() is None

    def signal(self, number):
        self.process.send_signal(number)

    def wait(self, seconds=15):
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            self.killed = f"still running {seconds} s into the wait (then killed)"
            self.kill()
            raise AssertionError(f"{self.name} still ran {seconds} s later") from None

    killed = None

    def kill(self):
        """The program and whatever it started, before its folder goes."""
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait()

    def __str__(self):
        code = self.process.poll()
        code = self.killed or ("still running" if code is None else code)
        return (f"$ {' '.join(self.argv)}\nexit code: {code}\n"
                f"stdout:\n{tail(self.out_path)}\nstderr:\n{tail(self.err_path)}\n")
