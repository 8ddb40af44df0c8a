// The page's memory over a user's terrain: opens SITE/index.html?terrain=MAP
// in Chromium (ANGLE on llvmpipe), waits for Knoll's line on the terrain,
// flies a few seconds, and prints the WebAssembly memory and the JavaScript
// heap, before and after.
//   node bench/web_terrain.js URL MAP
"use strict";

const launch = require("../tools/browser/chromium");

(async () => {
  const [url, map] = process.argv.slice(2);
  const browser = await launch(["--use-angle=gl-egl", "--ignore-gpu-blocklist",
                                "--enable-precise-memory-info"]);
  const page = await browser.newPage();
  // knoll.js runs in the page's global scope, HEAPU8 with it.
  const memory = () => page.evaluate(() => ({
    wasm: typeof HEAPU8 !== "undefined" ? HEAPU8.length : 0,
    js: performance.memory.usedJSHeapSize,
  }));
  const mb = (n) => (n / 1048576).toFixed(0) + " MB";
  await page.goto(url, {waitUntil: "load"});
  await page.waitForFunction(() => typeof HEAPU8 !== "undefined", {timeout: 60000});
  await new Promise((r) => setTimeout(r, 5000));
  const before = await memory();
  await page.goto(url + "?terrain=" + encodeURIComponent(map), {waitUntil: "load"});
  await page.waitForFunction(
    () => /Terrain: /.test(document.body.innerText), {timeout: 120000, polling: 500});
  await new Promise((r) => setTimeout(r, 5000));
  const after = await memory();
  console.log(`built-in: WebAssembly memory ${mb(before.wasm)}, JavaScript heap ${mb(before.js)}`);
  console.log(`${map}: WebAssembly memory ${mb(after.wasm)}, JavaScript heap ${mb(after.js)}`);
  await browser.close();
})().catch((e) => { console.error(e.message); process.exit(1); });
