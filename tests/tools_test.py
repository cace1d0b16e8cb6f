#!/usr/bin/python3
"""The Python tools against the lists they read rather than keep (the README pictures' sections,
the picture maker's file names), and their own refusals, with the reason and exit code 2."""
import os
import subprocess
import sys

from harness import Case, ROOT, SCENE_LIST, main, run
from show_test import scene_table

sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "generators"))
import make_pictures  # noqa: E402
import readme_pictures  # noqa: E402


class Lists(Case):
    # And a listing that is not scene_list's is refused.
    def test_the_tune_sections_are_the_scene_tables_families_end_to_end(self):
        rows = scene_table()
        for scenes in (SCENE_LIST, self.listing(run([SCENE_LIST]))):
            sections = readme_pictures.show_sections(scenes)
            # Back to back from the first scene's start to the show's end, one family each.
            self.assertEqual(sections[0][1], 0)
            self.assertEqual(sections[-1][2], int(rows[-1]["end_ms"]) / 1000)
            for before, after in zip(sections, sections[1:]):
                self.assertEqual(before[2], after[1], sections)
            # Each section's scenes are one routine's, and every scene is in one section.
            named = []
            for name, _, _ in sections:
                family, numbers = name[:-1].split(" (")
                first, _, last = numbers.partition("-")
                for scene in range(int(first), int(last or first) + 1):
                    self.assertEqual(rows[scene]["routine"], family, name)
                    named.append(scene)
            self.assertEqual(named, list(range(len(rows))))
            self.assertIn("blood cells (2-4)", [name for name, _, _ in sections])
        with self.assertRaises(SystemExit) as refused:
            readme_pictures.show_sections(self.listing("time\tname\n0\tlogo\n"))
        self.assertIn("not the output of scene_list", str(refused.exception))

    def listing(self, text):
        path = os.path.join(self.scratch(), "scenes.txt")
        with open(path, "w") as f:
            f.write(text)
        return path

    def test_the_picture_maker_draws_exactly_the_files_the_loader_reads(self):
        names = make_pictures.picture_files()
        self.assertEqual(set(names), set(make_pictures.drawings()))
        # The names the loader reads are the pictures in data/ and data/2x/, each once.
        self.assertEqual(len(set(names)), len(names))
        for folder in ("data", os.path.join("data", "2x")):
            on_disk = {f for f in os.listdir(os.path.join(ROOT, folder)) if f.endswith(".png")}
            self.assertEqual(set(names), on_disk, folder)


class CommandLines(Case):
    def refused(self, argv):
        done = subprocess.run(["/usr/bin/python3", *argv], capture_output=True, text=True, cwd=ROOT)
        self.assertEqual(done.returncode, 2, done.stderr)
        self.assertIn("usage:", done.stderr)
        return done.stderr

    # Our own checks of what argparse passes (its choices and exclusive options are its own).
    def test_each_tool_refuses_with_its_reason_and_exit_code_2(self):
        frames = ["tools/readme_pictures.py", "frames", "x.png", "--fps", "10", "--times", "1"]
        self.assertIn("between 32 and 640", self.refused(frames + ["--width", "5", ROOT]))
        self.assertIn("not a list of seconds", self.refused(frames[:-1] + ["1,a", ROOT]))
        self.assertIn("no capture folder", self.refused(frames))
        self.assertIn("not a folder", self.refused(frames + ["--label", "A", "/nonexistent"]))
        self.assertRegex(self.refused(frames + [ROOT, "--bogus"]), "unrecognized arguments: .*--bogus")
        self.assertIn("all 12 channel files", self.refused(["tools/readme_pictures.py", "tune", "a.wav",
                                                            "out"] + ["b.wav"] * 13))
        self.assertIn("is not 4:3", self.refused(["tools/scale_figures.py", "100x100"]))
        self.assertIn("unrecognized arguments", self.refused(["bench/browser_bench.py", "--bogus"]))


if __name__ == "__main__":
    main()
