"""The far end of tests/web/serial_standin.js: a WebSocket server (standard
library only) that opens a pseudo-terminal with the line settings the page
asked for and carries bytes both ways. One connection at a time: a second
one is refused as a port already in use. drop() cuts the connection as a
pulled adapter would; a hang-up of the terminal does the same."""

import base64
import hashlib
import json
import os
import select
import socket
import struct
import termios
import threading
import urllib.parse

_GUID = b"258EAFA5-E9A4-47DA-95CA-C5AB0DC85B11"
_BAUD = {115200: termios.B115200, 9600: termios.B9600}


def _frame(opcode, payload):
    header = bytes([0x80 | opcode])
    n = len(payload)
    if n < 126:
        header += bytes([n])
    elif n < 65536:
        header += bytes([126]) + struct.pack(">H", n)
    else:
        header += bytes([127]) + struct.pack(">Q", n)
    return header + payload


class _Frames:
    """Client frames (always masked) out of a byte stream."""

    def __init__(self):
        self.buffer = b""

    def feed(self, data):
        self.buffer += data
        frames = []
        while len(self.buffer) >= 2:
            opcode = self.buffer[0] & 0x0F
            n = self.buffer[1] & 0x7F
            at = 2
            if n == 126:
                if len(self.buffer) < 4:
                    break
                n = struct.unpack(">H", self.buffer[2:4])[0]
                at = 4
            elif n == 127:
                if len(self.buffer) < 10:
                    break
                n = struct.unpack(">Q", self.buffer[2:10])[0]
                at = 10
            if len(self.buffer) < at + 4 + n:
                break
            mask = self.buffer[at:at + 4]
            payload = bytes(b ^ mask[i % 4] for i, b in enumerate(self.buffer[at + 4:at + 4 + n]))
            self.buffer = self.buffer[at + 4 + n:]
            frames.append((opcode, payload))
        return frames


def _configure(fd, options):
    attrs = termios.tcgetattr(fd)
    iflag, oflag, cflag, lflag = 0, 0, termios.CREAD | termios.CLOCAL, 0
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
    termios.tcsetattr(fd, termios.TCSANOW, [iflag, oflag, cflag, lflag, speed, speed, cc])


class SerialRelay:
    def __init__(self, pty_path):
        self.pty_path = pty_path
        self.opens = []
        self.busy = False  # another program holds the port
        self._active = None
        self._wake_r, self._wake_w = os.pipe()
        self._server = socket.create_server(("127.0.0.1", 0))
        self.port = self._server.getsockname()[1]
        self.url = "ws://127.0.0.1:%d" % self.port
        threading.Thread(target=self._serve, daemon=True).start()

    def drop(self):
        """Cuts the open connection, as a pulled adapter does."""
        os.write(self._wake_w, b"x")

    def close(self):
        self._server.close()

    def _serve(self):
        while True:
            try:
                conn, _ = self._server.accept()
            except OSError:
                return
            threading.Thread(target=self._connection, args=(conn,), daemon=True).start()

    def _connection(self, conn):
        request = b""
        while b"\r\n\r\n" not in request:
            chunk = conn.recv(4096)
            if not chunk:
                conn.close()
                return
            request += chunk
        head, rest = request.split(b"\r\n\r\n", 1)
        lines = head.decode("latin-1").split("\r\n")
        target = lines[0].split(" ")[1]
        headers = dict(line.split(": ", 1) for line in lines[1:] if ": " in line)
        accept = base64.b64encode(hashlib.sha1(headers["Sec-WebSocket-Key"].encode() + _GUID).digest())
        conn.sendall(b"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                     b"Connection: Upgrade\r\nSec-WebSocket-Accept: " + accept + b"\r\n\r\n")
        options = json.loads(urllib.parse.unquote(urllib.parse.urlsplit(target).query) or "{}")
        self.opens.append(options)
        if self.busy or self._active is not None:
            conn.sendall(_frame(1, b"busy") + _frame(8, b""))
            conn.close()
            return
        try:
            fd = os.open(self.pty_path, os.O_RDWR | os.O_NOCTTY)
            _configure(fd, options)
        except OSError:
            conn.sendall(_frame(1, b"busy") + _frame(8, b""))
            conn.close()
            return
        self._active = conn
        os.read(self._wake_r, 4096) if select.select([self._wake_r], [], [], 0)[0] else None
        conn.sendall(_frame(1, b"ok"))
        frames = _Frames()
        try:
            self._relay(conn, fd, frames, rest)
        finally:
            os.close(fd)
            conn.close()
            self._active = None

    def _relay(self, conn, fd, frames, pending):
        data = pending
        while True:
            for opcode, payload in frames.feed(data):
                if opcode == 8:
                    return
                if opcode in (1, 2):
                    os.write(fd, payload)
            readable, _, _ = select.select([conn, fd, self._wake_r], [], [])
            data = b""
            if self._wake_r in readable:
                os.read(self._wake_r, 4096)
                conn.shutdown(socket.SHUT_RDWR)
                return
            if fd in readable:
                try:
                    received = os.read(fd, 4096)
                except OSError:
                    received = b""
                if not received:
                    return
                conn.sendall(_frame(2, received))
            if conn in readable:
                data = conn.recv(65536)
                if not data:
                    return
