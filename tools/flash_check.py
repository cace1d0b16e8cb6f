#!/usr/bin/python3
"""Checks a capture of the show for flashes that can trigger seizures.

Counts general flashes (two opposite changes of the relative luminance of at
least 0.1, the darker state below 0.8) and red flashes (two opposite changes
of more than 20 in (R - G - B) x 320 of saturated red, R / (R + G + B) at
least 0.8; linear R, G, B), over the whole frame and over every region of a
quarter of it (half as wide and half as high, placed in steps of 1/16 of the
frame; named by its corners in pixels from the top left). Prints each
one-second window with more than 3 of either, the most in a second for the
whole clip and for each scene, and exits 1 if any window has more than 3,
else 0; 2 if it could not check: a frame that cannot be decoded, fewer
frames than the input claims, more than 36000 frames (10 minutes at 60 fps).
"""
import argparse
import json
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile

try:
    import numpy as np
except ImportError:  # reported as a reason once the arguments are read
    np = None

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

GENERAL_STEP = 0.1   # relative luminance
GENERAL_DARK = 0.8   # the darker state must be below this
RED_STEP = 20.0      # (R - G - B) x 320, saturated red only
MAX_FLASHES = 3      # in any one second
CELLS = 16           # the frame is measured in CELLS x CELLS cells
REGION = CELLS // 2  # a region: half the cells each way, a quarter of the frame
MAX_FRAMES = 36000   # 10 minutes at 60 fps: 150 MB of cell sums
MAX_PIPED = 2 << 30  # bytes of a piped video kept in a temporary file


def fail(reason):
    sys.stderr.write("flash_check: %s\n" % reason)
    sys.exit(2)


def fps_value(text):
    if not text.isdigit() or not 1 <= int(text) <= 1000:
        raise argparse.ArgumentTypeError("'%s' is not a whole number from 1 to 1000" % text)
    return int(text)


def start_value(text):
    try:
        s = float(text)
    except ValueError:
        s = float("nan")
    if not (s >= 0 and s < 1e6):
        raise argparse.ArgumentTypeError("'%s' is not a number of seconds from 0" % text)
    return s


def parser():
    p = argparse.ArgumentParser(
        prog="flash_check.py", description=__doc__.split("\n\n")[0],
        epilog=__doc__.split("\n\n", 1)[1].strip(), formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("input", metavar="INPUT",
                   help="a video ffmpeg can read (a file, a named pipe, or - for standard input), "
                        "or a folder of frame-NNNNN.png files from orvi-capture --png "
                        "(frame N is at N / fps seconds of the show)")
    p.add_argument("--fps", type=fps_value, metavar="N",
                   help="frames a second of a PNG folder, 1 to 1000 (default 60); a video's own rate is read from it")
    p.add_argument("--start", type=start_value, metavar="S",
                   help="the show's time at a video's first frame (default 0)")
    scenes = p.add_mutually_exclusive_group()
    scenes.add_argument("--scenes", metavar="PATH",
                        help="the scene_list program, or a file of its output, for the per-scene summary "
                             "(default build/tools/scene_list of this checkout)")
    scenes.add_argument("--no-scenes", action="store_true", help="no per-scene summary (a clip that is not the show)")
    return p


def kind_of(path):
    """'folder', 'video' or 'pipe': what the input is, or the reason it is none of them."""
    if path == "-":
        if sys.stdin.isatty():
            fail("standard input is a terminal, not a video")
        return "pipe"
    try:
        mode = os.stat(path).st_mode
    except FileNotFoundError:
        fail("%s: no such file or folder" % path)
    except OSError as e:
        fail("%s: %s" % (path, e.strerror))
    if stat.S_ISDIR(mode):
        return "folder"
    if stat.S_ISREG(mode):
        return "video"
    if stat.S_ISFIFO(mode):
        return "pipe"
    fail("%s: not a file, a folder or a pipe" % path)


# Decoding

def keep_pipe(path, folder):
    """Copies a pipe (- is standard input) into a file in folder, as ffprobe and ffmpeg each read
    the input from its start: the file's path."""
    kept = os.path.join(folder, "piped")
    progress = sys.stderr.isatty()
    copied = 0
    try:
        with (open(sys.stdin.fileno(), "rb", closefd=False) if path == "-" else open(path, "rb")) as src, \
                open(kept, "wb") as out:
            while True:
                chunk = src.read(1 << 20)
                if not chunk:
                    break
                copied += len(chunk)
                if copied > MAX_PIPED:
                    fail("%s: more than %d MB through a pipe; save it to a file" % (path, MAX_PIPED >> 20))
                out.write(chunk)
                if progress:
                    sys.stderr.write("\rreading %s: %d MB " % (path, copied >> 20))
    except OSError as e:
        fail("%s: cannot keep the piped video in %s: %s" % (path, folder, e.strerror))
    if progress:
        sys.stderr.write("\r" + " " * 40 + "\r")
    return kept


def number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return 0.0


def clock(text):
    """Seconds of a Matroska DURATION tag such as 00:00:03.000000000."""
    try:
        h, m, s = (text or "").split(":")
        return int(h) * 3600 + int(m) * 60 + float(s)
    except ValueError:
        return 0.0


def probe(path):
    """The video stream the check decodes: the first marked default, else the first (cover
    pictures aside). {index, width, height, fps, claimed frames or 0, note naming the stream}."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
         "stream=index,width,height,r_frame_rate,nb_frames,duration:stream_disposition=default,attached_pic"
         ":stream_tags=DURATION:format=duration", "-of", "json", path],
        capture_output=True, text=True)
    try:
        found = json.loads(out.stdout)
    except ValueError:
        found = {}
    streams = [s for s in found.get("streams", []) if "width" in s and not s.get("disposition", {}).get("attached_pic")]
    if out.returncode != 0 or not streams:
        fail("%s: not a video ffmpeg can read%s" % (path, (": " + out.stderr.strip()) if out.stderr.strip() else ""))
    chosen = next((s for s in streams if s.get("disposition", {}).get("default")), streams[0])
    num, _, den = chosen.get("r_frame_rate", "0/1").partition("/")
    fps = number(num) / number(den or 1) if number(den or 1) else 0.0
    seconds = number(chosen.get("duration")) or clock(chosen.get("tags", {}).get("DURATION")) or \
        number(found.get("format", {}).get("duration"))
    claimed = int(chosen["nb_frames"]) if str(chosen.get("nb_frames", "")).isdigit() else round(seconds * fps)
    note = "" if len(streams) == 1 else ", stream %d of %d video streams (%s)" % (
        chosen["index"], len(streams), "the default" if chosen.get("disposition", {}).get("default") else "the first")
    return {"index": chosen["index"], "width": chosen["width"], "height": chosen["height"], "fps": fps,
            "rate": chosen.get("r_frame_rate", "0/1"), "claimed": claimed, "note": note}


def png_folder(path, fps):
    """The ffmpeg input of a capture folder, its first frame's number and its frame count."""
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


def frames(inputs, stream, width, height, rate):
    """Yields each decoded frame of the input's stream as an RGB array, top row first, at a
    constant fps (a frame held long is repeated); fails on any error ffmpeg reports, also when it
    exits 0 after a damaged frame or a cut-off file."""
    ffmpeg = subprocess.Popen(
        ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error"] + inputs +
        ["-map", "0:%d" % stream, "-fps_mode", "cfr", "-r", rate, "-f", "rawvideo", "-pix_fmt", "rgb24", "pipe:1"],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    size = width * height * 3
    left = b""
    try:
        while True:
            data = ffmpeg.stdout.read(size)
            if len(data) < size:
                left = data
                break
            yield np.frombuffer(data, np.uint8).reshape(height, width, 3)
    finally:
        if ffmpeg.poll() is None:
            ffmpeg.kill()
        errors = ffmpeg.stderr.read().decode(errors="replace").strip()
        code = ffmpeg.wait()
    if code != 0 or errors:
        lines = errors.split("\n") if errors else []
        if len(lines) > 5:
            lines[5:] = ["(%d more lines)" % (len(lines) - 5)]
        fail("ffmpeg could not decode the input %s%s" % ("whole" if code == 0 else "(exit %d)" % code,
                                                         "".join("\n  " + line for line in lines)))
    if left:
        fail("ffmpeg's last frame is cut short (%d of %d bytes)" % (len(left), size))


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
    args = parser().parse_args(argv)
    path = args.input
    kind = kind_of(path)
    # Every refusal of the arguments comes before anything is read.
    if kind == "folder" and args.start is not None:
        parser().error("--start is for a video; a PNG folder's frame numbers give the time")
    if kind != "folder" and args.fps is not None:
        parser().error("--fps is for a PNG folder; a video's own rate is used")
    if np is None:
        fail("NumPy is missing (scripts/deps installs python3-numpy)")
    if not shutil.which("ffmpeg") or not shutil.which("ffprobe"):
        fail("ffmpeg is missing (scripts/deps installs it)")
    scenes = None
    if not args.no_scenes:
        scenes = read_scenes(args.scenes or os.path.join(ROOT, "build", "tools", "scene_list"))
    with tempfile.TemporaryDirectory(prefix="flash_check.") as scratch:
        return check(path, kind, args, scenes, scratch)


def check(path, kind, args, scenes, scratch):
    """Decodes and measures the input, then reports: the exit code."""
    if kind == "folder":
        fps = args.fps or 60
        inputs, first, claimed = png_folder(path, fps)
        video = probe(os.path.join(path, "frame-%05d.png" % first))
        video.update(index=0, rate=str(fps), note="")
        start = first / fps
    else:
        source = keep_pipe(path, scratch) if kind == "pipe" else path
        video = probe(source)
        fps, claimed = video["fps"], video["claimed"]
        if not fps > 0:
            fail("%s: its frame rate cannot be read" % path)
        inputs, start = ["-i", source], args.start or 0.0
    width, height = video["width"], video["height"]
    if width < CELLS or height < CELLS:
        fail("%s: %dx%d is too small to measure (at least %dx%d)" % (path, width, height, CELLS, CELLS))
    # Refused before any decoding: a small file can claim hours.
    if claimed > MAX_FRAMES:
        fail("%s claims %d frames (%.0f s at %g fps); the check reads at most %d" %
             (path, claimed, claimed / fps, fps, MAX_FRAMES))

    rows = np.array([round(k * height / CELLS) for k in range(CELLS)])
    cols = np.array([round(k * width / CELLS) for k in range(CELLS)])
    counts = np.diff(np.append(rows, height))[:, None] * np.diff(np.append(cols, width))[None, :]
    table = linear_table()
    progress = sys.stderr.isatty()
    sums = []
    for rgb in frames(inputs, video["index"], width, height, video["rate"]):
        # A claim can lie, or be missing: the bound holds while decoding too.
        if len(sums) == MAX_FRAMES:
            fail("%s: more than %d frames; the check reads at most %d" % (path, MAX_FRAMES, MAX_FRAMES))
        sums.append(cell_sums(rgb, table, rows, cols))
        if progress and len(sums) % 60 == 0:
            sys.stderr.write("\rframe %d%s " % (len(sums), " of %d" % claimed if claimed else ""))
    if progress:
        sys.stderr.write("\r" + " " * 30 + "\r")
    if len(sums) < claimed:
        fail("%s: only %d of the %d frames it claims could be decoded" % (path, len(sums), claimed))
    if len(sums) < 2:
        fail("%s: fewer than two frames to compare" % path)
    times = start + np.arange(len(sums)) / fps
    windows = measure(np.array(sums, dtype=np.float64), counts, width, height, rows, cols, times)

    print("%s: %d frames at %g fps, %dx%d%s, %.3f-%.3f s" %
          (path, len(sums), fps, width, height, video["note"], times[0], times[-1] + 1 / fps))
    return report(windows, times, scenes)


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    # Ended through the same unwinding as an error: ffmpeg stopped, a kept pipe removed.
    for ending in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(ending, lambda number, _: sys.exit(128 + number))
    try:
        sys.exit(main(sys.argv[1:]))
    except KeyboardInterrupt:
        sys.exit(130)
