#!/usr/bin/python3
"""tools/tune_figures.py, through the real ffmpeg and the real scene_list: on made-up sounds whose
loudness, bands and balance are known scene by scene, and on the show's own tune rendered by
render_tune, held to the shape the tune is made for."""
import json
import os
import subprocess
import wave

import numpy as np

from harness import Case, RENDER_TUNE, ROOT, SCENE_LIST, main, run

FIGURES = ["/usr/bin/python3", os.path.join(ROOT, "tools", "tune_figures.py"), "--scenes", SCENE_LIST]
RATE = 44100
# The tune's sections and the scene that opens each, as the score has them.
SECTIONS = [("intro", 0), ("title", 1), ("blood cells", 2), ("prison", 5), ("phone", 7), ("greetings", 11),
            ("credits", 12), ("ending", 15)]


def write(path, *channels):
    with wave.open(path, "wb") as w:
        w.setnchannels(len(channels))
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes((np.stack(channels, axis=1) * 32767).astype("<i2").tobytes())
    return path


def figures(path):
    return json.loads(run(FIGURES + ["--json", path]))


def scene_starts():
    """Where each scene begins (s), from the show's own scene table."""
    rows = [line.split("\t") for line in run([SCENE_LIST]).splitlines()[1:]]
    return [int(r[2]) / 1000 for r in rows]


class MadeUp(Case):
    def test_a_known_sound_measures_as_it_was_made_and_one_it_cannot_measure_is_refused(self):
        t = np.arange(int(68 * RATE)) / RATE
        # 1 kHz, 100 Hz and 300 Hz (the last two equal); each section of the tune 3 dB under the
        # one before, from where its first scene begins; left 2 dB over right in even scenes and
        # under it in odd ones, which leaves the loudness of both together alone.
        tone = 0.1 * np.sin(2 * np.pi * 1000 * t) + 0.05 * (np.sin(2 * np.pi * 100 * t) + np.sin(2 * np.pi * 300 * t))
        left, right = tone.copy(), tone.copy()
        starts = scene_starts()
        for scene, start in enumerate(starts):
            section = max(i for i, (_, first) in enumerate(SECTIONS) if first <= scene)
            lean = 10 ** ((1 if scene % 2 == 0 else -1) / 20)
            part = slice(int(start * RATE), int(starts[scene + 1] * RATE) if scene + 1 < len(starts) else None)
            left[part] *= 10 ** (-3 * section / 20) * lean
            right[part] *= 10 ** (-3 * section / 20) / lean
        f = figures(write(os.path.join(self.scratch(), "made.wav"), left, right))
        report = json.dumps(f, indent=1)
        self.assertEqual(list(f["sections"]), [name for name, _ in SECTIONS], report)
        for i, (name, _) in enumerate(SECTIONS):
            self.assertAlmostEqual(f["sections"][name] - f["sections"]["intro"], -3 * i, delta=0.3,
                                   msg=f"{name}\n{report}")
        self.assertEqual([at for at, _ in f["balance"]], starts, report)
        for scene, (_, lean) in enumerate(f["balance"]):
            self.assertAlmostEqual(lean, 2 if scene % 2 == 0 else -2, delta=0.05, msg=f"scene {scene}\n{report}")
        self.assertAlmostEqual(f["worst_balance"], 2, delta=0.05)
        self.assertAlmostEqual(f["low_vs_middle"], 0, delta=0.5)
        self.assertLess(f["high_vs_middle"], -50)  # none but the clicks of the level steps
        self.assertGreater(f["lra"], 5)
        # A file it cannot measure is refused with the reason.
        folder = self.scratch()
        mono = write(os.path.join(folder, "mono.wav"), np.zeros(RATE))
        short = write(os.path.join(folder, "short.wav"), np.zeros(RATE), np.zeros(RATE))
        for path, says in [(mono, "is not 16-bit stereo"), (short, "shorter than the show"),
                           (os.path.join(folder, "none.wav"), "cannot read")]:
            done = subprocess.run(FIGURES + [path], capture_output=True, text=True)
            self.assertEqual(done.returncode, 1, done.stderr)
            self.assertIn(says, done.stderr)

    def test_without_the_scene_table_it_refuses_and_says_why(self):
        folder = self.scratch()
        tune = write(os.path.join(folder, "quiet.wav"), np.zeros(68 * RATE), np.zeros(68 * RATE))
        # The real table with the prison's scenes drawn by the phone: runs the tune has no sections for.
        moved = os.path.join(folder, "moved.txt")
        with open(moved, "w") as f:
            f.write(run([SCENE_LIST]).replace("\tprison cell\t", "\tcellphone\t"))
        for scenes, says in [(os.path.join(folder, "none"), "no scene list at"),
                             ("/bin/false", "cannot read the scene list /bin/false"),
                             (tune, "is not the output of scene_list"),  # bytes that are no text
                             (moved, "are not the tune's sections")]:
            command = FIGURES[:2] + ["--scenes", scenes, tune]
            done = subprocess.run(command, capture_output=True, text=True)
            self.assertEqual(done.returncode, 1, f"{command}\n{done.stdout}{done.stderr}")
            self.assertIn(says, done.stderr)


class TheTune(Case):
    def test_the_tune_has_its_arc_and_its_balance_by_ebur128(self):
        path = os.path.join(self.scratch(), "tune.wav")
        run([RENDER_TUNE, path, 68])
        f = figures(path)
        parts = f["sections"]
        loudest = max(parts.values())
        report = json.dumps(f, indent=1)
        self.assertGreaterEqual(f["lra"], 6, report)
        self.assertEqual(parts["phone"], loudest, report)
        self.assertLessEqual(parts["prison"], parts["phone"] - 4, report)
        self.assertLessEqual(parts["intro"], loudest - 6, report)
        for quieter, louder in (("intro", "title"), ("title", "blood cells"), ("prison", "blood cells"),
                                ("credits", "phone")):
            self.assertLess(parts[quieter], parts[louder], report)
        self.assertAlmostEqual(f["integrated"], -14, delta=2, msg=report)
        self.assertLessEqual(abs(f["low_vs_middle"]), 4, report)
        self.assertLessEqual(abs(f["high_vs_middle"]), 8, report)
        self.assertLessEqual(f["worst_balance"], 1.5, report)


if __name__ == "__main__":
    main()
