// The page's benchmark and pictures: ?benchmark or ?benchmark=SECONDS in the
// address runs `knoll --benchmark` and shows its report when it ends, with
// a button to copy it and one to download the frames' CSV; "Save picture"
// (or the P key on the canvas, as F12 belongs to the browser) downloads the
// frame as a PNG of the canvas's size. Loaded before knoll-page.js, it adds
// its hooks to the Module object that script makes, as that is made.
"use strict";

(function () {
  // ---------------------------------------------------------- constants ----

  const PARAMETER = "benchmark";

  // -------------------------------------------------------------- state ----

  const el = (id) => document.getElementById(id);
  const address = new URLSearchParams(window.location.search);
  let module = null;

  // ---------------------------------------------------------- downloads ----

  // Offers bytes (a Uint8Array or a string) as a download named name.
  function download(name, bytes, type) {
    const url = URL.createObjectURL(new Blob([bytes], {type: type}));
    const link = document.createElement("a");
    link.href = url;
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
  }

  // ------------------------------------------------------------- report ----

  // The finished benchmark's report under the canvas, with its two buttons.
  function showReport(text, csv) {
    const box = el("benchmark-report");
    box.querySelector("pre").textContent = text;
    el("benchmark-copy").onclick = (event) => {
      navigator.clipboard.writeText(text).then(
        () => { event.target.textContent = "Copied"; },
        () => { event.target.textContent = "Copy refused: select the text instead"; });
    };
    el("benchmark-csv").onclick = () => download("knoll-benchmark.csv", csv, "text/csv");
    box.hidden = false;
    document.body.dataset.benchmark = "done";
  }

  // -------------------------------------------------------------- hooks ----

  // The command line of a benchmark from the address, or none.
  function benchmarkArguments() {
    if (!address.has(PARAMETER)) return [];
    const seconds = address.get(PARAMETER);
    return [seconds ? "--benchmark=" + seconds : "--benchmark"];
  }

  // Gives Module what this script adds: the benchmark's arguments after the
  // page's (and the address's settings without it), the report and the
  // downloads.
  function addHooks(m) {
    if (!m || m.knollDownload) return;
    m.arguments = (m.arguments || []).concat(benchmarkArguments());
    if (typeof m.knollAddressSettings === "string")
      m.knollAddressSettings = m.knollAddressSettings.split("\n")
        .filter((line) => line.split(" ")[0] !== PARAMETER).join("\n");
    m.knollReport = showReport;
    m.knollDownload = (name, bytes) => download(name, bytes, "image/png");
  }

  // Module is made by knoll-page.js when it starts Knoll; the hooks go in as
  // it is set.
  Object.defineProperty(window, "Module", {
    configurable: true,
    get: () => module,
    set: (value) => {
      addHooks(value);
      module = value;
    },
  });

  function savePicture() {
    if (module && module._knollSavePicture) module._knollSavePicture();
    el("canvas").focus();
  }

  document.addEventListener("DOMContentLoaded", () => {
    el("save-picture").addEventListener("click", savePicture);
    if (address.has(PARAMETER)) document.body.dataset.benchmark = "running";
  });
})();
