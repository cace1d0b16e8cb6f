#!/usr/bin/python3
"""Draws the page's app icons in the title picture's style, with the picture
generator's own brushes: the title's dark sunburst and halftone, and the T of
TONARO in its yellow lettering and pink shadow, all inside the middle 80 %, so
a launcher may cut it to a circle (a maskable icon).
  /usr/bin/python3 generators/make_icons.py FOLDER
writes FOLDER/icon-192.png and FOLDER/icon-512.png (the web build runs it)."""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_pictures as pictures  # noqa: E402

SIZES = (192, 512)


def icon(size):
    """One square icon of size pixels, drawn in a 512-pixel square's coordinates."""
    scale = size / 512
    centre = 256 * scale
    img = pictures.radial("#2b0a4f", "#07010f", centre, centre, 360 * scale, size, size)
    img = pictures.rays(img, "#3b0764", "#1e0538", count=20, cx=centre, cy=centre, twist=0.25,
                        strength=0.8)
    img = pictures.halftone(img, "#22d3ee", spacing=14 * scale, cx=centre, cy=centre,
                            reach=420 * scale, angle=0.9)
    pic = pictures.to_image(img)
    pictures.lettering(pic, "T", pictures.font(pictures.BEBAS, round(300 * scale)),
                       (centre - 6 * scale, centre + 4 * scale), "#fde047", "#000000",
                       max(2, round(10 * scale)), (round(12 * scale), round(12 * scale)), "#db2777")
    return pic


def main():
    parser = argparse.ArgumentParser(description="Draws the page's app icons.")
    parser.add_argument("folder", help="where icon-192.png and icon-512.png are written")
    folder = parser.parse_args().folder
    if not os.path.isdir(folder):
        parser.error(f"{folder} is not a folder")
    for size in SIZES:
        path = os.path.join(folder, f"icon-{size}.png")
        # Written beside its final name, then renamed over it: never half a picture.
        partial = path + ".partial"
        icon(size).save(partial, "PNG")
        os.replace(partial, path)
        print("wrote", path)


if __name__ == "__main__":
    main()
