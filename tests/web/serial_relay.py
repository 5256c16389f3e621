"""The far end of tests/web/serial_standin.js: takes what the page's
stand-in port sends through the DevTools binding velmoroSerialSend, opens
the pseudo-terminal with the line settings the page asked for, and carries
bytes both ways. One opening at a time: another is refused as a port already
in use, and so is every opening while busy is set. drop() ends the port as a
pulled adapter does; a hang-up of the terminal does the same."""

import base64
import json
import os
import queue
import select
import termios

from cdp import CdpError
import threading

_BAUD = {115200: termios.B115200, 9600: termios.B9600}


def configure(fd, options):
    attrs = termios.tcgetattr(fd)
    cflag = termios.CREAD | termios.CLOCAL
    cflag |= {8: termios.CS8, 7: termios.CS7}.get(options.get("dataBits", 8), termios.CS8)
    if options.get("parity", "none") != "none":
        cflag |= termios.PARENB | (termios.PARODD if options["parity"] == "odd" else 0)
    if options.get("stopBits", 1) == 2:
        cflag |= termios.CSTOPB
    if options.get("flowControl", "none") == "hardware":
        cflag |= termios.CRTSCTS
    speed = _BAUD.get(options.get("baudRate"), termios.B115200)
    cc = attrs[6]
    cc[termios.VMIN] = 1
    cc[termios.VTIME] = 0
    termios.tcsetattr(fd, termios.TCSANOW, [0, 0, cflag, 0, speed, speed, cc])


class SerialRelay:
    def __init__(self, browser):
        self.browser = browser
        self.pty_path = None
        self.busy = False
        self.opens = []
        self._line = None
        self._work = queue.Queue()
        browser.on("Runtime.bindingCalled", self._called)
        # The browser closes a page's ports when another page takes its place.
        browser.on("Page.frameNavigated",
                   lambda params: "parentId" in params["frame"] or self._work.put({"op": "close"}))
        browser.call("Runtime.addBinding", name="velmoroSerialSend")
        threading.Thread(target=self._worker, daemon=True).start()

    def drop(self):
        """Ends the open port, as a pulled adapter does."""
        self._work.put({"op": "drop"})

    # On the browser's reader thread: bytes go out at once, the rest is
    # queued, as answering the page needs this thread free.
    def _called(self, params):
        if params.get("name") != "velmoroSerialSend":
            return
        message = json.loads(params["payload"])
        line = self._line
        if message["op"] == "write" and line is not None:
            os.write(line.fd, base64.b64decode(message["data"]))
        else:
            self._work.put(message)

    def _worker(self):
        while True:
            try:
                self._step(self._work.get())
            except (CdpError, OSError):
                pass  # the page or the browser has gone: nothing to tell it

    def _step(self, message):
        op = message["op"]
        if op == "open":
            self.opens.append(message["options"])
            ok = self._open(message["options"])
            self.browser.evaluate("velmoroSerialAnswer(%s)" % ("true" if ok else "false"))
        elif op == "close":
            self._close()
        elif (op == "drop" and self._line is not None) or (op == "lost" and message["line"] is self._line):
            self._close()
            self.browser.evaluate("velmoroSerialLose()")

    def _open(self, options):
        if self.busy or self._line is not None or self.pty_path is None:
            return False
        try:
            fd = os.open(self.pty_path, os.O_RDWR | os.O_NOCTTY)
        except OSError:
            return False
        try:
            configure(fd, options)
        except OSError:
            os.close(fd)
            return False
        self._line = _Line(fd)
        threading.Thread(target=self._reader, args=(self._line,), daemon=True).start()
        return True

    def _close(self):
        if self._line is not None:
            line, self._line = self._line, None
            os.write(line.wake_w, b"x")

    # Until the line is closed or hangs up; the reader owns the descriptors.
    def _reader(self, line):
        while True:
            readable, _, _ = select.select([line.fd, line.wake_r], [], [])
            data = b""
            if line.wake_r not in readable:
                try:
                    data = os.read(line.fd, 4096)
                except OSError:
                    data = b""
            if not data:
                if line.wake_r not in readable:
                    # A hang-up: the worker closes the line, then it ends here.
                    self._work.put({"op": "lost", "line": line})
                    os.read(line.wake_r, 1)
                for fd in (line.fd, line.wake_r, line.wake_w):
                    os.close(fd)
                return
            # Posted, not awaited: the next bytes are read at once.
            self.browser.post("velmoroSerialReceive('%s')" % base64.b64encode(data).decode())


class _Line:
    def __init__(self, fd):
        self.fd = fd
        self.wake_r, self.wake_w = os.pipe()
