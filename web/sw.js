// Keeps the page's own files, so that after one visit it opens and splits with no network, and
// streams the archives of Save all to the browser's downloads.
"use strict";

// Filled in by the build: a digest of the page's files, and their names.
const version = "unbuilt";
const files = [];

const cacheName = "twinframe-" + version;

// A new version is kept whole beside the old one; it takes over once no tab of the old one is
// open, and the old one's files go then. A page is never served a mix of two versions.
// Each file is asked of the server, whatever the browser's HTTP cache holds: a host that lets
// files be cached for a while (Cache-Control: max-age) would otherwise fill the new version with
// the old one's files. A file the browser holds is sent again only if it changed (the server
// answers 304 Not Modified to its validators).
self.addEventListener("install", (event) => {
    const requests = ["./", ...files].map((url) => new Request(url, { cache: "no-cache" }));
    event.waitUntil(caches.open(cacheName).then((cache) => cache.addAll(requests)));
});

self.addEventListener("activate", (event) => {
    event.waitUntil((async () => {
        for (const name of await caches.keys())
            if (name.startsWith("twinframe-") && name !== cacheName) await caches.delete(name);
        await self.clients.claim();
    })());
});

// Archives being saved: id -> { stream, name, length }, or a waiter for the page's message.
const downloads = new Map();

self.addEventListener("message", (event) => {
    const request = event.data;
    if (request?.type !== "download") return;
    const waiting = downloads.get(request.id);
    downloads.set(request.id, request);
    if (typeof waiting === "function") waiting(request);
});

function downloadResponse(id) {
    const known = downloads.get(id);
    const ready = known && typeof known !== "function"
        ? Promise.resolve(known)
        : new Promise((resolve) => downloads.set(id, resolve));
    return ready.then(({ stream, name, length, port }) => {
        downloads.delete(id);
        port?.postMessage("begun");
        return new Response(stream, {
            headers: {
                "Content-Type": "application/zip",
                "Content-Length": String(length),
                "Content-Disposition": `attachment; filename*=UTF-8''${encodeURIComponent(name)}`,
            },
        });
    });
}

self.addEventListener("fetch", (event) => {
    const url = new URL(event.request.url);
    if (url.origin !== location.origin || event.request.method !== "GET") return;
    const scope = new URL(self.registration.scope);
    const path = url.pathname.slice(scope.pathname.length);
    const download = /^download\/([0-9a-f-]+)\//.exec(path);
    if (download) {
        event.respondWith(downloadResponse(download[1]));
        return;
    }
    event.respondWith((async () => {
        const cache = await caches.open(cacheName);
        const kept = await cache.match(event.request, { ignoreSearch: true });
        return kept ?? fetch(event.request);
    })());
});
