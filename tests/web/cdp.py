"""Debian's Chromium, headless, driven over the DevTools protocol on a pipe
(--remote-debugging-pipe): commands and their answers, events to handlers,
no network in between. Standard library only."""

import json
import os
import pathlib
import shutil
import subprocess
import tempfile
import threading


class CdpError(Exception):
    pass


def _pipe_fds(read_end, write_end):
    """In the browser's process: its commands on 3, its answers on 4."""
    read_copy, write_copy = os.dup(read_end), os.dup(write_end)
    os.dup2(read_copy, 3)
    os.dup2(write_copy, 4)


class Browser:
    def __init__(self, *arguments):
        self.profile = tempfile.mkdtemp(prefix="velmoro-chromium-")
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()
        executable = shutil.which("chromium") or "/usr/bin/chromium"
        self.process = subprocess.Popen(
            [executable, "--headless=new", "--no-sandbox", "--disable-gpu", "--remote-debugging-pipe",
             "--no-first-run", "--no-default-browser-check", f"--user-data-dir={self.profile}",
             *arguments, "about:blank"],
            pass_fds=(3, 4), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, preexec_fn=lambda: _pipe_fds(to_browser_r, from_browser_w))
        os.close(to_browser_r)
        os.close(from_browser_w)
        self._lock = threading.Lock()
        self._next_id = 0
        self._waiting = {}
        self._handlers = {}
        threading.Thread(target=self._read, daemon=True).start()
        self.session = None
        target = self.call("Target.createTarget", session=False, url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", session=False, targetId=target,
                                 flatten=True)["sessionId"]

    def close(self):
        try:
            self.call("Browser.close", session=False, timeout=10)
        except Exception:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def on(self, method, handler):
        self._handlers.setdefault(method, []).append(handler)

    def call(self, method, session=True, timeout=60, **params):
        with self._lock:
            self._next_id += 1
            ident = self._next_id
            done = threading.Event()
            self._waiting[ident] = [done, None]
            message = {"id": ident, "method": method, "params": params}
            if session:
                message["sessionId"] = self.session
            os.write(self._to_browser, json.dumps(message).encode() + b"\0")
        if not done.wait(timeout):
            raise CdpError(f"{method}: no answer in {timeout} s")
        answer = self._waiting.pop(ident)[1]
        if "error" in answer:
            raise CdpError(f"{method}: {answer['error']}")
        return answer.get("result", {})

    def post(self, expression):
        """Runs a script expression without waiting for it: what is posted
        runs in the order posted."""
        with self._lock:
            self._next_id += 1
            message = {"id": self._next_id, "method": "Runtime.evaluate", "sessionId": self.session,
                       "params": {"expression": expression}}
            os.write(self._to_browser, json.dumps(message).encode() + b"\0")

    def evaluate(self, expression, timeout=60):
        """The value of a script expression; promises are awaited."""
        result = self.call("Runtime.evaluate", expression=expression, awaitPromise=True,
                           returnByValue=True, timeout=timeout)
        if "exceptionDetails" in result:
            raise CdpError(json.dumps(result["exceptionDetails"])[:2000])
        return result["result"].get("value")

    def _read(self):
        buffer = b""
        while True:
            try:
                chunk = os.read(self._from_browser, 1 << 16)
            except OSError:
                chunk = b""
            if not chunk:
                for entry in list(self._waiting.values()):
                    entry[1] = {"error": "the browser has gone"}
                    entry[0].set()
                return
            buffer += chunk
            while b"\0" in buffer:
                raw, buffer = buffer.split(b"\0", 1)
                message = json.loads(raw)
                if "id" in message:
                    entry = self._waiting.get(message["id"])
                    if entry:
                        entry[1] = message
                        entry[0].set()
                else:
                    for handler in self._handlers.get(message.get("method"), []):
                        handler(message.get("params", {}))


def site_file(path):
    return pathlib.Path(path).resolve().as_uri()
