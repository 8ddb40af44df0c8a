// Debian's Chromium (KNOLL_CHROMIUM, or /usr/bin/chromium), headless, through
// the browser tests' puppeteer-core, for the bench scripts: the window
// viewport (the desktop's 1280 x 1024 unless given), Chromium's flags.
"use strict";

const puppeteer = require("../tests/web/node_modules/puppeteer-core");

const DESKTOP = {width: 1280, height: 1024, deviceScaleFactor: 1};

module.exports = (flags, viewport) => puppeteer.launch({
  executablePath: process.env.KNOLL_CHROMIUM || "/usr/bin/chromium",
  headless: true,
  defaultViewport: viewport || DESKTOP,
  args: ["--no-sandbox", ...flags],
});
