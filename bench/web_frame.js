// Measures Knoll's page in Debian's Chromium: the time from navigation to
// the first logo frame and to the end of the start-up, the frame time at
// the start view with the canvas at 800 x 600, the memory the tab holds
// there, what was downloaded, and the same times once more for a reload
// and for a later visit in a new tab (the browser's caches kept). Prints one "name value" a
// line. KNOLL_MBIT throttles the network to that many Mbit/s (the DevTools
// protocol's emulation, 20 ms latency). With KNOLL_BENCH_PHONE=1 the page is
// on a phone's touch screen (390 x 844 CSS pixels, ratio 3) with the canvas
// at a third of 800 x 600 CSS pixels, whose drawing buffer (the device's
// pixels) is the desktop's 800 x 600.
//
//   node web_frame.js URL [CHROMIUM FLAGS...]
"use strict";

const launchChromium = require("../tools/browser/chromium");
const PINNED_CANVAS = require("../tests/web/pinned_canvas");

const [url, ...flags] = process.argv.slice(2);
// How long the frames at the start view are counted.
const COUNT_MS = 10000;
const PHONE = process.env.KNOLL_BENCH_PHONE === "1";
// A phone's screen, or the launcher's desktop.
const VIEWPORT = PHONE ? {width: 390, height: 844, deviceScaleFactor: 3, hasTouch: true, isMobile: true}
  : undefined;
const PHONE_CANVAS = " #frame:not(:fullscreen) #canvas { width: calc(800px / 3); }";

// Tasks that kept the tab from answering for over 50 ms, from the start,
// and the frames Knoll draws.
const measurePage = () => {
  window.knollLongTasks = [];
  new PerformanceObserver((list) => {
    for (const e of list.getEntries()) window.knollLongTasks.push([e.startTime, e.duration]);
  }).observe({type: "longtask", buffered: true});
  // Knoll clears the window once a frame: the clears of the default
  // framebuffer count its frames, whichever animation frames drew them.
  window.knollFrames = 0;
  const gl = WebGL2RenderingContext.prototype;
  const bind = gl.bindFramebuffer, clear = gl.clear;
  let windowBound = true;
  gl.bindFramebuffer = function (target, framebuffer) {
    if (target !== this.READ_FRAMEBUFFER) windowBound = framebuffer === null;
    return bind.call(this, target, framebuffer);
  };
  gl.clear = function (mask) {
    if (windowBound && (mask & this.COLOR_BUFFER_BIT)) window.knollFrames++;
    return clear.call(this, mask);
  };
};

(async () => {
  const browser = await launchChromium(["--enable-precise-memory-info", ...flags], VIEWPORT);
  let page;
  let downloaded = 0;
  // A tab whose network is watched (and throttled) and whose page is measured.
  const openTab = async () => {
    page = await browser.newPage();
    const network = await page.createCDPSession();
    network.on("Network.loadingFinished", (e) => { downloaded += e.encodedDataLength; });
    await network.send("Network.enable");
    if (process.env.KNOLL_MBIT) {
      const bytesPerSecond = Number(process.env.KNOLL_MBIT) * 1e6 / 8;
      await network.send("Network.emulateNetworkConditions", {offline: false, latency: 20,
        downloadThroughput: bytesPerSecond, uploadThroughput: bytesPerSecond});
    }
    await page.evaluateOnNewDocument(measurePage);
  };
  await openTab();
  // Milliseconds since navigation: the page marks the animation frame in
  // which Knoll drew its first frame, the logo, and the end of its start-up.
  const visit = async (go) => {
    await go();
    await page.addStyleTag({content: PINNED_CANVAS + (PHONE ? PHONE_CANVAS : "")});
    await page.waitForFunction(() => document.body.dataset.knoll === "running",
                               {polling: 20, timeout: 300000});
    return page.evaluate(() => ["knoll-first-frame", "knoll-running"].map(
      (name) => performance.getEntriesByName(name)[0].startTime));
  };
  const marks = await visit(() => page.goto(url));
  const firstVisitBytes = downloaded;
  // The logo's two seconds, then the scene settles.
  await new Promise((r) => setTimeout(r, 5000));
  const counted = await page.evaluate((ms) => new Promise((resolve) => {
    const from = [performance.now(), window.knollFrames];
    setTimeout(() => resolve([performance.now() - from[0], window.knollFrames - from[1]]), ms);
  }), COUNT_MS);
  const memory = await page.evaluate(() => ({
    js: performance.memory ? performance.memory.usedJSHeapSize : 0,
    wasm: window.Module && window.Module.HEAP8 ? window.Module.HEAP8.buffer.byteLength : 0,
  }));
  // Tasks that kept the page busy for over 50 ms: up to the end of the
  // start-up (the download, the start-up's slices, the logo meanwhile), and
  // while the scene runs.
  const longTasks = await page.evaluate(() => window.knollLongTasks);
  const before = longTasks.filter(([start]) => start < marks[1]).map(([, d]) => d);
  const after = longTasks.filter(([start]) => start >= marks[1]).map(([, d]) => d);
  console.log("first_logo_frame_ms", marks[0].toFixed(0));
  console.log("startup_done_ms", marks[1].toFixed(0));
  console.log("startup_longest_task_ms", Math.max(0, ...before).toFixed(0));
  console.log("startup_long_tasks_over_50ms", before.length);
  console.log("running_longest_task_ms", Math.max(0, ...after).toFixed(0));
  console.log("frame_ms_mean", (counted[0] / counted[1]).toFixed(1));
  console.log("js_heap_mb", (memory.js / 1048576).toFixed(1));
  console.log("wasm_memory_mb", (memory.wasm / 1048576).toFixed(1));
  console.log("downloaded_mb", (firstVisitBytes / 1e6).toFixed(2));
  // A service worker may still be filling its cache.
  await new Promise((r) => setTimeout(r, 2000));
  downloaded = 0;
  const reloaded = await visit(() => page.reload());
  console.log("reload_first_logo_frame_ms", reloaded[0].toFixed(0));
  console.log("reload_startup_done_ms", reloaded[1].toFixed(0));
  console.log("reload_downloaded_kb", (downloaded / 1e3).toFixed(1));
  // A later visit: the tab closed, then the page opened in a new one.
  await page.close();
  await new Promise((r) => setTimeout(r, 1000));
  downloaded = 0;
  await openTab();
  const again = await visit(() => page.goto(url));
  console.log("second_visit_first_logo_frame_ms", again[0].toFixed(0));
  console.log("second_visit_startup_done_ms", again[1].toFixed(0));
  console.log("second_visit_downloaded_kb", (downloaded / 1e3).toFixed(1));
  await browser.close();
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
