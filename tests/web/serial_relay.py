"""The far end of tests/web/serial_standin.js: a WebSocket on this machine
that every page the stand-in is in connects to as its document starts
(before the page's own scripts and any Content-Security-Policy its markup
sets).
Binary messages are the line's bytes, both ways, carried as they come; text
messages are the port's set-up, as JSON: the page's {"op": "open",
"options": ...} and {"op": "close"}, the relay's {"op": "answer", "ok": ...},
{"op": "lose"} and {"op": "lineError", "name": ...}. An open sets the
pseudo-terminal up with the line settings the page asked for. line_error()
passes a line error to the open port, in its place among the bytes. One
opening at a time: another is refused as a port already in use, and so is
every opening while busy is set. drop() ends the port as a pulled adapter
does; a hang-up of the terminal does the same.
When another page takes the place of the one that held the port, the port
is closed, as the browser closes a page's ports then (the page left behind
may keep its socket).

One thread carries everything, waiting on the sockets, the terminal and a
wake-up pipe at once: a reply read from the terminal goes to the page and a
command from the page to the terminal with no other thread in between.

reactions holds, per reply, the time from its last bytes read from the
terminal to the page's next bytes written to it: the page's reaction with
the bridge's two crossings."""

import base64
import collections
import hashlib
import json
import os
import select
import socket
import struct
import termios
import threading
import time

_BAUD = {115200: termios.B115200, 9600: termios.B9600}
_GUID = b"258EAFA5-E914-47DA-95CA-C5AB0DC85B11"
# Bounds on what a page may send before it is read: the handshake and one
# message. The stand-in's messages are a write of the page (a block of
# 1024 bytes and its command at most) or a line of JSON.
_MAX_HANDSHAKE = 8192
_MAX_MESSAGE = 1 << 20


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


def _frame(opcode, payload):
    """A server's frame: final, unmasked."""
    size = len(payload)
    if size < 126:
        head = struct.pack("!BB", 0x80 | opcode, size)
    elif size < 1 << 16:
        head = struct.pack("!BBH", 0x80 | opcode, 126, size)
    else:
        head = struct.pack("!BBQ", 0x80 | opcode, 127, size)
    return head + payload


class _Page:
    """One page's socket: the handshake, then its frames as they arrive."""

    def __init__(self, sock):
        self.sock = sock
        self.buffer = b""
        self.upgraded = False
        self.parts = []
        self.opcode = 0

    def send(self, opcode, payload):
        try:
            self.sock.sendall(_frame(opcode, payload))
        except OSError:
            pass  # the page has gone; its end is read next

    def take(self, data):
        """The whole messages in data and what came before it, as (opcode,
        payload); None when the page must be let go."""
        self.buffer += data
        if not self.upgraded:
            end = self.buffer.find(b"\r\n\r\n")
            if end < 0:
                return [] if len(self.buffer) < _MAX_HANDSHAKE else None
            head, self.buffer = self.buffer[:end].decode("latin-1"), self.buffer[end + 4:]
            key = next((line.split(":", 1)[1].strip() for line in head.split("\r\n")
                        if line.lower().startswith("sec-websocket-key:")), None)
            if key is None:
                return None
            accept = base64.b64encode(hashlib.sha1(key.encode() + _GUID).digest())
            try:
                self.sock.sendall(b"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                                  b"Connection: Upgrade\r\nSec-WebSocket-Accept: " + accept + b"\r\n\r\n")
            except OSError:
                return None
            self.upgraded = True
        messages = []
        while True:
            if len(self.buffer) < 2:
                return messages
            first, second = self.buffer[0], self.buffer[1]
            size, at = second & 0x7F, 2
            if size == 126:
                if len(self.buffer) < 4:
                    return messages
                size, at = struct.unpack_from("!H", self.buffer, 2)[0], 4
            elif size == 127:
                if len(self.buffer) < 10:
                    return messages
                size, at = struct.unpack_from("!Q", self.buffer, 2)[0], 10
            if size > _MAX_MESSAGE:
                return None
            masked = second & 0x80
            if len(self.buffer) < at + (4 if masked else 0) + size:
                return messages
            payload = self.buffer[at + (4 if masked else 0):at + (4 if masked else 0) + size]
            if masked:
                mask = self.buffer[at:at + 4]
                # Whole-number XOR: a block is unmasked at once, not byte by byte.
                whole = int.from_bytes(mask * (size // 4 + 1), "little")
                payload = (int.from_bytes(payload, "little") ^ whole).to_bytes(size + 4, "little")[:size]
            self.buffer = self.buffer[at + (4 if masked else 0) + size:]
            opcode = first & 0x0F
            if opcode == 0x8:
                return None
            if opcode in (0x9, 0xA):
                if opcode == 0x9:
                    self.send(0xA, payload)
                continue
            if opcode != 0:
                self.opcode, self.parts = opcode, []
            self.parts.append(payload)
            if first & 0x80:
                messages.append((self.opcode, b"".join(self.parts)))
                self.parts = []


class _Line:
    def __init__(self, fd, page):
        self.fd = fd
        self.page = page


class SerialRelay:
    def __init__(self, browser):
        self.pty_path = None
        self.busy = False
        self.opens = []
        self.reactions = []
        self._line = None
        self._pages = {}
        self._replied = None
        listener = socket.create_server(("127.0.0.1", 0))
        self._wake_r, self._wake_w = os.pipe()
        self._asked = collections.deque()
        address = "ws://127.0.0.1:%d/" % listener.getsockname()[1]
        # Before serial_standin.js, which the tests add after this.
        browser.call("Page.addScriptToEvaluateOnNewDocument",
                     source="window.velmoroRelayAddress = %s;" % json.dumps(address))
        browser.on("Page.frameNavigated",
                   lambda params: "parentId" in params["frame"] or self._ask(self._close))
        threading.Thread(target=self._run, args=(listener,), daemon=True).start()

    def drop(self):
        """Ends the open port, as a pulled adapter does."""
        self._ask(self._lose)

    def line_error(self, name):
        """A passing line error on the open port (the DOMException's name),
        after the bytes already read from the terminal."""
        self._ask(lambda: self._line and self._line.page.send(
            0x1, json.dumps({"op": "lineError", "name": name}).encode()))

    # From other threads: done by the relay's own thread, in order.
    def _ask(self, work):
        self._asked.append(work)
        os.write(self._wake_w, b"w")

    def _run(self, listener):
        while True:
            waiting = [listener, self._wake_r, *self._pages]
            if self._line is not None:
                waiting.append(self._line.fd)
            readable, _, _ = select.select(waiting, [], [])
            if self._line is not None and self._line.fd in readable:
                self._from_line()
            for sock in readable:
                if sock in self._pages:
                    self._from_page(sock)
            if self._wake_r in readable:
                os.read(self._wake_r, 64)
                while self._asked:
                    self._asked.popleft()()
            if listener in readable:
                sock, _ = listener.accept()
                sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                self._pages[sock] = _Page(sock)

    def _from_line(self):
        line = self._line
        try:
            data = os.read(line.fd, 4096)
        except OSError:
            data = b""
        if not data:
            self._lose()  # a hang-up
            return
        self._replied = time.monotonic()
        line.page.send(0x2, data)

    def _from_page(self, sock):
        page = self._pages[sock]
        try:
            data = sock.recv(65536)
        except OSError:
            data = b""
        messages = page.take(data) if data else None
        for opcode, payload in messages or []:
            if opcode == 0x2:
                self._to_line(page, payload)
            elif opcode == 0x1:
                self._control(page, json.loads(payload))
        if messages is None:
            del self._pages[sock]
            sock.close()
            if self._line is not None and self._line.page is page:
                self._close()

    def _to_line(self, page, payload):
        line = self._line
        if line is None or line.page is not page:
            return
        if self._replied is not None:
            self.reactions.append(time.monotonic() - self._replied)
            self._replied = None
        try:
            os.write(line.fd, payload)
        except OSError:
            pass  # a hang-up, which the next read tells

    def _control(self, page, message):
        if message["op"] == "open":
            self.opens.append(message["options"])
            ok = self._open(page, message["options"])
            page.send(0x1, json.dumps({"op": "answer", "ok": ok}).encode())
        elif message["op"] == "close" and self._line is not None and self._line.page is page:
            self._close()

    def _open(self, page, options):
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
        self._line = _Line(fd, page)
        self._replied = None
        return True

    def _close(self):
        if self._line is not None:
            line, self._line = self._line, None
            os.close(line.fd)

    def _lose(self):
        if self._line is not None:
            page = self._line.page
            self._close()
            page.send(0x1, json.dumps({"op": "lose"}).encode())
