// The site kept in the browser for a night without network: every file of
// this version, in a store named for the version and a hash of the files
// (make_sw.cmake writes them in). A new site is a new worker, which stores
// the new files, takes over and drops the stores of the old ones.
"use strict";
const kStorePrefix = "velmoro-downloader-";
const kStore = kStorePrefix + "@VELMORO_VERSION@-@SITE_HASH@";
const kSite = [@SITE_FILES@];
// The page's own folder, which shows index.html; the host's other folders
// are none of this worker's business.
const kFolder = new URL("./", location).pathname;

// A response the host reached through a redirect (index.html sent on to its
// folder, as hosts with "pretty" addresses do) is one a browser refuses to
// show for a navigation: what is kept is its body and headers alone, as if
// the file had been answered at its own address.
async function storable(response) {
    if (!response.ok) throw new TypeError(`${response.url}: ${response.status} ${response.statusText}`);
    if (!response.redirected) return response;
    return new Response(await response.blob(),
        { status: response.status, statusText: response.statusText, headers: response.headers });
}

// Every file fetched before any is stored, so that a site that cannot be
// had whole is not stored in part.
self.addEventListener("install", (event) => {
    event.waitUntil((async () => {
        const files = await Promise.all(kSite.map(async (file) => {
            // Past the browser's HTTP cache, which may still hold the old files.
            const request = new Request(file, { cache: "reload" });
            return [request, await storable(await fetch(request))];
        }));
        const store = await caches.open(kStore);
        await Promise.all(files.map(([request, response]) => store.put(request, response)));
        await self.skipWaiting();
    })());
});

self.addEventListener("activate", (event) => {
    event.waitUntil(caches.keys()
        .then((names) => Promise.all(names.filter((name) => name.startsWith(kStorePrefix) && name !== kStore)
            .map((name) => caches.delete(name))))
        .then(() => self.clients.claim()));
});

// The stored file first, whatever follows the "?"; the page's folder is its
// index.html. Anything else goes to the network as it would without this
// worker, and so does a stored response that came through a redirect.
self.addEventListener("fetch", (event) => {
    const request = event.request;
    const url = new URL(request.url);
    if (request.method !== "GET" || url.origin !== location.origin) return;
    event.respondWith(caches.open(kStore).then(async (store) => {
        const stored = await store.match(request, { ignoreSearch: true }) ||
            (request.mode === "navigate" && url.pathname === kFolder ? await store.match("index.html") : undefined);
        return stored && !stored.redirected ? stored : fetch(request);
    }));
});
