#!/usr/bin/python3
"""Checks a capture of the show for flashes that can trigger seizures.

    /usr/bin/python3 tools/flash_check.py [options] INPUT

INPUT is a video ffmpeg can read, or a folder of frame-NNNNN.png files from
`orvi-capture --png` (frame N is at N / fps seconds of the show).
  --fps N        frames a second of a PNG folder, 1 to 1000 (default 60);
                 a video's own rate is read from it
  --start S      the show's time at a video's first frame (default 0)
  --scenes PATH  the scene_list program, or a file of its output, for the
                 per-scene summary (default build/tools/scene_list of this
                 checkout)
  --no-scenes    no per-scene summary (a clip that is not the show)
  -h, --help     this text

Counts general flashes (two opposite changes of the relative luminance of at
least 0.1, the darker state below 0.8) and red flashes (two opposite changes
of more than 20 in (R - G - B) x 320 of saturated red, R / (R + G + B) at
least 0.8; linear R, G, B), over the whole frame and over every region of a
quarter of it (half as wide and half as high, placed in steps of 1/16 of the
frame; named by its corners in pixels from the top left). Prints each
one-second window with more than 3 of either, the most in a second for the
whole clip and for each scene, and exits 1 if any window has more than 3,
else 0 (2: it could not check).
"""
import os
import shutil
import signal
import subprocess
import sys

import numpy as np

USAGE = __doc__.split("\n\n")[1].strip()
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

GENERAL_STEP = 0.1   # relative luminance
GENERAL_DARK = 0.8   # the darker state must be below this
RED_STEP = 20.0      # (R - G - B) x 320, saturated red only
MAX_FLASHES = 3      # in any one second
CELLS = 16           # the frame is measured in CELLS x CELLS cells
REGION = CELLS // 2  # a region: half the cells each way, a quarter of the frame


def refuse(reason):
    sys.stderr.write("flash_check: %s\nusage:\n%s\n" % (reason, USAGE))
    sys.exit(2)


def fail(reason):
    sys.stderr.write("flash_check: %s\n" % reason)
    sys.exit(2)


def parse(argv):
    opts = {"fps": None, "start": None, "scenes": None, "no_scenes": False, "input": None}
    i = 0
    while i < len(argv):
        a = argv[i]
        if a in ("-h", "--help"):
            print(__doc__.strip())
            sys.exit(0)
        if a == "--no-scenes":
            opts["no_scenes"] = True
            i += 1
            continue
        if a in ("--fps", "--start", "--scenes"):
            if i + 1 >= len(argv):
                refuse("%s needs a value" % a)
            v = argv[i + 1]
            i += 2
            if a == "--fps":
                if not v.isdigit() or not 1 <= int(v) <= 1000:
                    refuse("--fps: '%s' is not a whole number from 1 to 1000" % v)
                opts["fps"] = int(v)
            elif a == "--start":
                try:
                    s = float(v)
                except ValueError:
                    s = float("nan")
                if not (s >= 0 and s < 1e6):
                    refuse("--start: '%s' is not a number of seconds from 0" % v)
                opts["start"] = s
            else:
                if not v:
                    refuse("--scenes: the path is empty")
                opts["scenes"] = v
            continue
        if a.startswith("-") and a != "-":
            refuse("unknown option '%s'" % a)
        if opts["input"] is not None:
            refuse("one input only ('%s' and '%s')" % (opts["input"], a))
        opts["input"] = a
        i += 1
    if opts["input"] is None:
        refuse("no input named")
    if opts["no_scenes"] and opts["scenes"]:
        refuse("--scenes cannot go with --no-scenes")
    return opts


# Decoding

def probe(path):
    """Width, height and frame rate of the first video stream."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
         "stream=width,height,r_frame_rate", "-of", "default=noprint_wrappers=1", path],
        capture_output=True, text=True)
    fields = dict(line.split("=", 1) for line in out.stdout.split() if "=" in line)
    if out.returncode != 0 or "width" not in fields:
        fail("%s: not a video ffmpeg can read%s" % (path, (": " + out.stderr.strip()) if out.stderr.strip() else ""))
    num, _, den = fields.get("r_frame_rate", "0/1").partition("/")
    fps = float(num) / float(den or 1) if float(den or 1) else 0.0
    return int(fields["width"]), int(fields["height"]), fps


def png_folder(path, fps):
    """The ffmpeg input of a capture folder, and its first frame's number."""
    numbers = sorted(int(n[6:11]) for n in os.listdir(path)
                     if len(n) == 15 and n.startswith("frame-") and n.endswith(".png") and n[6:11].isdigit())
    if not numbers:
        fail("%s holds no frame-NNNNN.png files" % path)
    gaps = [n for a, n in zip(numbers, numbers[1:]) if n != a + 1]
    if gaps:
        fail("%s: frame-%05d.png is missing (the frames must follow each other)" % (path, gaps[0] - 1))
    inputs = ["-framerate", str(fps), "-start_number", str(numbers[0]), "-i",
              os.path.join(path, "frame-%05d.png")]
    return inputs, numbers[0], len(numbers)


def frames(inputs, width, height):
    """Yields each decoded frame as an RGB array, top row first."""
    ffmpeg = subprocess.Popen(
        ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error"] + inputs +
        ["-f", "rawvideo", "-pix_fmt", "rgb24", "pipe:1"],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    size = width * height * 3
    try:
        while True:
            data = ffmpeg.stdout.read(size)
            if len(data) < size:
                break
            yield np.frombuffer(data, np.uint8).reshape(height, width, 3)
    finally:
        if ffmpeg.poll() is None:
            ffmpeg.kill()
        errors = ffmpeg.stderr.read().decode(errors="replace").strip()
        code = ffmpeg.wait()
    if code != 0:
        fail("ffmpeg could not decode the input (exit %d)%s" % (code, (": " + errors) if errors else ""))


# Measuring

def linear_table():
    c = np.arange(256) / 255.0
    return np.where(c <= 0.03928, c / 12.92, ((c + 0.055) / 1.055) ** 2.4).astype(np.float32)


def cell_sums(rgb, table, rows, cols):
    """Each cell's sums of relative luminance and of saturated redness."""
    lin = table[rgb]
    r, g, b = lin[..., 0], lin[..., 1], lin[..., 2]
    luminance = 0.2126 * r + 0.7152 * g + 0.0722 * b
    total = r + g + b
    redness = np.where((r >= 0.8 * total) & (total > 0), np.maximum(r - g - b, 0) * 320, 0)
    both = np.stack([luminance, redness], axis=-1)
    return np.add.reduceat(np.add.reduceat(both, rows, axis=0), cols, axis=1)


def places(width, height, rows, cols):
    """The whole frame and every quarter region: (name, cell rows, cell columns)."""
    out = [("whole frame", slice(0, CELLS), slice(0, CELLS))]
    edges_y = list(rows) + [height]
    edges_x = list(cols) + [width]
    for y in range(CELLS - REGION + 1):
        for x in range(CELLS - REGION + 1):
            name = "region %d,%d-%d,%d" % (edges_x[x], edges_y[y], edges_x[x + REGION], edges_y[y + REGION])
            out.append((name, slice(y, y + REGION), slice(x, x + REGION)))
    return out


def transitions(series, step, strict):
    """The changes between successive peaks and valleys of at least step
    (more than step if strict): (start, end, counted) frames, counted being
    the first frame that has moved step from the start: a slow drift into a
    valley long before does not make the change that follows count early."""
    def big(d):
        return d > step if strict else d >= step
    x = series.tolist()
    legs = []
    lo = hi = 0
    direction = 0
    start = end = 0
    for i, v in enumerate(x):
        if direction == 0:
            if v <= x[lo]:
                lo = i
            if v >= x[hi]:
                hi = i
            if big(x[hi] - x[lo]):
                direction = 1 if hi > lo else -1
                start, end = (lo, hi) if hi > lo else (hi, lo)
        elif (v >= x[end]) if direction > 0 else (v <= x[end]):
            end = i
        elif big(abs(x[end] - v)):
            legs.append((start, end))
            start, end, direction = end, i, -direction
    if direction != 0:
        legs.append((start, end))
    return [(a, b, next(i for i in range(a + 1, b + 1) if big(abs(x[i] - x[a])))) for a, b in legs]


def flash_windows(counted, times):
    """For each transition, the flashes (pairs of transitions) in the second
    from the moment it counts: (time, flashes)."""
    t = np.array([times[s] for s in counted])
    ends = np.searchsorted(t, t + 1.0 - 1e-9, side="right")
    return [(t[k], int(ends[k] - k) // 2) for k in range(len(t))]


def measure(sums, counts, width, height, rows, cols, times):
    """Every window's flashes, per kind and place: {(kind, place): [(t, n)]}."""
    result = {}
    for name, ys, xs in places(width, height, rows, cols):
        mean = sums[:, ys, xs].sum(axis=(1, 2)) / counts[ys, xs].sum()
        legs = transitions(mean[:, 0], GENERAL_STEP, False)
        general = [c for s, e, c in legs if min(mean[s, 0], mean[e, 0]) < GENERAL_DARK]
        red = [c for s, e, c in transitions(mean[:, 1], RED_STEP, True)]
        result[("general", name)] = flash_windows(general, times)
        result[("red", name)] = flash_windows(red, times)
    return result


# Reporting

def read_scenes(path):
    """[(scene, from s, to s)], each from the cut that opens it to the next."""
    if os.path.isfile(path) and os.access(path, os.X_OK):
        run = subprocess.run([path], capture_output=True, text=True)
        if run.returncode != 0:
            fail("%s failed (exit %d): %s" % (path, run.returncode, run.stderr.strip()))
        text = run.stdout
    elif os.path.isfile(path):
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    else:
        fail("no scene list at %s (build the project, or give --scenes or --no-scenes)" % path)
    lines = [line.split("\t") for line in text.strip().split("\n")]
    if not lines or "scene" not in lines[0] or "cut_ms" not in lines[0] or "end_ms" not in lines[0]:
        fail("%s is not the output of scene_list" % path)
    col = {name: i for i, name in enumerate(lines[0])}
    try:
        rows = [(int(r[col["scene"]]), int(r[col["cut_ms"]]) / 1000, int(r[col["end_ms"]]) / 1000)
                for r in lines[1:]]
    except (ValueError, IndexError):
        fail("%s is not the output of scene_list" % path)
    return [(n, cut, rows[k + 1][1] if k + 1 < len(rows) else end) for k, (n, cut, end) in enumerate(rows)]


def most(windows, lo, hi):
    """The most flashes of each kind in a second starting in [lo, hi), with where and when."""
    best = {}
    for (kind, place), found in windows.items():
        for t, n in found:
            if lo <= t < hi and n > best.get(kind, (0, "", 0))[0]:
                best[kind] = (n, place, t)
    return best


def describe(best, kind):
    n, place, t = best.get(kind, (0, "", 0))
    return "%d" % n if n == 0 else "%d (from %.3f s, %s)" % (n, t, place)


def report(windows, times, scenes):
    """Prints the windows over the limit, the most in a second, per scene; the exit code."""
    over = {}
    for (kind, place), found in windows.items():
        for t, n in found:
            if n > MAX_FLASHES and n > over.get((t, kind), (0, ""))[0]:
                over[(t, kind)] = (n, place)
    if over:
        print("one-second windows with more than %d flashes:" % MAX_FLASHES)
        for (t, kind), (n, place) in sorted(over.items()):
            print("  %8.3f-%.3f s  %d %s flashes  %s" % (t, t + 1, n, kind, place))
    whole = most(windows, -1, 1e9)
    print("most in one second: general %s; red %s" % (describe(whole, "general"), describe(whole, "red")))
    if scenes:
        print("per scene (from its cut to the next; the most in a second that starts there):")
        for n, lo, hi in scenes:
            if hi <= times[0] or lo > times[-1]:
                continue
            best = most(windows, lo, hi)
            verdict = "over" if max(best.get(k, (0,))[0] for k in ("general", "red")) > MAX_FLASHES else "ok"
            print("  scene %2d  %6.3f-%6.3f s  %-4s  general %s; red %s" %
                  (n, lo, hi, verdict, describe(best, "general"), describe(best, "red")))
    if over:
        print("FAIL: %d one-second windows hold more than %d flashes" % (len(over), MAX_FLASHES))
        return 1
    print("PASS: no second holds more than %d general or %d red flashes" % (MAX_FLASHES, MAX_FLASHES))
    return 0


def main(argv):
    opts = parse(argv)
    path = opts["input"]
    if not shutil.which("ffmpeg") or not shutil.which("ffprobe"):
        fail("ffmpeg is missing (scripts/deps installs it)")
    scenes = None
    if not opts["no_scenes"]:
        scenes = read_scenes(opts["scenes"] or os.path.join(ROOT, "build", "tools", "scene_list"))
    if os.path.isdir(path):
        if opts["start"] is not None:
            refuse("--start is for a video; a PNG folder's frame numbers give the time")
        fps = opts["fps"] or 60
        inputs, first, count = png_folder(path, fps)
        width, height, _ = probe(os.path.join(path, "frame-%05d.png" % first))
        start = first / fps
    elif os.path.isfile(path):
        if opts["fps"] is not None:
            refuse("--fps is for a PNG folder; a video's own rate is used")
        width, height, fps = probe(path)
        if not fps > 0:
            fail("%s: its frame rate cannot be read" % path)
        inputs, start, count = ["-i", path], opts["start"] or 0.0, None
    else:
        fail("%s: no such file or folder" % path)
    if width < CELLS or height < CELLS:
        fail("%s: %dx%d is too small to measure (at least %dx%d)" % (path, width, height, CELLS, CELLS))

    rows = np.array([round(k * height / CELLS) for k in range(CELLS)])
    cols = np.array([round(k * width / CELLS) for k in range(CELLS)])
    counts = np.diff(np.append(rows, height))[:, None] * np.diff(np.append(cols, width))[None, :]
    table = linear_table()
    progress = sys.stderr.isatty()
    sums = []
    for rgb in frames(inputs, width, height):
        sums.append(cell_sums(rgb, table, rows, cols))
        if progress and len(sums) % 60 == 0:
            sys.stderr.write("\rframe %d%s " % (len(sums), " of %d" % count if count else ""))
    if progress:
        sys.stderr.write("\r" + " " * 30 + "\r")
    if len(sums) < 2:
        fail("%s: fewer than two frames to compare" % path)
    times = start + np.arange(len(sums)) / fps
    windows = measure(np.array(sums, dtype=np.float64), counts, width, height, rows, cols, times)

    print("%s: %d frames at %g fps, %dx%d, %.3f-%.3f s" %
          (path, len(sums), fps, width, height, times[0], times[-1] + 1 / fps))
    return report(windows, times, scenes)


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    try:
        sys.exit(main(sys.argv[1:]))
    except KeyboardInterrupt:
        sys.exit(130)
