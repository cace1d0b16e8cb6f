#!/usr/bin/python3
"""What the web build costs, against its budgets: the download (wasm + script under 3 MB), the
first frame after the click (within 2 s), and each scene's frame time in headless Chromium as a
ratio to a floor page measured in the same run: a clear and one window-sized textured quad of a
1024x512 picture, as a background is drawn. Frames are timed with the GPU work waited for
(a pixel read back after each).
    /usr/bin/python3 bench/browser_bench.py [--native]
--native also runs the native benchmark for its ratios on llvmpipe, to print beside."""
import argparse
import os
import re
import subprocess
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "drive"))
from browsers import Chromium, Served  # noqa: E402
from programs import until  # noqa: E402
from session import Session  # noqa: E402

BUILD = os.environ.get("ORVI_BUILD", os.path.join(ROOT, "build"))
WEB = os.environ.get("ORVI_WEB", os.path.join(ROOT, "dist", "web"))
SCENE_LIST = os.path.join(BUILD, "tools", "scene_list")
FRAMES = 40
NATIVE = False  # --native
FLOOR_PAGE = """<!doctype html><body style="margin:0;background:#000">
<canvas id="c" width="640" height="480"></canvas><script>
const gl = document.getElementById('c').getContext('webgl');
const program = gl.createProgram();
for (const [type, text] of [[gl.VERTEX_SHADER,
    'attribute vec2 p; varying vec2 t; void main() { t = vec2(p.x * 0.3125 + 0.3125,'
    + ' 0.46875 - p.y * 0.46875); gl_Position = vec4(p, 0, 1); }'],
  [gl.FRAGMENT_SHADER, 'precision mediump float; varying vec2 t; uniform sampler2D s;'
    + ' void main() { gl_FragColor = texture2D(s, t); }']]) {
  const shader = gl.createShader(type);
  gl.shaderSource(shader, text); gl.compileShader(shader); gl.attachShader(program, shader);
}
gl.linkProgram(program); gl.useProgram(program);
gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([-1, -1, 1, -1, -1, 1, 1, 1]), gl.STATIC_DRAW);
gl.enableVertexAttribArray(0); gl.vertexAttribPointer(0, 2, gl.FLOAT, false, 0, 0);
const picture = new Image();
picture.onload = () => {
  gl.bindTexture(gl.TEXTURE_2D, gl.createTexture());
  gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.LINEAR);
  gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGB, gl.RGB, gl.UNSIGNED_BYTE, picture);
  document.body.dataset.state = 'ready';
};
picture.src = 'data/tonaro.avif';
window.floorFrameMs = n => {
  const started = performance.now();
  const pixel = new Uint8Array(4);
  for (let i = 0; i < n; ++i) {
    gl.clear(gl.COLOR_BUFFER_BIT); gl.drawArrays(gl.TRIANGLE_STRIP, 0, 4);
    gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
  }
  return (performance.now() - started) / n;
};
</script>"""
# The show's own frame, run by hand with the browser's loop paused, waited for the same way.
# (WebGL's finish does not wait for the GPU process; reading a pixel back does.)
SCENE_FRAME_MS = f"""(() => {{
  Module.pauseMainLoop();
  const started = performance.now();
  const pixel = new Uint8Array(4);
  for (let i = 0; i < {FRAMES}; ++i) {{
    Browser.mainLoop.func();
    GLctx.readPixels(0, 0, 1, 1, GLctx.RGBA, GLctx.UNSIGNED_BYTE, pixel);
  }}
  const ms = (performance.now() - started) / {FRAMES};
  Module.resumeMainLoop();
  return ms;
}})()"""


class WebBudgets(Session, unittest.TestCase):
    def runTest(self):
        if not Chromium.path:
            self.skipTest(f"{Chromium.package} is not installed: scripts/deps --web installs it")
        download = sum(os.path.getsize(os.path.join(WEB, f)) for f in ("orvi.wasm", "orvi.js"))
        print(f"\ndownload: orvi.wasm + orvi.js {download / 1e6:.2f} MB (budget 3 MB); pictures "
              f"{sum(os.path.getsize(os.path.join(WEB, 'data', f)) for f in os.listdir(os.path.join(WEB, 'data'))) / 1e6:.2f} MB")
        folder = self.scratch()
        subprocess.run(["cp", "-r", WEB + "/.", folder], check=True)
        with open(os.path.join(folder, "floor.html"), "w") as f:
            f.write(FLOOR_PAGE)
        served = Served(folder)
        self.addCleanup(served.stop)
        show, floor = Chromium(self), Chromium(self)
        floor.open(served.url + "floor.html")
        show.open(served.url + "index.html")
        show.click("#play")
        until("first frame", lambda: show.js("Module.firstFrameMs"), 30)
        print(f"first frame {show.js('Module.firstFrameMs'):.0f} ms after the click (budget 2000)")
        rows = [line.split("\t") for line in subprocess.run(
            [SCENE_LIST], capture_output=True, text=True, check=True).stdout.splitlines()[1:]]
        print("scene  frame ms  floor ms  x floor")
        ratios = {}
        for row in rows:
            scene, middle = int(row[0]), (int(row[2]) + int(row[3])) // 2
            until(f"scene {scene}", lambda: show.js(f"Module._orvi_show_ms() >= {middle}"), 90)
            # The floor just before and after the scene's frames: the same stretch of load.
            before = floor.js(f"floorFrameMs({FRAMES})")
            frame = show.js(SCENE_FRAME_MS)
            floor_ms = (before + floor.js(f"floorFrameMs({FRAMES})")) / 2
            ratios[scene] = frame / floor_ms
            print(f"{scene:5d}  {frame:8.2f}  {floor_ms:8.2f}  {ratios[scene]:7.2f}")
        if NATIVE:
            native = subprocess.run([os.path.join(BUILD, "bench", "orvi_benchmarks"),
                                     "--benchmark_filter=ShowAgainstFloor"],
                                    capture_output=True, text=True).stdout
            print("native on llvmpipe (the same scenes, CPU time over its floor):")
            print("\n".join(line for line in native.splitlines() if re.match(r"\s*(\d+ |scene|floor)", line)))


if __name__ == "__main__":
    parser = argparse.ArgumentParser(prog="browser_bench.py", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--native", action="store_true",
                        help="also the native benchmark's ratios on llvmpipe, beside")
    NATIVE = parser.parse_args().native
    sys.exit(not unittest.TextTestRunner(verbosity=0).run(WebBudgets()).wasSuccessful())
