#!/usr/bin/python3
"""Takes the picture of the browser page for the README in headless
Chromium: the page during a firmware transfer into velmoro-hc-sim, through
the test's stand-in port (tests/web), cut to the window.

    tools/web_screenshot.py [SITE_DIR [HC_SIM [PICTURE]]]

Defaults: build-web/site, build/sim/velmoro-hc-sim,
docs/main-window-browser.png."""

import base64
import os
import pathlib
import subprocess
import sys
import tempfile
import time

root = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(root / "tests" / "web"))
from cdp import Browser  # noqa: E402
from serial_relay import SerialRelay  # noqa: E402

arguments = sys.argv[1:] + [None] * 3
site = pathlib.Path(arguments[0] or root / "build-web" / "site").resolve()
hc_sim = pathlib.Path(arguments[1] or root / "build" / "sim" / "velmoro-hc-sim").resolve()
picture = pathlib.Path(arguments[2] or root / "docs" / "main-window-browser.png")


def until(browser, expression, timeout=60):
    deadline = time.monotonic() + timeout
    while not browser.evaluate(expression):
        if time.monotonic() > deadline:
            raise SystemExit("web_screenshot: waited %d s for %s" % (timeout, expression))
        time.sleep(0.02)


scratch = pathlib.Path(tempfile.mkdtemp(prefix="velmoro-shot-"))
sim = subprocess.Popen([str(hc_sim), "--link", str(scratch / "hc"), "--baud", "115200"],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
sim.stdout.readline()
browser = Browser("--window-size=800,640", "--hide-scrollbars")
try:
    for domain in ("Page", "Runtime", "DOM"):
        browser.call(domain + ".enable")
    relay = SerialRelay(browser)
    relay.pty_path = str(scratch / "hc")
    browser.call("Page.addScriptToEvaluateOnNewDocument",
                 source=(root / "tests" / "web" / "serial_standin.js").read_text())
    browser.call("Page.navigate", url=(site / "index.html").as_uri())
    until(browser, "document.body && document.body.dataset.ready === 'true'")
    image = scratch / "firmware.bin"
    image.write_bytes(os.urandom(20 * 1024))
    document = browser.call("DOM.getDocument")["root"]["nodeId"]
    node = browser.call("DOM.querySelector", nodeId=document, selector="#fileInput")["nodeId"]
    browser.call("DOM.setFileInputFiles", files=[str(image)], nodeId=node)
    browser.evaluate("document.getElementById('button1004').dispatchEvent(new MouseEvent('mousedown')),"
                     "document.getElementById('button1004').dispatchEvent(new MouseEvent('mouseup'))")
    until(browser, "velmoroPage.log.includes('Processing')")
    # Some 40% of the image: eight of its twenty-one blocks.
    time.sleep(8 * 1036 * 10 / 115200)
    box = browser.evaluate("(() => { const r = document.getElementById('window').getBoundingClientRect();"
                           " return [r.left, r.top, r.width, r.height]; })()")
    shot = browser.call("Page.captureScreenshot", format="png",
                        clip={"x": box[0], "y": box[1], "width": box[2], "height": box[3], "scale": 1})
    picture.write_bytes(base64.b64decode(shot["data"]))
    print(picture)
finally:
    browser.close()
    sim.kill()
    sim.wait()
