// The page bench's far end inside the page: put in after the controller's
// module (velmoro-bench-controller.js) and before tests/web/serial_standin.js,
// it answers the stand-in's socket to the relay with the simulated
// controller itself, so that the page's bytes reach the controller and its
// replies reach the page in the page's own thread.
//
// A reply is handed over when it is due on the page's clock and not before.
// The browser's timers count whole milliseconds, and one set from the fifth
// nested timer on waits at least 4 ms: so the waiting is done only in
// messages of a MessageChannel (tasks that are no timers, so every timer
// set from one is the first of its chain), a timer brings it to a
// millisecond or two before the moment, and messages wait out the rest.
// Every reply is handed over from such a message, all that is due at once.
// The moments are fixed when the command is taken, so a late hand-over
// shortens the next wait: lateness never adds up. The page's clock counts
// tenths of a millisecond here (a page from a file is not cross-origin
// isolated), with a jitter that leaves no bias over many replies.
//
// window.velmoroInPage: summary() (the figures and the model's findings,
// as text) and flash() (the internal flash, as a binary string).
(() => {
    "use strict";
    const moduleReady = VelmoroBenchController();
    const RealWebSocket = window.WebSocket;
    const inputCapacity = 64 * 1024;
    const outputCapacity = 4096;
    // A timer fires a fraction of a millisecond after its time when the
    // machine is quiet: it is set this many milliseconds early, and
    // messages wait out the rest.
    const timerMargin = 1;

    class InPageLine {
        constructor() {
            this.readyState = 0;
            this.binaryType = "blob";
            this.onopen = null;
            this.onmessage = null;
            this.timer = null;
            this.timerDue = Infinity;
            this.waiting = false;
            this.channel = new MessageChannel();
            this.channel.port1.onmessage = () => {
                this.waiting = false;
                this.handOver();
            };
            moduleReady.then((module) => {
                this.module = module;
                this.input = module._malloc(inputCapacity);
                this.output = module._malloc(outputCapacity);
                this.readyState = 1;
                if (this.onopen) this.onopen();
            });
        }
        send(message) {
            if (typeof message === "string") {
                // The port's set-up: the in-page line opens as asked.
                if (JSON.parse(message).op === "open") {
                    queueMicrotask(() => this.deliver(JSON.stringify({ op: "answer", ok: true })));
                }
                return;
            }
            const readAt = performance.now();
            const bytes = message instanceof ArrayBuffer ? new Uint8Array(message)
                : new Uint8Array(message.buffer, message.byteOffset, message.byteLength);
            for (let at = 0; at < bytes.length; at += inputCapacity) {
                const part = bytes.subarray(at, at + inputCapacity);
                this.module.HEAPU8.set(part, this.input);
                this.module._velmoro_bench_receive(this.input, part.length, readAt);
            }
            this.wake();
        }
        deliver(data) {
            if (this.onmessage) this.onmessage({ data });
        }
        handOver() {
            const count = this.module._velmoro_bench_take(performance.now(), this.output, outputCapacity);
            if (count > 0) {
                this.deliver(this.module.HEAPU8.slice(this.output, this.output + count).buffer);
            }
            this.arm();
        }
        // The next look at the clock, in a message of its own.
        wake() {
            if (this.waiting) return;
            this.waiting = true;
            this.channel.port2.postMessage(null);
        }
        arm() {
            const due = this.module._velmoro_bench_next_due();
            if (due < 0) return;
            const wait = due - performance.now();
            if (wait < timerMargin + 1) {
                this.wake();
                return;
            }
            if (this.timer !== null && this.timerDue <= due) return;
            clearTimeout(this.timer);
            this.timerDue = due;
            this.timer = setTimeout(() => {
                this.timer = null;
                this.timerDue = Infinity;
                this.wake();
            }, Math.floor(wait) - timerMargin);
        }
    }

    let line = null;
    window.WebSocket = function WebSocket(address, protocols) {
        if (address !== window.velmoroRelayAddress) return new RealWebSocket(address, protocols);
        line = new InPageLine();
        return line;
    };
    window.WebSocket.OPEN = RealWebSocket.OPEN;

    window.velmoroInPage = {
        summary: () => line.module.UTF8ToString(line.module._velmoro_bench_summary()),
        flash() {
            const start = line.module._velmoro_bench_flash();
            const bytes = line.module.HEAPU8.subarray(start, start + line.module._velmoro_bench_flash_size());
            let text = "";
            for (let at = 0; at < bytes.length; at += 8192) {
                text += String.fromCharCode.apply(null, bytes.subarray(at, at + 8192));
            }
            return text;
        },
    };
})();
