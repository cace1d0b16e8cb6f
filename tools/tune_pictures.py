#!/usr/bin/python3
"""Pictures and figures of the rendered tune.

    tools/tune_pictures.py TUNE.wav OUTDIR [CHANNEL0.wav ... CHANNEL3.wav]

TUNE.wav comes from build/tools/render_tune (the whole song); the optional
channel files from render_tune --channel N. Writes OUTDIR/tune-spectrogram.png
(the show, 0-67 s) and OUTDIR/tune-ending.png (its last 10 s), and prints a
table per section: RMS, RMS of each channel, the energy above 14 kHz against
the whole band; then the left/right correlation, the tail level and the peak.
"""
import os
import sys
import wave

import numpy as np
from PIL import Image, ImageDraw

RATE = 44100
SHOW_END = 67.0
# Sections of the show (s): the music changes with the scenes.
SECTIONS = [("intro", 0.0, 3.6), ("title", 3.6, 7.2), ("blood cells", 7.2, 21.6),
            ("prison", 21.6, 36.0), ("phone", 36.0, 49.5), ("greetings", 49.5, 50.4),
            ("credits", 50.4, 61.2), ("ending", 61.2, 67.0)]


def read_wav(path):
    try:
        w = wave.open(path, "rb")
    except (OSError, EOFError, wave.Error) as error:
        sys.exit(f"tune_pictures: cannot read {path}: {error}")
    with w:
        if w.getframerate() != RATE or w.getnchannels() != 2 or w.getsampwidth() != 2:
            sys.exit(f"tune_pictures: {path} is not 16-bit stereo at 44.1 kHz")
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64)
    return data.reshape(-1, 2) / 32767.0


def db(power):
    return 10 * np.log10(power + 1e-30)


def rms_db(x):
    return db(np.mean(x ** 2)) if len(x) else float("-inf")


def high_band_ratio(x):
    """Energy above 14 kHz against the whole band, Hann frames of 4096."""
    n = 4096
    total = high = 0.0
    freqs = np.fft.rfftfreq(n, 1 / RATE)
    window = np.hanning(n)
    for start in range(0, len(x) - n + 1, n // 2):
        for ch in range(2):
            p = np.abs(np.fft.rfft(x[start:start + n, ch] * window)) ** 2
            total += p[1:].sum()
            high += p[freqs >= 14000].sum()
    return db(high) - db(total)


def colour(v):
    """0..1 to a dark-blue, magenta, orange, white ramp."""
    stops = np.array([[0, 0, 0], [20, 20, 90], [150, 30, 140], [240, 120, 40], [255, 250, 220]], float)
    pos = np.clip(v, 0, 1) * (len(stops) - 1)
    i = np.minimum(pos.astype(int), len(stops) - 2)
    f = (pos - i)[..., None]
    return (stops[i] * (1 - f) + stops[i + 1] * f).astype(np.uint8)


def spectrogram(x, start, end, path, title, width, height=360):
    mono = x[int(start * RATE):int(end * RATE)].mean(axis=1)
    n, hop = 2048, max(64, int(len(mono) / width))
    window = np.hanning(n)
    frames = [np.abs(np.fft.rfft(mono[s:s + n] * window)) ** 2 for s in range(0, len(mono) - n, hop)]
    power = db(np.array(frames).T)[::-1]  # high frequencies at the top
    top = power.max()
    image = colour((power - (top - 90)) / 90)
    picture = Image.fromarray(image).resize((width, height), Image.BILINEAR)
    margin_left, margin_bottom, margin_top = 48, 22, 20
    canvas = Image.new("RGB", (width + margin_left + 8, height + margin_bottom + margin_top), (16, 16, 16))
    canvas.paste(picture, (margin_left, margin_top))
    draw = ImageDraw.Draw(canvas)
    draw.text((margin_left + 2, 5), title, fill=(255, 255, 255))
    for khz in (0, 5, 10, 14, 20):
        y = margin_top + int(height * (1 - khz * 1000 / (RATE / 2)))
        draw.text((4, y - 6), f"{khz} kHz", fill=(200, 200, 200))
        if khz == 14:
            draw.line([(margin_left, y), (margin_left + width, y)], fill=(90, 200, 90))
    step = 5 if end - start > 20 else 1
    for t in np.arange(np.ceil(start / step) * step, end + 0.001, step):
        xpix = margin_left + int((t - start) / (end - start) * width)
        draw.line([(xpix, margin_top + height), (xpix, margin_top + height + 4)], fill=(200, 200, 200))
        draw.text((xpix - 8, margin_top + height + 6), f"{t:g}", fill=(200, 200, 200))
    partial = path + ".partial.png"
    # A palette picture: a fraction of the size, no visible loss at this scale.
    canvas.convert("P", palette=Image.ADAPTIVE, colors=96).save(partial, optimize=True)
    os.replace(partial, path)
    print(f"wrote {path}")


def main(argv):
    if len(argv) in (2, 3) and argv[1] in ("-h", "--help"):
        print(__doc__)
        return 0
    if len(argv) not in (3, 7):
        sys.stderr.write("usage: tune_pictures.py TUNE.wav OUTDIR [CHANNEL0.wav ... CHANNEL3.wav]\n")
        return 2
    tune = read_wav(argv[1])
    if len(tune) < SHOW_END * RATE:
        sys.exit("tune_pictures: the tune is shorter than the show's 67 s")
    channels = [read_wav(p) for p in argv[3:]]
    os.makedirs(argv[2], exist_ok=True)
    spectrogram(tune, 0, SHOW_END, os.path.join(argv[2], "tune-spectrogram.png"),
                "The tune under the show, 0-67 s", 1100)
    spectrogram(tune, SHOW_END - 10, SHOW_END, os.path.join(argv[2], "tune-ending.png"),
                "The last 10 s of the show: credits, the cadence from 62.9 s, the decay", 1100)

    names = ["drums", "bass", "chords", "lead+crash"][:len(channels)]
    print("| section | time (s) | RMS (dBFS) | " + " | ".join(names) + (" | " if names else "") +
          "above 14 kHz (dB) |")
    for name, a, b in SECTIONS:
        part = tune[int(a * RATE):int(b * RATE)]
        cells = [f"{rms_db(c[int(a * RATE):int(b * RATE)]):.1f}" for c in channels]
        print(f"| {name} | {a:g}-{b:g} | {rms_db(part):.1f} | " + " | ".join(cells) +
              (" | " if cells else "") + f"{high_band_ratio(part):.1f} |")
    show = tune[:int(SHOW_END * RATE)]
    corr = np.corrcoef(show[:, 0], show[:, 1])[0, 1]
    print(f"left/right correlation 0-67 s: {corr:.3f}")
    print(f"tail 66.5-67.0 s: {rms_db(tune[int(66.5 * RATE):int(67.0 * RATE)]):.1f} dBFS RMS")
    print(f"peak: {20 * np.log10(np.abs(tune).max() + 1e-30):.2f} dBFS (16-bit file)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
