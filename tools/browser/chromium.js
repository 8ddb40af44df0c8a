// Debian's Chromium (KNOLL_CHROMIUM, or /usr/bin/chromium), headless, through
// puppeteer-core as this folder's lock file pins it (install.sh installs it,
// never a downloaded browser), for the browser tests' driver and the page's
// benchmarks: launch(flags, viewport) starts one with Chromium's flags, its
// window's viewport a desktop's 1280 x 1024 unless given.
"use strict";

const puppeteer = require("puppeteer-core");

const DESKTOP = {width: 1280, height: 1024, deviceScaleFactor: 1};

module.exports = (flags, viewport) => puppeteer.launch({
  executablePath: process.env.KNOLL_CHROMIUM || "/usr/bin/chromium",
  headless: true,
  defaultViewport: viewport || DESKTOP,
  args: ["--no-sandbox", ...flags],
});
