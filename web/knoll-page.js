// The page around Knoll's canvas: loads Knoll (knoll-loader.js) with its progress,
// keeps config.txt and error.log in the browser's storage, shows help.txt
// beside the canvas, edits the settings, and tells the user when Knoll
// stops or cannot start. Knoll's own side of this is src/platform_web.cpp.
"use strict";

(function () {
  // ---------------------------------------------------------- constants ----

  const STORAGE_PREFIX = "knoll/";
  const LOG_LIMIT = 65536;  // characters of error.log kept, the newest
  // Keys Knoll reads while the canvas has focus; the page would scroll or
  // the browser would act on them.
  const KNOLL_KEYS = new Set(["ArrowLeft", "ArrowRight", "ArrowUp", "ArrowDown", "KeyE", "KeyF",
                              "KeyR", "F11", "Escape"]);
  const HINTS = {
    "Window init failed!": "Knoll needs WebGL 2. Try a current Firefox, Chrome, Edge or Safari, " +
      "turn on hardware acceleration in the browser's settings, or update the graphics driver.",
    "Graphics init failed!": "The graphics driver refused part of Knoll's set-up. Try another " +
      "browser or an updated graphics driver, and send us error.log.",
    "Config init failed!": "The browser's storage could not be read. Try clearing this site's " +
      "data.",
  };

  // -------------------------------------------------------------- state ----

  const el = (id) => document.getElementById(id);
  const canvas = el("canvas");
  let memoryStorage = {};  // stands in for localStorage where that is refused
  let logText = "";
  let stopped = false;
  let downloadFault = null;  // what did not arrive whole, once something did not

  // ------------------------------------------------------------ storage ----

  // Reads a stored file; null when there is none or storage is refused.
  function loadFile(name) {
    try {
      return window.localStorage.getItem(STORAGE_PREFIX + name);
    } catch (e) {
      return name in memoryStorage ? memoryStorage[name] : null;
    }
  }

  // Stores a file; returns 0, or 1 when the browser refused (storage full or
  // unavailable), when it is kept for this visit only.
  function storeFile(name, text) {
    memoryStorage[name] = text;
    try {
      window.localStorage.setItem(STORAGE_PREFIX + name, text);
      return 0;
    } catch (e) {
      return 1;
    }
  }

  // ----------------------------------------------------------- error.log ----

  // One line of Knoll's standard error: the console, and error.log.
  function logLine(line) {
    console.warn("Knoll: " + line);
    logText = (logText + line + "\n").slice(-LOG_LIMIT);
    storeFile("error.log", logText);
  }

  function downloadLog() {
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob([logText], {type: "text/plain"}));
    link.download = "error.log";
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }

  // ------------------------------------------------------------- overlay ----

  function showOverlay(message, detail, percent, canRestart) {
    el("overlay").hidden = false;
    el("message").textContent = message;
    el("detail").textContent = detail || "";
    const progress = el("progress");
    progress.hidden = percent === undefined;
    if (percent !== undefined && percent !== null) progress.value = percent;
    if (percent === null) progress.removeAttribute("value");
    el("restart").hidden = !canRestart;
  }

  function hideOverlay() { el("overlay").hidden = true; }

  function startupFailed(message) {
    stopped = true;
    showOverlay(message, HINTS[message] || "", undefined, true);
    document.body.dataset.status = "1";
    document.body.dataset.knoll = "failed";
  }

  // ------------------------------------------------------------ settings ----

  // The settings form from the text of config.txt: one number field a key.
  function showSettings(config) {
    const fields = el("settings-fields");
    fields.textContent = "";
    for (const line of config.split("\n")) {
      const match = /^([a-z_]+) (-?\d+)$/.exec(line);
      if (!match) continue;
      const label = document.createElement("label");
      const input = document.createElement("input");
      input.type = "number";
      input.name = match[1];
      input.value = match[2];
      label.append(match[1] + " ", input);
      fields.append(label);
    }
  }

  // Keeps the form's values as config.txt and starts Knoll again without the
  // address's settings, which would hide the new ones.
  function applySettings(event) {
    event.preventDefault();
    const lines = [];
    for (const input of el("settings-fields").querySelectorAll("input"))
      lines.push(input.name + " " + input.value);
    storeFile("config.txt", lines.join("\n") + "\n");
    window.location.href = window.location.pathname;
  }

  function resetSettings() {
    try {
      window.localStorage.removeItem(STORAGE_PREFIX + "config.txt");
    } catch (e) { /* nothing stored, nothing to remove */ }
    delete memoryStorage["config.txt"];
    window.location.href = window.location.pathname;
  }

  // Knoll replaced one of its files: kept for the next visit, and shown.
  function fileReplaced(name, text) {
    if (name === "help.txt") el("help").textContent = text;
    if (name === "config.txt") showSettings(text);
    const refused = storeFile(name, text);
    if (refused) logLine("Storage Error: " + name + " is kept for this visit only (the browser refused to store it)");
    return refused;
  }

  // Knoll's GL context: lost (0), back (1), or not to be rebuilt (2).
  function contextChanged(state) {
    if (state === 1) {
      hideOverlay();
      document.body.dataset.knoll = "running";
      return;
    }
    const lost = state === 0;
    logLine(lost ? "The browser took the graphics context away; waiting for it to come back"
                 : "The graphics context came back but Knoll could not set it up again");
    showOverlay(lost ? "The graphics context was lost." : "Knoll could not recover.",
                lost ? "Knoll goes on once the browser gives it back; starting again helps " +
                       "if that takes long." : "Start Knoll again.", undefined, true);
    document.body.dataset.knoll = lost ? "lost" : "failed";
  }

  // ---------------------------------------------------------- the address ----

  // The address's ?key=value pairs as config.txt lines, one a pair; line
  // breaks inside a pair cannot start another line.
  function addressSettings() {
    const lines = [];
    for (const [key, value] of new URLSearchParams(window.location.search))
      lines.push((key + " " + value).replace(/[\r\n\0]/g, " "));
    return lines.join("\n");
  }

  // ---------------------------------------------------------------- keys ----

  // Keys reach Knoll only while its canvas has focus, and those it uses do
  // nothing else there. Registered before Knoll's own listeners, which then
  // never see a key meant for the rest of the page. Releases always pass, so
  // that no key stays held when the focus moves while it is down.
  function filterKey(event) {
    if (document.activeElement !== canvas) {
      if (event.type === "keydown") event.stopImmediatePropagation();
      return;
    }
    if (KNOLL_KEYS.has(event.code)) event.preventDefault();
  }

  // ----------------------------------------------------------- full screen ----

  function toggleFullscreen() {
    const stage = el("stage");
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
    else if (stage.requestFullscreen) stage.requestFullscreen().catch(() => {});
    canvas.focus();
  }

  // ------------------------------------------------------------ download ----

  // Loads Knoll's build (knoll-loader.js), showing the bytes received
  // against the build's total: over the canvas until the code is there, then
  // in a thin bar under the logo until every image is. Resolves to the code;
  // *all* settles once everything has arrived.
  function download() {
    const streaming = document.createElement("progress");
    streaming.max = 100;
    streaming.style.cssText = "position:absolute;left:0;bottom:0;width:100%;height:4px;";
    const loading = window.KnollLoader.load((received, total) => {
      const mb = (n) => (n / 1e6).toFixed(1);
      const percent = Math.floor(100 * received / total);
      streaming.value = percent;
      if (document.body.dataset.knoll === "loading")
        showOverlay("Downloading Knoll… " + percent + " %", mb(received) + " of " + mb(total) + " MB", percent);
    }, (e) => logLine("Storage Error: Knoll's files are not kept for offline use (" + e + ")"));
    el("stage").append(streaming);
    loading.all.then(() => streaming.remove(), (e) => {
      streaming.remove();
      downloadFailed(e);
    });
    return loading.code;
  }

  // A file that did not arrive whole: said over the canvas, and it stays said
  // when Knoll, missing it, then fails its start-up.
  function downloadFailed(e) {
    if (downloadFault) return;
    downloadFault = String(e.message || e);
    logLine("Download Error: " + downloadFault);
    startupFailed("Knoll could not be downloaded.");
    el("detail").textContent = downloadFault + ". Check the connection and start again.";
  }

  // A browser without WebGL 2 at all; one that has it but cannot create a
  // context (a blocked driver) fails in Knoll's own start-up, with the same
  // message. A trial context here would keep the page busy for a tenth of a
  // second.
  function webgl2Available() {
    return typeof WebGL2RenderingContext === "function";
  }

  // --------------------------------------------------------------- start ----

  function startKnoll(code) {
    window.Module = {
      canvas: canvas,
      instantiateWasm: (imports, receive) => {
        WebAssembly.instantiate(code.module, imports).then((instance) => receive(instance, code.module));
        return {};
      },
      knollPicture: window.KnollLoader.picture,
      knollPicturesAgain: window.KnollLoader.loadPicturesAgain,
      knollPicturesReady: window.KnollLoader.picturesReady,
      print: logLine,
      printErr: logLine,
      knollStoreFile: fileReplaced,
      knollStartupFailed: (message) => downloadFault || startupFailed(message),
      knollContext: contextChanged,
      knollAddressSettings: addressSettings(),
      knollFrameShown: () => {
        performance.mark("knoll-first-frame");
        hideOverlay();
      },
      knollStarted: () => {
        performance.mark("knoll-running");
        hideOverlay();
        document.body.dataset.knoll = "running";
      },
      preRun: [() => {
        const config = loadFile("config.txt");
        if (config !== null) window.Module.FS.writeFile("config.txt", config);
      }],
      onExit: (status) => {
        if (stopped) return;
        stopped = true;
        if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
        showOverlay("Knoll has stopped" + (status ? " (status " + status + ")." : "."),
                    status ? "See error.log for why." : "", undefined, true);
        document.body.dataset.status = String(status);
        document.body.dataset.knoll = "stopped";
      },
      onAbort: (what) => {
        logLine("Knoll ended unexpectedly: " + what);
        startupFailed("Knoll ended unexpectedly.");
      },
    };
    showOverlay("Starting Knoll…", "", null);
    document.body.dataset.knoll = "starting";
    performance.mark("knoll-starting");
    const script = document.createElement("script");
    script.src = code.script;
    script.onerror = () => startupFailed("knoll.js did not load.");
    document.body.append(script);
  }

  async function main() {
    logText = loadFile("error.log") || "";
    window.addEventListener("keydown", filterKey, true);
    window.addEventListener("keyup", filterKey, true);
    canvas.addEventListener("contextmenu", (event) => event.preventDefault());
    canvas.addEventListener("mousedown", () => canvas.focus());
    el("fullscreen").addEventListener("click", toggleFullscreen);
    el("download-log").addEventListener("click", downloadLog);
    el("restart").addEventListener("click", () => window.location.reload());
    el("settings-form").addEventListener("submit", applySettings);
    el("settings-reset").addEventListener("click", resetSettings);
    const help = loadFile("help.txt");
    if (help) el("help").textContent = help;
    const config = loadFile("config.txt");
    if (config) showSettings(config);
    document.body.dataset.knoll = "loading";

    if (!webgl2Available()) {
      logLine("Window init failed!");
      startupFailed("Window init failed!");
      return;
    }
    showOverlay("Downloading Knoll…", "", 0);
    document.body.dataset.build = window.KnollLoader.build.id;
    let code;
    try {
      code = await download();
    } catch (e) {
      downloadFailed(e);
      return;
    }
    if (!downloadFault) startKnoll(code);
  }

  main();
})();
