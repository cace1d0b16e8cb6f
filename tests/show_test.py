#!/usr/bin/python3
"""The whole show played once by the real orvi: every scene's shot against the golden frames,
a 3 s stop on the way, the show ending by itself, its last sound the tune's at 67 s."""
import os
import signal
import time
import wave

import numpy as np
from PIL import Image, ImageChops, ImageStat

from harness import ARTIFACTS, Case, MusicPipe, ORVI, RENDER_TUNE, ROOT, SCENE_LIST, blank, main, run, until

RATE = 44100


def scene_table():
    lines = run([SCENE_LIST]).splitlines()
    names = lines[0].split("\t")
    return [dict(zip(names, line.split("\t"))) for line in lines[1:]]


def small(image):
    return image.convert("RGB").resize((32, 24), Image.BILINEAR)


def distance(a, b):
    return sum(ImageStat.Stat(ImageChops.difference(a, b)).mean) / 3


def settled(screen, win):
    """The frame shown once the held show has stopped changing: two shots in a row alike."""
    shots = [small(screen.shot(win))]
    def alike():
        shots.append(small(screen.shot(win)))
        return distance(shots[-2], shots[-1]) < 0.5
    until("a settled frame", alike)
    return screen.shot(win)


def tune(path):
    with wave.open(path) as w:
        raw = w.readframes(w.getnframes())
        samples = (np.frombuffer(raw, "<i2").astype(np.float64) / 32768 if w.getsampwidth() == 2
                   else np.frombuffer(raw, "<f4").astype(np.float64))
        return samples.reshape(-1, w.getnchannels()).mean(axis=1)


def where_in_tune(written, reference, from_s=55, span_s=17):
    """Where the last 1.5 s written end in the reference tune (s) and how well they match (1 =
    exactly): cross-correlation normalised by each stretch's energy, lest a loud passage win."""
    tail = written[-int(1.5 * RATE):]
    region = reference[from_s * RATE:(from_s + span_s) * RATE]
    n = 1 << int(np.ceil(np.log2(len(region) + len(tail))))
    corr = np.fft.irfft(np.fft.rfft(region, n) * np.conj(np.fft.rfft(tail, n)), n)[:len(region) - len(tail) + 1]
    energy = np.concatenate(([0.0], np.cumsum(region * region)))
    norms = np.sqrt(energy[len(tail):] - energy[:len(region) - len(tail) + 1]) * np.linalg.norm(tail)
    score = corr / np.maximum(norms, 1e-9)
    lag = int(np.argmax(score))
    return from_s + (lag + len(tail)) / RATE, score[lag]


class WholeShow(Case):
    def test_every_scene_in_its_time_through_a_stop_to_the_end_in_step_with_the_music(self):
        folder = self.scratch()
        screen = self.display("640x480")
        # The show's clock is the music as the device plays it: the sound read tells its age, and
        # the show waits at each moment the case holds it, however busy the machine.
        pipe = MusicPipe(folder, held=True)
        orvi = self.start([ORVI, "--windowed"], dict(screen.env, **pipe.env))
        self.scenes_match_the_golden_frames(screen, screen.find("Orvi: Tonaro", (640, 480)), orvi, pipe)
        pipe.release()
        self.assertEqual(orvi.wait(90), 0)
        pipe.drained()
        self.the_last_sound_is_the_tune_at_67_s(pipe, folder)

    def scenes_match_the_golden_frames(self, screen, win, orvi, pipe):
        """Each scene held at a moment with all it shows on screen, matched against the golden
        frames; the longest also takes a 3 s stop (a debugger, a busy machine) 4 s before it."""
        scenes = scene_table()
        goldens = [small(Image.open(os.path.join(ROOT, "tests", "golden", f"scene-{n:02d}.png")))
                   for n in range(len(scenes))]
        aims = [(int(s["settled_ms"]) + int(s["end_ms"])) // 2 for s in scenes]
        longest = max(range(len(scenes)), key=lambda n: int(scenes[n]["end_ms"]) - int(scenes[n]["start_ms"]))
        os.makedirs(os.path.join(ARTIFACTS, "show"), exist_ok=True)
        for n, aim in enumerate(aims):
            if n == longest:
                pipe.hold(aim - 4000)
                pipe.release()
                orvi.signal(signal.SIGSTOP)
                time.sleep(3)
                orvi.signal(signal.SIGCONT)
            pipe.hold(aim)
            self.assertTrue(orvi.alive(), f"the show ended at {pipe.show_ms():.0f} ms of its music, before scene {n}")
            image = settled(screen, win)
            distances = [distance(small(image), g) for g in goldens]
            image.save(os.path.join(ARTIFACTS, "show", f"scene-{n:02d}.png"))
            print(f"scene {n} at {aim} ms; nearest golden frames "
                  + ", ".join(f"{k} ({distances[k]:.1f})" for k in np.argsort(distances)[:2]))
            with self.subTest(scene=n, at=aim):
                self.assertFalse(blank(image), "a blank frame")
                self.assertEqual(int(np.argmin(distances)), n, f"looks like scene {np.argmin(distances)}: "
                                 f"distances {np.round(distances, 1)}")

    def the_last_sound_is_the_tune_at_67_s(self, pipe, folder):
        written = np.frombuffer(bytes(pipe.data), dtype="<f4").reshape(-1, 2).mean(axis=1).astype(np.float64)
        # The device writes silence once paused at shutdown: the show's sound ends at the last
        # sample that is not silent.
        written = written[:np.nonzero(np.abs(written) > 1e-6)[0][-1] + 1]
        reference = os.path.join(folder, "reference.wav")
        run([RENDER_TUNE, reference, "72"])
        end, quality = where_in_tune(written, tune(reference))
        print(f"the last sound written is the tune at {end:.3f} s: {(end - 67) * 1000:+.1f} ms "
              f"from 67 s (match {quality:.3f})")
        # The show ends in the frame that finds its clock at 67 s, and the clock never runs ahead
        # of the sound handed to the device: the end is not early. After that frame the device
        # plays on until the shutdown stops it, for as long as a busy machine keeps the main
        # thread from its next frame: half a second has been seen under a load of 19 on 2 cores.
        self.assertGreaterEqual((end - 67) * 1000, -30, "the show's clock ran ahead of its music")
        self.assertLessEqual((end - 67) * 1000, 1500, "the music ran on after the show's end")
        self.assertGreater(quality, 0.9)


if __name__ == "__main__":
    main()
