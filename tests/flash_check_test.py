#!/usr/bin/python3
"""tools/flash_check.py on made-up clips whose flashes are known, decoded by the real ffmpeg
from a video or PNG frames as captures are; inputs it cannot judge are refused with why."""
import os
import stat
import subprocess

import numpy as np

from harness import Case, ROOT, SCENE_LIST, main, run

TOOL = os.path.join(ROOT, "tools", "flash_check.py")
CHECK = [TOOL]  # run as a person runs it: through its own first line
W, H, FPS = 160, 120, 60
WHITE, BLACK, RED, GREY = (255, 255, 255), (0, 0, 0), (255, 0, 0), (127, 127, 127)


def clip(folder, name, hertz, size=(W, H), lit=WHITE, dark=BLACK, png=False, frame=(W, H), codec=None):
    """Two seconds of a top-left rectangle of `size` switching lit and dark `hertz` times a second, on
    black, in a frame of `frame`; PNG frames numbered from 30 (a capture from 0.5 s), or a video,
    lossless unless `codec` gives ffmpeg's output options."""
    frames = np.zeros((2 * FPS, frame[1], frame[0], 3), np.uint8)
    for n in range(2 * FPS):
        frames[n, :size[1], :size[0]] = lit if int(n * hertz * 2 / FPS) % 2 == 0 else dark
    path = os.path.join(folder, name)
    output = ["-start_number", "30", os.path.join(path, "frame-%05d.png")] if png else \
        [*(codec or ["-c:v", "ffv1", "-pix_fmt", "bgr0"]), path]
    if png:
        os.mkdir(path)
    ffmpeg(["-f", "rawvideo", "-pix_fmt", "rgb24", "-s", "%dx%d" % frame, "-r", str(FPS), "-i", "pipe:0",
            *output], frames.tobytes())
    return path


def ffmpeg(args, data=None):
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", *args], input=data, check=True)


class Check(Case):
    def refused(self, argv, says, seconds=60):
        """What the check cannot judge gives no verdict: exit 2 with the reason, nothing on stdout."""
        check = self.ran(argv, 2, seconds=seconds)
        self.assertIn(says, check.err)
        self.assertEqual(check.out, "")


class Clips(Check):
    # A flash is two opposite changes; more than 3 in a second fails. A small corner is too
    # small to count (its region's mean moves 1/64 of black to white), a sixteenth of the frame
    # is not (caught by a quarter region, though the whole frame's mean moves under 0.1); red
    # against a grey of the same luminance is a red flash and no general one.
    def test_flashes_are_counted_by_rate_area_and_kind(self):
        folder = self.scratch()
        for name, hertz, size, lit, dark, png, code, says, never in [
                ("full-4hz.mkv", 4, (W, H), WHITE, BLACK, False, 1, "4 general flashes  whole frame", "red fl"),
                ("full-2hz.mkv", 2, (W, H), WHITE, BLACK, False, 0, "most in one second: general 2", "FAIL"),
                ("corner-4hz.mkv", 4, (W // 8, H // 8), WHITE, BLACK, False, 0, "general 0; red 0", "FAIL"),
                ("sixteenth-4hz.mkv", 4, (W // 4, H // 4), WHITE, BLACK, False, 1,
                 "4 general flashes  region 0,0-80,60", "whole frame"),
                ("red-4hz", 4, (W, H), RED, GREY, True, 1, "4 red flashes  whole frame", "general fl")]:
            with self.subTest(name):
                check = self.ran([*CHECK, "--no-scenes", clip(folder, name, hertz, size, lit, dark, png)], code, seconds=60)
                self.assertIn(says, check.out)
                self.assertNotIn(never, check.out)
                if png:  # the frame numbers give the time
                    self.assertIn("120 frames at 60 fps, 160x120, 0.500-2.500 s", check.out)

    def test_each_scene_is_summarised_and_bad_arguments_are_refused_with_why(self):
        folder = self.scratch()
        check = self.ran([*CHECK, "--scenes", SCENE_LIST, clip(folder, "show.mkv", 2)], seconds=60)
        self.assertIn("scene  0   0.000- 3.515 s  ok    general 2", check.out)
        self.assertNotIn("scene  1", check.out, "a scene after the clip's end")
        # Every argument is judged before the scene list is looked for: the refusals hold whatever
        # folder the project was built in. (argparse's own refusals are its own.)
        missing = os.path.join(folder, "no-scene-list")
        for args, says in [(["--fps", "0", folder], "argument --fps: '0' is not a whole number from 1 to 1000"),
                           (["--scenes", missing, "--start", "1", folder], "--start is for a video"),
                           (["--scenes", missing, "--fps", "30", "x.mp4"], "x.mp4: no such file"),
                           (["--no-scenes", os.path.join(folder, "none.mp4")], "none.mp4: no such file"),
                           (["--no-scenes", "/dev/zero"], "/dev/zero: not a file, a folder or a pipe"),
                           (["--no-scenes", folder], "holds no frame-NNNNN.png files")]:
            with self.subTest(" ".join(args)):
                self.refused([*CHECK, *args], says, 30)


class Refusals(Check):
    def test_a_cut_off_video_a_damaged_frame_or_a_file_claiming_ten_hours_is_no_pass(self):
        folder = self.scratch()
        # H.264 with its index first, as a capture: cut short, the header still claims every frame.
        whole = clip(folder, "whole.mp4", 4, codec=["-c:v", "libx264", "-crf", "18", "-movflags", "+faststart"])
        self.ran([*CHECK, "--no-scenes", whole], 1, seconds=60)
        with open(whole, "rb") as f:
            data = f.read()
        cut = os.path.join(folder, "cut.mp4")
        with open(cut, "wb") as f:
            f.write(data[:len(data) * 45 // 100])
        self.refused([*CHECK, "--no-scenes", cut], "ffmpeg could not decode the input")
        # Cut at the end of frame 60, ffmpeg reads the rest as missing without a word.
        whole = clip(folder, "frames.mp4", 4, codec=["-c:v", "mjpeg", "-movflags", "+faststart"])
        packets = run(["ffprobe", "-v", "error", "-show_entries", "packet=pos,size", "-of", "csv=p=0", whole])
        pos, size = map(int, packets.split()[59].split(","))
        os.truncate(whole, pos + size)
        self.refused([*CHECK, "--no-scenes", whole], "only 60 of the 120 frames it claims could be decoded")
        pictures = clip(folder, "frames", 1, png=True)
        with open(os.path.join(pictures, "frame-00070.png"), "r+b") as f:
            f.truncate(100)
        self.refused([*CHECK, "--no-scenes", pictures], "ffmpeg could not decode the input")
        os.remove(os.path.join(pictures, "frame-00070.png"))
        self.refused([*CHECK, "--no-scenes", pictures], "frame-00070.png is missing")
        # Three frames five hours apart: under a kilobyte that decodes to 2 million frames, refused
        # before decoding.
        long = os.path.join(folder, "ten-hours.mkv")
        ffmpeg(["-f", "lavfi", "-i", f"color=black:s={W}x{H}:r={FPS}", "-frames:v", "3",
                "-vf", "setpts=N*18000/TB", "-fps_mode", "passthrough", "-c:v", "ffv1", long])
        self.assertLess(os.path.getsize(long), 2000)
        self.refused([*CHECK, "--no-scenes", long], "claims 2160001 frames (36000 s at 60 fps); "
                     "the check reads at most 36000", seconds=20)

    def test_without_numpy_the_reason_is_given_and_help_still_works(self):
        # -S leaves out the site packages, where the system's NumPy lives; -I any PYTHONPATH.
        self.refused(["/usr/bin/python3", "-I", "-S", TOOL, "--no-scenes", self.scratch()],
                     "NumPy is missing (scripts/deps installs python3-numpy)")
        self.assertIn("usage: flash_check.py", self.ran(["/usr/bin/python3", "-I", "-S", TOOL, "--help"], seconds=30).out)
        self.assertTrue(os.stat(TOOL).st_mode & stat.S_IXUSR, "tools/flash_check.py has no run bit")


class Inputs(Case):
    def test_of_two_streams_the_default_else_the_first_is_measured_and_a_pipe_is_read_as_a_file(self):
        # ffmpeg by itself would pick the larger stream, the second.
        folder = self.scratch()
        black = clip(folder, "black.mkv", 0, size=(0, 0), frame=(W // 2, H // 2))
        flashing = clip(folder, "flashing.mkv", 4)
        for name, mark, code, says in [
                ("the default", ["-disposition:v:1", "default"], 1, "160x120, stream 1 of 2 video streams (the default)"),
                ("the first", [], 0, "80x60, stream 0 of 2 video streams (the first)")]:
            with self.subTest(name):
                both = os.path.join(folder, name + ".mkv")
                ffmpeg(["-i", black, "-i", flashing, "-map", "0", "-map", "1", "-c", "copy", "-disposition:v:0", "0",
                        "-disposition:v:1", "0", *mark, "-default_mode", "passthrough", both])
                check = self.ran([*CHECK, "--no-scenes", both], code, seconds=60)
                self.assertIn("120 frames at 60 fps, %s, 0.000-2.000 s" % says, check.out)
                self.assertIn("whole frame" if code else "general 0", check.out)
        # A pipe is read like the file.
        for name, shell in [("standard input", 'cat "$2" | "$1" --no-scenes -'),
                            ("a named pipe",
                             'mkfifo "$3/fifo" && { cat "$2" >"$3/fifo" & } && "$1" --no-scenes "$3/fifo"')]:
            with self.subTest(name):
                check = self.ran(["/bin/bash", "-c", shell, "bash", TOOL, flashing, self.scratch()], 1, seconds=60)
                self.assertIn("120 frames at 60 fps, 160x120, 0.000-2.000 s", check.out)
                self.assertIn("4 general flashes  whole frame", check.out)


if __name__ == "__main__":
    main()
