#!/usr/bin/python3
"""Measures the rendered tune's shape and mix: EBU R128 loudness through
ffmpeg's ebur128 filter (integrated loudness and loudness range over the show,
each section's integrated loudness), the 40-150 Hz and 2.5-8 kHz bands against
150-600 Hz, and the left/right balance over the first half second of every
scene. TUNE.wav comes from build/tools/render_tune or the capture's tune.wav.
The scenes' times and the sections come from the show's own scene table, as
build/tools/scene_list prints it.
"""
import argparse
import json
import os
import re
import subprocess
import sys
import wave

import numpy as np

RATE = 44100
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The tune's sections in order, each with the routine of the scenes it plays
# under: the scene table's runs of one family, a family of one scene (the
# logos) a section a scene, as the score groups them.
SECTION_ROUTINES = [("intro", "logo"), ("title", "logo"), ("blood cells", "blood cells"),
                    ("prison", "prison cell"), ("phone", "cellphone"), ("greetings", "greetings"),
                    ("credits", "credits"), ("ending", "end")]
# The score opens each section on the first beat (6 rows of 75 ms) at or after
# its first scene appears (generators/xm_score.cpp checks it as it compiles).
BEAT_MS = 450
BANDS = {"low": (40, 150), "middle": (150, 600), "high": (2500, 8000)}


def ebur128(path, start, length):
    """(integrated LUFS, LRA LU) of [start, start + length) s of the file, by ffmpeg."""
    command = ["ffmpeg", "-hide_banner", "-nostats", "-ss", str(start), "-t", str(length), "-i", path,
               "-af", "ebur128", "-f", "null", "-"]
    try:
        text = subprocess.run(command, capture_output=True, text=True, check=True).stderr
    except (OSError, subprocess.CalledProcessError) as error:
        sys.exit(f"tune_figures: ffmpeg failed on {path}: {error}")
    summary = text[text.rfind("Summary:"):]
    found = [re.search(pattern + r":\s+(-?[\d.]+|-inf)", summary) for pattern in (r"\bI", r"\bLRA")]
    if not all(found):
        sys.exit(f"tune_figures: no ebur128 summary from ffmpeg for {path}")
    return tuple(float(m.group(1)) for m in found)


def read_wav(path):
    try:
        with wave.open(path, "rb") as w:
            if w.getframerate() != RATE or w.getnchannels() != 2 or w.getsampwidth() != 2:
                sys.exit(f"tune_figures: {path} is not 16-bit stereo at 44.1 kHz")
            raw = w.readframes(w.getnframes())
    except (OSError, EOFError, wave.Error) as error:
        sys.exit(f"tune_figures: cannot read {path}: {error}")
    return np.frombuffer(raw, dtype="<i2").astype(np.float64).reshape(-1, 2) / 32768.0


def db(power):
    return float(10 * np.log10(power + 1e-30))


def band_levels(mono):
    """Each band's level (dB against full scale) over the whole stretch, from its spectrum."""
    spectrum = np.abs(np.fft.rfft(mono)) ** 2 * 2 / len(mono) ** 2
    freqs = np.fft.rfftfreq(len(mono), 1 / RATE)
    return {name: db(spectrum[(freqs >= low) & (freqs < high)].sum()) for name, (low, high) in BANDS.items()}


def read_scene_table(path):
    """The scene_list program's table (or a file of its output): the show's end (s), where each
    scene begins (s: 85 ms after the cut that opens it, at once for the first) and the tune's
    sections as (name, start s, end s)."""
    try:
        if os.path.isfile(path) and os.access(path, os.X_OK):
            listing = subprocess.run([path], check=True, capture_output=True, text=True, errors="replace").stdout
        else:
            with open(path, errors="replace") as f:
                listing = f.read()
    except FileNotFoundError:
        sys.exit(f"tune_figures: no scene list at {path} (build the project, or give --scenes PATH)")
    except (OSError, subprocess.CalledProcessError) as error:
        sys.exit(f"tune_figures: cannot read the scene list {path}: {error}")
    rows = [line.split("\t") for line in listing.splitlines()]
    try:
        table = [(int(r[0]), int(r[2]), int(r[3]), r[5], int(r[6])) for r in rows[1:]]
    except (IndexError, ValueError):
        table = []
    if (not table or rows[0][:7] != ["scene", "cut_ms", "start_ms", "end_ms", "settled_ms", "routine", "variant"]
            or [row[0] for row in table] != list(range(len(table)))):
        sys.exit(f"tune_figures: {path} is not the output of scene_list")
    runs = []  # [routine, start ms] of each run of scenes
    for _, start, _, routine, variant in table:
        if not (runs and runs[-1][0] == routine and variant > 1):
            runs.append([routine, start])
    if [routine for routine, _ in runs] != [routine for _, routine in SECTION_ROUTINES]:
        sys.exit(f"tune_figures: the scene table's runs of scenes ({', '.join(r for r, _ in runs)}) "
                 f"are not the tune's sections ({', '.join(f'{n}: {r}' for n, r in SECTION_ROUTINES)})")
    show_end = table[-1][2]
    opens = [-(-start // BEAT_MS) * BEAT_MS for _, start in runs] + [show_end]
    sections = [(name, opens[i] / 1000, opens[i + 1] / 1000) for i, (name, _) in enumerate(SECTION_ROUTINES)]
    return show_end / 1000, [start / 1000 for _, start, _, _, _ in table], sections


def figures(path, show_end, scene_starts, spans):
    """The figures of the tune at path over the show's first show_end s, with the balance at each
    of scene_starts (s) and the loudness of each section's span (name, start s, end s)."""
    song = read_wav(path)
    if len(song) < show_end * RATE:
        sys.exit(f"tune_figures: {path} is shorter than the show's {show_end:g} s")
    show = song[:int(show_end * RATE)]
    integrated, lra = ebur128(path, 0, show_end)
    sections = {name: ebur128(path, a, b - a)[0] for name, a, b in spans}
    balance = []
    for t in scene_starts:
        part = show[int(t * RATE):int((t + 0.5) * RATE)]
        balance.append((t, db(np.mean(part[:, 0] ** 2)) - db(np.mean(part[:, 1] ** 2))))
    bands = band_levels(show.mean(axis=1))
    return {
        "integrated": integrated, "lra": lra, "sections": sections, "bands": bands,
        "low_vs_middle": bands["low"] - bands["middle"], "high_vs_middle": bands["high"] - bands["middle"],
        "balance": balance, "worst_balance": max(abs(b) for _, b in balance),
        "correlation": float(np.corrcoef(show[:, 0], show[:, 1])[0, 1]),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tune", metavar="TUNE.wav", help="the rendered tune, 16-bit stereo at 44.1 kHz")
    parser.add_argument("--json", action="store_true", help="print the figures as one JSON object")
    parser.add_argument("--scenes", metavar="PATH", default=os.path.join(ROOT, "build", "tools", "scene_list"),
                        help="the scene_list program, or a file of its output (default "
                             "build/tools/scene_list of this checkout)")
    args = parser.parse_args()
    show_end, scene_starts, spans = read_scene_table(args.scenes)
    f = figures(args.tune, show_end, scene_starts, spans)
    if args.json:
        print(json.dumps(f))
        return 0
    print(f"integrated loudness 0-{show_end:g} s: {f['integrated']:.1f} LUFS; loudness range {f['lra']:.1f} LU")
    loudest = max(f["sections"].values())
    print("| section | LUFS | under the loudest (LU) |")
    for name, lufs in f["sections"].items():
        print(f"| {name} | {lufs:.1f} | {loudest - lufs:.1f} |")
    b = f["bands"]
    print(f"bands: 40-150 Hz {b['low']:.1f} dB, 150-600 Hz {b['middle']:.1f} dB, 2.5-8 kHz {b['high']:.1f} dB "
          f"({f['low_vs_middle']:+.1f} and {f['high_vs_middle']:+.1f} against the middle)")
    print("left minus right over the first 0.5 s of each scene (dB): " +
          ", ".join(f"{t:g} s {d:+.1f}" for t, d in f["balance"]))
    print(f"left/right correlation 0-{show_end:g} s: {f['correlation']:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
