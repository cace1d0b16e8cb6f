#!/usr/bin/python3
"""Figures for the show drawn larger than 640x480 (run after a build:
/usr/bin/python3 tools/scale_figures.py [WxH], default 2560x1920).

For each scene's middle, captured at 640x480 and at WxH (4:3) without
anti-aliasing: the mean difference of the two shrunk to 160x120 (in /255;
one picture at every size keeps it near 0), and the edge energy at WxH
against the 640x480 frame enlarged (variance of a Laplacian on grey; the
pictures drawn at twice the pixels raise it)."""
import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CAPTURE = os.path.join(ROOT, "build", "capture", "orvi-capture")


def frame(ms, size, folder):
    out = os.path.join(folder, "%s-%d" % (size, ms))
    subprocess.run([CAPTURE, "--png", "--msaa", "0", "--fps", "100",
                    "--size", size, "--from", "%.3f" % (ms / 1000), "--to", "%.3f" % ((ms + 10) / 1000),
                    "-o", out], check=True, cwd=ROOT, stdout=subprocess.DEVNULL)
    name = next(f for f in os.listdir(out) if f.startswith("frame"))
    return Image.open(os.path.join(out, name)).convert("RGB")


def edge_energy(img):
    g = np.asarray(img.convert("L"), np.float32)
    return (g[1:-1, :-2] + g[1:-1, 2:] + g[:-2, 1:-1] + g[2:, 1:-1] - 4 * g[1:-1, 1:-1]).var()


def four_by_three(text):
    try:
        w, h = (int(v) for v in text.split("x"))
    except ValueError:
        raise argparse.ArgumentTypeError("%r is not WxH" % text)
    if w <= 0 or w * 3 != h * 4:
        raise argparse.ArgumentTypeError("%s is not 4:3" % text)
    return text, w, h


def main():
    parser = argparse.ArgumentParser(prog="scale_figures.py", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("size", nargs="?", type=four_by_three, default="2560x1920",
                        help="the large frame, WxH at 4:3 (default 2560x1920)")
    size, w, h = parser.parse_args().size
    listing = subprocess.check_output([os.path.join(ROOT, "build", "tools", "scene_list")], text=True)
    with tempfile.TemporaryDirectory() as folder:
        for row in listing.splitlines()[1:]:
            cells = row.split("\t")
            scene, end, settled, routine = int(cells[0]), int(cells[3]), int(cells[4]), cells[5]
            ms = (settled + end) // 2 // 10 * 10
            small, large = frame(ms, "640x480", folder), frame(ms, size, folder)
            a = np.asarray(small.resize((160, 120), Image.BOX), np.float32)
            b = np.asarray(large.resize((160, 120), Image.BOX), np.float32)
            ratio = edge_energy(large) / max(edge_energy(small.resize((w, h), Image.BILINEAR)), 1e-9)
            print("scene %2d %-12s %6d ms  mean difference %.2f/255  edge energy %.2fx"
                  % (scene, routine, ms, np.abs(a - b).mean(), ratio), flush=True)


if __name__ == "__main__":
    main()
