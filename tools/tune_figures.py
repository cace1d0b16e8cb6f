#!/usr/bin/python3
"""Measures the rendered tune's shape and mix: EBU R128 loudness through
ffmpeg's ebur128 filter (integrated loudness and loudness range over the show,
each section's integrated loudness), the 40-150 Hz and 2.5-8 kHz bands against
150-600 Hz, and the left/right balance over the first half second of every
scene. TUNE.wav comes from build/tools/render_tune or the capture's tune.wav.
"""
import argparse
import json
import re
import subprocess
import sys
import wave

import numpy as np

RATE = 44100
SHOW_END = 67.0
# Where each scene begins (s): 85 ms after the cut that opens it.
SCENES = [0.0, 3.6, 7.125, 14.4, 18.0, 21.6, 28.8, 36.0, 39.6, 43.2, 46.8, 49.5, 50.4, 54.0,
          57.6, 61.2]
SECTIONS = [("intro", 0.0, 3.6), ("title", 3.6, 7.2), ("blood cells", 7.2, 21.6),
            ("prison", 21.6, 36.0), ("phone", 36.0, 49.5), ("greetings", 49.5, 50.4),
            ("credits", 50.4, 61.2), ("ending", 61.2, 67.0)]
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


def figures(path):
    song = read_wav(path)
    if len(song) < SHOW_END * RATE:
        sys.exit(f"tune_figures: {path} is shorter than the show's {SHOW_END:g} s")
    show = song[:int(SHOW_END * RATE)]
    integrated, lra = ebur128(path, 0, SHOW_END)
    sections = {name: ebur128(path, a, b - a)[0] for name, a, b in SECTIONS}
    balance = []
    for t in SCENES:
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
    args = parser.parse_args()
    f = figures(args.tune)
    if args.json:
        print(json.dumps(f))
        return 0
    print(f"integrated loudness 0-67 s: {f['integrated']:.1f} LUFS; loudness range {f['lra']:.1f} LU")
    loudest = max(f["sections"].values())
    print("| section | LUFS | under the loudest (LU) |")
    for name, lufs in f["sections"].items():
        print(f"| {name} | {lufs:.1f} | {loudest - lufs:.1f} |")
    b = f["bands"]
    print(f"bands: 40-150 Hz {b['low']:.1f} dB, 150-600 Hz {b['middle']:.1f} dB, 2.5-8 kHz {b['high']:.1f} dB "
          f"({f['low_vs_middle']:+.1f} and {f['high_vs_middle']:+.1f} against the middle)")
    print("left minus right over the first 0.5 s of each scene (dB): " +
          ", ".join(f"{t:g} s {d:+.1f}" for t, d in f["balance"]))
    print(f"left/right correlation 0-67 s: {f['correlation']:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
