// Measures Knoll's page in Debian's Chromium: the time from navigation to
// the first logo frame, the frame time at the start view, the memory the
// tab holds there, and what was downloaded. Prints one "name value" a line.
//
//   node web_frame.js URL [CHROMIUM FLAGS...]
"use strict";

const puppeteer = require("../tests/web/node_modules/puppeteer-core");

const [url, ...flags] = process.argv.slice(2);
const FRAMES = 40;

(async () => {
  const browser = await puppeteer.launch({
    executablePath: process.env.KNOLL_CHROMIUM || "/usr/bin/chromium",
    headless: true,
    defaultViewport: {width: 1280, height: 1024, deviceScaleFactor: 1},
    args: ["--no-sandbox", "--enable-precise-memory-info", ...flags],
  });
  const page = await browser.newPage();
  let downloaded = 0;
  page.on("response", async (r) => {
    const length = Number(r.headers()["content-length"] || 0);
    downloaded += length;
  });
  // Tasks that kept the tab from answering for over 50 ms, from the start.
  await page.evaluateOnNewDocument(() => {
    window.knollLongTasks = [];
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) window.knollLongTasks.push([e.startTime, e.duration]);
    }).observe({type: "longtask", buffered: true});
  });
  await page.goto(url);
  await page.waitForFunction(() => document.body.dataset.knoll === "running", {polling: 20});
  // Knoll draws its first frame, the logo, in the animation frame after it
  // says it runs: milliseconds since navigation.
  const firstFrame = await page.evaluate(() => new Promise((resolve) => {
    requestAnimationFrame(() => resolve(performance.now()));
  }));
  // The logo's two seconds, then the scene settles.
  await new Promise((r) => setTimeout(r, 5000));
  const intervals = await page.evaluate((count) => new Promise((resolve) => {
    const times = [];
    const step = (t) => {
      times.push(t);
      if (times.length <= count) requestAnimationFrame(step);
      else resolve(times.slice(1).map((x, i) => x - times[i]).sort((a, b) => a - b));
    };
    requestAnimationFrame(step);
  }), FRAMES);
  const memory = await page.evaluate(() => ({
    js: performance.memory ? performance.memory.usedJSHeapSize : 0,
    wasm: window.Module && window.Module.HEAP8 ? window.Module.HEAP8.buffer.byteLength : 0,
  }));
  // Before the first frame: the download and the start-up; after it, the
  // frames themselves, whose length is the rasterizer's.
  const longTasks = await page.evaluate(() => window.knollLongTasks);
  const before = longTasks.filter(([start]) => start < firstFrame).map(([, d]) => d);
  const after = longTasks.filter(([start]) => start >= firstFrame).map(([, d]) => d);
  console.log("first_logo_frame_ms", firstFrame.toFixed(0));
  console.log("startup_longest_task_ms", Math.max(0, ...before).toFixed(0));
  console.log("startup_long_tasks_over_50ms", before.length);
  console.log("running_longest_task_ms", Math.max(0, ...after).toFixed(0));
  console.log("frame_ms_median", intervals[Math.floor(intervals.length / 2)].toFixed(1));
  console.log("frame_ms_min", intervals[0].toFixed(1));
  console.log("js_heap_mb", (memory.js / 1048576).toFixed(1));
  console.log("wasm_memory_mb", (memory.wasm / 1048576).toFixed(1));
  console.log("downloaded_mb", (downloaded / 1048576).toFixed(2));
  await browser.close();
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
