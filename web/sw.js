// The site kept in the browser for a night without network: every file of
// this version, in a store named for the version and a hash of the files
// (make_sw.cmake writes them in). A new site is a new worker, which stores
// the new files, takes over and drops the stores of the old ones.
"use strict";
const kStorePrefix = "velmoro-downloader-";
const kStore = kStorePrefix + "@VELMORO_VERSION@-@SITE_HASH@";
const kSite = [@SITE_FILES@];

self.addEventListener("install", (event) => {
    // Past the browser's HTTP cache, which may still hold the old files.
    event.waitUntil(caches.open(kStore)
        .then((store) => store.addAll(kSite.map((file) => new Request(file, { cache: "reload" }))))
        .then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
    event.waitUntil(caches.keys()
        .then((names) => Promise.all(names.filter((name) => name.startsWith(kStorePrefix) && name !== kStore)
            .map((name) => caches.delete(name))))
        .then(() => self.clients.claim()));
});

// The stored file first, whatever follows the "?"; the folder's own address
// is its index.html. Anything else goes to the network as it would without
// this worker.
self.addEventListener("fetch", (event) => {
    const request = event.request;
    const url = new URL(request.url);
    if (request.method !== "GET" || url.origin !== location.origin) return;
    event.respondWith(caches.open(kStore).then(async (store) => {
        const stored = await store.match(request, { ignoreSearch: true }) ||
            (request.mode === "navigate" && url.pathname.endsWith("/") ? await store.match("index.html") : undefined);
        return stored || fetch(request);
    }));
});
