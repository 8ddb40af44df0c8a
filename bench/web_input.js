// Measures how soon input reaches the camera in Knoll's page, in Debian's
// Chromium: a look and a move from the page's touch hooks, and an arrow key
// from the keyboard, each TRIALS times at the start view with the canvas at
// 800 x 600. A frame's camera is what it writes into the shared uniform
// block; the first frame whose camera differs from the one before, after
// the input, is where the input shows. Prints per input the frames that
// went by (1: the next frame) and the milliseconds from the input's event
// to that frame's start, as "name median max"; then the frame interval.
//
//   node web_input.js URL [CHROMIUM FLAGS...]
"use strict";

const launchChromium = require("../tools/browser/chromium");
const PINNED_CANVAS = require("../tests/web/pinned_canvas");

const [url, ...flags] = process.argv.slice(2);
const TRIALS = 15;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Installed before the page's own script: every frame (the window's colour
// clear) is recorded with its time and a checksum of the uniform-block
// writes made since the last, which hold the camera.
function recordFrames() {
  window.knollFrameLog = [];
  window.knollInputAt = 0;
  let sum = 0, windowBound = true;
  const gl = WebGL2RenderingContext.prototype;
  const bind = gl.bindFramebuffer, clear = gl.clear, sub = gl.bufferSubData;
  gl.bindFramebuffer = function (target, framebuffer) {
    if (target !== this.READ_FRAMEBUFFER) windowBound = framebuffer === null;
    return bind.call(this, target, framebuffer);
  };
  gl.bufferSubData = function (target, offset, data, from, length) {
    if (target === this.UNIFORM_BUFFER && data && data.buffer) {
      const bytes = new Uint8Array(data.buffer, data.byteOffset + (from || 0),
                                   length || data.byteLength - (from || 0));
      for (let i = 0; i < bytes.length; i++) sum = (sum * 31 + bytes[i] + offset) % 1000000007;
    }
    return sub.apply(this, arguments);
  };
  gl.clear = function (mask) {
    if (windowBound && (mask & this.COLOR_BUFFER_BIT)) {
      window.knollFrameLog.push([performance.now(), sum]);
      sum = 0;
    }
    return clear.call(this, mask);
  };
  window.addEventListener("keydown", (e) => { window.knollInputAt = e.timeStamp; }, true);
}

// Frames from the input to the first changed camera, and the milliseconds.
async function measure(page, act) {
  await page.evaluate(() => { window.knollFrameLog = window.knollFrameLog.slice(-1); });
  await act();
  const found = await page.waitForFunction(() => {
    const log = window.knollFrameLog, at = window.knollInputAt;
    let last = null;
    for (let i = 0, n = 0; i < log.length; i++) {
      if (log[i][0] >= at) {
        n++;
        if (last !== null && log[i][1] !== last) return [n, log[i][0] - at];
      }
      last = log[i][1];
    }
    return false;
  }, {polling: 10, timeout: 10000});
  return found.jsonValue();
}

// The values the page shares with Knoll, from the page's own
// knoll-boundary.js, found by its hashed name in the build's list of files.
function boundary(page) {
  return page.evaluate(async () => {
    const url = window.KnollLoader.build.page.find((u) => /\/knoll-boundary\.\w+\.js$/.test(u));
    return JSON.parse(JSON.stringify(await import(new URL(url, window.location.href).href)));
  });
}

// Waits until two frames in a row show the same camera.
async function still(page) {
  await page.evaluate(() => { window.knollFrameLog = []; });
  await page.waitForFunction(() => {
    const log = window.knollFrameLog, n = log.length;
    return n >= 3 && log[n - 1][1] === log[n - 2][1];
  }, {polling: 10, timeout: 10000});
}

function report(name, results) {
  const frames = results.map((r) => r[0]).sort((a, b) => a - b);
  const ms = results.map((r) => r[1]).sort((a, b) => a - b);
  const mid = (a) => a[Math.floor(a.length / 2)];
  console.log(`${name}_frames ${mid(frames)} ${frames[frames.length - 1]}`);
  console.log(`${name}_ms ${mid(ms).toFixed(1)} ${ms[ms.length - 1].toFixed(1)}`);
}

(async () => {
  const browser = await launchChromium(flags);
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(recordFrames);
  await page.goto(url);
  await page.addStyleTag({content: PINNED_CANVAS});
  await page.waitForFunction(() => document.body.dataset.knoll === "running", {polling: 20});
  await page.click("#canvas");
  await sleep(4000);
  const {KEY, KNOLL_EXPORTS, MOVE} = await boundary(page);
  const home = () => page.evaluate((e, key) => Module[e.COMMAND](key), KNOLL_EXPORTS, KEY.HOME);
  const inputs = {
    touch_look: () => page.evaluate((e) => {
      window.knollInputAt = performance.now();
      Module[e.TOUCH_LOOK](8, 0);
    }, KNOLL_EXPORTS),
    touch_move: async () => {
      await page.evaluate((e, bits) => {
        window.knollInputAt = performance.now();
        Module[e.TOUCH_MOVE](bits);
      }, KNOLL_EXPORTS, MOVE.FORWARD);
      await page.evaluate((e) => Module[e.TOUCH_MOVE](0), KNOLL_EXPORTS);
    },
    key_up: async () => {
      await page.keyboard.down("ArrowUp");
      await page.keyboard.up("ArrowUp");
    },
  };
  for (const [name, act] of Object.entries(inputs)) {
    const results = [];
    for (let i = 0; i < TRIALS; i++) {
      await still(page);
      await sleep(Math.random() * 100);
      results.push(await measure(page, act));
      await home();
    }
    report(name, results);
  }
  // The frame interval meanwhile, for scale.
  await page.evaluate(() => { window.knollFrameLog = []; });
  await sleep(5000);
  const log = await page.evaluate(() => window.knollFrameLog.map(([t]) => t));
  console.log(`frame_interval_ms ${((log[log.length - 1] - log[0]) / (log.length - 1)).toFixed(1)}`);
  await browser.close();
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
