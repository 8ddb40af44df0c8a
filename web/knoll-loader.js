// Loads one build of Knoll, whole: knoll.js and knoll.wasm first, so that the
// logo shows early, and the images beside them, which the browser decodes
// off the page's thread to pictures with their pixels as stored. The build's
// list of files (index.html's #knoll-build, written by web/pack.py) names
// each by a hash of its contents and gives its size, so the progress counts
// bytes against the true total and a damaged file is caught. Every file
// goes into the build's cache, from which later visits start without a
// request, offline too (sw.js serves the page itself); a file the cache
// holds damaged is dropped there and fetched anew.
"use strict";

window.KnollLoader = (function () {
  // ---------------------------------------------------------- constants ----

  const build = JSON.parse(document.getElementById("knoll-build").textContent);
  // Browsers that decompress gzip themselves get the gzip'd code.
  const GZIP = typeof DecompressionStream === "function";
  const PICTURE_OPTIONS = {premultiplyAlpha: "none", colorSpaceConversion: "none"};

  // -------------------------------------------------------------- state ----

  const pictures = new Map();  // image name -> {bitmap} or {error}
  let cache;                   // promise of the build's Cache, or null
  const stored = [];           // the cache's writes under way
  const readAhead = new Map(); // file address -> promise of its Blob from the cache, or null
  let storageRefused;          // why the browser keeps no cache, once known
  let storageFailed = () => {};

  // ---------------------------------------------------------- functions ----

  const codeEntry = (entry) => GZIP ? entry.gzip : entry;
  const imageNames = () => Object.keys(build.images);

  // The build's cache, or null where the browser keeps none (storage
  // refused, an address that is not secure, where there is no Cache Storage).
  function openCache() {
    if (!cache) {
      cache = (window.caches ? caches.open(build.cache)
        : Promise.reject(new DOMException("no Cache Storage on this address", "NotSupportedError")))
        .catch((e) => {
          storageRefused = e;
          storageFailed(e);
          return null;
        });
    }
    return cache;
  }

  // Reads response's body, calling onBytes with each piece's length.
  async function readBody(response, onBytes) {
    const parts = [];
    let length = 0;
    const reader = response.body.getReader();
    for (;;) {
      const {done, value} = await reader.read();
      if (done) break;
      parts.push(value);
      length += value.length;
      onBytes(value.length);
    }
    const bytes = new Uint8Array(length);
    let at = 0;
    for (const part of parts) {
      bytes.set(part, at);
      at += part.length;
    }
    return bytes;
  }

  // What is wrong with bytes as entry's file, or "" when they are its: its
  // name holds the first build.hashChars hexadecimal digits of its hash.
  async function damage(entry, bytes) {
    if (bytes.length !== entry.size) return bytes.length + " of " + entry.size + " bytes arrived";
    if (!window.crypto || !crypto.subtle) return "";
    const sum = new Uint8Array(await crypto.subtle.digest("SHA-256", bytes));
    const hex = Array.from(sum.slice(0, build.hashChars / 2),
                           (b) => b.toString(16).padStart(2, "0")).join("");
    return entry.url.includes("." + hex + ".") ? "" : "its contents are damaged";
  }

  // entry's file from response: {blob}, or {wrong} with what is wrong, its
  // bytes then taken back from the progress.
  async function readFile(entry, response, onBytes) {
    let got = 0;
    const bytes = await readBody(response, (n) => { got += n; onBytes(n); });
    const wrong = await damage(entry, bytes);
    if (wrong) onBytes(-got);
    return wrong ? {wrong: wrong} : {blob: new Blob([bytes])};
  }

  // Drops entry's copy from the build's cache, where it is damaged: the
  // next visit fetches the file anew.
  async function forget(entry) {
    const store = await openCache();
    if (store) await store.delete(entry.url).catch(() => {});
  }

  // entry's file from the build's cache, or null where the cache has no
  // whole copy; a damaged one is dropped there. A copy was checked before
  // it went there: its size is checked again, and its bytes are handed on
  // unread, which spares the page's thread a copy of every file (a copy
  // that then does not decode or compile is dropped too).
  async function fromCache(entry) {
    const store = await openCache();
    const cached = store && await store.match(entry.url).catch(() => undefined);
    if (!cached) return null;
    const blob = await cached.blob().catch(() => null);
    if (blob && blob.size === entry.size) return blob;
    await forget(entry);
    return null;
  }

  // entry's file from the network, into the build's cache. A damaged copy is
  // fetched once more past the browser's own cache.
  async function fromNetwork(entry, onBytes) {
    const store = await openCache();
    let wrong;
    for (const options of [{}, {cache: "reload"}]) {
      const response = await fetch(entry.url, options).catch((e) => {
        throw new Error(entry.url + ": " + e.message);
      });
      if (!response.ok) throw new Error(entry.url + ": " + response.status + " " + response.statusText);
      const file = await readFile(entry, response, onBytes);
      if (file.blob) {
        if (store) stored.push(store.put(entry.url, new Response(file.blob)).catch(storageFailed));
        return file.blob;
      }
      wrong = file.wrong;
    }
    throw new Error(entry.url + ": " + wrong);
  }

  // entry's file as a Blob, read ahead from the cache or read now, else from
  // the network; onBytes hears of each piece.
  async function fetchFile(entry, onBytes) {
    const ahead = readAhead.get(entry.url);
    readAhead.delete(entry.url);
    const blob = await (ahead || fromCache(entry));
    if (!blob) return fromNetwork(entry, onBytes);
    onBytes(blob.size);
    return blob;
  }

  // A later visit's code is in the cache, and reading it takes nothing from
  // the network: that starts at once, before the page knows whether Knoll
  // can run here at all.
  function readCodeAhead() {
    for (const entry of [codeEntry(build.js), codeEntry(build.wasm)])
      readAhead.set(entry.url, fromCache(entry));
  }

  // A code file's contents as a response, decompressed where it is gzip'd.
  function unpacked(blob, type) {
    const body = GZIP ? blob.stream().pipeThrough(new DecompressionStream("gzip")) : blob;
    return new Response(body, {headers: {"Content-Type": type}});
  }

  // knoll.js's text, from its file.
  function scriptText(js) {
    return unpacked(js, "text/javascript").text();
  }

  // knoll.wasm compiled as it decompresses.
  function compiled(wasm) {
    const response = unpacked(wasm, "application/wasm");
    return WebAssembly.compileStreaming ? WebAssembly.compileStreaming(response)
      : response.arrayBuffer().then((bytes) => WebAssembly.compile(bytes));
  }

  // Image name's picture, or what failed, into pictures.
  async function loadPicture(name, onBytes) {
    const entry = build.images[name];
    try {
      const file = await fetchFile(entry, onBytes);
      const bitmap = await createImageBitmap(new Blob([file], {type: "image/webp"}), PICTURE_OPTIONS);
      pictures.set(name, {bitmap: bitmap});
    } catch (e) {
      if (e instanceof DOMException) await forget(entry);
      const why = e instanceof DOMException ? entry.url + ": it does not decode" : e.message;
      pictures.set(name, {error: name.replace(/_png$/, ".png") + " did not arrive whole (" + why + ")"});
      throw new Error(why);
    }
  }

  // Registers the service worker once every file is in the cache; it takes
  // nothing from the network then but index.html.
  async function keepOffline() {
    await Promise.all(stored);
    if ("serviceWorker" in navigator)
      await navigator.serviceWorker.register("sw.js", {updateViaCache: "none"});
  }

  // ------------------------------------------------------------- public ----

  // Starts loading the build. onProgress(received, total) hears of every
  // piece; onStorageFailed(error) of a cache the browser refuses. Returns
  // {code, all}: code resolves to {script, module} for Emscripten once
  // knoll.js is there, script being its text and module the promise of
  // knoll.wasm compiled, so that the script runs while the code compiles;
  // all settles once every file has arrived (or rejects with the first that
  // did not).
  function load(onProgress, onStorageFailed) {
    storageFailed = (e) => {
      onStorageFailed(e);
      storageFailed = () => {};
    };
    if (storageRefused) storageFailed(storageRefused);
    const total = codeEntry(build.js).size + codeEntry(build.wasm).size +
      imageNames().reduce((sum, name) => sum + build.images[name].size, 0);
    let received = 0;
    const onBytes = (n) => {
      received += n;
      onProgress(received, total);
    };
    // The code first, for the logo: the images share no bandwidth with it.
    const js = fetchFile(codeEntry(build.js), onBytes);
    const wasm = fetchFile(codeEntry(build.wasm), onBytes);
    const script = js.then(scriptText);
    const module = wasm.then(compiled).catch(async (e) => {
      await forget(codeEntry(build.wasm));
      throw e;
    });
    const images = Promise.all([js, wasm]).then(() =>
      Promise.all(imageNames().map((name) => loadPicture(name, onBytes))));
    const all = Promise.all([script, module, images]).then(() => keepOffline().catch(() => {}));
    return {code: script.then((text) => ({script: text, module: module})), all: all};
  }

  // KNOLL_HOOKS.PICTURE: image name's picture ({bitmap} or {error}), handed
  // over and forgotten when take is set; undefined while it is on its way.
  function picture(name, take) {
    if (!(name in build.images)) return {error: name + " is not in this build"};
    const found = pictures.get(name);
    if (found && take) pictures.delete(name);
    return found;
  }

  // A lost GL context takes every picture with it: loads them once more,
  // from the cache where it has them. Resolves once all are there.
  function loadPicturesAgain() {
    return Promise.all(imageNames().map((name) => loadPicture(name, () => {}).catch(() => {})));
  }

  const picturesReady = () => imageNames().every((name) => pictures.has(name));

  readCodeAhead();

  return {build: build, load: load, picture: picture, loadPicturesAgain: loadPicturesAgain,
          picturesReady: picturesReady};
})();
