#!/usr/bin/python3
"""Lays frames of captured shows side by side: one row per capture folder, one
column per moment, each labelled with its time.

    /usr/bin/python3 tools/frame_strip.py OUTPUT.png --fps N --times T1,T2,... \\
        [--width W] [--label TEXT] DIR [--label TEXT] DIR ...

Each DIR holds the frame-NNNNN.png files of `orvi-capture --png --fps N`; the
frame shown for time T is number floor(T * N). --label names the row of the
folder after it. The picture (256 colours) is written under a temporary name
and renamed.
"""
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFont

USAGE = __doc__.strip().split("\n\n")[1]


def refuse(reason):
    sys.exit("frame_strip: %s\nusage:\n%s" % (reason, USAGE))


def parse(argv):
    if any(a in ("-h", "--help") for a in argv):
        print(__doc__.strip())
        sys.exit(0)
    if not argv:
        refuse("no output named")
    opts = {"output": argv[0], "fps": None, "times": None, "width": 256, "rows": []}
    label = None
    i = 1
    while i < len(argv):
        a = argv[i]
        if a in ("--fps", "--times", "--width", "--label"):
            if i + 1 >= len(argv):
                refuse("%s needs a value" % a)
            v = argv[i + 1]
            i += 2
            try:
                if a == "--fps":
                    opts["fps"] = int(v)
                elif a == "--width":
                    opts["width"] = int(v)
                elif a == "--times":
                    opts["times"] = [float(t) for t in v.split(",")]
                else:
                    label = v
            except ValueError:
                refuse("%s %s is not a number" % (a, v))
            continue
        if a.startswith("-"):
            refuse("unknown option " + a)
        if not os.path.isdir(a):
            refuse("%s is not a folder" % a)
        opts["rows"].append((label, a))
        label = None
        i += 1
    if not opts["output"].endswith(".png"):
        refuse("the output must be a .png file")
    if not opts["fps"] or opts["fps"] < 1:
        refuse("--fps is needed and must be at least 1")
    if not opts["times"] or any(t < 0 for t in opts["times"]):
        refuse("--times is needed, as seconds of the show")
    if not 32 <= opts["width"] <= 640:
        refuse("--width must lie between 32 and 640")
    if not opts["rows"]:
        refuse("no capture folder given")
    return opts


def main():
    o = parse(sys.argv[1:])
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
    tmp = o["output"] + ".part"
    try:
        # 256 colours: flat toon shading and comic fills lose little, and the
        # file stays small enough to sit in the repository.
        strip.quantize(256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE).save(
            tmp, "PNG", optimize=True)
        os.replace(tmp, o["output"])
    except OSError as e:
        if os.path.exists(tmp):
            os.remove(tmp)
        sys.exit("frame_strip: cannot write %s: %s" % (o["output"], e.strerror))
    print("wrote", o["output"], strip.size)


if __name__ == "__main__":
    main()
