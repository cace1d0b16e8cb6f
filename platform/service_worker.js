// The page's service worker: after a first visit the page plays without the
// network. It keeps one release under the release's own name (the build
// writes it in): the page and its program once installed, the pictures the
// page used once the page names them. A new release is kept whole beside the
// old one and takes over only when no page of the old is open, the old then
// deleted: nothing is ever served from another release's cache.
'use strict';
const RELEASE = '%RELEASE%';
const OURS = 'orvi-tonaro-';
const PAGE = ['./', 'index.html', 'orvi.js', 'orvi.wasm', 'manifest.webmanifest',
  'icons/icon-192.png', 'icons/icon-512.png'];
const scope = self.registration.scope;

// Asked of the server, not of the browser's own cache (an unchanged file is
// only revalidated, not fetched again).
const fresh = url => new Request(url, { cache: 'no-cache' });

// Pictures the cache lacks, each one that the server has; one it has not is
// left out (the page then falls back as it does online).
async function keep(cache, urls) {
  for (const url of urls) {
    if (await cache.match(url)) continue;
    const response = await fetch(fresh(url)).catch(() => null);
    if (response && response.ok) await cache.put(url, response);
  }
}

self.addEventListener('install', event => {
  event.waitUntil((async () => {
    const cache = await caches.open(RELEASE);
    await cache.addAll(PAGE.map(fresh));
    // The pictures an earlier release kept for this screen, as this release has them.
    const pictures = new Set();
    for (const name of await caches.keys()) {
      if (!name.startsWith(OURS) || name === RELEASE) continue;
      for (const request of await (await caches.open(name)).keys())
        if (request.url.startsWith(scope + 'data/')) pictures.add(request.url);
    }
    await keep(cache, [...pictures]);
  })());
});

self.addEventListener('activate', event => {
  event.waitUntil(caches.keys().then(names => Promise.all(
    names.filter(name => name.startsWith(OURS) && name !== RELEASE).map(name => caches.delete(name)))));
});

// The page names the pictures it decoded; only a page of this release is heard.
self.addEventListener('message', event => {
  const { release, pictures } = event.data || {};
  if (release !== RELEASE || !Array.isArray(pictures)) return;
  const ours = pictures.map(p => new URL(String(p), scope).href).filter(url => url.startsWith(scope + 'data/'));
  event.waitUntil(caches.open(RELEASE).then(cache => keep(cache, ours)));
});

self.addEventListener('fetch', event => {
  const request = event.request;
  if (request.method !== 'GET' || !request.url.startsWith(scope)) return;
  event.respondWith(caches.open(RELEASE)
    .then(cache => cache.match(request, { ignoreSearch: true }))
    .then(kept => kept || fetch(request)));
});
