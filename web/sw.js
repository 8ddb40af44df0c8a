// Knoll's service worker: keeps one build whole in a cache named after it
// and starts the page from there when the network is gone, fails or is
// slow to answer. BUILD, the build's name, its cache's and where its
// index.html holds its list of files, is put in front of this file by
// web/pack.py; a new build is a new worker, which takes over at once and
// removes the caches of the builds before it. A tab that runs an older
// build keeps it: it holds what it loaded.
"use strict";

// ------------------------------------------------------------ constants ----

// The page loads the gzip'd code where the browser can decompress it.
const GZIP = typeof DecompressionStream === "function";
const PAGE = "./";
// How long a visit waits for the network's index.html before it starts from
// the cache's: a new build on the server is found when the server answers
// in time, and else on a later visit through this worker's update.
const NETWORK_WAIT_MS = 1000;

// ------------------------------------------------------------ functions ----

// Every file of the build that the page loads, by its address, from the
// build's list. The icons are the browser's to fetch (keepIcons).
function buildFiles(list) {
  const code = (entry) => GZIP ? entry.gzip.url : entry.url;
  return [code(list.js), code(list.wasm), ...list.page, "manifest.webmanifest",
          ...Object.values(list.images).map((entry) => entry.url)];
}

// index.html of this very build, fetched past the browser's cache, and the
// build's list it holds; an error when the server already has another
// build (this worker then never installs, and the next one will).
async function thisBuildsPage() {
  const response = await fetch(PAGE, {cache: "no-cache"});
  const text = await response.clone().text();
  const list = response.ok && JSON.parse(text.split(BUILD.listStart)[1].split("</script>")[0]);
  if (!list || list.id !== BUILD.id) throw new Error("the server has another build than " + BUILD.id);
  return {response, list};
}

// The manifest's icons that the browser fetched for it, taken from its own
// cache into the build's: offline, the browser asks for them again, and
// they cost no download.
async function keepIcons(cache, list) {
  for (const entry of Object.values(list.icons)) {
    const response = await fetch(entry.url, {cache: "only-if-cached", mode: "same-origin"})
      .catch(() => null);
    if (response && response.ok) await cache.put(entry.url, response);
  }
}

// Fills the build's cache: the page put most files there as it loaded them,
// so only those missing are fetched.
async function install() {
  const cache = await caches.open(BUILD.cache);
  const {response, list} = await thisBuildsPage();
  await cache.put(PAGE, response);
  for (const url of buildFiles(list))
    if (!(await cache.match(url))) await cache.add(url);
  await keepIcons(cache, list);
  await self.skipWaiting();
}

async function activate() {
  for (const name of await caches.keys())
    if (name.startsWith(BUILD.cachePrefix) && name !== BUILD.cache) await caches.delete(name);
  await self.clients.claim();
}

// Rejects after ms.
const deadline = (ms) => new Promise((resolve, reject) =>
  setTimeout(() => reject(new Error("no answer in " + ms + " ms")), ms));

// The page from the network where it answers well and in time, so that a
// new build is found at once; else this build's copy, whatever the
// address's query (Knoll's settings), and the network's answer where there
// is no copy.
async function navigate(request) {
  const network = fetch(request.url, {cache: "no-cache"});
  const good = network.then((response) => response.ok ? response :
    Promise.reject(new Error(response.status + " " + response.statusText)));
  try {
    return await Promise.race([good, deadline(NETWORK_WAIT_MS)]);
  } catch (e) {
    return (await caches.match(PAGE, {cacheName: BUILD.cache})) || network;
  }
}

// A file whose name carries its hash is the same in every cache.
async function file(request) {
  return (await caches.match(request, {ignoreSearch: true})) || fetch(request);
}

// ---------------------------------------------------------------- events ----

self.addEventListener("install", (event) => event.waitUntil(install()));
self.addEventListener("activate", (event) => event.waitUntil(activate()));
self.addEventListener("fetch", (event) => {
  const request = event.request;
  if (request.method !== "GET" || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(request.mode === "navigate" ? navigate(request) : file(request));
});
