// The page's service worker: keeps the whole page in one cache, named after
// its build's contents, and answers every request of the page and its
// workers from there, so that it opens and reads documents offline. The web
// build (web/make-service-worker.mjs) writes the name and the files in
// place of the two lines below. A new build's worker, found at a visit as
// the browser checks this script, fills its own cache, takes over the open
// pages at once (they say "Updated") and deletes the caches of the others.
'use strict';
const cacheName = 'glimmerbox-BUILD';
const files = [];

self.addEventListener('install', (event) => {
    // From the network, never the browser's HTTP cache: another build's
    // files would be kept under this build's name.
    event.waitUntil(caches.open(cacheName)
        .then((cache) => cache.addAll(files.map((f) => new Request(f, { cache: 'reload' }))))
        .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
    event.waitUntil(caches.keys()
        .then((names) => Promise.all(names.filter((n) => n.startsWith('glimmerbox-') && n !== cacheName).map((n) => caches.delete(n))))
        .then(() => self.clients.claim()));
});

// The page itself for any page asked (its start, "./", and index.html are
// one); its files from the cache; anything else as the network has it.
self.addEventListener('fetch', (event) => {
    if (event.request.method !== 'GET')
        return;
    event.respondWith(caches.match(event.request.mode === 'navigate' ? 'index.html' : event.request, { cacheName })
        .then((cached) => cached ?? fetch(event.request)));
});
