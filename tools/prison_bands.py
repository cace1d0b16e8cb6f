#!/usr/bin/python3
"""How the prison cell's pixels fall into the four bands of its toon ramp.

    /usr/bin/python3 tools/prison_bands.py FRAME.png [FRAME.png ...]

Each FRAME is a 640x480 frame of the prison-cell scenes captured without
anti-aliasing (orvi-capture --png --msaa 0), so every pixel of the room is
exactly one of the ramp's colours. Pixels of any other colour (the black
beyond the room, the title picture) are not the room's and are left out.
Prints, per frame, the share of the room's pixels in each band, darkest
first, and the largest share.
"""
import argparse
import sys

import numpy as np
from PIL import Image

# The prison-cell ramp's four colours (assets/toon_ramps.cpp) as 8-bit RGB,
# darkest first, as the GL rounds 0.15 and friends.
BANDS = np.array([[38, 38, 64], [89, 89, 115], [140, 140, 166], [179, 179, 204]], np.int16)


def shares(path):
    """The room's pixel count and each band's share of it."""
    pixels = np.asarray(Image.open(path).convert("RGB"), np.int16).reshape(-1, 3)
    distance = np.abs(pixels[:, None, :] - BANDS[None, :, :]).max(axis=2)
    nearest = distance.argmin(axis=1)
    in_room = distance.min(axis=1) <= 1
    counts = np.bincount(nearest[in_room], minlength=len(BANDS))
    room = int(in_room.sum())
    return room, counts / max(room, 1)


def main():
    parser = argparse.ArgumentParser(
        description="Share of the prison cell's pixels in each band of its ramp.")
    parser.add_argument("frames", nargs="+", metavar="FRAME.png",
                        help="a 640x480 frame captured with --msaa 0")
    args = parser.parse_args()
    print("%-40s %7s  %s" % ("frame", "room", "darkest .. brightest band, largest"))
    for path in args.frames:
        try:
            room, share = shares(path)
        except OSError as e:
            sys.exit("prison_bands: cannot read %s: %s" % (path, e))
        if room == 0:
            sys.exit("prison_bands: %s shows no pixel of the prison cell" % path)
        print("%-40s %6.1f%%  %s  max %.1f%%" % (
            path[-40:], 100 * room / (640 * 480), " ".join("%5.1f%%" % (100 * s) for s in share),
            100 * share.max()))


if __name__ == "__main__":
    main()
