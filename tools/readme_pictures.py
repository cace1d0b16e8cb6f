#!/usr/bin/python3
"""Redraws the README's pictures; one verb a picture.

    /usr/bin/python3 tools/readme_pictures.py frames OUTPUT.png --fps N \\
        --times T1,T2,... [--width W] [--label TEXT] DIR [--label TEXT] DIR ...
    /usr/bin/python3 tools/readme_pictures.py tune [--scenes PATH] TUNE.wav OUTDIR [CHANNEL0.wav ... CHANNEL3.wav]
    /usr/bin/python3 tools/readme_pictures.py msaa [CAPTURE_TOOL] [OUTPUT.png]

frames: frames of captured shows side by side, one row per capture folder,
one column per moment, each labelled with its time. Each DIR holds the
frame-NNNNN.png files of `orvi-capture --png --fps N`; the frame shown for
time T is number floor(T * N). --label names the row of the folder after it.
The picture has 256 colours.

tune: pictures and figures of the rendered tune. TUNE.wav comes from
build/tools/render_tune (the whole song); the optional channel files from
render_tune --channel N. Writes OUTDIR/tune-spectrogram.png (the show,
0-67 s) and OUTDIR/tune-ending.png (its last 10 s), and prints a table per
section of the show (a family's run of scenes, as build/tools/scene_list or
--scenes, its output or the program, lists them): RMS, RMS of each channel,
the energy above 14 kHz against the whole band; then the left/right
correlation, the tail level and the peak.

msaa: one moment of the show drawn with and without multisample
anti-aliasing, a 4x zoom of a blood cell's edge from each side by side (left:
off, right: on), as docs/msaa-edge.png shows. Run from the project root after
a build; defaults build/capture/orvi-capture and docs/msaa-edge.png.

Every picture is written under a temporary name and renamed when complete.
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np
from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def save(image, path):
    partial = path + ".partial.png"
    try:
        image.save(partial, "PNG", optimize=True)
        os.replace(partial, path)
    except OSError as e:
        if os.path.exists(partial):
            os.remove(partial)
        sys.exit("readme_pictures: cannot write %s: %s" % (path, e.strerror))
    print("wrote", path)


# frames

def add_rows(parser, namespace, rows):
    for _, folder in rows:
        if not os.path.isdir(folder):
            parser.error("%s is not a folder" % folder)
    namespace.rows = (namespace.rows or []) + rows


class LabelledRow(argparse.Action):
    """--label TEXT DIR: a capture folder and the name of its row, in the order given."""

    def __call__(self, parser, namespace, values, option_string=None):
        add_rows(parser, namespace, [tuple(values)])


def seconds_list(text):
    try:
        times = [float(t) for t in text.split(",")]
    except ValueError:
        raise argparse.ArgumentTypeError("%r is not a list of seconds" % text)
    if any(t < 0 for t in times):
        raise argparse.ArgumentTypeError("times are seconds of the show, from 0")
    return times


def frame_width(text):
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError("%r is not a whole number" % text)
    if not 32 <= value <= 640:
        raise argparse.ArgumentTypeError("must lie between 32 and 640")
    return value


def frames_parser(verbs):
    p = verbs.add_parser("frames", help="frames of captured shows side by side")
    p.add_argument("output", help="the picture, a .png file")
    p.add_argument("--fps", type=int, required=True, help="the captures' frames a second")
    p.add_argument("--times", type=seconds_list, required=True, help="T1,T2,...: seconds of the show")
    p.add_argument("--width", type=frame_width, default=256, help="each frame's width (32-640)")
    p.add_argument("--label", nargs=2, action=LabelledRow, dest="rows", metavar=("TEXT", "DIR"),
                   help="a capture folder and the name of its row")
    p.add_argument("unlabelled", nargs="*", metavar="DIR",
                   help="a capture folder of frame-NNNNN.png, its row unnamed, after the named ones")
    p.set_defaults(run=frames, rows=None)
    return p


def frames(args):
    if not args.output.endswith(".png"):
        refuse("the output must be a .png file")
    if args.fps < 1:
        refuse("--fps must be at least 1")
    if not args.rows:
        refuse("no capture folder given")
    o = {"output": args.output, "fps": args.fps, "times": args.times, "width": args.width,
         "rows": args.rows}
    w = o["width"]
    h = w * 3 // 4
    label_w = 90 if any(label for label, _ in o["rows"]) else 0
    strip = Image.new("RGB", (label_w + w * len(o["times"]), h * len(o["rows"])), "#101010")
    d = ImageDraw.Draw(strip)
    small = ImageFont.load_default()
    for r, (label, folder) in enumerate(o["rows"]):
        if label:
            d.text((6, r * h + h // 2), label, fill="#ffffff", font=small, anchor="lm")
        for c, t in enumerate(o["times"]):
            path = os.path.join(folder, "frame-%05d.png" % math.floor(t * o["fps"] + 1e-6))
            if not os.path.exists(path):
                refuse("%s is missing: capture that time at --fps %d" % (path, o["fps"]))
            frame = Image.open(path).convert("RGB").resize((w, h), Image.LANCZOS)
            x, y = label_w + c * w, r * h
            strip.paste(frame, (x, y))
            d.rectangle([x + 2, y + 2, x + 44, y + 14], fill="#000000")
            d.text((x + 5, y + 3), "%.1f s" % t, fill="#ffff66", font=small)
    # 256 colours: flat toon shading and comic fills lose little, and the
    # file stays small enough to sit in the repository.
    save(strip.quantize(256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE),
         o["output"])
    return 0


# tune

RATE = 44100
SHOW_END = 67.0
def show_sections(scenes):
    """(name, start s, end s) for each family's run of scenes in the scene
    table; a family of one scene (variant 0) is a section each."""
    try:
        if os.path.isfile(scenes) and os.access(scenes, os.X_OK):
            listing = subprocess.run([scenes], check=True, capture_output=True, text=True).stdout
        else:
            with open(scenes) as f:
                listing = f.read()
    except (OSError, subprocess.CalledProcessError) as error:
        sys.exit("readme_pictures: cannot read the scene list %s: %s" % (scenes, error))
    rows = [line.split("\t") for line in listing.splitlines()]
    if not rows or rows[0][:7] != ["scene", "cut_ms", "start_ms", "end_ms", "settled_ms",
                                   "routine", "variant"]:
        sys.exit("readme_pictures: %s is not the output of scene_list" % scenes)
    sections = []
    for cells in rows[1:]:
        scene, start, end, routine, variant = (int(cells[0]), int(cells[2]) / 1000,
                                               int(cells[3]) / 1000, cells[5], int(cells[6]))
        if sections and sections[-1][0] == routine and variant > 1:
            sections[-1][2], sections[-1][4] = end, scene
        else:
            sections.append([routine, start, end, scene, scene])
    return [("%s (%d%s)" % (name, first, "" if first == last else "-%d" % last), a, b)
            for name, a, b, first, last in sections]


def read_wav(path):
    try:
        w = wave.open(path, "rb")
    except (OSError, EOFError, wave.Error) as error:
        sys.exit(f"readme_pictures: cannot read {path}: {error}")
    with w:
        if w.getframerate() != RATE or w.getnchannels() != 2 or w.getsampwidth() != 2:
            sys.exit(f"readme_pictures: {path} is not 16-bit stereo at 44.1 kHz")
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
    # A palette picture: a fraction of the size, no visible loss at this scale.
    save(canvas.convert("P", palette=Image.ADAPTIVE, colors=96), path)


def tune(args):
    if len(args.channels) not in (0, 4):
        refuse("tune takes none or all four channel files")
    sections = show_sections(args.scenes)
    song = read_wav(args.tune)
    if len(song) < SHOW_END * RATE:
        sys.exit("readme_pictures: the tune is shorter than the show's 67 s")
    channels = [read_wav(p) for p in args.channels]
    os.makedirs(args.outdir, exist_ok=True)
    spectrogram(song, 0, SHOW_END, os.path.join(args.outdir, "tune-spectrogram.png"),
                "The tune under the show, 0-67 s", 1100)
    spectrogram(song, SHOW_END - 10, SHOW_END, os.path.join(args.outdir, "tune-ending.png"),
                "The last 10 s of the show: credits, the cadence from 62.9 s, the decay", 1100)

    names = ["drums", "bass", "chords", "lead+crash"][:len(channels)]
    print("| section | time (s) | RMS (dBFS) | " + " | ".join(names) + (" | " if names else "") +
          "above 14 kHz (dB) |")
    for name, a, b in sections:
        part = song[int(a * RATE):int(b * RATE)]
        cells = [f"{rms_db(c[int(a * RATE):int(b * RATE)]):.1f}" for c in channels]
        print(f"| {name} | {a:g}-{b:g} | {rms_db(part):.1f} | " + " | ".join(cells) +
              (" | " if cells else "") + f"{high_band_ratio(part):.1f} |")
    show = song[:int(SHOW_END * RATE)]
    corr = np.corrcoef(show[:, 0], show[:, 1])[0, 1]
    print(f"left/right correlation 0-67 s: {corr:.3f}")
    print(f"tail 66.5-67.0 s: {rms_db(song[int(66.5 * RATE):int(67.0 * RATE)]):.1f} dBFS RMS")
    print(f"peak: {20 * np.log10(np.abs(song).max() + 1e-30):.2f} dBFS (16-bit file)")
    return 0


# msaa

SECONDS = 9.0                   # scene 2: blood cells over a violet vessel
CROP = (270, 115, 340, 185)     # the left cell's rim at 640x480
ZOOM = 4
GAP = 4


def capture(tool, samples, folder):
    out = os.path.join(folder, "msaa%d" % samples)
    subprocess.run([tool, "--png", "--fps", "10", "--from", str(SECONDS), "--to",
                    str(SECONDS + 0.05), "--msaa", str(samples), "-o", out],
                   check=True, stdout=subprocess.DEVNULL)
    return Image.open(os.path.join(out, "frame-%05d.png" % round(SECONDS * 10))).convert("RGB")


def msaa(args):
    tool, output = args.tool, args.output
    with tempfile.TemporaryDirectory() as folder:
        # The capture's default asks 8 samples and takes the most the driver has.
        shots = [capture(tool, samples, folder) for samples in (0, 8)]
    w, h = (CROP[2] - CROP[0]) * ZOOM, (CROP[3] - CROP[1]) * ZOOM
    sheet = Image.new("RGB", (2 * w + GAP, h), (0, 0, 0))
    for i, shot in enumerate(shots):
        sheet.paste(shot.crop(CROP).resize((w, h), Image.NEAREST), (i * (w + GAP), 0))
    save(sheet, output)
    return 0



def parser():
    top = argparse.ArgumentParser(
        prog="readme_pictures", formatter_class=argparse.RawDescriptionHelpFormatter,
        description=__doc__.strip())
    verbs = top.add_subparsers(dest="verb", required=True, metavar="PICTURE")
    frames_parser(verbs)
    t = verbs.add_parser("tune", help="the rendered tune's spectrograms and figures")
    t.add_argument("--scenes", default=os.path.join(ROOT, "build", "tools", "scene_list"),
                   help="the scene_list program, or a file of its output")
    t.add_argument("tune", help="the whole song from build/tools/render_tune")
    t.add_argument("outdir", help="the folder for the two pictures")
    t.add_argument("channels", nargs="*", metavar="CHANNEL.wav",
                   help="none or all four channels, from render_tune --channel N")
    t.set_defaults(run=tune)
    m = verbs.add_parser("msaa", help="a blood cell's edge without and with anti-aliasing")
    m.add_argument("tool", nargs="?", default="build/capture/orvi-capture",
                   help="the capture tool (default build/capture/orvi-capture)")
    m.add_argument("output", nargs="?", default="docs/msaa-edge.png",
                   help="the picture (default docs/msaa-edge.png)")
    m.set_defaults(run=msaa)
    return top


def refuse(reason):
    """A refusal as argparse gives one: usage, the reason, exit code 2."""
    parser().error(reason)


def main(argv):
    # Folders named after frames' options come back unparsed (argparse takes
    # a list of positionals once): they are rows without a name.
    top = parser()
    args, extra = top.parse_known_args(argv[1:])
    if extra and (args.verb != "frames" or any(e.startswith("-") for e in extra)):
        top.error("unrecognized arguments: " + " ".join(extra))
    if args.verb == "frames":
        add_rows(top, args, [(None, folder) for folder in args.unlabelled + extra])
    return args.run(args)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
