// A stand-in for navigator.serial, put in the page before its own scripts
// run: one port, which carries its bytes over a WebSocket to
// tests/web/serial_relay.py and from there to a pseudo-terminal. It behaves
// as Chromium's ports do where the page can tell: open() with the line's
// options, a readable that a fresh stream replaces after cancel(), a lost
// device that errors the reader and fires "disconnect", and a port held
// elsewhere that fails to open. Every open's options are kept in
// window.velmoroSerialOpens. window.velmoroRelay is the relay's address.
(() => {
    "use strict";
    const lostError = () => new DOMException("The device has been lost.", "NetworkError");
    window.velmoroSerialOpens = [];
    const listeners = { connect: [], disconnect: [] };

    class StandInPort {
        constructor() {
            this.socket = null;
            this.fatal = false;
            this.stream = null;
            this.controller = null;
            this.writer = null;
        }
        getInfo() { return { usbVendorId: 0x0403, usbProductId: 0x6001 }; }
        get readable() {
            if (!this.socket || this.fatal) return null;
            if (!this.stream) {
                this.stream = new ReadableStream({
                    start: (controller) => { this.controller = controller; },
                    cancel: () => { this.stream = null; this.controller = null; },
                });
            }
            return this.stream;
        }
        get writable() {
            if (!this.socket || this.fatal) return null;
            if (!this.writer) {
                const socket = this.socket;
                this.writer = new WritableStream({
                    write: (chunk) => {
                        if (socket.readyState !== WebSocket.OPEN) throw lostError();
                        socket.send(chunk);
                    },
                });
            }
            return this.writer;
        }
        open(options) {
            if (this.socket) {
                return Promise.reject(new DOMException("The port is already open.", "InvalidStateError"));
            }
            window.velmoroSerialOpens.push(options);
            return new Promise((resolve, reject) => {
                const socket = new WebSocket(window.velmoroRelay + "/?" + encodeURIComponent(JSON.stringify(options)));
                socket.binaryType = "arraybuffer";
                let opened = false;
                socket.onmessage = (e) => {
                    if (!opened) {
                        if (e.data === "ok") {
                            opened = true;
                            this.socket = socket;
                            this.fatal = false;
                            resolve();
                        } else {
                            socket.close();
                            reject(new DOMException("Failed to open serial port.", "NetworkError"));
                        }
                        return;
                    }
                    if (this.controller) this.controller.enqueue(new Uint8Array(e.data));
                };
                socket.onclose = () => {
                    if (!opened) {
                        reject(new DOMException("Failed to open serial port.", "NetworkError"));
                    } else if (this.socket === socket) {
                        this.lose();
                    }
                };
            });
        }
        lose() {
            this.fatal = true;
            if (this.controller) this.controller.error(lostError());
            this.stream = null;
            this.controller = null;
            this.writer = null;
            for (const listener of listeners.disconnect) listener({ type: "disconnect", target: this });
        }
        close() {
            if ((this.stream && this.stream.locked) || (this.writer && this.writer.locked)) {
                return Promise.reject(new DOMException("Cannot cancel a locked stream", "InvalidStateError"));
            }
            const socket = this.socket;
            this.socket = null;
            this.stream = null;
            this.controller = null;
            this.writer = null;
            if (socket) socket.close();
            return Promise.resolve();
        }
    }

    const port = new StandInPort();
    const serial = {
        requestPort() {
            localStorage.setItem("velmoroStandInGranted", "1");
            return Promise.resolve(port);
        },
        getPorts() {
            return Promise.resolve(localStorage.getItem("velmoroStandInGranted") ? [port] : []);
        },
        addEventListener(type, listener) { if (listeners[type]) listeners[type].push(listener); },
        removeEventListener() {},
    };
    Object.defineProperty(Navigator.prototype, "serial", { get: () => serial, configurable: true });
})();
