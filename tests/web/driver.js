// The browser driver of the end-to-end cases: Debian's Chromium through
// puppeteer-core, Knoll's page served from a local address. It reads one
// command a line on standard input and answers each with one line on
// standard output, "ok ..." or "error ...". tests/e2e/web.sh speaks it.
//
//   node driver.js URL WORKDIR [CHROMIUM FLAGS...]
//
// open QUERY      loads the page (URL + QUERY, "-" for none) with WORKDIR's
//                 config.txt and error.log put into the page's storage first
//                 (or none, where the file is not there); waits until the
//                 page has left its loading state
// reload [S]      reloads the page, storage kept, its load S s at most; waits as open does
// state           the page's state: loading, running, stopped or failed,
//                 and the exit status once stopped
// message         the text the page shows over the canvas, or nothing
// pull            writes config.txt, help.txt and error.log from the page's
//                 storage into WORKDIR (a file not stored is removed)
// geometry        "x y width height" of the canvas on the page, CSS pixels
// shot PATH       the canvas as the page shows it, as a PNG
// key NAME down|up|tap   one key, by X keysym name (e, Up, Escape, F11);
//                 tap sends the press and the release while the page is
//                 busy, as a key tapped during a slow frame
// button N down|up   mouse button N (1 left, 3 right) where the pointer is
// motion DX DY    moves the pointer by (DX, DY)
// moveto X Y      moves the pointer to page position (X, Y)
// console         the console's errors and warnings so far, other than
//                 Knoll's error.log lines, joined by " | "
// setting KEY VALUE  changes one setting in the page's settings panel and
//                 applies it, which starts Knoll again; waits as open does
// refuse-storage  the next open finds the browser's storage refused, as in
//                 a private window whose quota is spent
// log             Knoll's error.log lines that reached the console, joined
//                 by " | "
// lose-context    takes Knoll's WebGL context away, as a driver reset would
// restore-context gives it back
// scale S W H [touch]  a display of device pixel ratio S, the browser's
//                 window W x H CSS pixels; a phone's touch screen with touch
// touch ID X Y|up|cancel  finger ID down or moved to page position (X, Y),
//                 lifted, or every finger cancelled, as real touch events
// unpin           the page's own layout, without the canvas pinned at the
//                 top-left corner at Knoll's window size
// click SELECTOR [navigates]  clicks the page's element; one that
//                 navigates waits as open does
// upload SELECTOR FILE  WORKDIR's FILE chosen in the page's file input
// drop SELECTOR FILE  WORKDIR's FILE dragged from outside the browser and
//                 dropped on the middle of the page's element
// eval EXPRESSION the expression's value in the page
// pageshot PATH   the browser's window as the page shows it, as a PNG
// bytes           "TOTAL LARGE": the bytes the page and its service worker
//                 fetched since the last open or reload, and how many files
//                 of code or images (not the icon of the manifest) among them
// offline on|off  the network gone (DevTools' emulation), or back
// stall-index S | fail-index STATUS  index.html (any query) answered S s late, or with STATUS
// throttle BYTES  the download's speed in bytes a second, -1 unlimited
// watch-pictures [premultiply]  from the next open on, hashes (SHA-256) the
//                 RGBA of every picture the page decodes, as WebGL takes it;
//                 premultiply decodes them with premultiplied alpha
// pictures        "FILE=HASH ..." for the pictures watched
// watch-shared    from the next open on, window.knollShared.NAME holds what
//                 Knoll last wrote into member NAME of its shared uniforms
// tab new|N       opens another tab on the page (waits as open does), or
//                 acts on tab N (0 the first) from now on
// build           the build the page runs, once a service worker serves it
// later MS COMMAND...  the command MS ms later, while others go on
// quit            closes the browser
"use strict";

const fs = require("fs");
const path = require("path");
const readline = require("readline");
const launchChromium = require("../../tools/browser/chromium");
const PINNED_CANVAS = require("./pinned_canvas");

// ----------------------------------------------------------- constants ----

const [baseUrl, workDir, ...chromiumFlags] = process.argv.slice(2);
const FILES = ["config.txt", "help.txt", "error.log"];
const KEYS = {
  Up: "ArrowUp", Down: "ArrowDown", Left: "ArrowLeft", Right: "ArrowRight",
  Escape: "Escape", F11: "F11", Return: "Enter", space: "Space", Shift_L: "Shift",
};
const BUTTONS = {1: "left", 2: "middle", 3: "right"};
const TAP_FRAME = 100;

// The page's progress figures, each value it shows ("?" after one not over the
// view), and the totals its words beside them gave.
const PROGRESS_SEEN = () => {
  window.knollProgress = [];
  window.knollTotals = new Set();
  const value = Object.getOwnPropertyDescriptor(HTMLProgressElement.prototype, "value");
  Object.defineProperty(HTMLProgressElement.prototype, "value", {
    get() { return value.get.call(this); },
    set(v) {
      value.set.call(this, v);
      window.knollProgress.push(v + (this.closest("#frame") && !this.closest("[hidden]") ? "" : "?"));
      const words = document.getElementById("download-figure");
      if (words && words.textContent) window.knollTotals.add(words.textContent.replace(/^\d+ % /, ""));
    },
  });
};

// --------------------------------------------------------------- state ----

let browser, page;
const tabs = [];
const tabSessions = new WeakMap();  // each tab's own CDP session
let offline = false;
let throughput = -1;  // bytes a second the network downloads, -1 unlimited
const sessions = [];  // CDP sessions of the tabs and service workers
let fetched = {total: 0, large: 0};
let watchPictures = null;
let pointer = {x: 0, y: 0};
let refuseStorage = false;
let indexFault = {};  // {stall: ms} or {status}
let pinned;
const fingers = new Map();
const consoleLines = [];
const knollLines = [];

// ----------------------------------------------------------- functions ----

function keyName(name) {
  if (KEYS[name]) return KEYS[name];
  if (/^[a-z]$/.test(name)) return "Key" + name.toUpperCase();
  return name;
}

function readWorkFile(name) {
  const file = path.join(workDir, name);
  return fs.existsSync(file) ? fs.readFileSync(file, "utf8") : null;
}

// Counts what session's target fetches from the network, and applies the
// network's conditions to it.
async function watchNetwork(session) {
  const urls = new Map();
  session.on("Network.responseReceived", (e) => {
    const r = e.response;
    if (!r.fromServiceWorker && !r.fromDiskCache && !r.fromPrefetchCache) urls.set(e.requestId, r.url);
  });
  session.on("Network.loadingFinished", (e) => {
    if (!urls.has(e.requestId)) return;
    fetched.total += e.encodedDataLength;
    if (/\/files\/(?!icon-).*\.(wasm|webp|gz)$|\/knoll\.[0-9a-f]+\.js$/.test(urls.get(e.requestId)))
      fetched.large++;
    urls.delete(e.requestId);
  });
  await session.send("Network.enable");
  await emulate(session);
  session.on("Fetch.requestPaused", (e) => answerIndex(session, e.requestId));
  await session.send("Fetch.enable", {patterns: [{urlPattern: baseUrl}, {urlPattern: baseUrl + "\\?*"}]}).catch(() => {});
  sessions.push(session);
}

const emulate = (session) => session.send("Network.emulateNetworkConditions",
  {offline: offline, latency: 0, downloadThroughput: throughput, uploadThroughput: -1}).catch(() => {});

// Answers a held request for index.html as indexFault says.
const answerIndex = (session, requestId) => setTimeout(() => session.send(indexFault.status ?
  "Fetch.fulfillRequest" : "Fetch.continueRequest", {requestId, responseCode: indexFault.status})
  .catch(() => {}), indexFault.stall || 0);

async function newTab() {
  const tab = await browser.newPage();
  await tab.evaluateOnNewDocument(PROGRESS_SEEN);
  tab.on("console", (m) => {
    if (m.type() !== "error" && m.type() !== "warn" && m.type() !== "warning") return;
    if (m.text().startsWith("Knoll: ")) {
      knollLines.push(m.text().slice("Knoll: ".length));
      return;
    }
    // What Chromium says of a context the test itself took away.
    if (/CONTEXT_LOST_WEBGL|WebGL context was lost/.test(m.text())) return;
    consoleLines.push(m.type() + ": " + m.text());
  });
  tab.on("pageerror", (e) => consoleLines.push("page error: " + e.message));
  const session = await tab.createCDPSession();
  // What the page offers as downloads lands in the working directory's
  // .downloads folder.
  await session.send("Browser.setDownloadBehavior", {behavior: "allow", downloadPath: workDir + "/.downloads"});
  await watchNetwork(session);
  tabSessions.set(tab, session);
  tabs.push(tab);
  return tab;
}

async function launch() {
  browser = await launchChromium(["--disable-dev-shm-usage", ...chromiumFlags]);
  // A worker gone before it is watched (its install failed) fetches nothing more.
  browser.on("targetcreated", (t) => t.type() === "service_worker" && t.createCDPSession().then(watchNetwork).catch(() => {}));
  page = await newTab();
}

// Hashes each picture the page decodes: its RGBA as WebGL reads it back
// from a texture, keyed by the hash its file's name carries.
function hashPictures(premultiply) {
  window.knollPictureHashes = {};
  const decode = window.createImageBitmap;
  const hex = (buffer, n) => Array.from(new Uint8Array(buffer).slice(0, n),
                                        (b) => b.toString(16).padStart(2, "0")).join("");
  window.createImageBitmap = async (blob, options) => {
    const bitmap = await decode(blob, premultiply ? {...options, premultiplyAlpha: "premultiply"}
                                                  : options);
    const gl = new OffscreenCanvas(1, 1).getContext("webgl2");
    gl.bindTexture(gl.TEXTURE_2D, gl.createTexture());
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA8, gl.RGBA, gl.UNSIGNED_BYTE, bitmap);
    gl.bindFramebuffer(gl.FRAMEBUFFER, gl.createFramebuffer());
    gl.framebufferTexture2D(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D,
                            gl.getParameter(gl.TEXTURE_BINDING_2D), 0);
    const texels = new Uint8Array(bitmap.width * bitmap.height * 4);
    gl.readPixels(0, 0, bitmap.width, bitmap.height, gl.RGBA, gl.UNSIGNED_BYTE, texels);
    gl.getExtension("WEBGL_lose_context").loseContext();
    const file = hex(await crypto.subtle.digest("SHA-256", await blob.arrayBuffer()), 6);
    window.knollPictureHashes[file] = hex(await crypto.subtle.digest("SHA-256", texels), 32);
    return bitmap;
  };
}

// Keeps the floats Knoll last wrote into each member of its shared uniform
// block, by the names and offsets it asks the GL for at start-up.
function watchShared() {
  window.knollShared = {};
  const gl = WebGL2RenderingContext.prototype, {getUniformIndices, getActiveUniforms, bufferSubData} = gl;
  let names = [], members = {};
  gl.getUniformIndices = function (program, list) { names = list; return getUniformIndices.apply(this, arguments); };
  gl.getActiveUniforms = function (program, indices, pname) {
    const values = getActiveUniforms.apply(this, arguments);
    if (pname === this.UNIFORM_OFFSET) values.forEach((at, i) => { members[at] = names[i]; });
    return values;
  };
  // Emscripten writes from its heap: (HEAPU8, address, bytes).
  gl.bufferSubData = function (target, offset, heap, from, length) {
    if (target === this.UNIFORM_BUFFER && members[offset])
      window.knollShared[members[offset]] = Array.from(new Float32Array(heap.buffer, from, length / 4));
    return bufferSubData.apply(this, arguments);
  };
}

const pictures = () => page.evaluate(() => Object.entries(window.KnollLoader.build.images).map(
  ([name, entry]) => name.replace(/_png$/, ".png") + "=" + window.knollPictureHashes[entry.url.split(".").slice(-2)[0]])
  .join(" "));

// Waits until the page has started Knoll or given up.
async function settled() {
  await page.waitForFunction(() => document.body.dataset.knoll &&
                             !["loading", "starting"].includes(document.body.dataset.knoll),
                             {polling: 100, timeout: 60000});
  pinned = await page.addStyleTag({content: PINNED_CANVAS});
}

async function open(query) {
  const stored = {};
  for (const name of ["config.txt", "error.log"]) stored[name] = readWorkFile(name);
  // The files go into storage before the page's own script runs, for this
  // load only.
  const script = await page.evaluateOnNewDocument((files, refuse) => {
    window.localStorage.clear();
    for (const [name, text] of Object.entries(files))
      if (text !== null) window.localStorage.setItem("knoll/" + name, text);
    if (refuse) {
      Object.defineProperty(window, "localStorage", {
        get() { throw new DOMException("storage refused", "SecurityError"); },
      });
      CacheStorage.prototype.open = () => Promise.reject(new DOMException("Failed to execute 'open' on " +
        "'CacheStorage': An attempt was made to break through the security policy of the user agent.", "SecurityError"));
    }
  }, stored, refuseStorage);
  refuseStorage = false;
  fetched = {total: 0, large: 0};
  await page.goto(baseUrl + (query === "-" ? "" : query));
  await page.removeScriptToEvaluateOnNewDocument(script.identifier);
  await settled();
  return "";
}

async function reload(seconds = 30) {
  fetched = {total: 0, large: 0};
  await page.reload({timeout: 1000 * seconds});
  await settled();
  return "";
}

async function setting(key, value) {
  await page.evaluate(() => { document.getElementById("settings").open = true; });
  const input = await page.$(`#settings-fields [name="${key}"]`);
  if (!input) throw new Error("the settings panel has no " + key);
  const kind = await input.evaluate((e) => e.type);
  if (kind === "select-one") await input.select(value);
  else if (kind === "checkbox") await input.evaluate((e, v) => { e.checked = v !== "0"; }, value);
  else {
    await input.click({clickCount: 3});
    await input.type(value);
  }
  await Promise.all([page.waitForNavigation(), page.click("#settings-form button[type=submit]")]);
  await settled();
  return "";
}

async function state() {
  return page.evaluate(() => [document.body.dataset.knoll, document.body.dataset.status || ""]
                       .join(" ").trim());
}

async function pull() {
  const files = await page.evaluate((names) => {
    const out = {};
    for (const name of names) out[name] = window.localStorage.getItem("knoll/" + name);
    return out;
  }, FILES);
  for (const name of FILES) {
    const file = path.join(workDir, name);
    if (files[name] === null) fs.rmSync(file, {force: true});
    else fs.writeFileSync(file, files[name]);
  }
  return "";
}

// Finger id down, moved, lifted (up) or all cancelled. Each event lists the
// fingers then down; the protocol tells a lifted finger by its absence, and
// an end or a cancel holds none.
async function touch(id, x, y) {
  let type = fingers.has(id) ? "touchMove" : "touchStart";
  if (x === "cancel") fingers.clear();
  else if (x === "up") fingers.delete(id);
  else fingers.set(id, {x: Number(x), y: Number(y), id: Number(id)});
  if (x === "cancel") type = "touchCancel";
  else if (!fingers.size) type = "touchEnd";
  await tabSessions.get(page).send("Input.dispatchTouchEvent", {type, touchPoints: [...fingers.values()]});
  return "";
}

// Presses and releases key while the page's main thread is busy for
// TAP_FRAME ms, so that both reach the page together once it is free.
async function tapDuringFrame(key) {
  const busy = page.evaluate((ms) => {
    const end = performance.now() + ms;
    while (performance.now() < end) {}
  }, TAP_FRAME);
  await Promise.all([busy, page.keyboard.down(key), page.keyboard.up(key)]);
}

async function geometry() {
  const r = await page.evaluate(() => {
    const b = document.getElementById("canvas").getBoundingClientRect();
    return [b.x, b.y, b.width, b.height].map(Math.round).join(" ");
  });
  return r;
}

async function shot(file) {
  const [x, y, width, height] = (await geometry()).split(" ").map(Number);
  await page.screenshot({path: file, clip: {x, y, width, height}});
  return "";
}

const commands = {
  open: ([query]) => open(query),
  reload: ([seconds]) => reload(seconds),
  setting: ([key, value]) => setting(key, value),
  state: () => state(),
  message: () => page.evaluate(() => document.getElementById("overlay").hidden ? "" :
                               document.getElementById("message").textContent),
  pull: () => pull(),
  geometry: () => geometry(),
  shot: ([file]) => shot(file),
  key: async ([name, how]) => {
    if (how === "down") await page.keyboard.down(keyName(name));
    else if (how === "tap") await tapDuringFrame(keyName(name));
    else await page.keyboard.up(keyName(name));
    return "";
  },
  button: async ([n, how]) => {
    const options = {button: BUTTONS[n] || "left"};
    if (how === "down") await page.mouse.down(options);
    else await page.mouse.up(options);
    return "";
  },
  motion: async ([dx, dy]) => {
    pointer = {x: pointer.x + Number(dx), y: pointer.y + Number(dy)};
    await page.mouse.move(pointer.x, pointer.y);
    return "";
  },
  moveto: async ([x, y]) => {
    pointer = {x: Number(x), y: Number(y)};
    await page.mouse.move(pointer.x, pointer.y);
    return "";
  },
  console: async () => consoleLines.join(" | "),
  dataset: ([key]) => page.evaluate((k) => document.body.dataset[k] || "", key),
  // An element's text on one line, its line breaks as " | ".
  text: ([selector]) => page.$eval(selector, (e) => e.textContent.split("\n").join(" | ")),
  log: async () => knollLines.join(" | "),
  "refuse-storage": async () => {
    refuseStorage = true;
    return "";
  },
  // The build's cached copy of a file turned to zeros, its size kept.
  "spoil-cached": ([url]) => page.evaluate(async (address) => {
    const cache = await caches.open(window.KnollLoader.build.cache);
    const size = (await (await cache.match(address)).arrayBuffer()).byteLength;
    await cache.put(address, new Response(new Uint8Array(size)));
    return "";
  }, url),
  // The origin's storage limited to bytes, as on a full disk.
  quota: async ([bytes]) => {
    const session = await page.createCDPSession();
    await session.send("Storage.overrideQuotaForOrigin",
                       {origin: new URL(baseUrl).origin, quotaSize: Number(bytes)});
    return "";
  },
  "lose-context": async () => {
    await page.evaluate(() => {
      window.knollLoseContext = document.getElementById("canvas").getContext("webgl2")
        .getExtension("WEBGL_lose_context");
      window.knollLoseContext.loseContext();
    });
    return "";
  },
  "restore-context": async () => {
    await page.evaluate(() => window.knollLoseContext.restoreContext());
    return "";
  },
  scale: async ([s, w, h, phone]) => {
    await page.setViewport({width: Number(w), height: Number(h), deviceScaleFactor: Number(s),
                            hasTouch: !!phone, isMobile: !!phone, isLandscape: Number(w) > Number(h)});
    return "";
  },
  touch: ([id, x, y]) => touch(id, x, y),
  unpin: async () => {
    await pinned.evaluate((e) => e.remove());
    return "";
  },
  click: async ([selector, then]) => {
    await Promise.all([then === "navigates" && page.waitForNavigation(), page.click(selector)]);
    if (then === "navigates") await settled();
    return "";
  },
  upload: async ([selector, file]) => {
    await (await page.$(selector)).uploadFile(path.resolve(workDir, file));
    return "";
  },
  drop: async ([selector, file]) => {
    const {x, y, width, height} = await (await page.$(selector)).boundingBox();
    const data = {items: [], files: [path.resolve(workDir, file)], dragOperationsMask: 1};
    for (const type of ["dragEnter", "dragOver", "drop"])
      await tabSessions.get(page).send("Input.dispatchDragEvent", {type, x: x + width / 2, y: y + height / 2, data});
    return "";
  },
  eval: async (words) => String(await page.evaluate(words.join(" "))),
  pageshot: async ([file]) => {
    await page.screenshot({path: file});
    return "";
  },
  bytes: async () => fetched.total + " " + fetched.large,
  offline: async ([how]) => {
    // The page must be the service worker's to start without the network.
    if (how === "on") await page.evaluate(() => navigator.serviceWorker.ready);
    offline = how === "on";
    await Promise.all(sessions.map(emulate));
    return "";
  },
  "stall-index": async ([seconds]) => { indexFault = {stall: 1000 * seconds}; return ""; },
  "fail-index": async ([status]) => { indexFault = {status: Number(status)}; return ""; },
  throttle: ([bytes]) => { throughput = Number(bytes); return Promise.all(sessions.map(emulate)).then(() => ""); },
  "watch-pictures": async ([how]) => {
    if (watchPictures) await page.removeScriptToEvaluateOnNewDocument(watchPictures.identifier);
    watchPictures = await page.evaluateOnNewDocument(hashPictures, how === "premultiply");
    return "";
  },
  pictures: () => pictures(),
  "watch-shared": () => page.evaluateOnNewDocument(watchShared).then(() => ""),
  tab: async ([which]) => {
    if (which !== "new") {
      page = tabs[Number(which)];
      await page.bringToFront();
      return "";
    }
    page = await newTab();
    await page.goto(baseUrl);
    await settled();
    return "";
  },
  build: () => page.evaluate(async () => {
    await navigator.serviceWorker.ready;
    return document.body.dataset.build;
  }),
  later: ([ms, name, ...args]) => { setTimeout(() => commands[name](args).catch(() => {}), Number(ms)); return ""; },
  quit: async () => {
    await browser.close();
    process.exit(0);
  },
};

async function main() {
  await launch();
  const lines = readline.createInterface({input: process.stdin});
  for await (const line of lines) {
    const [name, ...args] = line.trim().split(/\s+/);
    try {
      if (!commands[name]) throw new Error("no command " + name);
      const answer = await commands[name](args);
      process.stdout.write("ok" + (answer ? " " + answer : "") + "\n");
    } catch (e) {
      process.stdout.write("error " + String(e.message || e).replace(/\s+/g, " ") + "\n");
    }
  }
  await browser.close();
}

main().catch((e) => {
  process.stderr.write("driver: " + (e.stack || e) + "\n");
  process.exit(1);
});
