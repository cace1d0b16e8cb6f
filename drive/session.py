"""What one unittest case started and made, stopped and removed when it ends: mixed into the
tests' harness and the benchmarks alike.

.start(argv, env, cwd) -> Program, started with every inherited SDL_*, DISPLAY, WAYLAND_DISPLAY
and MOZ_HEADLESS variable removed and only `env` added; .wait(seconds) gives the exit code
(still running at the deadline fails the case). .scratch(): a folder removed after the case.
.display("WxH", *server options): a private Xvfb."""
import shutil
import tempfile

from programs import Program, clean_env
from screens import Display


class Session:
    def run(self, result=None):
        self.programs, self.folders = [], []
        try:
            return super().run(result)
        finally:
            for folder in self.folders:
                shutil.rmtree(folder, ignore_errors=True)

    def scratch(self):
        folder = tempfile.mkdtemp(prefix="orvi-test-")
        self.folders.append(folder)
        return folder

    def start(self, argv, env=None, cwd=None):
        if not self.folders:
            self.scratch()
        program = Program(argv, clean_env(env), cwd, self.folders[0])
        self.programs.append(program)
        self.addCleanup(program.kill)
        return program

    def display(self, size, *options):
        screen = Display(size, options)
        self.addCleanup(screen.stop)
        return screen
