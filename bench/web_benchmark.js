// Runs Knoll's benchmark on its page in Debian's Chromium and prints the
// report the page shows when it ends.
//
//   node web_benchmark.js URL?benchmark=SECONDS [CHROMIUM FLAGS...]
"use strict";

const launchChromium = require("../tools/browser/chromium");

const [url, ...flags] = process.argv.slice(2);

(async () => {
  const browser = await launchChromium(flags);
  try {
    const page = await browser.newPage();
    await page.goto(url);
    // The canvas at the window size asked for, whatever the page's layout.
    await page.addStyleTag({content: require("../tests/web/pinned_canvas")});
    await page.waitForFunction(() => document.body.dataset.benchmark === "done" ||
                               document.body.dataset.knoll === "failed",
                               {polling: 500, timeout: 0});
    console.log(await page.$eval("#benchmark-report > pre", (e) => e.textContent));
  } finally {
    await browser.close();
  }
})().catch((e) => {
  console.error("web_benchmark: " + (e.stack || e));
  process.exit(1);
});
