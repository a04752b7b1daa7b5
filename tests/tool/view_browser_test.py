"""The live view in headless Chromium, driven over the DevTools protocol: the page shows frames whose
number rises, the picture changes, the centroid shown is the scene's spot of the frame shown, and no
request leaves the page's origin; a recorded file is shown and stepped through.

Usage: view_browser_test.py QMV3_TOOL LIBZANTMT [SCREENSHOT.png]. Exit 77 (skipped) without Chromium.
"""
import base64
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

TOOL, ZANTMT = sys.argv[1], sys.argv[2]
SCREENSHOT = sys.argv[3] if len(sys.argv) > 3 else None
BROWSER = shutil.which("chromium") or shutil.which("chromium-browser")
if not BROWSER:
    print("SKIPPED: Chromium is not installed (QMV3_EXTRA_PACKAGES=chromium scripts/install-deps.sh installs it)")
    sys.exit(77)
import websocket  # noqa: E402  (Debian's python3-websocket)


SCENE_SPOT = """
import ctypes, sys
class Scene(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("format", ctypes.c_int),
                ("bytesPerPixel", ctypes.c_int), ("effectiveBits", ctypes.c_int), ("seed", ctypes.c_uint32),
                ("spotSigma", ctypes.c_double), ("spotPeak", ctypes.c_double), ("noise", ctypes.c_int)]
stand_in = ctypes.CDLL(sys.argv[1])
scene = Scene()
stand_in.zantsim_DefaultScene(ctypes.byref(scene))
x, y = ctypes.c_double(), ctypes.c_double()
assert stand_in.zantsim_SceneSpot(ctypes.byref(scene), ctypes.c_uint32(int(sys.argv[2])), ctypes.byref(x),
                                  ctypes.byref(y), None) == 0
print(x.value - 0.5, y.value - 0.5)
"""


def scene_spot(frame_number):
    """The spot of the default camera's frame in the view's pixel convention (pixel i centred at i).

    Asked of the stand-in in a child interpreter: a sanitized stand-in loads only with the sanitizer's
    runtime preloaded (QMV3_SANITIZER_RUNTIME), which must not reach the browser."""
    env = dict(os.environ)
    if os.environ.get("QMV3_SANITIZER_RUNTIME"):
        env["LD_PRELOAD"] = os.environ["QMV3_SANITIZER_RUNTIME"]
        env["ASAN_OPTIONS"] = "detect_leaks=0"
    answer = subprocess.run([sys.executable, "-c", SCENE_SPOT, ZANTMT, str(frame_number)], env=env, check=True,
                            stdout=subprocess.PIPE, text=True).stdout
    x, y = (float(value) for value in answer.split())
    return x, y


class Page:
    """One Chromium tab over the DevTools protocol; records every request the page makes."""

    def __init__(self, work):
        self.browser = subprocess.Popen(
            [BROWSER, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--disable-extensions", "--user-data-dir=" + os.path.join(work, "profile"),
             "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1", "--remote-debugging-port=0", "--remote-allow-origins=*",
             "--window-size=1280,900", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        port = None
        deadline = time.time() + 60
        while port is None and time.time() < deadline:
            line = self.browser.stderr.readline()
            match = re.search(r"DevTools listening on ws://127\.0\.0\.1:(\d+)/", line)
            port = match and match.group(1)
        assert port, "Chromium gave no DevTools address"
        targets = json.load(urllib.request.urlopen("http://127.0.0.1:%s/json/list" % port))
        page = next(target for target in targets if target["type"] == "page")
        self.socket = websocket.create_connection(page["webSocketDebuggerUrl"], suppress_origin=True, timeout=30,
                                                  skip_utf8_validation=True)
        self.next_id = 0
        self.requests = []
        self.call("Network.enable")
        self.call("Page.enable")

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            raw = self.socket.recv()
            if raw.startswith('{"method"'):
                # Events carry whole frames (event streams, data: pictures): take only what is needed.
                if raw.startswith('{"method":"Network.requestWillBeSent"'):
                    self.requests.append(re.search(r'"request":\{"url":"([^"]{0,200})', raw).group(1))
                continue
            message = json.loads(raw)
            if message.get("id") == self.next_id:
                assert "error" not in message, message
                return message["result"]

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        return result["result"].get("value")

    def text(self, element):
        return self.evaluate("document.getElementById(%r).textContent" % element)

    def wait_for(self, expression, what, seconds=30):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if self.evaluate(expression):
                return
            time.sleep(0.2)
        raise AssertionError("the page never showed %s (its state: %r, requests: %r)"
                             % (what, self.text("state"), self.requests[-5:]))

    def image_shot(self):
        box = self.evaluate("(() => { const b = document.getElementById('image').getBoundingClientRect();"
                            " return [b.x, b.y, b.width, b.height]; })()")
        clip = {"x": box[0], "y": box[1], "width": box[2], "height": box[3], "scale": 1}
        return self.call("Page.captureScreenshot", format="png", clip=clip)["data"]

    def close(self):
        self.socket.close()
        self.browser.kill()
        self.browser.wait()


VIEWS = []  # every server started, ended whatever happens: one left running would hold the test's output


def start_view(*arguments):
    process = subprocess.Popen([TOOL, "view", *arguments], stdout=subprocess.PIPE, text=True)
    VIEWS.append(process)
    line = process.stdout.readline().strip()
    assert re.match(r"http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{32}$", line), "unexpected address %r" % line
    return process, line


def stop_view(process):
    process.send_signal(signal.SIGINT)
    assert process.wait(timeout=10) == 0


def main():
    work = tempfile.mkdtemp()
    os.environ["ORSEL_CLIENTLIB_LOGGING_PATH"] = work
    page = Page(work)
    try:
        # The camera.
        process, address = start_view("--rate", "100")
        origin = address.split("/?")[0] + "/"
        page.call("Page.navigate", url=address)
        page.wait_for("/^[0-9]+$/.test(document.getElementById('frame-number').textContent)", "a frame number")
        first = int(page.text("frame-number"))
        shot = page.image_shot()
        time.sleep(1.0)
        second = int(page.text("frame-number"))
        assert second > first, "the frame number did not rise: %d then %d" % (first, second)
        assert page.image_shot() != shot, "two pictures a second apart are the same"
        assert int(page.text("frames-shown")) >= 5, "frames shown: %s" % page.text("frames-shown")
        # The centroid shown belongs to the frame shown: read both at once.
        for _ in range(3):
            number, centroid = page.evaluate("[document.getElementById('frame-number').textContent,"
                                             " document.getElementById('centroid').textContent]")
            x, y = (float(value) for value in centroid.split(","))
            spot_x, spot_y = scene_spot(int(number))
            assert abs(x - spot_x) <= 2 and abs(y - spot_y) <= 2, \
                "frame %s: centroid %.1f, %.1f, the spot at %.1f, %.1f" % (number, x, y, spot_x, spot_y)
            time.sleep(0.4)
        if SCREENSHOT:
            with open(SCREENSHOT, "wb") as picture:
                picture.write(base64.b64decode(page.call("Page.captureScreenshot", format="png")["data"]))
        stop_view(process)

        # A recorded file: the first image, then a step forward.
        run = os.path.join(work, "run.imc2")
        subprocess.run([TOOL, "grab", "-n", "4", "--rate", "100", "--quiet", run], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        process, address = start_view(run)
        file_origin = address.split("/?")[0] + "/"
        page.call("Page.navigate", url=address)
        page.wait_for("document.getElementById('position-text').textContent === '1 / 4'", "the first of 4 images")
        page.wait_for("/^[0-9]+$/.test(document.getElementById('frame-number').textContent)", "a frame number")
        number = page.text("frame-number")
        page.evaluate("document.getElementById('step-forward').click()")
        page.wait_for("document.getElementById('position-text').textContent === '2 / 4'", "the second image")
        page.wait_for("document.getElementById('frame-number').textContent !== %r" % number, "a new frame number")
        stop_view(process)

        outside = [url for url in page.requests
                   if not (url.startswith(origin) or url.startswith(file_origin) or url.startswith("data:")
                           or url == "about:blank")]
        assert not outside, "requests left the origin: %r" % outside[:3]
    finally:
        page.close()
        for process in VIEWS:
            if process.poll() is None:
                process.kill()
                process.wait()
        shutil.rmtree(work, ignore_errors=True)
    print("view in Chromium: frames %d -> %d, centroid on the spot, file stepped, %d requests, none outside"
          % (first, second, len(page.requests)))


if __name__ == "__main__":
    main()
