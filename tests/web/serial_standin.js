// A stand-in for navigator.serial, put in the page before its own scripts
// run: the adapters plugged in, whose bytes go over a WebSocket to
// tests/web/serial_relay.py (at window.velmoroRelayAddress, which the relay
// sets) and from there to a pseudo-terminal, binary messages for the line's
// bytes as they come and JSON text for the port's set-up; the relay's
// answer, bytes and loss reach the port that is open. The socket is opened
// as the document starts, before a Content-Security-Policy in the page's
// own markup is read, which would refuse it later. It behaves as Chromium's ports do where the page can tell: open()
// with the line's options, a readable that a fresh stream replaces after
// cancel(), a lost device that errors the reader and fires "disconnect" and
// stays open until close(), a passing line error that errors the reader and
// leaves a fresh readable, a port held elsewhere that fails to open, and
// getInfo() with each adapter's USB identity. Every open's options are kept
// in window.velmoroSerialOpens, and every open and close, with the adapter's
// place in the list, in window.velmoroSerialCalls ("open 1", "close 0").
//
// Kept in the page's localStorage, as the browser keeps its grants: the
// adapters plugged in (velmoroStandInAdapters, [[vendor, product], ...],
// one FTDI adapter unless set) and those the page was granted
// (velmoroStandInGranted). The chooser answers with the adapter at
// window.velmoroStandInChoice (the first unless set).
//
// The page's long timers, of a minute and more, run on a clock the test
// moves: each waits, its delay in velmoroLongTimers(), until
// velmoroRunLongTimers() runs every one as if its time had passed; shorter
// ones run on the browser's own clock.
//
// And a stand-in for navigator.wakeLock: every request, release by the page
// and drop by the browser in window.velmoroWakeCalls ("request", "release",
// "drop"), the locks held in velmoroWakeHeld(); velmoroSetHidden(hidden)
// hides or shows the page as switching tabs does, dropping the locks.
(() => {
    "use strict";
    const lostError = () => new DOMException("The device has been lost.", "NetworkError");
    window.velmoroSerialOpens = [];
    window.velmoroSerialCalls = [];
    window.velmoroStandInChoice = 0;
    const listeners = { connect: [], disconnect: [] };
    let current = null;
    let answer = null;

    // What the page sends before the socket is open waits for it.
    const relay = new WebSocket(window.velmoroRelayAddress);
    relay.binaryType = "arraybuffer";
    const queued = [];
    const send = (message) => {
        if (relay.readyState === WebSocket.OPEN) relay.send(message);
        else queued.push(message);
    };
    relay.onopen = () => { for (const message of queued.splice(0)) relay.send(message); };
    relay.onmessage = (e) => {
        if (typeof e.data !== "string") {
            if (current) current.receive(new Uint8Array(e.data));
            return;
        }
        const message = JSON.parse(e.data);
        if (message.op === "answer" && answer) answer(message.ok);
        else if (message.op === "lose" && current && !current.fatal) current.lose();
        else if (message.op === "lineError" && current && !current.fatal) current.lineError(message.name);
    };

    class StandInPort {
        constructor(index, vendor, product) {
            this.index = index;
            this.info = { usbVendorId: vendor, usbProductId: product };
            this.opened = false;
            this.fatal = false;
            this.stream = null;
            this.controller = null;
            this.writer = null;
        }
        getInfo() { return { ...this.info }; }
        get readable() {
            if (!this.opened || this.fatal) return null;
            if (!this.stream) {
                this.stream = new ReadableStream({
                    start: (controller) => { this.controller = controller; },
                    cancel: () => { this.stream = null; this.controller = null; },
                });
            }
            return this.stream;
        }
        get writable() {
            if (!this.opened || this.fatal) return null;
            if (!this.writer) {
                this.writer = new WritableStream({
                    write: (chunk) => {
                        if (!this.opened || this.fatal) throw lostError();
                        send(chunk);
                    },
                });
            }
            return this.writer;
        }
        open(options) {
            window.velmoroSerialCalls.push("open " + this.index);
            if (this.opened) {
                return Promise.reject(new DOMException("The port is already open.", "InvalidStateError"));
            }
            window.velmoroSerialOpens.push(options);
            return new Promise((resolve, reject) => {
                answer = (ok) => {
                    answer = null;
                    if (!ok) {
                        reject(new DOMException("Failed to open serial port.", "NetworkError"));
                        return;
                    }
                    this.opened = true;
                    this.fatal = false;
                    current = this;
                    resolve();
                };
                send(JSON.stringify({ op: "open", options }));
            });
        }
        receive(bytes) {
            if (this.controller) this.controller.enqueue(bytes);
        }
        lose() {
            this.fatal = true;
            if (this.controller) this.controller.error(lostError());
            this.stream = null;
            this.controller = null;
            this.writer = null;
            for (const listener of listeners.disconnect) listener({ type: "disconnect", target: this });
        }
        // A passing line error (BreakError, FramingError, ParityError,
        // BufferOverrunError): the reader fails with it, and the port stays
        // open with a fresh stream for the next reader.
        lineError(name) {
            if (this.controller) this.controller.error(new DOMException("A line error: " + name, name));
            this.stream = null;
            this.controller = null;
        }
        close() {
            window.velmoroSerialCalls.push("close " + this.index);
            if ((this.stream && this.stream.locked) || (this.writer && this.writer.locked)) {
                return Promise.reject(new DOMException("Cannot cancel a locked stream", "InvalidStateError"));
            }
            const wasOpen = this.opened;
            this.opened = false;
            this.stream = null;
            this.controller = null;
            this.writer = null;
            if (current === this) current = null;
            if (wasOpen) send(JSON.stringify({ op: "close" }));
            return Promise.resolve();
        }
    }

    const stored = (key, fallback) => JSON.parse(localStorage.getItem(key) || "null") || fallback;
    const ports = stored("velmoroStandInAdapters", [[0x0403, 0x6001]])
        .map(([vendor, product], i) => new StandInPort(i, vendor, product));
    // The adapter of this index plugged in again.
    window.velmoroSerialConnect = (index) => {
        for (const listener of listeners.connect) listener({ type: "connect", target: ports[index] });
    };
    // The adapter of this index pulled out: the open one is lost, any
    // other only tells the page.
    window.velmoroSerialDisconnect = (index) => {
        if (ports[index] === current) current.lose();
        else for (const listener of listeners.disconnect) listener({ type: "disconnect", target: ports[index] });
    };
    const serial = {
        requestPort() {
            const port = ports[window.velmoroStandInChoice];
            if (!port) {
                return Promise.reject(new DOMException("No port selected by the user.", "NotFoundError"));
            }
            const granted = stored("velmoroStandInGranted", []);
            if (!granted.includes(port.index)) {
                localStorage.setItem("velmoroStandInGranted", JSON.stringify([...granted, port.index]));
            }
            return Promise.resolve(port);
        },
        getPorts() {
            const granted = stored("velmoroStandInGranted", []);
            return Promise.resolve(ports.filter((port) => granted.includes(port.index)));
        },
        addEventListener(type, listener) { if (listeners[type]) listeners[type].push(listener); },
        removeEventListener() {},
    };
    Object.defineProperty(Navigator.prototype, "serial", { get: () => serial, configurable: true });

    const longTimers = new Map();
    let nextLongTimer = -1;
    const browserSetTimeout = window.setTimeout.bind(window);
    const browserClearTimeout = window.clearTimeout.bind(window);
    window.setTimeout = (handler, delay, ...rest) => {
        if (!(delay >= 60000)) return browserSetTimeout(handler, delay, ...rest);
        const id = nextLongTimer--;
        longTimers.set(id, { delay, run: () => handler(...rest) });
        return id;
    };
    window.clearTimeout = (id) => { if (!longTimers.delete(id)) browserClearTimeout(id); };
    window.velmoroLongTimers = () => [...longTimers.values()].map((timer) => timer.delay);
    window.velmoroRunLongTimers = () => {
        const due = [...longTimers.values()];
        longTimers.clear();
        for (const timer of due) timer.run();
    };

    window.velmoroWakeCalls = [];
    let hidden = false;
    const held = new Set();
    class StandInSentinel extends EventTarget {
        constructor() {
            super();
            this.type = "screen";
            this.released = false;
        }
        end(call) {
            if (this.released) return;
            this.released = true;
            held.delete(this);
            window.velmoroWakeCalls.push(call);
            this.dispatchEvent(new Event("release"));
        }
        release() {
            this.end("release");
            return Promise.resolve();
        }
    }
    const wakeLock = {
        request(type) {
            if (type !== "screen" || hidden) {
                return Promise.reject(new DOMException("The page is not visible.", "NotAllowedError"));
            }
            window.velmoroWakeCalls.push("request");
            const sentinel = new StandInSentinel();
            held.add(sentinel);
            return Promise.resolve(sentinel);
        },
    };
    Object.defineProperty(Navigator.prototype, "wakeLock", { get: () => wakeLock, configurable: true });
    window.velmoroWakeHeld = () => held.size;
    Object.defineProperty(Document.prototype, "visibilityState", {
        get: () => (hidden ? "hidden" : "visible"), configurable: true,
    });
    Object.defineProperty(Document.prototype, "hidden", { get: () => hidden, configurable: true });
    window.velmoroSetHidden = (hide) => {
        hidden = hide;
        if (hide) for (const sentinel of [...held]) sentinel.end("drop");
        document.dispatchEvent(new Event("visibilitychange"));
    };
})();
