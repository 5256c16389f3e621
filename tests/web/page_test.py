#!/usr/bin/python3
"""The browser page in Debian's headless Chromium, driven over the DevTools
protocol (cdp.py): whole transfers into velmoro-hc-sim through a stand-in
for navigator.serial (serial_standin.js) whose port is relayed to a
pseudo-terminal (serial_relay.py), the page without Web Serial and without
network, its night look, and axe-core's accessibility rules on it
(tests/web/node_modules, from package.json: ./dev installs it).

    tests/web/page_test.py SITE_DIR HC_SIM CLI [unittest arguments]

SITE_DIR is the built site (build-web/site), HC_SIM velmoro-hc-sim, CLI
velmoro-downloader-cli (the check's output the page must match). With
VELMORO_PAGE_SHOTS set to a folder, the night look's screenshots are kept
there."""

import base64
import functools
import hashlib
import http.server
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).parent))
from cdp import Browser, CdpError  # noqa: E402
from serial_relay import SerialRelay  # noqa: E402

SITE, HC_SIM, CLI = (pathlib.Path(p).resolve() for p in sys.argv[1:4])
STANDIN = (pathlib.Path(__file__).parent / "serial_standin.js").read_text()
ROOT = pathlib.Path(__file__).resolve().parents[2]
AXE_PATH = pathlib.Path(__file__).parent / "node_modules" / "axe-core" / "axe.min.js"
if not AXE_PATH.exists():
    sys.exit("page_test: no %s: npm ci --prefix tests/web (./dev test does it)" % AXE_PATH)
AXE = AXE_PATH.read_text()
# The brightest pixel a night window may hold, as the drawing rules state it.
NIGHT_BRIGHTEST = tuple(int(v) for v in re.search(
    r"kNightBrightest\{(\d+), (\d+), (\d+)\}", (ROOT / "drawing" / "palette.h").read_text()).groups())
# How long the controller may be silent before the screen may sleep, as
# the engine's keep-awake rule states it.
KEEP_AWAKE_SILENCE_MS = 60000 * int(re.search(
    r"kKeepAwakeSilence = std::chrono::minutes\((\d+)\)", (ROOT / "engine" / "keep_awake.h").read_text()).group(1))
# Every refusal of the page's content security policy, kept by the page.
CSP_WATCH = ("window.velmoroRefused = []; document.addEventListener('securitypolicyviolation',"
             " (e) => velmoroRefused.push(e.violatedDirective + ' ' + e.blockedURI));")
# A screenshot's pixels beyond the night's brightest, counted in the page.
# Every control painted again with the canvas watched: each save has its
# restore, and every colour set is a whole #rrggbb.
PAINT_WATCHED = """(() => {
    const proto = CanvasRenderingContext2D.prototype;
    const save = proto.save, restore = proto.restore;
    const fill = Object.getOwnPropertyDescriptor(proto, "fillStyle");
    const seen = { saves: 0, restores: 0, colours: 0, wrong: [] };
    proto.save = function () { ++seen.saves; return save.call(this); };
    proto.restore = function () { ++seen.restores; return restore.call(this); };
    Object.defineProperty(proto, "fillStyle", { configurable: true, get() { return fill.get.call(this); },
        set(value) {
            ++seen.colours;
            if (typeof value === "string" && !/^#[0-9a-f]{6}$/.test(value)) seen.wrong.push(value);
            fill.set.call(this, value);
        } });
    try {
        for (const id of velmoroPage.buttons.keys()) paintButton(id);
        paintProgress();
    } finally {
        proto.save = save;
        proto.restore = restore;
        Object.defineProperty(proto, "fillStyle", fill);
    }
    // Each canvas as large as it is shown.
    for (const button of velmoroPage.buttons.values()) {
        const c = button.canvas;
        if (c.width !== c.clientWidth || c.height !== c.clientHeight) seen.wrong.push(c.id + " size");
    }
    return seen;
})()"""
NIGHT_ICONS = """(async () => {
    const read = async (src) => {
        const image = Object.assign(new Image(), { src });
        await image.decode();
        const canvas = Object.assign(document.createElement("canvas"),
                                     { width: image.naturalWidth, height: image.naturalHeight });
        const g = canvas.getContext("2d");
        g.drawImage(image, 0, 0);
        return g.getImageData(0, 0, canvas.width, canvas.height).data;
    };
    const pictures = [...document.querySelectorAll("img")].filter((i) => i.dataset.day && i.src.startsWith("blob:"));
    const wrong = [];
    for (const picture of pictures) {
        const day = await read(picture.dataset.day), night = await read(picture.src);
        for (let k = 0; k < Math.max(day.length, night.length); k += 4) {
            const want = Module._velmoro_night_picture_pixel(
                ((day[k + 3] << 24) | (day[k] << 16) | (day[k + 1] << 8) | day[k + 2]) >>> 0);
            if (night[k + 3] !== day[k + 3] || (day[k + 3] === 255 && night[k] !== ((want >>> 16) & 0xff))) {
                wrong.push(picture.dataset.day + " at pixel " + k / 4);
                break;
            }
        }
    }
    return { pictures: pictures.length, wrong };
})()"""
# The pixels with ink (not wholly transparent, some red) of each night
# picture the page shows, read from the picture's own bytes.
NIGHT_INK = """(async () => {
    const pictures = new Set([document.querySelector("#title img"),
                              ...[...velmoroPage.buttons.values()].flatMap((b) => b.icons)]);
    const inks = {};
    for (const picture of pictures) {
        inks[picture.dataset.day] = 0;
        if (!picture.src.startsWith("blob:")) continue;
        const bitmap = await createImageBitmap(await (await fetch(picture.src)).blob());
        const g = new OffscreenCanvas(bitmap.width, bitmap.height).getContext("2d");
        g.drawImage(bitmap, 0, 0);
        const d = g.getImageData(0, 0, bitmap.width, bitmap.height).data;
        for (let i = 0; i < d.length; i += 4) inks[picture.dataset.day] += d[i + 3] > 0 && d[i] > 0;
    }
    return inks;
})()"""
OVER_NIGHT = """(async (png, limit) => {
    const bytes = Uint8Array.from(atob(png), (c) => c.charCodeAt(0));
    const bitmap = await createImageBitmap(new Blob([bytes], { type: "image/png" }));
    const g = new OffscreenCanvas(bitmap.width, bitmap.height).getContext("2d");
    g.drawImage(bitmap, 0, 0);
    const d = g.getImageData(0, 0, bitmap.width, bitmap.height).data;
    const over = [];
    for (let i = 0; i < d.length; i += 4) {
        if (d[i] > limit[0] || d[i + 1] > limit[1] || d[i + 2] > limit[2]) {
            over.push([(i / 4) % bitmap.width, Math.floor(i / 4 / bitmap.width), d[i], d[i + 1], d[i + 2]]);
        }
    }
    return { count: over.length, first: over.slice(0, 5) };
})"""

RESET = "Please reset the KARVELIN(MORDAVEX),Waiting for connection ... \r\n"
FINISHED = RESET + "Connected.\r\nProcessing ...   Please wait ...\r\nDownload successfully finished!\r\n"
# The port box names the stand-in's adapters by their chips.
FT232R = "FTDI FT232R USB serial adapter"
PL2303 = "Prolific PL2303 USB serial adapter"
ERROR = "Error occurs! Transmission stop. Please check all the devices, then try again.\r\n"
LOST_AFTER = '). Plug the adapter back in, choose its port again, then click "Start Download".\r\n'
STOPPED = 'Please make sure everything is OK, then click "Start Download".\r\n'
LINE = {"baudRate": 115200, "dataBits": 8, "parity": "none", "stopBits": 1, "flowControl": "none"}
WAIT = 60


def image(size, seed=12345):
    out = bytearray(size)
    x = seed
    for i in range(size):
        x = (x * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = x >> 24
    return bytes(out)


def catalogue(before, after):
    text = ""
    for i in range(1, before + 1):
        text += f"OBJ{i}   ,Object {i}    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n"
    text += "----- second section -----\r\n"
    for i in range(1, after + 1):
        text += f"{i},Star {i}  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n"
    return text.encode()


class Sim:
    """velmoro-hc-sim on a pty in a scratch directory."""

    def __init__(self, scratch, *options):
        self.dir = pathlib.Path(tempfile.mkdtemp(dir=scratch))
        self.link = str(self.dir / "hc")
        self.process = subprocess.Popen(
            [str(HC_SIM), "--link", self.link, "--flash-out", str(self.dir / "flash"),
             "--log", str(self.dir / "hc.log"), *options],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        first = self.process.stdout.readline()
        assert first.startswith("velmoro-hc-sim: listening on"), first

    def finish(self, stop=False):
        if stop:
            self.process.terminate()
        out, _ = self.process.communicate(timeout=WAIT)
        return out

    def flash(self, name):
        path = self.dir / "flash" / name
        return path.read_bytes() if path.exists() else b""

    def log(self):
        path = self.dir / "hc.log"
        return path.read_text(errors="replace") if path.exists() else ""


def wait_until(predicate, what, timeout=WAIT):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("waited %d s for %s; faults: %r" % (timeout, what, PageTest.faults))
        time.sleep(0.02)


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class PrettyHandler(QuietHandler):
    """A host with "pretty" addresses: each index.html is sent on to its
    folder, the query kept."""

    def do_GET(self):
        path, _, query = self.path.partition("?")
        if path.endswith("/index.html"):
            self.send_response(301)
            self.send_header("Location", path[:-len("index.html")] + ("?" + query if query else ""))
            self.end_headers()
            return
        super().do_GET()


class PageTest(unittest.TestCase):
    loads = 0

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="velmoro-web-")
        handler = functools.partial(QuietHandler, directory=str(SITE))
        cls.http = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=cls.http.serve_forever, daemon=True).start()
        # A host that is not this machine: a page from it over http: is not
        # a secure context and has no Web Serial.
        cls.browser = Browser("--window-size=900,800", "--host-resolver-rules=MAP velmoro.example 127.0.0.1")
        cls.dialogs = []
        cls.browser.on("Page.javascriptDialogOpening", cls.dialogs.append)
        # The page's own faults, shown with a failing wait.
        cls.faults = []
        cls.browser.on("Runtime.exceptionThrown", lambda p: cls.faults.append(p["exceptionDetails"]))
        # The errors the browser's console shows for the page loaded last.
        cls.console_errors = []
        cls.browser.on("Log.entryAdded", lambda p: p["entry"]["level"] == "error" and
                       cls.console_errors.append(p["entry"]["text"]))
        for domain in ("Page", "Runtime", "DOM", "Log"):
            cls.browser.call(domain + ".enable")
        cls.relay = SerialRelay(cls.browser)
        cls.browser.call("Page.addScriptToEvaluateOnNewDocument", source=CSP_WATCH)
        cls.add_standin()

    @classmethod
    def add_standin(cls):
        cls.standin = cls.browser.call("Page.addScriptToEvaluateOnNewDocument", source=STANDIN)["identifier"]

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.http.shutdown()
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def setUp(self):
        self.sims = []
        self.relay.busy = False

    def tearDown(self):
        for sim in self.sims:
            if sim.process.poll() is None:
                sim.process.kill()
                sim.process.wait()

    # --- the page -------------------------------------------------------

    def url(self, where="http"):
        if where == "file":
            return (SITE / "index.html").as_uri()
        host = "velmoro.example" if where == "insecure" else "localhost"
        return f"http://{host}:{self.http.server_address[1]}/index.html"

    def load(self, sim=None, where="http", address=None):
        self.relay.pty_path = sim.link if sim else None
        # Each load its own address: Chromium here sometimes leaves a
        # navigation to the address already shown unanswered.
        PageTest.loads += 1
        self.dialogs.clear()
        self.console_errors.clear()
        try:
            shown = self.browser.call("Page.navigate", timeout=15,
                                      url=(address or self.url(where)) + "?load=%d" % PageTest.loads)
        except CdpError:
            raise AssertionError("navigate: dialogs %r" % self.dialogs)
        self.assertNotIn("errorText", shown, address)
        self.wait_ready()

    def wait_ready(self):
        def ready():
            try:
                return self.page("document.readyState === 'complete' && document.body.dataset.ready === 'true'")
            except CdpError:
                return False
        wait_until(ready, "the page")

    def sim(self, *options):
        sim = Sim(self.scratch, *options)
        self.sims.append(sim)
        return sim

    def data_file(self, contents, name="data.bin"):
        path = pathlib.Path(tempfile.mkdtemp(dir=self.scratch)) / name
        path.write_bytes(contents)
        root = self.browser.call("DOM.getDocument")["root"]["nodeId"]
        node = self.browser.call("DOM.querySelector", nodeId=root, selector="#fileInput")["nodeId"]
        self.browser.call("DOM.setFileInputFiles", files=[str(path)], nodeId=node)
        wait_until(lambda: self.page("document.getElementById('path').value") == name, "the file's name")
        return path

    def click(self, selector):
        """A real click: the mouse moves there, presses and lets go."""
        box = self.page("(() => { const r = document.querySelector(%s).getBoundingClientRect(); "
                        "return [r.left + r.width / 2, r.top + r.height / 2]; })()" % json.dumps(selector))
        for kind in ("mouseMoved", "mousePressed", "mouseReleased"):
            self.browser.call("Input.dispatchMouseEvent", type=kind, x=box[0], y=box[1],
                              button="left" if kind != "mouseMoved" else "none", clickCount=1)

    def press_enter(self):
        self.press("Enter")

    KEYS = {"Enter": ("Enter", 13, "\r"), " ": ("Space", 32, " "), "Tab": ("Tab", 9, ""),
            "ArrowRight": ("ArrowRight", 39, ""), "Escape": ("Escape", 27, ""),
            **{letter: ("Key" + letter.upper(), ord(letter.upper()), letter) for letter in "noy"}}
    MODIFIERS = {"Alt": 1, "Shift": 8}

    def press(self, key):
        """key: a name of KEYS, after modifiers as in "Alt+y"."""
        *held, key = key.split("+") if len(key) > 1 else [key]
        modifiers = sum(self.MODIFIERS[m] for m in held)
        code, virtual, text = self.KEYS[key]
        self.browser.call("Input.dispatchKeyEvent", type="keyDown" if text else "rawKeyDown", key=key,
                          code=code, windowsVirtualKeyCode=virtual, text=text, modifiers=modifiers)
        self.browser.call("Input.dispatchKeyEvent", type="keyUp", key=key, code=code,
                          windowsVirtualKeyCode=virtual, modifiers=modifiers)

    def tab_to(self, selector):
        """Tab, as often as the page has places to go, until the focus is on
        selector."""
        for _ in range(12):
            if self.page("document.activeElement === document.querySelector(%s)" % json.dumps(selector)):
                return
            self.press("Tab")
        self.fail("Tab never reached %s; at %s" % (selector, self.page("document.activeElement.outerHTML")))

    def axe(self, night):
        """axe-core's violations on the page as it stands. At night text is
        dim red on black by design, for eyes adapted to the dark, far below
        the contrast the rules ask of text: the day look, one click away,
        is the one that meets it."""
        self.page(AXE + ";0")
        options = {"resultTypes": ["violations"]}
        if night:
            options["rules"] = {"color-contrast": {"enabled": False}}
        return self.page("axe.run(document, %s).then((r) => r.violations.map((v) => [v.id,"
                         " v.nodes.map((n) => n.target.join(' '))]))" % json.dumps(options))

    def assertNightPixels(self, name):
        """No pixel of the page brighter than the night's brightest."""
        png = self.browser.call("Page.captureScreenshot")["data"]
        if os.environ.get("VELMORO_PAGE_SHOTS"):
            folder = pathlib.Path(os.environ["VELMORO_PAGE_SHOTS"])
            folder.mkdir(parents=True, exist_ok=True)
            (folder / ("night-%s.png" % name)).write_bytes(base64.b64decode(png))
        over = self.page("%s(%s, %s)" % (OVER_NIGHT, json.dumps(png), json.dumps(NIGHT_BRIGHTEST)))
        self.assertEqual(over["count"], 0, "%s: pixels past %r: %r" % (name, NIGHT_BRIGHTEST, over["first"]))

    def assertNightIcons(self):
        """Every picture at night is its day picture, each pixel through
        the night's rule: the same shape (alpha), the rule's red."""
        wait_until(lambda: self.page("[...document.querySelectorAll('img')]"
                                     ".every((i) => !i.dataset.day || i.src.startsWith('blob:'))"),
                   "the night pictures")
        checked = self.page(NIGHT_ICONS)
        self.assertGreater(checked["pictures"], 0)
        self.assertEqual(checked["wrong"], [])

    def page(self, expression):
        return self.browser.evaluate(expression)

    def log(self):
        return self.page("velmoroPage.log")

    def wait_log(self, predicate, timeout=WAIT):
        seen = []

        def check():
            seen[:] = [self.log()]
            return predicate(seen[0])
        try:
            wait_until(check, "the log", timeout)
        except AssertionError:
            self.fail("log: %r; faults: %r" % (seen, self.faults))
        return seen[0]

    def report(self):
        """The report the page offers for download, as the download gives it."""
        self.assertFalse(self.page("document.getElementById('reportLine').hidden"))
        self.assertRegex(self.page("document.getElementById('reportLink').download"),
                         r"^velmoro-report-\d{8}-\d{6}\.txt$")
        self.assertEqual(self.page("fetch(document.getElementById('reportLink').href)"
                                   ".then((r) => r.headers.get('content-type'))"), "text/plain")
        return self.page("fetch(document.getElementById('reportLink').href).then((r) => r.text())")

    def question_open(self):
        return self.page("document.getElementById('question').open")

    def question_text(self):
        return self.page("document.querySelector('#question .text').textContent")

    # --- the tests ------------------------------------------------------

    def test_whole_transfers_reach_the_flash_exactly(self):
        """A firmware image from a page opened as a file and from
        http://localhost, and a catalogue: the page opens with no error in
        the browser's console, the flash holds exactly what the file says, the port was opened at 115 200 8N1 without flow control,
        the screen was kept on for the transfer and no longer, and the port
        the user granted is the page's again after a reload."""
        firmware = image(5000)
        cases = [("file", "main", firmware, "data.bin"), ("http", "catalog", catalogue(17, 20), "cat.txt")]
        for where, kind, contents, name in cases:
            with self.subTest(where=where, kind=kind):
                sim = self.sim("--beacons", "2")
                self.load(sim, where)
                # Nothing the browser could not read, the manifest
                # included, which a page from a file may not fetch.
                self.assertEqual(self.console_errors, [])
                path = self.data_file(contents, name)
                if kind == "catalog":
                    self.click("#radio1002")
                self.click("#button1004")
                self.assertEqual(self.wait_log(lambda log: "finished" in log or "Error" in log), FINISHED)
                self.assertEqual(self.page("velmoroSerialOpens"), [LINE])
                self.assertEqual(self.page("velmoroWakeCalls"), ["request", "release"])
                self.assertEqual(self.page("velmoroPage.caption"), "Start Download(&D)")
                # Named while Start waited for the port to be chosen.
                self.assertEqual(self.page("document.getElementById('port').textContent"), FT232R)
                sim.finish()
                self.assertIn("line: 115200 baud, 8 data bits, no parity, 1 stop bit, no flow control",
                              sim.log())
                report = self.report()
                self.assertIn("\nEnded: finished\n", report)
                self.assertIn("\nSHA-256: %s\n" % hashlib.sha256(contents).hexdigest(), report)
                self.assertIn("\nUSB ids: 0403:6001\n", report)
                if kind == "main":
                    blocks = len(contents) // 1024 + 1
                    self.assertEqual(sim.flash("internal.bin"),
                                     contents + bytes(blocks * 1024 - len(contents)))
                else:
                    self.assertCatalogueInFlash(path, sim)
                self.assertEqual(self.page("velmoroRefused"), [])
        # The content security policy lets no inline script run.
        self.page("(() => { const s = document.createElement('script'); s.textContent = 'window.inline = 1';"
                  " document.body.append(s); })()")
        self.assertIsNone(self.page("window.inline"))
        self.assertEqual(self.page("velmoroRefused"), ["script-src-elem inline"])
        self.load(where="http")
        wait_until(lambda: self.page("(document.getElementById('port') || {}).textContent") == FT232R,
                   "the granted port")

    def test_offline_and_a_new_version(self):
        """Served from localhost, the page is installable and keeps its
        site: with the server gone it opens again and loads the controller
        exactly. A new site (sw.js made again, as the build makes it) takes
        over at the next load, in place of the one stored."""
        site = pathlib.Path(tempfile.mkdtemp(dir=self.scratch)) / "site"
        shutil.copytree(SITE, site)
        handler = functools.partial(QuietHandler, directory=str(site))
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        address = "http://localhost:%d/index.html" % server.server_address[1]

        def serve(on):
            nonlocal server
            if on:
                server = http.server.ThreadingHTTPServer(server.server_address, handler)
                threading.Thread(target=server.serve_forever, daemon=True).start()
            else:
                server.shutdown()
                server.server_close()
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            self.load(address=address)
            self.assertEqual(self.browser.call("Page.getInstallabilityErrors")["installabilityErrors"], [])
            wait_until(lambda: self.page("navigator.serviceWorker.controller !== null"), "the site kept")
            serve(False)
            sim = self.sim("--beacons", "2")
            self.load(sim, address=address)
            firmware = image(3000)
            self.data_file(firmware)
            self.click("#button1004")
            self.assertEqual(self.wait_log(lambda log: "finished" in log or "Error" in log), FINISHED)
            sim.finish()
            self.assertEqual(sim.flash("internal.bin"), firmware + bytes(3 * 1024 - len(firmware)))

            worker = (site / "sw.js").read_text()
            version = re.search(r'"(\S+)-[0-9a-f]{16}";', worker).group(1)
            index = (site / "index.html").read_text()
            (site / "index.html").write_text(index.replace("</footer>", "next</footer>"))
            subprocess.run(["cmake", "-DSITE=%s" % site, "-DTEMPLATE=%s" % (ROOT / "web" / "sw.js"),
                            "-DVELMORO_VERSION=%s" % version, "-P", str(ROOT / "web" / "make_sw.cmake")],
                           check=True)
            store = re.search(r'"(\S+-[0-9a-f]{16})";', (site / "sw.js").read_text()).group(1)
            self.assertNotIn(store, worker)
            serve(True)
            self.load(address=address)

            def shown():
                try:
                    return self.page("document.querySelector('footer').textContent.trim().endsWith('next')"
                                     " && caches.keys()")
                except CdpError:
                    return False  # reloading into the new site
            self.assertEqual(wait_until(shown, "the new site"), ["velmoro-downloader-" + store])
            serve(False)
            self.load(address=address)
            self.assertTrue(self.page("document.querySelector('footer').textContent.trim().endsWith('next')"))
        finally:
            if server.socket.fileno() >= 0:
                serve(False)

    def test_the_kept_site_on_hosts_of_other_kinds(self):
        """Kept by a host that sends index.html on to its folder, the page
        opens again from it, by either address; kept at the root of a host
        with another folder beside it, that folder shows its own page."""
        root = pathlib.Path(tempfile.mkdtemp(dir=self.scratch))
        shutil.copytree(SITE, root / "pretty")
        shutil.copytree(SITE, root / "club")
        (root / "club" / "photos").mkdir()
        (root / "club" / "photos" / "index.html").write_text(
            "<!DOCTYPE html><title>Photos</title><p>The club's photos")
        servers = []
        try:
            for folder, handler in (("pretty", PrettyHandler), ("club", QuietHandler)):
                server = http.server.ThreadingHTTPServer(
                    ("127.0.0.1", 0), functools.partial(handler, directory=str(root / folder)))
                threading.Thread(target=server.serve_forever, daemon=True).start()
                servers.append(server)
            pretty, club = ("http://localhost:%d/" % server.server_address[1] for server in servers)
            self.load(address=pretty + "index.html")
            self.assertEqual(self.page("location.pathname"), "/")
            wait_until(lambda: self.page("navigator.serviceWorker.controller !== null"), "the site kept")
            for address in (pretty, pretty + "index.html"):
                with self.subTest(address=address):
                    self.load(address=address)

            self.load(address=club + "index.html")
            wait_until(lambda: self.page("navigator.serviceWorker.controller !== null"), "the site kept")
            PageTest.loads += 1
            self.browser.call("Page.navigate", url=club + "photos/?load=%d" % PageTest.loads)
            wait_until(lambda: self.page("document.readyState === 'complete' && document.title"), "a page")
            self.assertEqual(self.page("document.title"), "Photos")
        finally:
            for server in servers:
                server.shutdown()
                server.server_close()

    def test_night_and_accessibility_in_every_state(self):
        """Idle, during a transfer and with a question open, by day and at
        night: axe-core finds nothing; at night no pixel is brighter than
        the night's brightest; the bar tells its percentage; the question
        is a dialog that takes the focus and gives it back. Night is
        remembered, and day again looks exactly as before."""
        canvases = ("[...document.querySelectorAll('#client canvas')]"
                    ".map((c) => c.toDataURL())")
        self.load()
        day = self.page(canvases)
        try:
            for night in (False, True):
                with self.subTest(night=night):
                    look = "night" if night else "day"
                    if night:
                        self.click("#night")
                        self.load()
                        self.assertEqual(self.page("document.getElementById('night').ariaPressed"), "true")
                    self.assertEqual(self.axe(night), [], look + ", idle")
                    # The mouse over a button lights it, and away puts it out.
                    shown = "document.getElementById('button1003').toDataURL()"
                    box = self.page("(() => { const r = document.getElementById('button1003')"
                                    ".getBoundingClientRect(); return [r.left + 5, r.top + 5]; })()")
                    for x, y in (box, (1, 1)):
                        before = self.page(shown)
                        self.browser.call("Input.dispatchMouseEvent", type="mouseMoved", x=x, y=y)
                        wait_until(lambda: self.page(shown) != before, "the hover look")
                    watched = self.page(PAINT_WATCHED)
                    self.assertGreater(watched["saves"], 0)
                    self.assertEqual(watched["saves"], watched["restores"])
                    self.assertGreater(watched["colours"], 0)
                    self.assertEqual(watched["wrong"], [])
                    if night:
                        self.assertNightPixels("idle")
                        self.assertNightIcons()

                    sim = self.sim("--beacons", "2", "--write-delay", "50")
                    self.load(sim)
                    self.data_file(image(40 * 1024))
                    self.click("#button1004")
                    wait_until(lambda: sim.log().count(":WI_OK#") >= 4, "four blocks written")
                    self.assertEqual(self.axe(night), [], look + ", during a transfer")
                    if night:
                        self.assertNightPixels("transfer")
                    bar = self.page("(() => { const p = document.getElementById('progress');"
                                    " return [p.getAttribute('role'), +p.ariaValueNow, p.ariaValueText]; })()")
                    self.assertEqual(bar[0], "progressbar")
                    self.assertGreater(bar[1], 0)
                    self.assertEqual(bar[2], "%d%%" % bar[1])
                    self.click("#button1004")
                    self.wait_log(lambda log: log.endswith(STOPPED))
                    sim.finish(stop=True)

                    sim = self.sim("--beacons", "1000000")
                    self.relay.pty_path = sim.link
                    self.data_file(catalogue(3, 3), "looks-like-text.bin")
                    self.click("#button1004")
                    wait_until(self.question_open, "the question")
                    self.assertIn("text file", self.question_text())
                    self.assertEqual(self.axe(night), [], look + ", a question open")
                    if night:
                        self.assertNightPixels("question")
                    self.assertEqual(self.page("document.activeElement.closest('[role=alertdialog]')?.id"),
                                     "question")
                    self.assertMark("icons/icon130-32.png", night)
                    self.press_enter()
                    self.assertEqual(self.page("document.activeElement.id"), "button1004")

                    # A port that fails to open: its box and its mark.
                    self.relay.busy = True
                    self.click("#button1004")
                    wait_until(self.question_open, "the port's failure")
                    self.assertEqual(self.question_text(), "Failed to open serial port.")
                    self.assertEqual(self.axe(night), [], look + ", a failure")
                    if night:
                        self.assertNightPixels("failure")
                    self.assertMark("icons/mark-stop-32.png", night)
                    self.press_enter()
                    self.relay.busy = False
                    sim.finish(stop=True)
            self.click("#night")
            self.load()
            self.assertEqual(self.page(canvases), day)
        finally:
            self.page("localStorage.removeItem('velmoroNight')")
        # Opened from a file, at night: the title's icon and the buttons'
        # are there, red.
        self.load(where="file")
        self.click("#night")
        try:
            wait_until(lambda: self.page("[document.querySelector('#title img'), ...[...velmoroPage.buttons"
                                         ".values()].flatMap((b) => b.icons)].every((i) => i.src.startsWith('blob:')"
                                         " && i.complete)"), "the night pictures")
            self.assertNightPixels("file")
            inks = self.page(NIGHT_INK)
            self.assertEqual(sorted(inks), ["icons/icon128-32.png", "icons/icon130-16.png", "icons/icon131-16.png"])
            for picture, ink in inks.items():
                self.assertGreater(ink, 16 * 16 // 4, picture)
        finally:
            self.page("localStorage.removeItem('velmoroNight')")

    def assertMark(self, picture, night):
        """The message box's mark is the project's picture, at night
        through the night's rule."""
        mark = "document.querySelector('#question .mark')"
        self.assertEqual(self.page("[%s.tagName, %s.dataset.day, %s.textContent]" % (mark, mark, mark)),
                         ["IMG", picture, ""])
        if night:
            self.assertNightIcons()
        else:
            wait_until(lambda: self.page("%s.complete && %s.naturalWidth" % (mark, mark)) == 32, "the mark")

    def test_a_whole_transfer_by_keyboard_alone(self):
        """A catalogue chosen, opened and sent with Tab, the arrows, Enter
        and Space, into the flash exactly; the log tells its lines as they
        come."""
        sim = self.sim("--beacons", "2")
        self.load(sim)
        path = pathlib.Path(tempfile.mkdtemp(dir=self.scratch)) / "cat.txt"
        path.write_bytes(catalogue(5, 6))
        chooser = []
        self.browser.on("Page.fileChooserOpened", chooser.append)
        self.browser.call("Page.setInterceptFileChooserDialog", enabled=True)
        try:
            self.tab_to("#radio1001")
            self.press("ArrowRight")
            self.tab_to("#button1003")
            self.press("Enter")
            opened = wait_until(lambda: chooser, "the file dialog")[0]
            self.browser.call("DOM.setFileInputFiles", files=[str(path)], backendNodeId=opened["backendNodeId"])
            wait_until(lambda: self.page("document.getElementById('path').value") == path.name, "the file")
            self.tab_to("#button1004")
            self.press(" ")
            self.assertEqual(self.wait_log(lambda log: "finished" in log or "Error" in log), FINISHED)
        finally:
            self.browser.call("Page.setInterceptFileChooserDialog", enabled=False)
        sim.finish()
        self.assertCatalogueInFlash(path, sim)
        log = self.page("(() => { const log = document.getElementById('log');"
                        " return [log.getAttribute('role'), log.ariaLive, log.textContent]; })()")
        self.assertEqual(log, ["log", "polite", FINISHED.replace("\r", "")])

    def assertCatalogueInFlash(self, path, sim):
        """The two external ranges hold the blocks the command line's
        conversion makes, at the addresses it names, and nothing else."""
        blocks_file = path.with_suffix(".blocks")
        out = subprocess.run([str(CLI), "convert", str(path), str(blocks_file)],
                             capture_output=True, text=True, check=True).stdout
        payloads = blocks_file.read_bytes()
        first, second = bytearray(b"\xff" * 0x4000), bytearray(b"\xff" * 0x40000)
        for i, line in enumerate(out.splitlines()):
            address = int(line.split()[0], 16)
            payload = payloads[i * 1024:(i + 1) * 1024]
            if address < 0x81150000:
                first[address - 0x81140000:address - 0x81140000 + 1024] = payload
            else:
                second[address - 0x81150000:address - 0x81150000 + 1024] = payload
        self.assertEqual(sim.flash("external-1.bin"), bytes(first))
        self.assertEqual(sim.flash("external-2.bin"), bytes(second))

    def test_transfers_that_end_early(self):
        """Stop, an error reply and a pulled adapter each end the transfer
        with their line, the buttons back as they were, the screen's wake
        lock given back, and nothing sent after the end. A controller silent
        for the keep-awake period lets the screen sleep, until it replies."""
        # Stop while the controller has not greeted yet; meanwhile the page
        # is hidden, which drops the wake lock, and shown again.
        sim = self.sim("--beacons", "1000000")
        self.load(sim)
        self.data_file(image(3000))
        self.click("#button1004")
        self.wait_log(lambda log: log == RESET)
        self.assertEqual(self.page("velmoroPage.caption"), "Stop Download(&D)")
        self.assertFalse(self.page("velmoroPage.openEnabled"))
        self.assertEqual(self.page("velmoroWakeHeld()"), 1)
        self.page("velmoroSetHidden(true)")
        self.page("velmoroSetHidden(false)")
        self.assertEqual(self.page("velmoroWakeHeld()"), 1)
        # The controller silent as long as the desktop programs wait: the
        # screen may sleep again, and stays free when the page is shown
        # again, while the transfer still waits.
        self.assertEqual(self.page("velmoroLongTimers()"), [KEEP_AWAKE_SILENCE_MS])
        self.page("velmoroRunLongTimers()")
        self.assertEqual(self.page("velmoroWakeHeld()"), 0)
        self.page("velmoroSetHidden(true)")
        self.page("velmoroSetHidden(false)")
        self.assertEqual(self.page("velmoroWakeHeld()"), 0)
        self.assertEqual(self.page("velmoroPage.caption"), "Stop Download(&D)")
        self.click("#button1004")
        self.assertEqual(self.wait_log(lambda log: log != RESET), STOPPED)
        self.assertEqual(self.page("velmoroWakeCalls"), ["request", "drop", "request", "release"])
        self.assertEqual(self.page("velmoroPage.caption"), "Start Download(&D)")
        self.assertTrue(self.page("velmoroPage.openEnabled"))
        self.assertIn("\nEnded: stopped by the user\n", self.report())
        sim.finish(stop=True)
        self.assertEqual(sim.flash("internal.bin"), b"")

        # An error reply in place of the third reply.
        sim = self.sim("--beacons", "2", "--error-at", "3", "--error-reply", ":BI_ERR#")
        self.load(sim)
        self.data_file(image(3000))
        self.click("#button1004")
        log = self.wait_log(lambda log: log.endswith(ERROR) or "finished" in log)
        self.assertTrue(log.endswith(ERROR), log)
        self.assertIn("\nEnded: error reply :BI_ERR#\n", self.report())
        self.assertEqual(self.page("velmoroPage.caption"), "Start Download(&D)")
        self.assertEqual(self.page("velmoroWakeCalls"), ["request", "release"])

        # The adapter pulled in the middle of the blocks.
        sim = self.sim("--beacons", "2", "--write-delay", "50")
        self.load(sim)
        self.data_file(image(40 * 1024))
        self.click("#button1004")
        wait_until(lambda: sim.log().count(":WI_OK#") >= 3, "three blocks written")
        # Past the silence, the controller's next reply takes the lock again.
        self.page("velmoroRunLongTimers()")
        wait_until(lambda: self.page("velmoroWakeCalls").count("request") == 2, "the lock taken again")
        self.relay.drop()
        log = self.wait_log(lambda log: log.endswith(LOST_AFTER) or "finished" in log)
        # The error line, then the browser's reason and what to do.
        self.assertIn(ERROR + "The port was lost (", log)
        self.assertTrue(log.endswith(LOST_AFTER), log)
        self.assertRegex(self.report(), r"\nEnded: port lost \(.+\)\nSystem error: ")
        self.assertEqual(self.page("velmoroPage.caption"), "Start Download(&D)")
        self.assertFalse(self.page("velmoroPage.open"))
        self.assertIsNone(self.page("velmoroPage.timer"))
        self.assertEqual(self.page("velmoroWakeCalls"), ["request", "release", "request", "release"])

    # The keys that answer a question, as the desktop programs' boxes take
    # them: the focus starts on the last button, which Enter and Space press
    # and Escape answers with; the mnemonics answer, alone or with Alt, from
    # either button; Shift+Tab moves to the first button. A row of the question: the keys and the
    # answer (1 Yes, 0 No). A box of OK alone has no mnemonic, and Escape
    # ends it as OK does; a row of it: letters that leave it open, then the
    # keys that end it.
    QUESTION_KEYS = [(["Enter"], 0), (["Escape"], 0), ([" "], 0), (["n"], 0), (["Alt+n"], 0),
                     (["y"], 1), (["Alt+y"], 1), (["Shift+Tab", "Enter"], 1), (["Tab", " "], 1),
                     (["Tab", "Tab", "Enter"], 0), (["Shift+Tab", "Shift+Tab", " "], 0)]
    OK_KEYS = [([], ["Enter"]), (["o", "y"], ["Escape"]), (["n"], [" "])]

    def assertAnswered(self):
        """The box closed, its answer taken, and the focus back on Start."""
        self.assertFalse(self.question_open())
        wait_until(lambda: self.page("!velmoroPage.inEngine"), "the answer taken")
        self.assertEqual(self.page("document.activeElement.id"), "button1004")

    def test_the_guards_question_and_a_busy_port(self):
        """A firmware file that looks like text asks first, and each key
        that answers it gives its answer: No and nothing goes, Yes and the
        transfer starts; the Yes button sends it into the flash exactly. A
        port held elsewhere fails to open with the browser's words, the log
        empty, and each key that ends its box ends it. A chooser closed with
        nothing chosen is no failure; with no adapter at all the page says
        what to do."""
        sim = self.sim("--beacons", "1000000")
        self.load(sim)
        text = catalogue(3, 3)
        self.data_file(text, "looks-like-text.bin")
        for keys, answer in self.QUESTION_KEYS:
            with self.subTest(keys=keys):
                # Each row its own controller: the beacon a stopped transfer
                # leaves running reaches it, and a controller that has heard
                # the host ends when the next Start closes the port.
                sim = self.sim("--beacons", "1000000")
                self.relay.pty_path = sim.link
                self.page("velmoroPage.clearLog()")
                self.click("#button1004")
                wait_until(self.question_open, "the question")
                self.assertIn("text file", self.question_text())
                for key in keys:
                    self.press(key)
                if answer == 0:
                    log = self.wait_log(lambda log: log.startswith("Download not started"))
                    self.assertNotIn("reset", log)
                    self.assertAnswered()
                else:
                    self.wait_log(lambda log: log == RESET)
                    self.assertFalse(self.question_open())
                    self.click("#button1004")
                    self.wait_log(lambda log: log == STOPPED)
        sim.finish(stop=True)

        sim = self.sim("--beacons", "2")
        self.load(sim)
        self.data_file(text, "looks-like-text.bin")
        self.click("#button1004")
        wait_until(self.question_open, "the question")
        self.click("#question button[value='1']")
        self.assertTrue(self.wait_log(lambda log: "finished" in log or "Error" in log).endswith(
            "Download successfully finished!\r\n"))
        sim.finish()
        blocks = len(text) // 1024 + 1
        self.assertEqual(sim.flash("internal.bin"), text + bytes(blocks * 1024 - len(text)))

        sim = self.sim("--beacons", "2")
        self.relay.busy = True
        self.load(sim)
        self.data_file(image(2000))
        for stray, ending in self.OK_KEYS:
            with self.subTest(stray=stray, ending=ending):
                self.click("#button1004")
                wait_until(self.question_open, "the question")
                self.assertEqual(self.question_text(), "Failed to open serial port.")
                self.assertEqual(self.log(), "")
                for key in stray:
                    self.press(key)
                self.assertTrue(self.question_open(), stray)
                for key in ending:
                    self.press(key)
                self.assertAnswered()
                self.assertEqual(self.page("velmoroPage.caption"), "Start Download(&D)")

        # The chooser closed with nothing chosen, at Start and from the
        # port's button, is the user's choice: no box, no log. With no
        # adapter granted before, the page says what to do beside the
        # window; a port chosen then puts that away, and its own failure
        # has its box.
        self.page("localStorage.setItem('velmoroStandInGranted', '[]')")
        notice = "document.getElementById('notice')"
        self.load()
        self.data_file(image(2000))
        for button in ("#button1004", "#port"):
            with self.subTest(button=button):
                self.page("velmoroStandInChoice = -1, %s.hidden = true" % notice)
                self.click(button)
                text = wait_until(lambda: self.page("!%s.hidden && %s.textContent" % (notice, notice)),
                                  "the advice")
                self.assertTrue(text.startswith("No serial port was chosen"), text)
                for words in ("data cable, not a charge-only one", "install the driver"):
                    self.assertIn(words, text)
                wait_until(lambda: self.page("!velmoroPage.inEngine"), "the click's end")
                self.assertFalse(self.question_open())
                self.assertEqual(self.log(), "")
        self.page("velmoroStandInChoice = 0")
        self.relay.busy = True
        self.click("#button1004")
        wait_until(self.question_open, "the port's failure")
        self.assertEqual(self.question_text(), "Failed to open serial port.")
        self.assertTrue(self.page(notice + ".hidden"))
        self.press_enter()

    def test_the_pages_two_ports(self):
        """Two adapters granted, the simulator's second: after a reload the
        page takes the one chosen last, told by its USB identity, not the
        first. Its port lost, then another chosen, it is closed at once: the
        other fails to open, and the first, chosen again, opens and loads,
        through every passing line error and the other adapter pulled out
        and plugged in again, into the flash exactly. Of two adapters alike,
        both granted, it takes neither after a reload."""
        self.load()
        self.page("localStorage.setItem('velmoroStandInAdapters',"
                  " JSON.stringify([[0x067b, 0x2303], [0x0403, 0x6001]])),"
                  " localStorage.setItem('velmoroStandInGranted', '[]')")
        try:
            self.load()
            for choice, shown in ((0, PL2303), (1, FT232R)):
                self.page("velmoroStandInChoice = %d" % choice)
                self.click("#port")
                wait_until(lambda: self.page("document.getElementById('port').textContent") == shown, shown)
            sim = self.sim("--beacons", "2")
            self.load(sim)
            self.assertEqual(self.page("document.getElementById('port').textContent"), FT232R)
            self.data_file(image(2000))
            self.click("#button1004")
            self.assertEqual(self.wait_log(lambda log: "finished" in log or "Error" in log), FINISHED)
            sim.finish()

            # An adapter plugged in while Start's question is open changes
            # nothing, then or after.
            sim = self.sim("--beacons", "1000000")
            self.relay.pty_path = sim.link
            self.data_file(catalogue(3, 3), "looks-like-text.bin")
            self.click("#button1004")
            wait_until(self.question_open, "the question")
            self.page("velmoroSerialConnect(0)")
            self.assertEqual(self.page("document.getElementById('port').textContent"), FT232R)
            self.press("y")
            self.wait_log(lambda log: log == RESET)
            self.assertEqual(self.page("[velmoroSerialCalls.at(-1), document.getElementById('port').textContent]"),
                             ["open 1", FT232R])
            # An adapter plugged in during a transfer changes nothing.
            self.page("velmoroSerialConnect(0)")
            self.assertEqual(self.page("document.getElementById('port').textContent"), FT232R)
            self.relay.drop()
            self.wait_log(lambda log: log.endswith(LOST_AFTER))
            sim.finish(stop=True)
            self.page("velmoroStandInChoice = 0")
            self.click("#port")
            wait_until(lambda: self.page("velmoroSerialCalls.at(-1)") == "close 1", "the lost port closed")
            self.relay.busy = True
            self.click("#button1004")
            wait_until(self.question_open, "the question")
            self.assertEqual(self.question_text(), "Failed to open serial port.")
            self.press_enter()

            self.relay.busy = False
            sim = self.sim("--beacons", "2", "--write-delay", "50")
            self.relay.pty_path = sim.link
            self.page("velmoroStandInChoice = 1")
            self.click("#port")
            wait_until(lambda: self.page("document.getElementById('port').textContent") == FT232R,
                       "the first port chosen again")
            firmware = image(12 * 1024)
            self.data_file(firmware)
            self.click("#button1004")
            # Each after one more block: a passing line error of each kind,
            # then the other adapter pulled out and plugged in again.
            events = [functools.partial(self.relay.line_error, name)
                      for name in ("BreakError", "FramingError", "ParityError", "BufferOverrunError")]
            events += [functools.partial(self.page, "velmoroSerial%s(0)" % what)
                       for what in ("Disconnect", "Connect")]
            for written, event in enumerate(events, 1):
                wait_until(lambda: sim.log().count(":WI_OK#") >= written, "%d blocks written" % written)
                event()
            self.assertNotIn("finished", self.log())
            self.assertEqual(self.wait_log(lambda log: "finished" in log or "Error" in log), FINISHED)
            sim.finish()
            self.assertEqual(sim.flash("internal.bin"), firmware + bytes(1024))
            self.assertEqual(self.page("velmoroSerialCalls"),
                             ["open 1", "close 1", "open 1", "close 1", "open 0", "open 1"])
            # Plugged in with no transfer running, a granted adapter becomes
            # the page's port, named in the box.
            self.page("velmoroSerialConnect(0)")
            wait_until(lambda: self.page("document.getElementById('port').textContent") == PL2303,
                       "the plugged-in adapter chosen")
            self.assertEqual(self.page("document.getElementById('port').title"), "USB 067b:2303")

            # Plugged in while a port is open and no transfer runs (after a
            # Stop), it is named in the box at once; the open port stays
            # until the next Start.
            self.page("velmoroStandInChoice = 1")
            self.click("#port")
            wait_until(lambda: self.page("document.getElementById('port').textContent") == FT232R, FT232R)
            sim = self.sim("--beacons", "1000000")
            self.relay.pty_path = sim.link
            self.click("#button1004")
            self.wait_log(lambda log: log == RESET)
            self.click("#button1004")
            self.wait_log(lambda log: log == STOPPED)
            self.page("velmoroSerialConnect(0)")
            self.assertEqual(self.page("document.getElementById('port').textContent"), PL2303)
            self.assertEqual(self.page("velmoroSerialCalls.at(-1)"), "open 1")

            # Two adapters alike: the page takes the one granted, but of
            # both granted it cannot tell which was chosen, and takes neither;
            # with none chosen before, it takes a port granted alone.
            for granted, chosen, taken in (([1], True, True), ([0, 1], True, False),
                                           ([1], False, True), ([0, 1], False, False)):
                self.page("localStorage.setItem('velmoroStandInAdapters', '[[1027, 24577], [1027, 24577]]'),"
                          " localStorage.setItem('velmoroStandInGranted', '%s')" % json.dumps(granted))
                self.page("localStorage.setItem('velmoroChosenPort', '1027:24577')" if chosen
                          else "localStorage.removeItem('velmoroChosenPort')")
                self.load()
                # The page asked for its ports before this.
                self.assertEqual(self.page("navigator.serial.getPorts().then(() => velmoroPage.port !== null)"),
                                 taken, (granted, chosen))
        finally:
            self.page("localStorage.removeItem('velmoroStandInAdapters')")

    def test_a_file_the_page_cannot_read_sends_nothing(self):
        """A file gone since it was chosen, and one a byte larger than the
        page reads, each end the click with a log line; the port is not
        opened. At the limit and a byte under, the file is taken and Start
        goes on to the port (held elsewhere here)."""
        sim = self.sim("--beacons", "2")
        limit = 64 * 1024 * 1024
        large = pathlib.Path(self.scratch) / "large.bin"
        cases = [("gone", 0, "ERROR! Cannot read data file!\r\n", "the data file could not be read"),
                 ("over", limit + 1, "ERROR! The data file is larger than 64 MiB, more than can be read!\r\n",
                  "the data file is too large"),
                 ("at", limit, None, None), ("under", limit - 1, None, None)]
        for case, size, line, ending in cases:
            with self.subTest(case=case):
                self.load(sim)
                opens = len(self.relay.opens)
                if case == "gone":
                    self.data_file(image(2000)).unlink()
                else:
                    with open(large, "wb") as out:
                        out.truncate(size)
                    root = self.browser.call("DOM.getDocument")["root"]["nodeId"]
                    node = self.browser.call("DOM.querySelector", nodeId=root, selector="#fileInput")["nodeId"]
                    self.browser.call("DOM.setFileInputFiles", files=[str(large)], nodeId=node)
                    wait_until(lambda: self.page("document.getElementById('path').value") == "large.bin",
                               "the name")
                self.relay.busy = line is None
                self.click("#button1004")
                if line is None:
                    wait_until(self.question_open, "the port's failure")
                    self.assertEqual(self.question_text(), "Failed to open serial port.")
                    self.press_enter()
                    self.assertEqual(len(self.relay.opens), opens + 1)
                    self.assertEqual(self.log(), "")
                    continue
                self.assertEqual(self.wait_log(lambda log: log != ""), line)
                self.assertIn("\nEnded: refused before sending: %s\n" % ending, self.report())
                self.assertEqual(len(self.relay.opens), opens)
                self.assertEqual(self.page("velmoroPage.caption"), "Start Download(&D)")
        large.unlink()

    def test_leaving_the_page_during_a_transfer_asks_first(self):
        """The browser's leave-page question comes during a transfer, and
        staying keeps it going; the page asks for none when no transfer
        runs. (A reload after a dismissed question leaves this Chromium's
        next navigation unanswered, so the idle page's answer is read from
        its own handler.)"""
        sim = self.sim("--beacons", "1000000")
        self.load(sim)
        self.data_file(image(2000))
        self.click("#button1004")
        self.wait_log(lambda log: log == RESET)
        self.dialogs.clear()
        self.page("setTimeout(() => location.reload(), 0), true")
        dialog = wait_until(lambda: self.dialogs, "the leave-page question")[0]
        self.assertEqual(dialog["type"], "beforeunload")
        self.browser.call("Page.handleJavaScriptDialog", accept=False)
        self.assertEqual(self.log(), RESET)
        self.assertEqual(self.page("velmoroPage.caption"), "Stop Download(&D)")
        self.click("#button1004")
        self.wait_log(lambda log: log == STOPPED)
        self.assertFalse(self.page("(() => { const e = new Event('beforeunload', { cancelable: true });"
                                   " window.dispatchEvent(e); return e.defaultPrevented; })()"))

    def test_without_web_serial_the_catalogue_check_still_works(self):
        """An http: page from another host has no Web Serial: the page says
        what to use instead, and the check shows what the command line's
        check shows."""
        self.browser.call("Page.removeScriptToEvaluateOnNewDocument", identifier=self.standin)
        try:
            self.load(where="insecure")
            self.assertFalse(self.page("window.isSecureContext"))
            self.assertTrue(self.page("!document.getElementById('notice').hidden"))
            self.assertIn("Chromium browser", self.page("document.getElementById('notice').textContent"))
            text = catalogue(2, 2).replace(b"OBJ2   ,", b"OBJ2   ,\xc3\xa9")
            path = self.data_file(text, "cat.txt")
            # Each check replaces what the one before showed.
            for button, arguments in (("checkButton", []), ("showButton", ["--show"]), ("checkButton", [])):
                with self.subTest(button=button):
                    self.click("#" + button)
                    expected = subprocess.run([str(CLI), "check", *arguments, path.name], cwd=path.parent,
                                              capture_output=True, text=True).stdout
                    output = "document.getElementById('checkOutput').textContent"
                    wait_until(lambda: self.page(output) == expected, "the check")
            # Convert: the blocks the command line's convert writes, offered
            # as a download named after the file.
            self.page("window.velmoroDownloads = [], HTMLAnchorElement.prototype.click ="
                      " function () { velmoroDownloads.push([this.download, this.href]); }")
            self.click("#convertButton")
            wait_until(lambda: self.page("velmoroDownloads.length"), "the converted blocks")
            name, address = self.page("velmoroDownloads[0]")
            self.assertEqual(name, "cat.txt.bin")
            sent = self.page("fetch(%s).then((r) => r.arrayBuffer())"
                             ".then((b) => Array.from(new Uint8Array(b)))" % json.dumps(address))
            subprocess.run([str(CLI), "convert", path.name, "blocks.bin"], cwd=path.parent, check=True,
                           capture_output=True)
            blocks = (path.parent / "blocks.bin").read_bytes()
            self.assertEqual(bytes(sent), blocks)
            self.assertEqual(self.page("document.getElementById('checkOutput').textContent"),
                             "cat.txt: %d blocks of 1024 bytes in cat.txt.bin\n" % (len(blocks) // 1024))
        finally:
            self.add_standin()


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], *sys.argv[4:]], verbosity=2)
