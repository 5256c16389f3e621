// Opened once over https: or from this computer (http://localhost), the page
// keeps its whole site in the browser (sw.js) and opens from there, and
// loads the controller, with no network at all: at a dark site. From a
// local file it needs none of this. A newer site takes over when the page
// is next opened, and the page reloads into it at once, unless the user has
// begun with it (a file chosen, a transfer running): then at the next load.
"use strict";
// The manifest, which makes the page installable, is linked only where the
// browser can read it: a page from a local file may not fetch it, and a
// link to it would be an error in the browser's console at every opening.
if (/^https?:$/.test(location.protocol)) {
    document.head.append(Object.assign(document.createElement("link"),
        { rel: "manifest", href: "manifest.webmanifest" }));
}
if ("serviceWorker" in navigator && window.isSecureContext && /^https?:$/.test(location.protocol)) {
    const stored = navigator.serviceWorker.controller !== null;
    navigator.serviceWorker.addEventListener("controllerchange", () => {
        const page = window.velmoroPage;
        if (stored && !page.file && !(page.ready && Module._velmoro_busy())) location.reload();
    });
    navigator.serviceWorker.register("sw.js").catch(() => { /* the page works on without it */ });
}
