#!/usr/bin/python3
"""Draws the show's 20 pictures into data/, and the same 20 at twice the pixels
into data/2x/ for large pictures (run: /usr/bin/python3 generators/make_pictures.py
[--scale 1|2] to draw one set only).

Every drawing works in the 1x pictures' coordinates; at scale 2 each is
sampled twice as finely, with edges anti-aliased over a 2x pixel, so the 2x
picture shrunk by half is the 1x one. Backgrounds are 1024x512 RGB; a 640x480 window shows columns 0-639 and rows
32-511 at rest, so compositions centre near (320, 272). Sprites are 512x256
RGBA with their lettering in the lower-left 293x65 (rows 191-255). One comic
style throughout: flat colour, thick outlines, halftone dots, rays, grain.
"""
import argparse
import math
import os
import re
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "data")
W, H = 1024, 512
CX, CY = 320, 272          # centre of what a 640x480 window shows
S = 1                      # pixels per 1x pixel in the set being drawn
FONT_DIRS = ["/usr/share/fonts/opentype", "/usr/share/fonts/truetype"]


def font(name, size):
    for d in FONT_DIRS:
        for sub, _, files in os.walk(d):
            if name in files:
                return ImageFont.truetype(os.path.join(sub, name), size)
    sys.exit("font %s missing: run scripts/deps" % name)


BEBAS = "BebasNeue-Bold.otf"
SPARTAN = "LeagueSpartan-Black.otf"
COMIC = "TomsonTalks.ttf"
SCRIPT = "lobster.otf"


def grid(w=W, h=H):
    """Pixel centres of a w x h (1x) picture in 1x coordinates."""
    if S == 1:
        y, x = np.mgrid[0:h, 0:w].astype(np.float32)
        return x, y
    y, x = np.mgrid[0:h * S, 0:w * S].astype(np.float32)
    return (x + 0.5) / S - 0.5, (y + 0.5) / S - 0.5


def size_of(img):
    """An array picture's (width, height) in 1x pixels."""
    return img.shape[1] // S, img.shape[0] // S


def ramp(inside):
    """Coverage of an edge, inside measured in 1x pixels: over one 1x pixel at
    scale 1, over one of the scale's pixels otherwise, with the same area."""
    if S == 1:
        return np.clip(inside, 0, 1)
    return np.clip((inside - 0.5 + 0.5 / S) * S, 0, 1)


def rgb(hexcolour):
    hexcolour = hexcolour.lstrip("#")
    return np.array([int(hexcolour[i:i + 2], 16) for i in (0, 2, 4)], np.float32)


def mix(a, b, t):
    t = np.clip(t, 0, 1)[..., None]
    return a * (1 - t) + b * t


def fill(colour, w=W, h=H):
    return np.broadcast_to(rgb(colour), (h * S, w * S, 3)).copy()


def vertical(top, bottom, w=W, h=H):
    _, y = grid(w, h)
    return mix(rgb(top), rgb(bottom), y / (h - 1))


def radial(inner, outer, cx=CX, cy=CY, radius=600.0, w=W, h=H):
    x, y = grid(w, h)
    return mix(rgb(inner), rgb(outer), np.hypot(x - cx, y - cy) / radius)


def rays(img, a, b, count=24, cx=CX, cy=CY, twist=0.0, strength=1.0):
    """Alternating radial wedges: the sunburst of a comic panel."""
    x, y = grid(*size_of(img))
    angle = np.arctan2(y - cy, x - cx) + twist * np.hypot(x - cx, y - cy) / 400
    wedge = (np.floor(angle / (2 * math.pi) * count * 2) % 2).astype(np.float32)
    base = mix(rgb(a), rgb(b), wedge)
    return mix(img, base, np.full(wedge.shape, strength))


def halftone(img, colour, spacing=14, cx=CX, cy=CY, reach=520.0, grow=True, angle=0.4):
    """Dots on a rotated grid, growing (or shrinking) away from a centre."""
    x, y = grid(*size_of(img))
    c, s = math.cos(angle), math.sin(angle)
    u, v = x * c + y * s, -x * s + y * c
    du = (u / spacing) % 1 - 0.5
    dv = (v / spacing) % 1 - 0.5
    d = np.hypot(du, dv)
    t = np.clip(np.hypot(x - cx, y - cy) / reach, 0, 1)
    r = 0.48 * (t if grow else 1 - t)
    cover = ramp((r - d) * spacing * 1.5)
    return mix(img, np.broadcast_to(rgb(colour), img.shape), cover)


def speed_lines(img, colour, cx=CX, cy=CY, count=90, inner=230, seed=1):
    rng = np.random.default_rng(seed)
    pic = Image.fromarray(img.clip(0, 255).astype(np.uint8))
    d = ImageDraw.Draw(pic)
    for _ in range(count):
        a = rng.uniform(0, 2 * math.pi)
        r0 = inner + rng.uniform(0, 140)
        r1 = 1200
        wdt = rng.uniform(2, 9)
        a2 = a + wdt / r0 / 2
        d.polygon([(S * (cx + r0 * math.cos(a)), S * (cy + r0 * math.sin(a))),
                   (S * (cx + r1 * math.cos(a - 0.004)), S * (cy + r1 * math.sin(a - 0.004))),
                   (S * (cx + r1 * math.cos(a2 + 0.01)), S * (cy + r1 * math.sin(a2 + 0.01)))],
                  fill=tuple(int(v) for v in rgb(colour)))
    return np.asarray(pic).astype(np.float32)


def grain(img, amount=6.0, seed=7):
    """Noise in 1x pixels: at scale 2 each grain covers 2x2 pixels, as it
    covers the same part of the screen."""
    rng = np.random.default_rng(seed)
    w, h = size_of(img)
    noise = rng.normal(0, amount, (h, w))
    if S > 1:
        noise = noise.repeat(S, axis=0).repeat(S, axis=1)
    return img + noise[..., None]


def blobs(img, colour, count, size, seed, alpha=0.5, blur=6):
    """Soft round shapes: plasma particles, bubbles."""
    rng = np.random.default_rng(seed)
    layer = Image.new("L", (img.shape[1], img.shape[0]), 0)
    d = ImageDraw.Draw(layer)
    w, h = size_of(img)
    for _ in range(count):
        x, y = rng.uniform(0, w), rng.uniform(0, h)
        r = rng.uniform(size * 0.4, size)
        d.ellipse([S * (x - r), S * (y - r), S * (x + r), S * (y + r)], fill=255)
    layer = layer.filter(ImageFilter.GaussianBlur(blur * S))
    a = np.asarray(layer).astype(np.float32) / 255 * alpha
    return mix(img, np.broadcast_to(rgb(colour), img.shape), a)


def rings(img, colour, cx, cy, spacing, width, alpha, squash=1.0):
    x, y = grid(*size_of(img))
    r = np.hypot(x - cx, (y - cy) / squash)
    band = ramp(width - np.abs((r % spacing) - spacing / 2)) * np.clip(r / 300, 0, 1)
    return mix(img, np.broadcast_to(rgb(colour), img.shape), band * alpha)


def wave_band(img, colour, y0, amp, period, thick, phase=0.0, alpha=1.0):
    x, y = grid(*size_of(img))
    centre = y0 + amp * np.sin(x / period + phase)
    a = ramp(thick - np.abs(y - centre)) * alpha
    return mix(img, np.broadcast_to(rgb(colour), img.shape), a)


def to_image(img):
    return Image.fromarray(np.clip(img, 0, 255).astype(np.uint8), "RGB")


def text_at(pic, xy, text, fnt, fillc, anchor, stroke, stroke_fill):
    """One run of text, fnt's size and every length in 1x pixels. At scale 2
    the font is hinted to other sizes than at 1x: the text drawn at twice the
    size is fitted to the box the 1x text takes, so the two sets agree."""
    if S == 1:
        ImageDraw.Draw(pic).text(xy, text, font=fnt, fill=fillc, anchor=anchor, stroke_width=stroke,
                                 stroke_fill=stroke_fill)
        return
    probe = ImageDraw.Draw(Image.new("L", (1, 1)))
    box = [v * S for v in probe.textbbox(xy, text, font=fnt, anchor=anchor, stroke_width=stroke)]
    big = fnt.font_variant(size=fnt.size * S)
    drawn = probe.textbbox((0, 0), text, font=big, anchor="lt", stroke_width=stroke * S)
    layer = Image.new("RGBA", (drawn[2] - drawn[0], drawn[3] - drawn[1]), (0, 0, 0, 0))
    ImageDraw.Draw(layer).text((-drawn[0], -drawn[1]), text, font=big, fill=fillc, anchor="lt",
                               stroke_width=stroke * S, stroke_fill=stroke_fill)
    layer = layer.resize((box[2] - box[0], box[3] - box[1]), Image.LANCZOS)
    pic.paste(layer, (box[0], box[1]), layer)


def lettering(pic, text, fnt, xy, fillc, outline="#000000", stroke=8, shadow=(8, 8),
              shadowc="#000000", anchor="mm"):
    """Comic lettering: hard drop shadow, thick outline, flat fill; the font's
    size and every length in 1x pixels."""
    if shadow:
        text_at(pic, (xy[0] + shadow[0], xy[1] + shadow[1]), text, fnt, shadowc, anchor, stroke,
                shadowc)
    text_at(pic, xy, text, fnt, fillc, anchor, stroke, outline)


def save(pic, name):
    path = os.path.join(OUT if S == 1 else os.path.join(OUT, "%dx" % S), name)
    pic.save(path, "PNG", optimize=False, compress_level=9)
    print("wrote", path, pic.size, pic.mode)


# Sprites ---------------------------------------------------------------------

def sprite(draw_fn, scale=4, clip=None):
    """Draws at four times the size and shrinks, for soft alpha edges; clip
    (x0, y0, x1, y1, exclusive, in 1x pixels) clears what the filter spreads
    beyond a region."""
    k = scale * S
    big = Image.new("RGBA", (512 * k, 256 * k), (0, 0, 0, 0))
    draw_fn(big, k)
    pic = big.resize((512 * S, 256 * S), Image.LANCZOS)
    if clip:
        keep = Image.new("L", pic.size, 0)
        ImageDraw.Draw(keep).rectangle([clip[0] * S, clip[1] * S, clip[2] * S - 1, clip[3] * S - 1],
                                       fill=255)
        alpha = np.minimum(np.asarray(pic.getchannel("A")), np.asarray(keep))
        pic.putalpha(Image.fromarray(alpha))
    return pic


def text_block(text, fontname, height, fillc, outline="#000000", stroke=0, shadow=(0, 0),
               shadowc="#000000"):
    """Comic lettering (shadow, outline, fill) on its own transparent canvas,
    cropped to what is drawn."""
    f = font(fontname, int(height))
    box = ImageDraw.Draw(Image.new("L", (1, 1))).textbbox((0, 0), text, font=f,
                                                          stroke_width=stroke)
    w = box[2] - box[0] + abs(shadow[0]) + 4
    h = box[3] - box[1] + abs(shadow[1]) + 4
    block = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(block)
    x, y = 2 - box[0] + max(0, -shadow[0]), 2 - box[1] + max(0, -shadow[1])
    if shadow != (0, 0):
        d.text((x + shadow[0], y + shadow[1]), text, font=f, fill=shadowc, stroke_width=stroke,
               stroke_fill=shadowc)
    d.text((x, y), text, font=f, fill=fillc, stroke_width=stroke, stroke_fill=outline)
    return block.crop(block.getbbox())


def place(pic, block, box, keep_aspect=False, align="left"):
    """Scales a block into box (x0, y0, x1, y1): to fill it exactly, or as large
    as fits without distortion."""
    bw, bh = box[2] - box[0], box[3] - box[1]
    if keep_aspect:
        k = min(bw / block.size[0], bh / block.size[1])
        size = (max(1, round(block.size[0] * k)), max(1, round(block.size[1] * k)))
    else:
        size = (bw, bh)
    block = block.resize(size, Image.LANCZOS)
    x = box[0] if align == "left" else box[0] + (bw - size[0]) // 2
    pic.alpha_composite(block, (x, box[1] + (bh - size[1]) // 2))


# The lettering region of the title and credits sprites, which the pulse scales
# about: columns 0-292, rows 191-255. The lettering keeps a margin inside it:
# the pulse grows the sprite up to 1.2 times about the region's centre, and the
# credits sit in the window's corner, where the growth would cut the edges.
LETTER_BOX = (13, 193, 280, 250)
LETTER_REGION = (0, 191, 293, 256)


def title_sprite(text, fillc, accent):
    """Lettering that fills the whole lettering region, so the title reads at
    its full size and the slide-in shows it from the first frame."""
    def draw(pic, k):
        block = text_block(text, SPARTAN, 100 * k, fillc, "#000000", 5 * k, (6 * k, 6 * k), accent)
        place(pic, block, tuple(v * k for v in LETTER_BOX))
    return sprite(draw, clip=LETTER_REGION)


def credit_sprite(name, role, fillc, accent):
    """A role line over the name; the name fills the rest of the region."""
    def draw(pic, k):
        x0, y0, x1, y1 = (v * k for v in LETTER_BOX)
        role_block = text_block(role, SPARTAN, 40 * k, "#ffffff", "#000000", 4 * k, (3 * k, 3 * k),
                                accent)
        split = y0 + 17 * k
        place(pic, role_block, (x0, y0, x1, split), keep_aspect=True)
        name_block = text_block(name.upper(), SPARTAN, 100 * k, fillc, "#000000", 5 * k,
                                (6 * k, 6 * k), accent)
        place(pic, name_block, (x0, split + 2 * k, x1, y1))
    return sprite(draw, clip=LETTER_REGION)


def emblem_sprite(text, colours, emblem, box):
    """Greetings: a group's name beside its emblem, readable over black, drawn
    inside box (x0, y0, x1, y1) of the sprite so the two pictures of the scene
    neither overlap nor leave the screen."""
    def draw(pic, k):
        d = ImageDraw.Draw(pic)
        x0, y0, x1, y1 = (v * k for v in box)
        r = (y1 - y0) / 2 - 4 * k
        cx, cy = x0 + r + 4 * k, (y0 + y1) / 2
        if emblem == "star":
            pts = []
            for i in range(16):
                rr = r if i % 2 == 0 else r * 0.5
                a = math.pi * i / 8 - math.pi / 2
                pts.append((cx + rr * math.cos(a), cy + rr * math.sin(a)))
            d.polygon(pts, fill=colours[1], outline="#000000")
            d.line(pts + [pts[0]], fill="#ffffff", width=4 * k)
            d.ellipse([cx - r * 0.35, cy - r * 0.35, cx + r * 0.35, cy + r * 0.35],
                      fill=colours[0], outline="#ffffff", width=4 * k)
        else:
            for i, c in enumerate((colours[1], "#ffffff", colours[0])):
                rr = r * (1 - 0.25 * i)
                d.ellipse([cx - rr, cy - rr, cx + rr, cy + rr], fill=c)
            d.polygon([(cx - r * 0.3, cy - r * 0.4), (cx + r * 0.45, cy),
                       (cx - r * 0.3, cy + r * 0.4)], fill="#ffffff")
        lx = cx + r + 10 * k
        split = y0 + (y1 - y0) * 0.74
        name = text_block(text, SPARTAN, 110 * k, colours[0], "#ffffff", 5 * k, (7 * k, 7 * k),
                          colours[1])
        place(pic, name, (int(lx), y0, x1, int(split)), keep_aspect=True)
        line = text_block("greetings!", COMIC, 40 * k, "#ffffff", "#000000", 2 * k)
        place(pic, line, (int(lx), int(split + 4 * k), x1, y1), keep_aspect=True, align="centre")
    return sprite(draw)


# Where the greetings sprites' content may lie. ZMB is drawn at (0, 216) and
# QVT at (270, 136) in a 640x480 window, both 512x256 and bottom-up, so a
# texel (c, r) of ZMB lands on screen at (c, 471 - r) and one of QVT at
# (270 + c, 391 - r). ZMB keeps to the upper screen (rows 0-171, y >= 300),
# QVT to the lower (rows 101-255, y <= 290) and to columns 0-369 (x <= 639).
ZMB_BOX = (4, 4, 504, 168)
QVT_BOX = (4, 104, 366, 252)


# Backgrounds -----------------------------------------------------------------

def logo_orvi():
    img = radial("#ffd23f", "#ff6b1a", radius=700)
    img = rays(img, "#ffb627", "#ff7b00", count=18, strength=0.55)
    img = halftone(img, "#c2410c", spacing=16, reach=560)
    img = grain(img, 5)
    pic = to_image(img)
    lettering(pic, "ORVI", font(SPARTAN, 240), (CX, CY + 30), "#1d4ed8", "#000000", 12,
              (14, 14), "#111111")
    d = ImageDraw.Draw(pic)
    lettering(pic, "a demo group", font(COMIC, 40), (CX, CY - 130), "#ffffff", "#000000", 5,
              (4, 4))
    d.rectangle([S * (CX - 190), S * (CY + 150), S * (CX + 190) + S - 1, S * (CY + 158) + S - 1],
                fill="#000000")
    return pic


def logo_tonaro():
    img = radial("#2b0a4f", "#07010f", radius=650)
    img = rays(img, "#3b0764", "#1e0538", count=28, twist=0.25, strength=0.8)
    img = speed_lines(img, "#e879f9", count=70, inner=260, seed=3)
    img = halftone(img, "#22d3ee", spacing=12, reach=520, angle=0.9)
    img = grain(img, 5)
    pic = to_image(img)
    lettering(pic, "TONARO", font(BEBAS, 220), (CX, CY + 10), "#fde047", "#000000", 10,
              (12, 12), "#db2777")
    lettering(pic, "Orvi presents", font(SCRIPT, 54), (CX, CY - 135), "#ffffff", "#000000", 4,
              (4, 4), "#7c3aed")
    return pic


def blood(variant):
    if variant == 1:   # deep violet vessel, looking down its length
        img = radial("#4c1d95", "#0b0320", cx=380, cy=250, radius=560)
        img = rings(img, "#7c3aed", 380, 250, 70, 6, 0.35, squash=0.75)
        img = blobs(img, "#c4b5fd", 60, 14, seed=11, alpha=0.35, blur=5)
        img = halftone(img, "#1e0b3d", spacing=13, cx=380, cy=250, reach=600)
    elif variant == 2:  # teal vessel wall seen from below
        img = vertical("#0f766e", "#042f2e")
        for i, (y0, c) in enumerate(((120, "#14b8a6"), (250, "#0d9488"), (400, "#115e59"))):
            img = wave_band(img, c, y0, 40, 90 + 20 * i, 28, phase=i, alpha=0.8)
            img = wave_band(img, "#000000", y0 + 32, 40, 90 + 20 * i, 4, phase=i, alpha=0.6)
        img = blobs(img, "#99f6e4", 90, 10, seed=12, alpha=0.3, blur=4)
        img = halftone(img, "#022c22", spacing=11, reach=650, angle=1.1)
    else:  # warm pink-white plasma
        img = radial("#fff1f2", "#f9a8d4", cx=300, cy=300, radius=650)
        img = rays(img, "#fce7f3", "#fbcfe8", count=20, cx=300, cy=300, strength=0.6)
        img = blobs(img, "#ffffff", 40, 26, seed=13, alpha=0.6, blur=8)
        img = halftone(img, "#be185d", spacing=15, cx=300, cy=300, reach=640)
    return to_image(grain(img, 6, seed=20 + variant))


def phone(variant):
    if variant == 1:   # yellow and orange sunburst
        img = radial("#fef08a", "#f97316", radius=620)
        img = rays(img, "#fde047", "#fb923c", count=22, strength=0.7)
        img = halftone(img, "#ea580c", spacing=15, reach=520)
    elif variant == 2:  # blue zoom with speed lines
        img = radial("#67e8f9", "#1e3a8a", radius=560)
        img = speed_lines(img, "#ffffff", count=110, inner=150, seed=5)
        img = halftone(img, "#1d4ed8", spacing=12, reach=500, angle=0.2)
    elif variant == 3:  # pop-art lime and green checks with dots
        x, y = grid()
        check = ((np.floor(x / 64) + np.floor(y / 64)) % 2).astype(np.float32)
        img = mix(np.broadcast_to(rgb("#a3e635"), check.shape + (3,)),
                  np.broadcast_to(rgb("#16a34a"), check.shape + (3,)), check * 0.8)
        img = halftone(img, "#14532d", spacing=10, reach=700, grow=False, angle=0.785)
        img = rays(img, "#facc15", "#a3e635", count=12, strength=0.25)
    else:  # magenta spiral to fall into
        img = radial("#f0abfc", "#701a75", radius=520)
        img = rays(img, "#e879f9", "#86198f", count=16, twist=2.2, strength=0.75)
        img = halftone(img, "#4a044e", spacing=13, reach=480, angle=0.6)
    return to_image(grain(img, 5, seed=30 + variant))


def chrome(size=256):
    """A sphere-map picture: sky over a bright horizon over dark ground, with
    hot highlights. Drawn in the coordinates sphere mapping generates, then
    flipped, since the loader puts the file's first row at t = 0."""
    y, x = np.mgrid[0:size, 0:size].astype(np.float32)
    u = (x + 0.5) / size * 2 - 1
    v = (y + 0.5) / size * 2 - 1          # v up, as t grows
    v = -v
    n2 = np.clip(1 - u * u - v * v, 0, 1)
    nz = np.sqrt(n2)
    ry = 2 * nz * v                       # reflected direction's height
    rx = 2 * nz * u
    sky = mix(rgb("#e0f2fe"), rgb("#1d4ed8"), np.clip(ry, 0, 1) ** 0.7)
    # The logo is seen from above, so it mostly mirrors the ground near the
    # horizon: keep that band bright and warm, with a few dark stripes.
    ground = mix(rgb("#fcd34d"), rgb("#7c2d12"), np.clip(-ry, 0, 1) ** 0.45)
    ground = mix(ground, np.broadcast_to(rgb("#1c1917"), ground.shape),
                 np.clip(-ry - 0.55, 0, 1) * 2.2)
    stripes = (np.sin(-ry * 38) > 0.82) & (ry < -0.08)
    ground = mix(ground, np.broadcast_to(rgb("#451a03"), ground.shape), stripes * 0.7)
    img = np.where((ry >= 0)[..., None], sky, ground)
    horizon = np.exp(-(ry / 0.07) ** 2)
    img = mix(img, np.broadcast_to(rgb("#ffffff"), img.shape), horizon)
    for hx, hy, r in ((0.45, 0.55, 0.12), (-0.5, 0.3, 0.08), (0.1, 0.8, 0.06), (-0.3, -0.35, 0.07)):
        spot = np.exp(-((rx - hx) ** 2 + (ry - hy) ** 2) / (r * r))
        img = mix(img, np.broadcast_to(rgb("#ffffff"), img.shape), spot)
    outside = (u * u + v * v) > 1
    img[outside] = rgb("#333333")
    return to_image(img[::-1])


def credits_background(theme, role):
    a, b, c, dots = theme
    img = vertical(a, b)
    img = rays(img, a, c, count=14, cx=120, cy=420, strength=0.35)
    img = halftone(img, dots, spacing=14, cx=120, cy=470, reach=760, grow=False)
    img = grain(img, 5)
    # Calm lower-right third: a soft panel where the chrome logo turns.
    x, y = grid()
    panel = np.clip((x - 380) / 120, 0, 1) * np.clip((y - 200) / 120, 0, 1) * 0.75
    img = mix(img, np.broadcast_to(rgb(b), img.shape), panel)
    pic = to_image(img)
    lettering(pic, "CREDITS", font(BEBAS, 110), (40, 110), c, "#000000", 6, (7, 7), dots,
              anchor="lm")
    # The person's part in large type across the middle of the window.
    lettering(pic, role.upper(), font(BEBAS, 150), (44, 262), b, c, 5, (8, 8), dots,
              anchor="lm")
    return pic


def the_end():
    img = vertical("#1e1b4b", "#020617")
    img = rays(img, "#312e81", "#1e1b4b", count=20, cx=CX - 60, cy=CY - 40, strength=0.6)
    img = halftone(img, "#4338ca", spacing=14, cx=CX - 60, cy=CY - 40, reach=560)
    img = grain(img, 5)
    x, y = grid()
    panel = np.clip((x - 380) / 120, 0, 1) * np.clip((y - 260) / 100, 0, 1) * 0.8
    img = mix(img, np.broadcast_to(rgb("#020617"), img.shape), panel)
    pic = to_image(img)
    lettering(pic, "THE END", font(BEBAS, 190), (CX - 50, CY - 60), "#f43f5e", "#000000", 10,
              (12, 12), "#fbbf24")
    lettering(pic, "thanks for watching", font(COMIC, 38), (CX - 50, CY + 60), "#ffffff",
              "#000000", 4, (4, 4))
    return pic


CREDIT_THEMES = {
    "jastu": ("#0ea5e9", "#082f49", "#7dd3fc", "#0c4a6e"),
    "pelan": ("#84cc16", "#1a2e05", "#fef08a", "#365314"),
    "sorvo": ("#a855f7", "#2e1065", "#fdba74", "#4c1d95"),
}
CREDIT_ROLES = {"jastu": ("code", "CODE & DIRECTION"), "pelan": ("music", "MUSIC & SOUND"),
                "sorvo": ("graphics", "GRAPHICS & MODELS")}


def picture_files():
    """The loader's one list of picture files, in slot order: the names drawn."""
    path = os.path.join(ROOT, "assets", "textures.cpp")
    with open(path) as f:
        source = f.read()
    start = source.find("g_textureFiles[kTextureSlotCount] = {")
    names = re.findall(r'"data\\\\([^"\\]+)"', source[start:source.find("};", start)])
    if start < 0 or not names:
        sys.exit("make_pictures: no picture list in %s" % path)
    return names


def drawings():
    """What each picture file holds."""
    pictures = {"velkoran.png": logo_orvi, "tonaro.png": logo_tonaro,
                "zmb.png": lambda: emblem_sprite("ZMB", ("#22c55e", "#14532d"), "star", ZMB_BOX),
                "qvt.png": lambda: emblem_sprite("QVT", ("#f97316", "#7c2d12"), "disc", QVT_BOX),
                "chrome.png": lambda: chrome(256 * S), "the-end.png": the_end,
                "tonaro_teksti.png": lambda: title_sprite("TONARO", "#fde047", "#db2777")}
    for i in (1, 2, 3):
        pictures["veri-tausta%d.png" % i] = lambda i=i: blood(i)
    for i in (1, 2, 3, 4):
        pictures["kaenny-tausta%d.png" % i] = lambda i=i: phone(i)
    for name, theme in CREDIT_THEMES.items():
        role, line = CREDIT_ROLES[name]
        pictures["tausta_%s.png" % name] = lambda t=theme, r=role: credits_background(t, r)
        pictures["kredu_%s.png" % name] = lambda n=name, l=line, t=theme: credit_sprite(n, l, t[2], t[3])
    return pictures


def main(scale):
    global S
    S = scale
    os.makedirs(OUT if S == 1 else os.path.join(OUT, "%dx" % S), exist_ok=True)
    pictures = drawings()
    names = picture_files()
    unknown = sorted(set(names) - set(pictures)) + sorted(set(pictures) - set(names))
    if unknown:
        sys.exit("make_pictures: the loader's list and the drawings differ: " + ", ".join(unknown))
    for name in names:
        save(pictures[name](), name)


def contact_sheet(path):
    """All pictures as a window shows them, sprites over a checkerboard."""
    names = sorted(f for f in os.listdir(OUT) if f.endswith(".png"))
    cell_w, cell_h, cols = 320, 240, 5
    sheet = Image.new("RGB", (cell_w * cols, (cell_h + 16) * ((len(names) + cols - 1) // cols)),
                      "#202020")
    d = ImageDraw.Draw(sheet)
    for i, name in enumerate(names):
        pic = Image.open(os.path.join(OUT, name))
        if pic.size == (W, H):
            pic = pic.crop((0, 32, 640, 512))
        board = Image.new("RGBA", pic.size, "#808080")
        bd = ImageDraw.Draw(board)
        for y in range(0, pic.size[1], 16):
            for x in range(0, pic.size[0], 16):
                if (x + y) // 16 % 2:
                    bd.rectangle([x, y, x + 15, y + 15], fill="#a0a0a0")
        board.alpha_composite(pic.convert("RGBA"))
        board.thumbnail((cell_w, cell_h))
        x, y = (i % cols) * cell_w, (i // cols) * (cell_h + 16)
        sheet.paste(board.convert("RGB"), (x, y))
        d.text((x + 4, y + cell_h + 2), name, fill="#ffffff")
    sheet.save(path)
    print("wrote", path)


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="make_pictures.py",
        description="Draws the show's 20 pictures into data/ and data/2x/.")
    what = parser.add_mutually_exclusive_group()
    what.add_argument("--scale", type=int, choices=(1, 2),
                      help="draw one set only: 1 for data/, 2 for data/2x/")
    what.add_argument("--sheet", metavar="PATH",
                      help="instead, a contact sheet of data/'s pictures as a window shows them")
    return parser.parse_args(argv)


if __name__ == "__main__":
    args = parse_arguments(sys.argv[1:])
    if args.sheet:
        contact_sheet(args.sheet)
    else:
        for scale in [args.scale] if args.scale else [1, 2]:
            main(scale)
