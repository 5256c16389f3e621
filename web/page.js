// The main window in a browser: the layout of dialogs.json, the controls the
// engine's window face reaches, and its port face over Web Serial. The
// engine (velmoro.js) decides everything; this page only carries out what
// it asks, from the browser's event loop: clicks, a 100 ms timer, the port's
// reader and writer. Nothing here waits in a loop.
"use strict";

const kLine = { baudRate: 115200, dataBits: 8, parity: "none", stopBits: 1, flowControl: "none" };
const kCommEventReceive = 2;
const kCommEventPortLost = 1100;
// Bytes kept while the engine takes none (no transfer runs).
const kMaxInputBytes = 65536;
const kNoWebSerial =
    "This browser cannot open serial ports: it has no Web Serial. To load the hand controller, " +
    "open this page in a browser that has it, such as Chrome, Edge or another Chromium browser (from a local file, " +
    "http://localhost or an https: address), or use the desktop program. The object " +
    "catalogue check below works here too.";
const kStateSelected = 0x01, kStateDisabled = 0x04, kStateFocus = 0x10;
// The USB identity of the adapter the user chose last, kept with the page.
const kChosenPortKey = "velmoroChosenPort";

// The dialogs' ids by name, made from dialogs.json as the desktop programs'
// are (dialogs.js).
const {
    IDD_DOWNLOADER_DIALOG, IDC_PORT_LIST, IDC_MAIN_PROGRAM, IDC_OBJECT_CATALOG, IDC_OPEN,
    IDC_START_STOP, IDC_FILE_PATH, IDC_LOG, IDC_PROGRESS, IDC_HELP_BUTTON, IDC_HOME_BUTTON,
    IDI_HELP, IDI_HOME,
} = velmoroIds;
// The message boxes' marks, the project's own pictures where the desktop
// programs show the system's: a failure's, and a question's, which is the
// Help button's icon.
const kStopMark = "icons/mark-stop-32.png";
const kQuestionMark = `icons/icon${IDI_HELP}-32.png`;
const dialog = velmoroDialogs.dialogs.find((d) => d.id === IDD_DOWNLOADER_DIALOG);
const controls = new Map(dialog.controls.filter((c) => c.id > 0).map((c) => [c.id, c]));
const client = document.getElementById("client");
const notice = document.getElementById("notice");
const font = `${Math.round(dialog.fontPoints * 4 / 3)}px Tahoma, "DejaVu Sans", Verdana, sans-serif`;

// Text for the canvases: mnemonics, lines, sizes.
const measure = document.createElement("canvas").getContext("2d");
function lineHeight(g) {
    const m = g.measureText("Hg");
    return Math.ceil(m.fontBoundingBoxAscent + m.fontBoundingBoxDescent);
}
// '&' marks the next character, "&&" is one '&'.
function mnemonic(raw) {
    let text = "", underline = -1;
    for (let i = 0; i < raw.length; ++i) {
        if (raw[i] === "&") {
            if (raw[i + 1] === "&") { text += "&"; ++i; continue; }
            if (i + 1 < raw.length) underline = text.length;
            continue;
        }
        text += raw[i];
    }
    return { text, underline };
}
function layOut(g, raw, width, wrap) {
    const whole = mnemonic(raw);
    if (!wrap) return [whole];
    const lines = [];
    let start = 0, line = "";
    for (const word of whole.text.split(/(?<= )/)) {
        if (line !== "" && g.measureText(line + word).width > width) {
            lines.push({ text: line, start });
            start += line.length;
            line = word;
        } else {
            line += word;
        }
    }
    lines.push({ text: line, start });
    return lines.map((l) => ({ text: l.text, underline: whole.underline - l.start < l.text.length ? whole.underline - l.start : -1 }));
}
function drawLine(g, line, x, y, height) {
    g.save();
    g.textBaseline = "alphabetic";
    const ascent = Math.ceil(g.measureText("Hg").fontBoundingBoxAscent);
    g.fillText(line.text, x, y + ascent);
    if (line.underline >= 0) {
        const before = g.measureText(line.text.slice(0, line.underline)).width;
        const width = g.measureText(line.text[line.underline]).width;
        g.fillRect(Math.round(x + before), y + Math.min(ascent + 1, height - 1), Math.max(1, Math.round(width)), 1);
    }
    g.restore();
}

// Dialog units to pixels, from the dialog font as the desktop programs
// reckon them: the Latin letters' average width and the line height.
measure.font = font;
const baseX = Math.max(1, Math.floor((Math.round(measure.measureText("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz").width) / 26 + 1) / 2));
const baseY = Math.max(1, lineHeight(measure));
const px = (v, base, units) => Math.round(v * base / units);
function place(element, rect) {
    element.style.left = px(rect[0], baseX, 4) + "px";
    element.style.top = px(rect[1], baseY, 8) + "px";
    element.style.width = px(rect[2], baseX, 4) + "px";
    element.style.height = px(rect[3], baseY, 8) + "px";
    client.appendChild(element);
    return element;
}
client.style.width = px(dialog.size[0], baseX, 4) + "px";
client.style.height = px(dialog.size[1], baseY, 8) + "px";

const page = {
    port: null,
    // The port this page opened and has not closed yet: a lost one too,
    // which the browser holds open until it is closed.
    held: null,
    closed: Promise.resolve(),
    open: false,
    closing: false,
    reader: null,
    writer: null,
    readDone: null,
    input: [],
    inputBytes: 0,
    commEvent: 0,
    text: "",
    timer: null,
    inEngine: false,
    pendingComm: false,
    log: "",
    file: null,
    caption: "Start Download(&D)",
    openEnabled: true,
    ready: false,
    buttons: new Map(),
    openOptions: [],
    nextPort: null,
    progressPending: false,
    chosenIdentity: null,
    screenOn: false,
    wakeLock: null,
    wakeRequest: null,
    awakeTimer: null,
    chooserCancelled: false,

    // The port face.
    async preparePort() {
        this.chooserCancelled = false;
        try {
            if (!navigator.serial) throw new Error(kNoWebSerial);
            if (!this.port) {
                let port;
                try {
                    port = await navigator.serial.requestPort();
                } catch (e) {
                    this.chooserCancelled = e.name === "NotFoundError";
                    if (this.chooserCancelled) adviseWhenNoPort();
                    throw e;
                }
                this.choosePort(port);
            }
            await this.closePort();
            if (this.nextPort) {
                this.choosePort(this.nextPort);
                this.nextPort = null;
            }
            await new Promise((resolve) => setTimeout(resolve, 500));
            await this.port.open(kLine);
            this.held = this.port;
            this.openOptions.push(kLine);
            this.open = true;
            this.input = [];
            this.inputBytes = 0;
            this.commEvent = 0;
            this.writer = this.port.writable.getWriter();
            this.readDone = this.readLoop(this.port);
            return 1;
        } catch (e) {
            this.text = (e && e.message) || String(e);
            return 0;
        }
    },
    // Settles when the held port is closed, or one already closing is.
    closePort() {
        const port = this.held;
        if (port) {
            this.held = null;
            this.closed = this.release(port);
        }
        return this.closed;
    },
    async release(port) {
        this.open = false;
        this.closing = true;
        try { if (this.reader) await this.reader.cancel(); } catch (e) { /* already gone */ }
        try { await this.readDone; } catch (e) { /* ended */ }
        try { if (this.writer) this.writer.releaseLock(); } catch (e) { /* already released */ }
        this.writer = null;
        this.readDone = null;
        try { await port.close(); } catch (e) { /* nothing more to close */ }
        this.closing = false;
    },
    // A line error hands over a fresh stream; a device that is gone ends
    // it for good.
    async readLoop(port) {
        let failure = null;
        while (port.readable) {
            const reader = port.readable.getReader();
            this.reader = reader;
            try {
                for (;;) {
                    const { value, done } = await reader.read();
                    if (done) break;
                    if (value && value.length) this.received(value);
                }
            } catch (e) {
                // a line error or the end of the device: the loop decides
                failure = e;
            } finally {
                reader.releaseLock();
                this.reader = null;
            }
            if (this.closing) return;
        }
        if (!this.closing) this.lost(failure && failure.message);
    },
    received(bytes) {
        this.input.push(bytes);
        this.inputBytes += bytes.length;
        while (this.inputBytes > kMaxInputBytes) this.inputBytes -= this.input.shift().length;
        this.commEvent = kCommEventReceive;
        this.fireComm();
    },
    // reason: the browser's own words, told to the user after the error line.
    lost(reason) {
        if (!this.open) return;
        this.open = false;
        this.lossReason = reason || "";
        this.commEvent = kCommEventPortLost;
        this.fireComm();
    },
    fireComm() {
        if (this.inEngine) { this.pendingComm = true; return; }
        Module._velmoro_comm_event();
    },
    portOpen() { return this.open; },
    write(bytes) {
        if (!this.open || !this.writer) return;
        this.writer.write(bytes).catch((e) => this.lost(e && e.message));
    },
    inputLength() { return this.inputBytes; },
    takeInput() {
        const all = new Uint8Array(this.inputBytes);
        let at = 0;
        for (const chunk of this.input) { all.set(chunk, at); at += chunk.length; }
        this.input = [];
        this.inputBytes = 0;
        return all;
    },

    // The window face.
    // Only the new lines are added to the log's box, so that a screen reader
    // says just those.
    clearLog() { this.log = ""; logBox.textContent = ""; },
    appendLog(text) {
        this.log += text;
        logBox.append(text.replace(/\r/g, ""));
        logBox.scrollTop = logBox.scrollHeight;
    },
    setStartStopCaption(caption) { this.caption = caption; paintButton(IDC_START_STOP); },
    // The Open button is disabled exactly while a transfer runs.
    enableOpen(enable) {
        this.openEnabled = enable;
        paintButton(IDC_OPEN);
    },
    // A screen that goes dark can put the machine to sleep mid-transfer and
    // leave the controller half-written: the screen stays on while the
    // engine's keep-awake rule says so (keep_awake.h: while a transfer runs,
    // but not through a long silence of the controller), where the browser
    // allows it. The browser drops the lock when the page is hidden; it is
    // taken again when the page is shown.
    keepScreenOn(on) {
        this.screenOn = on;
        this.keepAwake();
    },
    startKeepAwakeTimer(periodMs) {
        this.stopKeepAwakeTimer();
        this.awakeTimer = setTimeout(() => {
            this.awakeTimer = null;
            Module._velmoro_keep_awake_silence();
        }, periodMs);
    },
    stopKeepAwakeTimer() {
        if (this.awakeTimer !== null) clearTimeout(this.awakeTimer);
        this.awakeTimer = null;
    },
    keepAwake() {
        if (!navigator.wakeLock) return;
        if (!this.screenOn) {
            const lock = this.wakeLock;
            this.wakeLock = null;
            if (lock) lock.release().catch(() => { /* already dropped */ });
            return;
        }
        if (this.wakeLock || this.wakeRequest || document.visibilityState !== "visible") return;
        this.wakeRequest = navigator.wakeLock.request("screen").then((lock) => {
            this.wakeRequest = null;
            if (!this.screenOn) {
                lock.release().catch(() => { /* already dropped */ });
                return;
            }
            this.wakeLock = lock;
            lock.addEventListener("release", () => { if (this.wakeLock === lock) this.wakeLock = null; });
        }, () => {
            // refused (a hidden page, the battery saver): the transfer goes on
            this.wakeRequest = null;
        });
    },
    startTimer(periodMs) {
        this.stopTimer();
        this.timer = setInterval(() => { if (!this.inEngine) Module._velmoro_beacon_timer(); }, periodMs);
    },
    stopTimer() {
        if (this.timer !== null) clearInterval(this.timer);
        this.timer = null;
    },
    // Painted with the next frame: a reply is answered before the bar is
    // drawn, and many steps between two frames make one painting.
    repaintProgress() {
        if (this.progressPending) return;
        this.progressPending = true;
        requestAnimationFrame(() => { this.progressPending = false; paintProgress(); });
    },
    // A chooser closed with nothing chosen is the user's own choice, no
    // failure: no box (adviseWhenNoPort says what to do when there was
    // nothing to choose).
    reportPortFailure(text) {
        if (this.chooserCancelled) return;
        messageBox(text, kStopMark, [["OK", 1]]);
    },
    ask(question) { return messageBox(question, kQuestionMark, [["&Yes", 1], ["&No", 0]]); },
    // What a report says of the browser and the port: "Name: value" lines.
    reportFacts() {
        const info = this.port && this.port.getInfo ? this.port.getInfo() : {};
        const hex = (n) => n.toString(16).padStart(4, "0");
        let facts = `System: ${navigator.userAgent}\nPort: ${this.port ? portButton.textContent : "none chosen"}\n`;
        if (info.usbVendorId !== undefined) facts += `USB ids: ${hex(info.usbVendorId)}:${hex(info.usbProductId || 0)}\n`;
        return facts;
    },
    // The report of the transfer that just ended, offered as a download.
    setReport(text) {
        const link = document.getElementById("reportLink");
        if (link.href.startsWith("blob:")) URL.revokeObjectURL(link.href);
        link.href = URL.createObjectURL(new Blob([text], { type: "text/plain" }));
        const stamp = new Date().toISOString().replace(/[-:]/g, "").replace("T", "-").slice(0, 15);
        link.download = `velmoro-report-${stamp}.txt`;
        this.lastReport = text;
        document.getElementById("reportLine").hidden = false;
    },

    choosePort(port) {
        this.port = port;
        if (notice.dataset.kind === "noPort") notice.hidden = true;
        showPort(port);
        this.chosenIdentity = portIdentity(port);
        try { localStorage.setItem(kChosenPortKey, this.chosenIdentity); } catch (e) { /* kept for this visit */ }
    },
};

// The port box names the adapter as the desktop programs' lists do, from
// the same table of USB-serial chips; its ids stay in the box's tip.
function showPort(port) {
    const info = port.getInfo ? port.getInfo() : {};
    const hex = (n) => n.toString(16).padStart(4, "0");
    if (info.usbVendorId === undefined) {
        portButton.textContent = "Serial port";
        portButton.title = "Choose the serial port";
        return;
    }
    const ids = `USB ${hex(info.usbVendorId)}:${hex(info.usbProductId || 0)}`;
    // Called straight: while Start waits for the browser, a ccall returns a
    // promise, and Start is where a port is first chosen.
    const name = page.ready
        ? Module.UTF8ToString(Module._velmoro_usb_serial_name(info.usbVendorId,
                                                              info.usbProductId || 0)) : "";
    portButton.textContent = name || ids;
    portButton.title = name ? ids : "Choose the serial port";
}
// An adapter plugged in that the page may use already becomes its port, as
// the desktop programs choose it in their lists, unless a transfer runs or
// a Start is under way (the chooser, the question): the port that Start
// opened is the one the transfer and its report go by, and an adapter
// plugged in meanwhile is not taken afterwards either. An open port stays
// as it is until the next Start.
function takeConnectedPort(port) {
    if (!port || page.inEngine || (page.ready && Module._velmoro_busy())) return;
    if (page.open) {
        page.nextPort = port !== page.port ? port : null;
        showPort(port);
        return;
    }
    page.nextPort = null;
    if (port === page.port) return;
    page.choosePort(port);
    page.closePort();
}

function portIdentity(port) {
    const info = port.getInfo ? port.getInfo() : {};
    return `${info.usbVendorId ?? ""}:${info.usbProductId ?? ""}`;
}
// Of the ports the browser has granted this page, the one chosen last
// time, told by its USB identity. None when it is not there or cannot be
// told apart from another: Start then asks.
function rememberedPort(ports) {
    let chosen = page.chosenIdentity;
    try { chosen = localStorage.getItem(kChosenPortKey) ?? chosen; } catch (e) { /* this visit's only */ }
    if (chosen === null) return ports.length === 1 ? ports[0] : null;
    const same = ports.filter((port) => portIdentity(port) === chosen);
    return same.length === 1 ? same[0] : null;
}
function takeRememberedPort() {
    navigator.serial.getPorts().then((ports) => {
        const port = rememberedPort(ports);
        if (port && !page.port) page.choosePort(port);
    });
}
// What the canvas player (draw_list_player.cpp) asks of the page.
var Module = {
    velmoroPage: page,
    velmoroFont: () => font,
    velmoroMeasureContext: () => measure,
    velmoroLayOut: layOut,
    velmoroLineHeight: lineHeight,
    velmoroDrawLine: drawLine,
    print: (line) => checkOut(line),
    printErr: (line) => checkOut(line),
};
window.velmoroPage = page;

// The controls, where dialogs.json puts them.
function staticText(caption, rect) {
    const span = document.createElement("span");
    span.className = "static";
    span.textContent = caption;
    return place(span, rect);
}
for (const c of dialog.controls) {
    if (c.kind === "static") staticText(c.caption, c.rect);
}
// The port list's place holds the browser's port chooser.
const portButton = place(document.createElement("button"), [...controls.get(IDC_PORT_LIST).rect.slice(0, 3), 12]);
portButton.type = "button";
portButton.id = "port";
portButton.textContent = "Choose port...";
portButton.title = "Choose the serial port";
// The box widens for an adapter's name, as far as the Help button.
portButton.style.minWidth = portButton.style.width;
portButton.style.width = "auto";
portButton.style.maxWidth = (px(controls.get(IDC_HELP_BUTTON).rect[0] - 4, baseX, 4)
    - px(controls.get(IDC_PORT_LIST).rect[0], baseX, 4)) + "px";
for (const id of [IDC_MAIN_PROGRAM, IDC_OBJECT_CATALOG]) {
    const c = controls.get(id);
    const label = place(document.createElement("label"), c.rect);
    const radio = document.createElement("input");
    radio.type = "radio";
    radio.name = "updateType";
    radio.id = "radio" + id;
    radio.checked = id === IDC_MAIN_PROGRAM;
    radio.addEventListener("click", () => Module._velmoro_update_type_clicked(id));
    label.append(radio, c.caption);
}
const pathBox = place(document.createElement("input"), controls.get(IDC_FILE_PATH).rect);
pathBox.readOnly = true;
pathBox.tabIndex = -1;
pathBox.id = "path";
pathBox.setAttribute("aria-label", "Data file");
// The log as a screen reader follows it: each new line said when it comes,
// after what is being said. It takes the focus, to be scrolled back.
const logBox = place(document.createElement("div"), controls.get(IDC_LOG).rect);
logBox.tabIndex = 0;
logBox.id = "log";
logBox.setAttribute("role", "log");
logBox.setAttribute("aria-live", "polite");
logBox.setAttribute("aria-label", "Log");
const progress = place(document.createElement("canvas"), controls.get(IDC_PROGRESS).rect);
progress.id = "progress";
progress.setAttribute("role", "progressbar");
progress.setAttribute("aria-label", "Progress");
progress.setAttribute("aria-valuemin", "0");
progress.setAttribute("aria-valuemax", "100");

function captionOf(id) {
    return id === IDC_START_STOP ? page.caption : controls.get(id).caption;
}
function enabled(id) {
    return id !== IDC_OPEN || page.openEnabled;
}
function sizeCanvas(canvas) {
    const width = canvas.clientWidth, height = canvas.clientHeight;
    if (canvas.width !== width) canvas.width = width;
    if (canvas.height !== height) canvas.height = height;
    return canvas.getContext("2d");
}
function paintButton(id) {
    const button = page.buttons.get(id);
    if (!page.ready || !button) return;
    const g = sizeCanvas(button.canvas);
    g.clearRect(0, 0, button.canvas.width, button.canvas.height);
    Module.velmoroCanvas = g;
    const state = (enabled(id) ? 0 : kStateDisabled) | (button.pressed ? kStateSelected : 0) |
        (document.activeElement === button.canvas ? kStateFocus : 0);
    Module.velmoroIcons = button.icons;
    Module.ccall("velmoro_paint", null, ["number", "number", "number", "number", "number", "string"],
        [id, button.canvas.width, button.canvas.height, button.hover ? 1 : 0, state, captionOf(id)]);
    button.canvas.setAttribute("aria-label", mnemonic(captionOf(id)).text);
    button.canvas.setAttribute("aria-disabled", String(!enabled(id)));
}
function paintProgress() {
    if (!page.ready) return;
    const g = sizeCanvas(progress);
    Module.velmoroCanvas = g;
    Module.ccall("velmoro_paint", null, ["number", "number", "number", "number", "number", "string"],
        [IDC_PROGRESS, progress.width, progress.height, 0, 0, ""]);
    // The percentage the bar shows, as a screen reader tells it. Called
    // straight: a ccall while Start waits for the browser returns a promise.
    const shown = Module.UTF8ToString(Module._velmoro_progress_text());
    progress.setAttribute("aria-valuenow", String(Math.min(100, Math.max(0, parseInt(shown, 10) || 0))));
    progress.setAttribute("aria-valuetext", shown);
}

// The drawn buttons: hover, press, focus and the keyboard as push buttons have
// them.
const actions = new Map();
for (const id of [IDC_OPEN, IDC_START_STOP, IDC_HELP_BUTTON, IDC_HOME_BUTTON]) {
    const canvas = place(document.createElement("canvas"), controls.get(id).rect);
    canvas.id = "button" + id;
    canvas.tabIndex = 0;
    canvas.setAttribute("role", "button");
    const button = { canvas, hover: false, pressed: false, icons: [] };
    if (id === IDC_HELP_BUTTON || id === IDC_HOME_BUTTON) {
        const image = new Image();
        image.src = image.dataset.day = `icons/icon${id === IDC_HELP_BUTTON ? IDI_HELP : IDI_HOME}-16.png`;
        image.onload = () => paintButton(id);
        button.icons = [image, image];
    }
    page.buttons.set(id, button);
    const repaint = () => paintButton(id);
    canvas.addEventListener("mouseenter", () => { button.hover = true; repaint(); });
    canvas.addEventListener("mouseleave", () => { button.hover = false; button.pressed = false; repaint(); });
    canvas.addEventListener("mousedown", (e) => { if (e.button === 0) { button.pressed = true; canvas.focus(); repaint(); } });
    canvas.addEventListener("mouseup", (e) => {
        if (e.button !== 0 || !button.pressed) return;
        button.pressed = false;
        repaint();
        click(id);
    });
    canvas.addEventListener("focus", repaint);
    canvas.addEventListener("blur", repaint);
    canvas.addEventListener("keydown", (e) => {
        if (e.key === " " || e.key === "Enter") { e.preventDefault(); click(id); }
    });
}
function click(id) {
    if (page.ready && enabled(id)) actions.get(id)();
}
// The log after the buttons in the keyboard's order, as on the desktop,
// where the buttons come first.
client.appendChild(logBox);
// Mnemonic keys, with Alt or, outside text fields, alone.
document.addEventListener("keydown", (e) => {
    if (e.ctrlKey || e.metaKey || document.querySelector("dialog[open]")) return;
    const key = e.key.toLowerCase();
    for (const [id] of page.buttons) {
        const m = mnemonic(captionOf(id));
        if (m.underline >= 0 && m.text[m.underline].toLowerCase() === key &&
            (e.altKey || !(document.activeElement instanceof HTMLInputElement))) {
            e.preventDefault();
            page.buttons.get(id).canvas.focus();
            click(id);
            return;
        }
    }
});

// A message box: the page's title, a mark, the text and its buttons; the
// last button is the default and Escape answers with it.
const question = document.getElementById("question");
function messageBox(text, mark, buttons) {
    // The focus goes back where it was when the box closes.
    const before = document.activeElement;
    question.onclose = () => { if (before && before.isConnected) before.focus(); };
    return new Promise((resolve) => {
        question.querySelector(".caption").textContent = dialog.caption;
        const picture = question.querySelector(".mark");
        picture.dataset.day = mark;
        showPicture(picture);
        question.querySelector(".text").textContent = text;
        const elements = question.querySelectorAll(".buttons button");
        elements.forEach((element, i) => {
            const spec = buttons[buttons.length === 1 ? i - 1 : i];
            element.hidden = !spec;
            if (!spec) return;
            element.textContent = mnemonic(spec[0]).text;
            element.onclick = () => { question.close(); resolve(spec[1]); };
        });
        const fallback = buttons[buttons.length - 1][1];
        question.oncancel = (e) => { e.preventDefault(); question.close(); resolve(fallback); };
        question.onkeydown = (e) => {
            // Tab goes round the box's buttons, as in the desktop's boxes,
            // never out of the box to the page under it.
            const shown = [...elements].filter((element) => !element.hidden);
            const edge = e.shiftKey ? shown[0] : shown[shown.length - 1];
            if (e.key === "Tab" && document.activeElement === edge) {
                e.preventDefault();
                (e.shiftKey ? shown[shown.length - 1] : shown[0]).focus();
                return;
            }
            for (const spec of buttons) {
                const m = mnemonic(spec[0]);
                if (m.underline >= 0 && e.key.toLowerCase() === m.text[m.underline].toLowerCase()) {
                    e.preventDefault();
                    question.close();
                    resolve(spec[1]);
                }
            }
        };
        question.showModal();
        elements[elements.length - 1].focus();
    });
}

// The data file: chosen, or dropped on the page. It is read afresh at each
// Start, as the desktop program opens it then.
const fileInput = document.getElementById("fileInput");
function takeFile(file) {
    if (!file || !page.openEnabled) return;
    page.file = file;
    pathBox.value = file.name;
}
fileInput.addEventListener("change", () => { takeFile(fileInput.files[0]); fileInput.value = ""; });
document.addEventListener("dragover", (e) => e.preventDefault());
document.addEventListener("drop", (e) => {
    e.preventDefault();
    if (e.dataTransfer.files.length > 0) takeFile(e.dataTransfer.files[0]);
});
// Into the engine's file system under its own name. state: 0 read, 1
// unreadable, 2 too large to read.
async function loadFile() {
    const name = page.file ? page.file.name.replace(/[/\\]/g, "_") || "data" : "";
    Module.ccall("velmoro_set_data_file", null, ["string"], [name]);
    for (const old of Module.FS.readdir("/data")) {
        if (old !== "." && old !== "..") Module.FS.unlink("/data/" + old);
    }
    if (!page.file) return { state: 0, name };
    if (page.file.size > Module._velmoro_max_file_bytes()) return { state: 2, name };
    try {
        Module.FS.writeFile("/data/" + name, new Uint8Array(await page.file.arrayBuffer()));
        return { state: 0, name };
    } catch (e) {
        return { state: 1, name };
    }
}

// Every call into the engine that may wait for the browser (Start and
// Stop) runs alone: the timer skips its ticks meanwhile, and bytes that
// arrive are handed over when it returns.
async function startStop() {
    if (page.inEngine) return;
    page.inEngine = true;
    const fileState = Module._velmoro_busy() ? 0 : (await loadFile()).state;
    // Returns at once when the engine waits; startStopDone() follows at its
    // end.
    Module._velmoro_start_stop(fileState);
}
page.startStopDone = () => {
    page.inEngine = false;
    if (page.pendingComm) {
        page.pendingComm = false;
        setTimeout(() => page.fireComm(), 0);
    }
};
actions.set(IDC_OPEN, () => fileInput.click());
actions.set(IDC_START_STOP, startStop);
actions.set(IDC_HELP_BUTTON, () => window.open("Help.htm", "_blank"));
actions.set(IDC_HOME_BUTTON, () => window.open(velmoroDialogs.homeAddress, "_blank"));

portButton.addEventListener("click", async () => {
    if (!navigator.serial) return messageBox(kNoWebSerial, kStopMark, [["OK", 1]]);
    try {
        const port = await navigator.serial.requestPort();
        // The open port stays as it is until the next Start, as a new
        // choice of COM port does on the desktop.
        if (page.open) {
            page.nextPort = port !== page.port ? port : null;
            return;
        }
        page.nextPort = null;
        if (port === page.port) return;
        page.choosePort(port);
        // A lost port stays open in the browser until it is closed: closed
        // now, its adapter can be chosen and opened again later.
        page.closePort();
    } catch (e) {
        // Chooser cancelled: nothing changes.
        if (e.name === "NotFoundError" && !page.port) adviseWhenNoPort();
    }
});
// The chooser closed with nothing chosen and nothing granted before: most
// likely no adapter gives the system a port, and the page says, beside the
// window and without a box, what to do; choosing a port puts it away.
async function adviseWhenNoPort() {
    if (!page.ready || (await navigator.serial.getPorts()).length > 0) return;
    notice.textContent = Module.UTF8ToString(Module._velmoro_no_port_advice());
    notice.dataset.kind = "noPort";
    notice.hidden = false;
}

// A transfer that is cut off leaves the controller waiting: the browser's
// own leave-page question comes first (front_end.h).
window.addEventListener("beforeunload", (e) => {
    if (page.ready && Module._velmoro_asks_before_leaving()) {
        e.preventDefault();
        e.returnValue = "";
    }
});

// The catalogue check and conversion of the command line, on the data file.
const checkOutput = document.getElementById("checkOutput");
function checkOut(line) { checkOutput.textContent += line + "\n"; }
async function check(show) {
    checkOutput.textContent = "";
    const { state, name } = await loadFile();
    if (!page.file) return checkOut("Choose a data file first: Open Data File, or drop it on the page.");
    if (state !== 0) return checkOut(`${page.file.name}: cannot read it`);
    Module.ccall("velmoro_check", "number", ["string", "number"], [name, show ? 1 : 0]);
}
document.getElementById("checkButton").addEventListener("click", () => check(false));
document.getElementById("showButton").addEventListener("click", () => check(true));
document.getElementById("convertButton").addEventListener("click", async () => {
    checkOutput.textContent = "";
    const { state, name } = await loadFile();
    if (!page.file || state !== 0) return checkOut("Choose a readable data file first.");
    const out = "/tmp/" + name + ".bin";
    const blocks = Module.ccall("velmoro_convert", "number", ["string", "string"], [name, out]);
    if (blocks < 0) return;
    checkOut(`${name}: ${blocks} block${blocks === 1 ? "" : "s"} of 1024 bytes in ${name}.bin`);
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob([Module.FS.readFile(out)]));
    link.download = name + ".bin";
    link.click();
    Module.FS.unlink(out);
});

if (!navigator.serial) {
    notice.textContent = kNoWebSerial;
    notice.hidden = false;
} else {
    // The port chosen on an earlier visit, and the ports that come and go.
    takeRememberedPort();
    navigator.serial.addEventListener("disconnect", (e) => { if (e.target === page.port) page.lost("the adapter was disconnected"); });
    navigator.serial.addEventListener("connect", (e) => takeConnectedPort(e.target));
}
document.addEventListener("visibilitychange", () => page.keepAwake());

// Night, for the telescope in the dark: the whole page dim red on black,
// remembered with the page. The drawn controls take the drawing rules'
// night palette, the plain elements its colours as CSS properties
// (page.css), the icons are turned red by the pictures' night rule. Set
// before the engine loads, so that a night page never shows day first.
const kNightKey = "velmoroNight";
const nightButton = document.getElementById("night");
const look = { night: false, paletteSet: false, icons: new Map() };
try { look.night = localStorage.getItem(kNightKey) === "1"; } catch (e) { /* day */ }
document.documentElement.classList.toggle("night", look.night);
// The night picture of a day picture (its address in the site), as an
// address an image can show, or none. Made from the same picture's bytes in
// velmoro.js (/pictures): a page opened from a local file may not read back
// the pixels of a picture it has loaded.
function nightPicture(day) {
    if (!look.icons.has(day)) {
        look.icons.set(day, (async () => {
            let bitmap;
            try {
                const bytes = Module.FS.readFile("/pictures/" + day.slice(day.lastIndexOf("/") + 1));
                bitmap = await createImageBitmap(new Blob([bytes], { type: "image/png" }));
            } catch (e) {
                return "";
            }
            const canvas = document.createElement("canvas");
            canvas.width = bitmap.width;
            canvas.height = bitmap.height;
            const g = canvas.getContext("2d");
            g.drawImage(bitmap, 0, 0);
            const pixels = g.getImageData(0, 0, canvas.width, canvas.height);
            const p = pixels.data;
            for (let i = 0; i < p.length; i += 4) {
                const argb = Module._velmoro_night_picture_pixel(((p[i + 3] << 24) | (p[i] << 16) | (p[i + 1] << 8) | p[i + 2]) >>> 0);
                p[i] = (argb >>> 16) & 0xff; p[i + 1] = (argb >>> 8) & 0xff; p[i + 2] = argb & 0xff;
            }
            g.putImageData(pixels, 0, 0);
            return new Promise((resolve) => canvas.toBlob((blob) => resolve(blob ? URL.createObjectURL(blob) : "")));
        })());
    }
    return look.icons.get(day);
}
// Each image shows its day picture (data-day) or its night one; none while
// the night one is made.
async function showPicture(image) {
    const day = image.dataset.day;
    const want = look.night;
    if (!want) {
        if (image.getAttribute("src") !== day) image.src = day;
        return;
    }
    image.removeAttribute("src");
    const src = page.ready ? await nightPicture(day) : "";
    if (look.night === want && image.dataset.day === day && src !== "") image.src = src;
}
function showLook() {
    document.documentElement.classList.toggle("night", look.night);
    nightButton.setAttribute("aria-pressed", String(look.night));
    if (!page.ready) return;
    if (!look.paletteSet) {
        for (const property of Module.UTF8ToString(Module._velmoro_night_css()).split(";")) {
            const [name, value] = property.split(":");
            if (name) document.documentElement.style.setProperty(name, value);
        }
        look.paletteSet = true;
        document.documentElement.classList.add("palette");
    }
    // The installed page's own window frame, too.
    const theme = document.querySelector('meta[name="theme-color"]');
    theme.dataset.day = theme.dataset.day || theme.content;
    theme.content = look.night
        ? document.documentElement.style.getPropertyValue("--night-window") : theme.dataset.day;
    Module._velmoro_set_night(look.night ? 1 : 0);
    const images = [document.querySelector("#title img")];
    const mark = question.querySelector(".mark");
    if (mark.dataset.day) images.push(mark);
    for (const button of page.buttons.values()) images.push(...new Set(button.icons));
    const shown = Promise.all(images.map(showPicture));
    const paint = () => { for (const id of page.buttons.keys()) paintButton(id); };
    paint();
    paintProgress();
    shown.then(paint);
}
nightButton.addEventListener("click", () => {
    look.night = !look.night;
    try { localStorage.setItem(kNightKey, look.night ? "1" : "0"); } catch (e) { /* this visit's only */ }
    showLook();
});

Module.onRuntimeInitialized = () => {
    page.ready = true;
    showLook();
    if (page.port) showPort(page.port);  // chosen before the names could be read
    for (const id of page.buttons.keys()) paintButton(id);
    paintProgress();
    portButton.focus();
    document.body.dataset.ready = "true";
};
