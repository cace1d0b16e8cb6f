#!/usr/bin/python3
"""The real programs without a display, every box falling back to stderr: a start's faults, where
data/ is looked for, the command lines; the capture tool's videos, refusals, stops and outputs."""
import errno
import fcntl
import json
import os
import pathlib
import re
import shutil
import signal
import socket
import stat
import struct
import termios
import time
import zlib

import numpy as np
from PIL import Image

from harness import CAPTURE, Case, DATA, ORVI, RENDER_TUNE, ROOT, main, read, run, until
from show_test import RATE, scene_table, tune

FAILURE = "main(): Init() failure!"
HEADLESS = {"SDL_VIDEODRIVER": "offscreen", "SDL_AUDIODRIVER": "dummy"}
with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
    VERSION = re.search(r"project\(OrviTonaro VERSION ([0-9.]+)", f.read()).group(1)


def png(path, width, height, texts=0, text_mb=0, icc_mb=0):
    """A PNG of zeros, small on disk, with zTXt chunks and a colour profile that inflate to MBs."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    def zeros(n, row=1 << 16):
        z = zlib.compressobj(9)
        return b"".join(z.compress(bytes(row)) for _ in range(n // row)) + z.compress(bytes(n % row)) + z.flush()
    extra = b"".join(chunk(b"zTXt", b"Comment\0\0" + zeros(text_mb << 20)) for _ in range(texts))
    extra += chunk(b"iCCP", b"icc\0\0" + zeros(icc_mb << 20)) if icc_mb else b""
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(extra + chunk(b"IDAT", zeros((1 + 3 * width) * height, 1 + 3 * width)) + chunk(b"IEND", b""))


def video_frames(path="pipe:0", data=None):
    """The video frames ffprobe decodes in a file, or in `data` through a pipe."""
    return run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v", "-show_entries",
                "stream=nb_read_frames", "-of", "csv=p=0", "-i", path], input=data).strip()


def flip_byte(path, offset):
    data = bytearray(pathlib.Path(path).read_bytes())
    data[offset] ^= 0x5A
    pathlib.Path(path).write_bytes(data)


def replace_with_fifo(path):
    os.remove(path)
    os.mkfifo(path)


# What is broken in a copy of data/, the messages that must come in this order, what must not.
PICTURE_FAULTS = [
    ("missing", lambda d: os.remove(d("chrome.png")),
     ["Orvi: Tonaro: Go fullscreen?", "orvi: data/chrome.png: No such file or directory",
      "LoadTextures(): Could not load Chrome texture!@#"], ["Cannot"]),
    ("corrupt", lambda d: flip_byte(d("zmb.png"), 200),
     ["orvi: data/zmb.png: ", ": MyPNGErrorHandler", "LoadTextures(): Could not load ZMB texture!@#"], []),
    ("greyscale", lambda d: Image.open(d("qvt.png")).convert("L").save(d("qvt.png")),
     ["orvi: data/qvt.png: not an 8-bit", "LoadTextures(): Could not load QVT texture!@#"], ["MyPNGErrorHandler"]),
    ("a FIFO, refused at once", lambda d: replace_with_fifo(d("tonaro.png")),
     ["orvi: data/tonaro.png: not a regular file", "LoadTextures(): Could not load Tonaro logo texture!@#"], []),
    # 1.4 MB on disk that inflate to 1.4 GB: skipped unread, so the load goes on to the next.
    ("a chunk bomb, loaded as a plain picture", lambda d: (png(d("zmb.png"), 512, 256, 80, 16, 200),
                                                          os.remove(d("chrome.png"))),
     ["LoadTextures(): Could not load Chrome texture!@#"], ["MyPNGErrorHandler", "ZMB"]),
    ("over its size budget, refused at the header", lambda d: png(d("velkoran.png"), 8192, 8192),
     ["orvi: data/velkoran.png: Image width exceeds", ": MyPNGErrorHandler",
      "LoadTextures(): Could not load Orvi logo texture!@#"], []),
    ("the one that takes the catalogue over its budget", lambda d: (png(d("tonaro.png"), 4096, 4096),
                                                                   png(d("veri-tausta1.png"), 4096, 4096)),
     ["orvi: data/veri-tausta1.png: picture over its pixel budget", ": MyPNGErrorHandler",
      "LoadTextures(): Could not load Bloodcell BG1 texture!@#"], []),
]

# What the machine lacks, with our own reason on stderr first, said once, before the box's words.
MACHINE_FAULTS = [
    ("no sound device", {"SDL_AUDIODRIVER": "no-such-driver"},
     ["orvi: no sound device opened: ", "Orvi: BASS initialization failed! No music!"]),
    ("no display at all", {"SDL_VIDEODRIVER": None},
     ["orvi: no display to show on: neither DISPLAY nor WAYLAND_DISPLAY is set",
      "Orvi - ERROR: Cannot start application!"]),
    ("no OpenGL driver", {"LIBGL_DRIVERS_PATH": "/nonexistent"}, ["Orvi - ERROR: Cannot create GL Device Context."]),
]


def absent_display():
    """The DISPLAY of an X display number nothing listens on."""
    for number in range(89, 200):
        with socket.socket(socket.AF_UNIX) as probe:
            if not os.path.exists(f"/tmp/.X11-unix/X{number}") and probe.connect_ex(f"\0/tmp/.X11-unix/X{number}"):
                return f":{number}"
    raise AssertionError("every display number from 89 to 199 is taken")


class FailedStart(Case):
    def expect(self, argv, env, cwd, messages, absent=()):
        """Exit code 0, the messages in this order, then Init() failure!, and none of `absent`."""
        program = self.ran(argv, 0, env, cwd, 60)
        lines, at = program.err.splitlines(), -1
        for message in messages + [FAILURE]:
            found = [i for i, line in enumerate(lines) if message in line and i > at]
            self.assertTrue(found, f"no \"{message}\" after line {at + 1}")
            at = found[0]
        for text in absent:
            self.assertNotIn(text, program.err)
        return program

    def test_a_broken_picture_names_its_slot_then_init_fails(self):
        for what, breaks, messages, absent in PICTURE_FAULTS:
            with self.subTest(what):
                world = self.world()
                breaks(lambda name: os.path.join(world, "data", name))
                self.expect([ORVI], HEADLESS, world, messages, absent)

    # A display named but not there: one line naming it, said once for the question's try and the
    # window's, and no other library's complaints about a Wayland it was never to use.
    def test_a_machine_without_sound_display_or_opengl_says_which(self):
        display = absent_display()
        for what, env, messages, *absent in MACHINE_FAULTS + [
                ("a display named but not there",
                 {"SDL_VIDEODRIVER": None, "DISPLAY": display, "XDG_RUNTIME_DIR": "/nonexistent"},
                 [f"orvi: the display DISPLAY={display} did not take the connection",
                  "Orvi - ERROR: Cannot start application!"], ["XDG_RUNTIME_DIR"])]:
            with self.subTest(what):
                env = {k: v for k, v in dict(HEADLESS, **env).items() if v is not None}
                orvi = self.expect([ORVI], env, self.world(), messages, *absent)
                self.assertEqual(orvi.err.count(messages[0]), 1, "said more than once")

    def test_data_is_read_from_the_current_folder_else_beside_the_program(self):
        lonely, app, world, empty, unrelated = (self.scratch() for _ in range(5))
        os.mkdir(os.path.join(unrelated, "data"))
        shutil.copy(ORVI, lonely)
        shutil.copy(ORVI, app)
        shutil.copy(CAPTURE, app)
        for folder, missing in ((app, "chrome.png"), (world, "qvt.png")):
            shutil.copytree(DATA, os.path.join(folder, "data"))
            os.remove(os.path.join(folder, "data", missing))
        # The picture missing from each copy tells which copy was read.
        for what, program, folder, slot in [("neither", f"{lonely}/orvi", empty, "Orvi logo"),
                                            ("beside the program", f"{app}/orvi", empty, "Chrome"),
                                            ("here, over beside", f"{app}/orvi", world, "QVT"),
                                            ("beside, over a data/ here without the pictures",
                                             f"{app}/orvi", unrelated, "Chrome")]:
            with self.subTest(what):
                self.expect([program], HEADLESS, folder, [f"LoadTextures(): Could not load {slot} texture!@#"])
        with self.subTest("the capture reads beside itself and writes where it started"):
            shutil.copy(os.path.join(DATA, "chrome.png"), os.path.join(app, "data"))
            self.ran([f"{app}/orvi-capture", "--png", "--fps", "10", "--from", "0", "--to", "0.05", "-o", "out"],
                     cwd=empty)
            self.assertGreater(os.path.getsize(os.path.join(empty, "out", "frame-00000.png")), 0)
            self.assertFalse(os.path.exists(os.path.join(app, "out")))


class CommandLine(Case):
    def test_options_are_listed_versions_printed_and_bad_ones_refused(self):
        for argv, code, out, err in [
                ([ORVI, "--help"], 0, ["--windowed", "--fullscreen", "--stretch", "--msaa", "--no-vsync",
                                       "--reduce-flashing", "--version", "--help", "Photosensitivity warning"], []),
                ([CAPTURE, "--help"], 0, ["--reduce-flashing"], []),
                ([ORVI, "--version"], 0, [f"orvi {VERSION}\n"], []),
                ([CAPTURE, "--version"], 0, [f"orvi-capture {VERSION}\n"], []),
                ([ORVI, "--no-such-option"], 2, [], ["usage: orvi", "no-such-option"]),
                ([ORVI, "--msaa", "lots"], 2, [], ["lots"]), ([ORVI, "--msaa", "17"], 2, [], ["17"]),
                ([ORVI, "--windowed", "--fullscreen"], 2, [], ["usage: orvi"]),
                ([ORVI, "\x1b[31mred"], 2, [], ["'\\x1b[31mred'"])]:
            with self.subTest(" ".join(argv[1:])):
                program = self.ran(argv, code)
                for text in out:
                    self.assertIn(text, program.out)
                for text in err:
                    self.assertIn(text, program.err)
                if code:
                    self.assertEqual(program.out, "", "a refusal goes to stderr only")


class Capture(Case):
    def outputs(self):
        """An empty folder for a run's files, beside the folder of what the programs print."""
        folder = os.path.join(self.scratch(), "outputs")
        os.mkdir(folder)
        return folder

    # A late range decodes to its golden frame and the tune from that moment. At any frame rate
    # each frame shows the scene of its moment (a late frame reaches every record due by then);
    # at 1 frame a second the show also ends at 67 s.
    def test_a_range_at_any_frame_rate_holds_the_shows_frames_and_the_tune_of_its_moments(self):
        scene = scene_table()[3]  # the blood cells: red, and lit from above
        ms = (int(scene["settled_ms"]) + int(scene["end_ms"])) // 2 // 10 * 10
        out = os.path.join(folder := self.outputs(), "late.mp4")
        self.ran([CAPTURE, "--fps", "100", "--msaa", "0", "--from", ms / 1000, "--to", ms / 1000 + 0.6, "-o", out])
        self.assertEqual(os.listdir(folder), ["late.mp4"], "partial files left")
        self.assertEqual(video_frames(out), "60")
        decode = lambda *what: run(["ffmpeg", "-v", "error", "-i", out, *what, "-"], raw=True)
        frame = np.frombuffer(decode("-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24"), np.uint8)
        golden = np.asarray(Image.open(os.path.join(ROOT, "tests", "golden", "scene-03.png")).convert("RGB"))
        difference = np.abs(frame.reshape(golden.shape).astype(int) - golden).mean()
        # H.264 loses about 3 / 255 here; rows upside down or red for blue, about 50.
        self.assertLess(difference, 10, "the first frame is not the golden one (rows or colours swapped?)")
        # Where the sound's first half second lies in the tune: at the range's start.
        sound = np.frombuffer(decode("-f", "f32le", "-ac", "1", "-ar", str(RATE)), "<f4")
        self.assertAlmostEqual(len(sound) / RATE, 0.6, delta=0.03, msg="the sound is not as long as the video")
        sound = sound[:RATE // 2]
        run([RENDER_TUNE, os.path.join(self.scratch(), "tune.wav"), ms // 1000 + 2])
        reference = tune(os.path.join(self.folders[-1], "tune.wav"))[(ms - 1000) * RATE // 1000:][:2 * RATE]
        scores = np.correlate(reference, sound, "valid") / np.sqrt(np.convolve(reference ** 2, np.ones(len(sound)), "valid") + 1e-9)
        lag_ms = int(np.argmax(scores)) * 1000 / RATE - 1000
        print(f"first frame {difference:.2f} / 255 from the golden one; sound {lag_ms:+.1f} ms from {ms} ms")
        self.assertLess(abs(lag_ms), 2, "the sound does not start where the range does")
        for fps, start, end in ((2, 24, 40), (1, 0, 67)):
            with self.subTest(fps=fps):
                capture = self.ran([CAPTURE, "--png", "--stats", "--size", "32x24", "--msaa", "0", "--fps", fps,
                                    "--from", start, "--to", end, "-o", os.path.join(self.scratch(), "frames")], cwd=ROOT)
                drawn = {int(line.split()[0]): int(line.split()[1])
                         for line in capture.out.splitlines() if re.match(r"\s*\d+\s+\d+\s", line)}
                times = [n * 1000 // fps for n in range(start * fps, end * fps)]
                expected = {int(scene["scene"]): sum(int(scene["start_ms"]) <= t < int(scene["end_ms"]) for t in times)
                            for scene in scene_table()}
                self.assertEqual(drawn, {k: v for k, v in expected.items() if v})
                self.assertIn(f"{len(times)} frames at {fps} fps ({end - start} s of show)", capture.out)

    # Numbers read whole, in decimal and in range; the container from the extension. Each refusal
    # names the option and why, then the usage, exit 2. Accepted edge values reach an output folder
    # that cannot be made: refused too, exit 2, without the usage, its name printed safely.
    def test_options_are_parsed_strictly_and_each_refusal_says_why(self):
        for args, says in [
                ("--fps 30x", "--fps: '30x' is not a whole number"), ("--fps 0", "--fps: '0' is not between 1 and 1000"),
                ("--fps 1001", "--fps: '1001' is not between 1 and 1000"),
                ("--fps 99999999999999999999", "--fps: '99999999999999999999' is not between 1 and 1000"),
                ("--size 640x480x", "--size: '640x480x' is not WIDTHxHEIGHT"),
                ("--size 15x480", "--size: '15x480' has a side outside 16 to 8192"),
                ("--size 17x17", "--size: 17x17 has an odd side; a video needs even ones"),
                ("--from abc", "--from: 'abc' is not a decimal number"), ("--to inf", "--to: 'inf' is not a decimal number"),
                ("--from 0x10", "--from: '0x10' is not a decimal number"),
                ("--from 1e400", "--from: '1e400' is not between 0 and 67"),
                ("--from 5 --to 3", "--from (5 s) must come before --to (3 s)"),
                ("--from 67", "--from (67 s) must come before --to (67 s)"),
                ("--fps", "--fps needs a value"), ("--frobnicate", "unknown option '--frobnicate'"),
                ("--fps 1 --from 66.5", "--from 66.5 to --to 67 holds no frame at --fps 1"),
                ("-o x.png", "-o: 'x.png' does not end in .mp4, .m4v, .mov or .mkv"),
                ("--png -o -", "--png writes files into a folder, not to standard output"),
                ("--from 1e-400", None), ("--png", None), ("--fps 1000 --size 16x16 --from 0 --to 67", None),
                ("--fps 2 --size 8192x16 --from 66.5", None), ("-o \x1b[31m/x.MKV", "\\x1b[31m is a file, not a folder")]:
            with self.subTest(args):
                folder = self.scratch()
                open(os.path.join(folder, "\x1b[31m"), "w").close()
                capture = self.ran([CAPTURE, "-o", "/dev/null/folder/x.mp4", *args.split()], 2, cwd=folder, seconds=20)
                if says and "not a folder" not in says:
                    self.assertIn("orvi-capture: " + says, capture.err)
                    self.assertIn("usage: orvi-capture", capture.err)
                else:
                    self.assertIn(says or "orvi-capture: /dev/null is a device, not a folder", capture.err)
                    self.assertNotIn("usage: orvi-capture", capture.err)
                self.assertNotIn("\x1b", capture.err)

    # Each signal that ends a run, mid-capture: it stops between frames, says why, exits 128 + the
    # signal and leaves no file, hidden ones included (an ignored one would run on to exit 0).
    # During a frame of 8192x8192 (seconds in the GL), or with an ffmpeg that never reads, it still
    # ends the run within a second, ffmpeg with it.
    def test_each_stop_signal_ends_the_run_and_leaves_no_file(self):
        def queued(pid):
            try:
                with open(os.open(f"/proc/{pid}/fd/0", os.O_RDONLY | os.O_NONBLOCK), "rb", buffering=0) as pipe:
                    return struct.unpack("i", fcntl.ioctl(pipe, termios.FIONREAD, b"\0" * 4))[0]
            except OSError:
                return 0
        kinds = {"video": ["--size", "64x48", "--fps", "10", "-o", "show.mp4"], "stalled": ["--fps", "10", "-o", "show.mp4"],
                "huge": ["--png", "--size", "8192x8192", "--msaa", "0", "--from", "9", "--to", "9.1", "-o", "frames"]}
        for number, kind in [(n, "video") for n in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT,
                                                   signal.SIGPIPE, signal.SIGXFSZ)] + [
                (signal.SIGTERM, "huge"), (signal.SIGTERM, "stalled"), (signal.SIGQUIT, "stalled")]:
            with self.subTest(signal.strsignal(number), kind=kind):
                folder, pidfile, args = self.outputs(), os.path.join(self.scratch(), "ffmpeg.pid"), kinds[kind]
                env = self.fake_ffmpeg(f"echo $$ > {pidfile}.new; mv {pidfile}.new {pidfile}; exec sleep 60")
                capture = self.start([CAPTURE, *args[:-1], os.path.join(folder, args[-1])],
                                     env if kind == "stalled" else None, ROOT)
                partial = lambda: [n for n in os.listdir(folder) if n.endswith(".partial")]
                if kind == "stalled":
                    ffmpeg = int(until("the encoder", lambda: read(pidfile), 60))
                    self.addCleanup(lambda pid=ffmpeg: os.path.exists(f"/proc/{pid}") and os.kill(pid, signal.SIGKILL))
                    until("a frame handed to the encoder", lambda: queued(ffmpeg) > 0, 60)
                else:
                    until("the partial output", partial, 60)
                if kind == "huge":
                    until("the tune", lambda: os.path.exists(os.path.join(folder, partial()[0], "tune.wav")), 120)
                sent = time.monotonic()
                capture.signal(number)
                self.assertEqual(capture.wait(10), 128 + number)
                print(f"{signal.strsignal(number)}, {kind}: ended {time.monotonic() - sent:.2f} s after it")
                self.assertLess(time.monotonic() - sent, 10 if kind == "video" else 1.0)
                self.assertEqual(os.listdir(folder), [])
                if kind == "stalled":
                    self.assertFalse(os.path.exists(f"/proc/{ffmpeg}"), "ffmpeg outlived the run")
                else:
                    self.assertIn(signal.strsignal(number) if kind == "video" else "stopped by SIGTERM", capture.err)

    def fake_ffmpeg(self, script):  # the environment whose ffmpeg is this shell script
        path = os.path.join(self.scratch(), "ffmpeg")
        with open(path, "w", opener=lambda name, flags: os.open(name, flags, 0o755)) as f:
            f.write("#!/bin/sh\n" + script + "\n")
        return {"PATH": os.path.dirname(path) + ":" + os.environ["PATH"]}

    # Only a regular file or nothing is written over (a link followed and kept); anything else, what
    # the show needs, the program itself, a --png folder holding what no capture wrote: refused
    # before drawing, exit 2, every file as it was.
    def test_only_a_file_or_nothing_is_written_over_and_anything_else_is_refused_at_once(self):
        self.scratch()
        world = self.world()
        at = lambda *name: os.path.join(world, *name)
        shutil.copy(CAPTURE, world)
        open(at("file.mp4"), "w").close()
        for link, to in (("link.mp4", "file.mp4"), ("dangling.mp4", "none.mp4"), ("tool.mp4", "orvi-capture")):
            os.symlink(to, at(link))
        os.mkdir(at("folder.mp4"))
        os.mkfifo(at("fifo.mp4"))
        os.link(at("data", "qvt.png"), at("hard.mp4"))
        os.makedirs(at("mixed"))
        for name in ("frame-00001.png", "notes.txt"):
            open(at("mixed", name), "w").close()
        refused = [("-o folder.mp4", "folder.mp4 is a folder, not a file to write"), ("-o fifo.mp4", "is a fifo"),
                   ("-o dangling.mp4", "dangling.mp4 is a link to nothing"),
                   ("--png -o file.mp4", "file.mp4 is a file, not a folder for --png"),
                   ("-o data/new.mp4", f"{at('data', 'new.mp4')} is inside {at('data')}, the data folder"),
                   ("-o hard.mp4", "hard.mp4 is the picture data/qvt.png the show loads"),
                   ("-o tool.mp4", f"{at('orvi-capture')} is this program itself"),
                   ("--png -o data", f"{at('data')} is the data folder the show reads"),
                   ("--png -o data/frames", "frames is inside"), ("--png -o .", f"{world} holds "),
                   ("--png -o mixed", "mixed holds notes.txt, which no capture wrote")]
        if os.geteuid() == 0:
            os.mknod(at("device.mp4"), 0o600 | stat.S_IFCHR, os.makedev(1, 7))  # a /dev/full of its own
            refused.append(("-o device.mp4", "device.mp4 is a device"))
        else:
            with self.subTest("device"):
                self.skipTest("not root: no device node of its own can be made to refuse")
        tree = lambda: sorted((d, f, (lambda s: (s.st_ino, s.st_size, s.st_mtime_ns))(os.lstat(os.path.join(d, f))))
                              for d, _, fs in os.walk(world) for f in fs)
        before = tree()
        tool = [at("orvi-capture"), "--size", "64x48", "--from", "1", "--to", "1.05"]
        for args, says in refused:
            with self.subTest(args):
                self.assertIn(says, self.ran(tool + args.split(), 2, cwd=world, seconds=30).err)
                self.assertEqual(tree(), before)
        self.ran(tool + ["-o", "link.mp4"], cwd=world)
        self.assertTrue(os.path.islink(at("link.mp4")))
        self.assertGreater(os.path.getsize(at("file.mp4")), 0)
        self.assertEqual([n for n in os.listdir(world) if n.startswith(".")], [])

    # Two runs to one output (new, or an earlier video) at once: the last to finish leaves the other's,
    # says so, leaves nothing. A later --png run replaces a capture wholly.
    def test_two_runs_to_one_output_keep_out_of_each_others_way(self):
        for png, name in (([], "twice.mp4"), (["--png"], "frames")):
            with self.subTest(name):
                folder = self.outputs()
                args = lambda start, end, out=name: [CAPTURE, *png, "--size", "64x48", "--fps", "10", "--from", start,
                                                     "--to", end, "-o", os.path.join(folder, out)]
                if not png:  # an earlier video
                    open(os.path.join(folder, name), "w").close()
                first = self.start(args("5", "12"), cwd=ROOT)
                until("the first run's hidden output", lambda: [n for n in os.listdir(folder) if n[0] == "."], 60)
                first.signal(signal.SIGSTOP)
                self.ran(args("40", "40.5"), cwd=ROOT, seconds=60)
                first.signal(signal.SIGCONT)
                self.assertEqual(first.wait(60), 1)
                self.assertIn(f"{name} was written by another run while this one drew", first.err)
                self.assertEqual(os.listdir(folder), [name])
                if not png:
                    self.assertEqual(video_frames(os.path.join(folder, name)), "5")
                    continue
                listing = lambda: sorted(os.listdir(os.path.join(folder, name)))
                self.assertEqual(listing(), [f"frame-0040{n}.png" for n in range(5)] + ["tune.wav"])
                os.symlink(name, os.path.join(folder, "link"))
                self.ran(args("1", "1.05", "link"), cwd=ROOT, seconds=60)
                self.assertEqual(listing(), ["frame-00010.png", "tune.wav"])
                self.assertEqual(sorted(os.listdir(folder)), [name, "link"])

    # "-o -" streams a fragmented MP4 a player reads from a pipe, says so on stderr, leaves nothing
    # (its tune's hidden file among the temporary files). A reader that stops early, an ffmpeg that
    # writes nothing, quits early or is missing: a failure (not a signal's) that leaves nothing.
    # A terminal as standard output is refused before anything is drawn (exit 2).
    def test_a_video_streams_whole_or_is_a_failure_and_a_terminal_gets_none(self):
        with self.subTest("a reader that reads it all"):
            temporary, world = self.scratch(), self.world()  # the logs go among the temporary files
            capture = self.ran([CAPTURE, "--size", "64x48", "--to", "0.5", "-o", "-"], 0, {"TMPDIR": temporary}, world)
            with open(capture.out_path, "rb") as f:
                video = f.read()
            self.assertEqual(video_frames(data=video), "30")
            self.assertIn(b"moof", video)
            self.assertIn("wrote the video to standard output: 30 frames", capture.err)
            self.assertNotIn("anti-aliasing is not available", capture.err, "the default's samples are no news")
            self.assertEqual(os.listdir(world) + [n for n in os.listdir(temporary) if n[0] == "."], ["data"])
        with self.subTest("a reader that stops after 1000 bytes"):
            capture = self.ran(["bash", "-c", f"'{CAPTURE}' -o - --from 8 --to 10 --msaa 0 | head -c 1000 >/dev/null;"
                                " exit ${PIPESTATUS[0]}"], 1, cwd=ROOT)
            self.assertIn("orvi-capture: standard output's reader stopped", capture.err)
            self.assertNotIn("wrote the video", capture.err)
        with self.subTest("a reader gone before the first frame"):
            flag = os.path.join(self.scratch(), "gone")
            capture = self.ran(["bash", "-c", f"(until [ -e {flag} ]; do sleep 0.01; done; exec '{CAPTURE}' -o - --to 1"
                                f" --size 64x48) | (exec 0<&-; touch {flag}); exit ${{PIPESTATUS[0]}}"], 1, cwd=ROOT)
            self.assertIn("standard output's reader stopped reading at frame 0", capture.err)
        for script, says in [("cat > /dev/null; exit 0", "ffmpeg ended without writing anything to {}"),
                             ("head -c 100000 > /dev/null; exit 3", "ffmpeg exited with status 3")]:
            with self.subTest(f"an ffmpeg that runs '{script}'"):
                out = os.path.join(folder := self.outputs(), "show.mp4")
                capture = self.ran([CAPTURE, "--fps", "10", "--to", "2", "--size", "64x48", "-o", out], 1,
                                   self.fake_ffmpeg(script), ROOT, 60)
                self.assertIn(says.format(out), capture.err)
                self.assertNotIn("SIGPIPE", capture.err)
                self.assertEqual(os.listdir(folder), [])
        with self.subTest("no ffmpeg"):
            folder = self.outputs()
            capture = self.start([CAPTURE, "--to", "1", "-o", os.path.join(folder, "none.mp4")], {"PATH": "/nonexistent"},
                                 ROOT)
            self.assertNotEqual(capture.wait(60), 0)
            self.assertIn("ffmpeg is missing", capture.err)
            self.assertEqual(os.listdir(folder), [])
        with self.subTest("a terminal"):
            capture = self.ran(["script", "-qec", f"'{CAPTURE}' -o - --to 1 --size 64x48", "/dev/null"], 2, cwd=ROOT,
                               seconds=60)
            self.assertIn("-o -: standard output is a terminal", capture.out)
            self.assertNotIn("ftyp", capture.out)

    # A file size limit hit writing the tune or a frame: the file and cause named, nothing left.
    def test_a_full_disk_leaves_nothing_and_says_which_file(self):
        for limit, name in ((50 << 10, "tune.wav"), (200 << 10, "frame-00058.png")):
            with self.subTest(name):
                folder = self.outputs()
                capture = self.start(["prlimit", f"--fsize={limit}", CAPTURE, "--png", "--from", "7.25",
                                      "--to", "7.75", "--fps", "8", "-o", os.path.join(folder, "frames")], cwd=ROOT)
                self.assertNotEqual(capture.wait(120), 0)
                self.assertIn(os.path.join(folder, "frames", name), capture.err)
                self.assertIn(os.strerror(errno.EFBIG), capture.err)
                self.assertEqual(os.listdir(folder), [])

    # One rule for the output, video or --png: missing folders made, and removed when the run fails
    # (on a missing picture, before ffmpeg starts); ".." taken after a linked folder, as the kernel
    # does. A 255-byte name with an escape in it: hidden names cut to fit, printed escaped. The
    # container the extension names (one ffprobe family for MP4 and QuickTime: the brand tells).
    def test_outputs_are_made_where_and_as_named_and_their_names_printed_safely(self):
        self.scratch()  # the programs' logs
        world = self.world()
        os.remove(os.path.join(world, "data", "chrome.png"))
        for png, out in (([], "a/b/c/show.mp4"), (["--png"], "a/b/c/frames")):
            with self.subTest("a failed run", png=bool(png)):
                capture = self.ran([CAPTURE, *png, "--size", "64x48", "--to", "0.1", "-o", out], 1, cwd=world, seconds=60)
                self.assertIn("orvi-capture: data/chrome.png: No such file or directory", capture.err)
                self.assertIn("Could not load Chrome texture!@#", capture.err)
                for text in ("f32", "disk full"):  # no word from ffmpeg about its inputs: it never started
                    self.assertNotIn(text, capture.out + capture.err)
                self.assertEqual(os.listdir(world), ["data"])
        folder, long = self.world(), "\x1b[31m" + "v" * 246
        os.makedirs(os.path.join(folder, "real", "sub"))
        os.symlink(os.path.join("real", "sub"), os.path.join(folder, "L"))
        for out, family, brand in [("new/deeper/show.mp4", "mov,mp4", "isom"), ("L/../linked.m4v", "mov,mp4", "isom"),
                                   ("short.mov", "mov,mp4", "qt  "), (long + ".mkv", "matroska", None),
                                   ("L/../frames", None, None), ("\x1b[31m" + "f" * 250, None, None)]:
            with self.subTest("written", out=out.replace("\x1b", "ESC")[:24]):
                capture = self.ran([CAPTURE, *([] if family else ["--png"]), "--size", "64x48", "--from", "1", "--to",
                                    "1.05", "-o", out], cwd=folder)
                self.assertIn(f"wrote {os.path.join(folder, out)}: 3 frames at 60 fps (0.05 s of show)".replace(
                    "\x1b", "\\x1b"), capture.out)
                self.assertNotIn("\x1b", capture.out + capture.err)
                self.assertTrue(os.path.exists(os.path.join(folder, out.replace("L/..", "real"))))
                if family:
                    probe = json.loads(run(["ffprobe", "-v", "error", "-show_entries", "format=format_name:"
                                            "format_tags=major_brand:stream=codec_name", "-of", "json", out], cwd=folder))
                    self.assertTrue(probe["format"]["format_name"].startswith(family), probe)
                    self.assertEqual(probe["format"].get("tags", {}).get("major_brand"), brand, probe)
                    self.assertEqual(sorted(s["codec_name"] for s in probe["streams"]), ["aac", "h264"], probe)
        self.assertEqual(sorted(os.listdir(folder)), sorted(["L", "data", "new", "real", "short.mov", long + ".mkv",
                                                             "\x1b[31m" + "f" * 250]))

    # A large picture that cannot be read, whatever is wrong with it, is drawn from data/, its
    # reason and a line on stderr.
    def test_a_large_picture_that_cannot_be_read_is_drawn_from_data(self):
        faults = [("broken", lambda p: os.truncate(p, 3000), "Read Error"),
                  ("a folder", lambda p: (os.remove(p), os.mkdir(p)), "not a regular file"),
                  ("a FIFO", replace_with_fifo, "not a regular file"),
                  ("a link to /dev/zero", lambda p: (os.remove(p), os.symlink("/dev/zero", p)), "not a regular file"),
                  ("too large", lambda p: png(p, 8192, 8192), "Image width exceeds"),
                  ("a dangling link", lambda p: (os.remove(p), os.symlink("none.png", p)), None)]
        reference = None
        for what, breaks, reason in [("whole", lambda p: None, None)] + faults:
            with self.subTest(what):
                world = self.world()
                breaks(os.path.join(world, "data", "2x", "chrome.png"))
                out = os.path.join(self.scratch(), "frames")
                capture = self.ran([CAPTURE, "--png", "--size", "1280x960", "--msaa", "0", "--from", "53", "--to",
                                    "53.01", "--fps", "100", "-o", out], cwd=world)
                line = "orvi-capture: data/2x/chrome.png: drawn from the picture in data/ instead"
                if reason:
                    self.assertIn("orvi-capture: data/2x/chrome.png: " + reason, capture.err)
                    self.assertIn(line, capture.err)
                else:
                    self.assertNotIn("chrome.png", capture.err)
                frame = np.asarray(Image.open(os.path.join(out, "frame-05300.png")).convert("RGB")).astype(int)
                if reference is None:
                    reference = frame
                else:  # the chrome logo drawn from the 1x picture: close to the large one's
                    self.assertLess(np.abs(frame - reference).mean(), 3)

    def test_msaa_blends_mesh_edges_and_changes_little_else(self):
        folder, frames = self.scratch(), []
        for samples in ("0", "4"):
            out = os.path.join(folder, samples)
            self.ran([CAPTURE, "--png", "--fps", "10", "--from", "9", "--to", "9.05", "--msaa", samples, "-o", out])
            frames.append(np.asarray(Image.open(os.path.join(out, "frame-00090.png")).convert("RGB")).astype(int))
        plain, smooth = frames
        capture = self.ran([CAPTURE, "--png", "--size", "64x48", "--to", "0.05", "--msaa", "32", "-o",
                            os.path.join(folder, "asked")])
        self.assertRegex(capture.err, r"orvi-capture: 32-sample anti-aliasing is not available here; \d+ samples")
        h, w, _ = plain.shape
        # An edge blend: a colour none of its 3x3 neighbours has without multisampling, within their range.
        pad = np.pad(plain, ((1, 1), (1, 1), (0, 0)), mode="edge")
        hoods = np.stack([pad[dy:dy + h, dx:dx + w] for dy in range(3) for dx in range(3)])
        absent = (np.abs(hoods - smooth[None]).max(axis=3) > 3).all(axis=0)
        between = ((smooth >= hoods.min(axis=0) - 2) & (smooth <= hoods.max(axis=0) + 2)).all(axis=2)
        blends = (absent & between).sum()
        share = (np.abs(plain - smooth).max(axis=2) > 3).mean()
        print(f"{blends} pixels blended along edges, {100 * share:.1f}% of the frame differs")
        self.assertGreaterEqual(blends, 200)
        self.assertLess(share, 0.15)


if __name__ == "__main__":
    main()
