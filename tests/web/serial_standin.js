// A stand-in for navigator.serial, put in the page before its own scripts
// run: one port, whose bytes go through the DevTools binding
// velmoroSerialSend to tests/web/serial_relay.py and from there to a
// pseudo-terminal; the relay answers by calling velmoroSerialAnswer,
// velmoroSerialReceive and velmoroSerialLose. It behaves as Chromium's
// ports do where the page can tell: open() with the line's options, a
// readable that a fresh stream replaces after cancel(), a lost device that
// errors the reader and fires "disconnect", and a port held elsewhere that
// fails to open. Every open's options are kept in window.velmoroSerialOpens.
(() => {
    "use strict";
    const lostError = () => new DOMException("The device has been lost.", "NetworkError");
    window.velmoroSerialOpens = [];
    const listeners = { connect: [], disconnect: [] };

    class StandInPort {
        constructor() {
            this.opened = false;
            this.fatal = false;
            this.stream = null;
            this.controller = null;
            this.writer = null;
        }
        getInfo() { return { usbVendorId: 0x0403, usbProductId: 0x6001 }; }
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
                        let text = "";
                        for (const byte of chunk) text += String.fromCharCode(byte);
                        velmoroSerialSend(JSON.stringify({ op: "write", data: btoa(text) }));
                    },
                });
            }
            return this.writer;
        }
        open(options) {
            if (this.opened) {
                return Promise.reject(new DOMException("The port is already open.", "InvalidStateError"));
            }
            window.velmoroSerialOpens.push(options);
            return new Promise((resolve, reject) => {
                window.velmoroSerialAnswer = (ok) => {
                    if (!ok) {
                        reject(new DOMException("Failed to open serial port.", "NetworkError"));
                        return;
                    }
                    this.opened = true;
                    this.fatal = false;
                    resolve();
                };
                velmoroSerialSend(JSON.stringify({ op: "open", options }));
            });
        }
        receive(data) {
            const text = atob(data);
            const bytes = new Uint8Array(text.length);
            for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
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
        close() {
            if ((this.stream && this.stream.locked) || (this.writer && this.writer.locked)) {
                return Promise.reject(new DOMException("Cannot cancel a locked stream", "InvalidStateError"));
            }
            const wasOpen = this.opened;
            this.opened = false;
            this.stream = null;
            this.controller = null;
            this.writer = null;
            if (wasOpen) velmoroSerialSend(JSON.stringify({ op: "close" }));
            return Promise.resolve();
        }
    }

    const port = new StandInPort();
    window.velmoroSerialReceive = (data) => port.receive(data);
    window.velmoroSerialLose = () => { if (port.opened && !port.fatal) port.lose(); };
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
