#!/usr/bin/python3
"""tools/tune_figures.py through the real ffmpeg: on made-up sounds whose figures are known, and
on the show's own tune from render_tune, held to the shape the tune is made for."""
import json
import os
import subprocess
import wave

import numpy as np

from harness import Case, RENDER_TUNE, ROOT, main, run

FIGURES = ["/usr/bin/python3", os.path.join(ROOT, "tools", "tune_figures.py")]
RATE = 44100


def write(path, *channels):
    with wave.open(path, "wb") as w:
        w.setnchannels(len(channels))
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes((np.stack(channels, axis=1) * 32767).astype("<i2").tobytes())
    return path


def figures(path):
    return json.loads(run(FIGURES + ["--json", path]))


class MadeUp(Case):
    def test_a_known_sound_measures_as_it_was_made_and_one_it_cannot_measure_is_refused(self):
        t = np.arange(int(68 * RATE)) / RATE
        # 1 kHz, 100 Hz and 300 Hz (the last two equal) on the left, 6 dB less on the right;
        # 10 dB quieter over the prison's stretch.
        tone = 0.1 * np.sin(2 * np.pi * 1000 * t) + 0.05 * (np.sin(2 * np.pi * 100 * t) + np.sin(2 * np.pi * 300 * t))
        tone[int(21.6 * RATE):int(36 * RATE)] *= 10 ** (-10 / 20)
        f = figures(write(os.path.join(self.scratch(), "made.wav"), tone, tone / 2))
        self.assertAlmostEqual(f["sections"]["blood cells"] - f["sections"]["prison"], 10, delta=0.3)
        self.assertAlmostEqual(f["low_vs_middle"], 0, delta=0.5)
        self.assertLess(f["high_vs_middle"], -60)
        self.assertAlmostEqual(f["worst_balance"], 20 * np.log10(2), delta=0.2)
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
