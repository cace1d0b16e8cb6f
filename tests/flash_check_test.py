#!/usr/bin/python3
"""tools/flash_check.py held to made-up clips whose flashes are known: decoded by the real
ffmpeg from a lossless video or a folder of PNG frames, as the tool reads captures."""
import os
import subprocess

import numpy as np

from harness import Case, ROOT, SCENE_LIST, main

CHECK = ["/usr/bin/python3", os.path.join(ROOT, "tools", "flash_check.py")]
W, H, FPS = 160, 120, 60
WHITE, BLACK, RED, GREY = (255, 255, 255), (0, 0, 0), (255, 0, 0), (127, 127, 127)


def clip(folder, name, hertz, size=(W, H), lit=WHITE, dark=BLACK, png=False):
    """Two seconds of a top-left rectangle of `size` switching between lit and dark `hertz` times
    a second, on black. A PNG clip is numbered from 30, as a capture from 0.5 s."""
    frames = np.zeros((2 * FPS, H, W, 3), np.uint8)
    for n in range(2 * FPS):
        frames[n, :size[1], :size[0]] = lit if int(n * hertz * 2 / FPS) % 2 == 0 else dark
    path = os.path.join(folder, name)
    output = ["-start_number", "30", os.path.join(path, "frame-%05d.png")] if png else \
        ["-c:v", "ffv1", "-pix_fmt", "bgr0", path]
    if png:
        os.mkdir(path)
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "rgb24",
                    "-s", f"{W}x{H}", "-r", str(FPS), "-i", "pipe:0", *output],
                   input=frames.tobytes(), check=True)
    return path


class Clips(Case):
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
                check = self.start([*CHECK, "--no-scenes", clip(folder, name, hertz, size, lit, dark, png)])
                self.assertEqual(check.wait(60), code)
                self.assertIn(says, check.out)
                self.assertNotIn(never, check.out)
                if png:  # the frame numbers give the time
                    self.assertIn("120 frames at 60 fps, 160x120, 0.500-2.500 s", check.out)

    def test_each_scene_is_summarised_and_bad_arguments_are_refused_with_why(self):
        folder = self.scratch()
        check = self.start([*CHECK, "--scenes", SCENE_LIST, clip(folder, "show.mkv", 2)])
        self.assertEqual(check.wait(60), 0)
        self.assertIn("scene  0   0.000- 3.515 s  ok    general 2", check.out)
        self.assertNotIn("scene  1", check.out, "a scene after the clip's end")
        for args, says in [([], "no input named"),
                           (["--fps", "0", folder], "--fps: '0' is not a whole number from 1 to 1000"),
                           (["--start", "1", folder], "--start is for a video"),
                           (["--frobnicate", "x.mp4"], "unknown option '--frobnicate'"),
                           (["--scenes", SCENE_LIST, "--no-scenes", "x.mp4"], "--scenes cannot go with"),
                           (["--no-scenes", os.path.join(folder, "none.mp4")], "none.mp4: no such file"),
                           (["--no-scenes", folder], "holds no frame-NNNNN.png files")]:
            with self.subTest(" ".join(args)):
                check = self.start([*CHECK, *args])
                self.assertEqual(check.wait(30), 2)
                self.assertIn(says, check.err)
                self.assertEqual(check.out, "")


if __name__ == "__main__":
    main()
