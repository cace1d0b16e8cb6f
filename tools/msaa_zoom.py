#!/usr/bin/python3
"""Draws one moment of the show with and without multisample anti-aliasing
and puts a 4x zoom of a blood cell's edge from each side by side (left: off,
right: on), as docs/msaa-edge.png shows.

    /usr/bin/python3 tools/msaa_zoom.py [CAPTURE_TOOL] [OUTPUT.png]

Run from the project root after a build; defaults build/tools/orvi-capture
and docs/msaa-edge.png.
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image

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


def main():
    tool = sys.argv[1] if len(sys.argv) > 1 else "build/tools/orvi-capture"
    output = sys.argv[2] if len(sys.argv) > 2 else "docs/msaa-edge.png"
    with tempfile.TemporaryDirectory() as folder:
        # The capture's default asks 8 samples and takes the most the driver has.
        shots = [capture(tool, samples, folder) for samples in (0, 8)]
    w, h = (CROP[2] - CROP[0]) * ZOOM, (CROP[3] - CROP[1]) * ZOOM
    sheet = Image.new("RGB", (2 * w + GAP, h), (0, 0, 0))
    for i, shot in enumerate(shots):
        sheet.paste(shot.crop(CROP).resize((w, h), Image.NEAREST), (i * (w + GAP), 0))
    partial = output + ".partial.png"
    sheet.save(partial)
    os.replace(partial, output)
    print("wrote %s" % output)


if __name__ == "__main__":
    main()
