#!/usr/bin/python3
"""The browser page, measured in headless Chromium: a 64 KiB firmware
transfer through the page into the simulated controller pacing the line at
115 200 baud (the ratio of the transfer's time to the ideal wire time, as
velmoro-hc-sim --stats counts them), the size of the site, and the time
from the start of loading to the page's first paint.

The transfer is timed twice over. First with the controller inside the
page (velmoro-bench-controller.js, the simulator's model in WebAssembly,
built by `cmake --build build-web --target velmoro_bench_controller`, and
web_controller_glue.js): the page's bytes reach it and its replies reach
the page in the page's own thread, so the ratio is the page's. Then into
velmoro-hc-sim on a pseudo-terminal through the page tests' bridge
(serial_relay.py: a binary WebSocket out of the browser, one thread on this
side), as a desktop program's transfer is timed; there the reactions
include the bridge's two crossings and the browser's own hops between its
processes, and are taken apart: the page's own reaction, from a reply's
last bytes reaching it to its answer leaving it, measured in the page; the
page's with the bridge's, from the terminal back to the terminal, measured
in the bridge; and the ratio the transfer would have without the bridge's
share. Each transfer's flash is compared with the image.

    bench/web_bench.py [--runs N] SITE_DIR HC_SIM [BENCH_CONTROLLER_JS]

N transfers each way (3 unless given); the median is the figure."""

import argparse
import os
import pathlib
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "web"))
from cdp import Browser  # noqa: E402
from serial_relay import SerialRelay  # noqa: E402

ARGS = argparse.ArgumentParser(description="The browser page's bench.")
ARGS.add_argument("--runs", type=int, default=3)
ARGS.add_argument("site")
ARGS.add_argument("hc_sim")
ARGS.add_argument("controller", nargs="?")
OPTIONS = ARGS.parse_args()
SITE, HC_SIM = pathlib.Path(OPTIONS.site).resolve(), pathlib.Path(OPTIONS.hc_sim).resolve()
CONTROLLER = pathlib.Path(OPTIONS.controller or SITE.parent / "bench" / "velmoro-bench-controller.js")
STANDIN = (HERE.parent / "tests" / "web" / "serial_standin.js").read_text()
GLUE = (HERE / "web_controller_glue.js").read_text()
FINISHED = "Download successfully finished!\r\n"
IMAGE = None  # the 64 KiB image, made afresh for each run of the bench
STATS = re.compile(r"stats: transfer ([0-9.]+) s, .*ideal ([0-9.]+) s, ratio ([0-9.]+)")


def verdict(ok):
    return "met" if ok else "MISSED"


def spread(times_ms):
    ordered = sorted(times_ms)
    return "median %.2f ms, p99 %.2f ms" % (ordered[len(ordered) // 2],
                                            ordered[min(len(ordered) - 1, len(ordered) * 99 // 100)])


def wait_for(browser, expression, timeout=120):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            if browser.evaluate(expression):
                return
        except Exception:
            pass
        time.sleep(0.05)
    raise SystemExit("web_bench: FAILED: waited %d s for %s" % (timeout, expression))


def load(browser, far):
    """A fresh page whose stand-in port reaches the controller FAR ("page" or
    "pty"), with the 64 KiB image chosen and the page's reactions recorded."""
    browser.call("Page.navigate", url=(SITE / "index.html").as_uri() + "?far=" + far)
    wait_for(browser, "document.readyState === 'complete' && document.body.dataset.ready === 'true'")
    root = browser.call("DOM.getDocument")["root"]["nodeId"]
    node = browser.call("DOM.querySelector", nodeId=root, selector="#fileInput")["nodeId"]
    browser.call("DOM.setFileInputFiles", files=[str(IMAGE)], nodeId=node)
    wait_for(browser, "document.getElementById('path').value === 'image-64k.bin'")
    # The page's own reaction: bytes in, to the first write after them.
    browser.evaluate("""(() => {
        window.velmoroTimes = [];
        const page = velmoroPage, received = page.received.bind(page), write = page.write.bind(page);
        page.received = (bytes) => { velmoroTimes.push(["in", performance.now()]); received(bytes); };
        page.write = (bytes) => { velmoroTimes.push(["out", performance.now()]); write(bytes); };
        return true;
    })()""")


def start_and_finish(browser):
    """Start pressed, the transfer waited for; the page's own reactions, ms."""
    browser.evaluate("document.getElementById('button1004').dispatchEvent(new MouseEvent('mousedown')),"
                     "document.getElementById('button1004').dispatchEvent(new MouseEvent('mouseup'))")
    wait_for(browser, "velmoroPage.log.endsWith(%r) || velmoroPage.log.includes('Error')" % FINISHED)
    if not browser.evaluate("velmoroPage.log.endsWith(%r)" % FINISHED):
        raise SystemExit("web_bench: FAILED: the page's log:\n" + browser.evaluate("velmoroPage.log"))
    times = browser.evaluate("velmoroTimes")
    return [b[1] - a[1] for a, b in zip(times, times[1:]) if a[0] == "in" and b[0] == "out"]


def holds_image(flash):
    """The image, then only the zero filler of whole blocks (a whole block of
    it when the image ends where a block does)."""
    image = IMAGE.read_bytes()
    return flash[:len(image)] == image and not any(flash[len(image):]) and len(flash) % 1024 == 0


def checked(summary, flash, who):
    """The stats line of a controller's summary, once it finished with no
    violation and the flash holding exactly the image."""
    if not re.search(r"finished; .* 0 violations", summary) or not holds_image(flash):
        raise SystemExit("web_bench: FAILED: %s: %s, flash %s\n%s" % (
            who, "finished" if "finished;" in summary else "unfinished",
            "exact" if holds_image(flash) else "NOT the image", summary))
    stats = STATS.search(summary)
    if not stats:
        raise SystemExit("web_bench: FAILED: %s: no stats line:\n%s" % (who, summary))
    return re.search(r"^.*stats: .*$", summary, re.M).group(0), stats


def in_page(browser):
    load(browser, "page")
    own = start_and_finish(browser)
    flash = browser.evaluate("velmoroInPage.flash()").encode("latin-1")
    line, stats = checked(browser.evaluate("velmoroInPage.summary()"), flash, "in-page controller")
    print("  in-page controller: " + line)
    summary = browser.evaluate("velmoroInPage.summary()")
    late = re.search(r"^replies handed over late.* in all ([0-9.]+) s$", summary, re.M)
    print("    %s; the page without it: ratio %.3f" % (
        late.group(0), (float(stats.group(1)) - float(late.group(1))) / float(stats.group(2))))
    print("    page's own reaction: %s, %d replies answered" % (spread(own), len(own)))
    return float(stats.group(3)), statistics.median(own)


def through_pty(browser, relay, scratch):
    load(browser, "pty")
    flash_dir = scratch / "flash"
    sim = subprocess.Popen([str(HC_SIM), "--link", str(scratch / "hc"), "--stats", "--baud", "115200",
                            "--flash-out", str(flash_dir)],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    assert sim.stdout.readline().startswith("velmoro-hc-sim: listening on")
    relay.pty_path = str(scratch / "hc")
    relay.reactions.clear()
    own = start_and_finish(browser)
    out, _ = sim.communicate(timeout=60)
    flash = (flash_dir / "internal.bin").read_bytes() if (flash_dir / "internal.bin").exists() else b""
    line, stats = checked(out, flash, "velmoro-hc-sim")
    print("  velmoro-hc-sim through the bridge: " + line)
    print("    page's own reaction: %s, %d replies answered" % (spread(own), len(own)))
    bridged = [seconds * 1000 for seconds in relay.reactions]
    print("    page's reaction with the bridge, terminal to terminal: %s" % spread(bridged))
    # What the bridge adds to each reply, summed, out of the transfer's time.
    transfer, ideal = float(stats.group(1)), float(stats.group(2))
    share = (sum(bridged) - sum(own)) / 1000
    print("    bridge's share: %.3f s; the page without it: ratio %.3f" % (share, (transfer - share) / ideal))
    return float(stats.group(3))


def summed_up(ratios):
    return "median %.3f (runs %s)" % (statistics.median(ratios), ", ".join("%.3f" % r for r in ratios))


def main():
    global IMAGE
    if not CONTROLLER.is_file():
        raise SystemExit("web_bench: no %s: cmake --build build-web --target velmoro_bench_controller"
                         % CONTROLLER)
    size = sum(f.stat().st_size for f in SITE.rglob("*") if f.is_file())
    print("site: %d bytes in %s (target <= 400 KB) %s" % (size, SITE, verdict(size <= 400 * 1000)))

    scratch = pathlib.Path(tempfile.mkdtemp(prefix="velmoro-web-bench-"))
    IMAGE = scratch / "image-64k.bin"
    IMAGE.write_bytes(os.urandom(65536))
    browser = Browser("--window-size=900,800")
    try:
        for domain in ("Page", "Runtime", "DOM"):
            browser.call(domain + ".enable")
        relay = SerialRelay(browser)
        # Only in a page loaded with ?far=page, and before the stand-in,
        # which opens its socket as it starts.
        browser.call("Page.addScriptToEvaluateOnNewDocument", source=(
            "if (new URLSearchParams(location.search).get('far') === 'page') {\n%s\n%s\n}"
            % (CONTROLLER.read_text(), GLUE)))
        browser.call("Page.addScriptToEvaluateOnNewDocument", source=STANDIN)

        # First paint of a page from a local file, the browser already
        # running: the median of five loads.
        paints = []
        for load_number in range(5):
            # Each load its own address, so that it is loaded afresh.
            browser.call("Page.navigate", url=(SITE / "index.html").as_uri() + "?load=%d" % load_number)
            wait_for(browser, "document.body && document.body.dataset.ready === 'true' && "
                     "performance.getEntriesByName('first-contentful-paint').length > 0")
            paints.append(browser.evaluate(
                "performance.getEntriesByName('first-contentful-paint')[0].startTime"))
        paint = sorted(paints)[len(paints) // 2]
        print("first paint: %.0f ms, median of 5 (target < 1000 ms) %s" % (paint, verdict(paint < 1000)))

        print("paced 64 KiB at 115200 baud, the controller inside the page:")
        page_runs = [in_page(browser) for _ in range(OPTIONS.runs)]
        print("paced 64 KiB at 115200 baud, velmoro-hc-sim on a pseudo-terminal through the bridge:")
        pty_runs = [through_pty(browser, relay, scratch) for _ in range(OPTIONS.runs)]
    finally:
        browser.close()
    ratio = statistics.median(r for r, _ in page_runs)
    print("page's own reaction: median of the runs' medians %.2f ms"
          % statistics.median(own for _, own in page_runs))
    print("page, paced 64 KiB, through the bridge: ratio %s" % summed_up(pty_runs))
    print("page, paced 64 KiB: ratio %s (target <= 1.02) %s"
          % (summed_up([r for r, _ in page_runs]), verdict(ratio <= 1.02)))
    # A missed target is reported, as the other timed transfers report it;
    # only a failed run fails.
    return 0


if __name__ == "__main__":
    sys.exit(main())
