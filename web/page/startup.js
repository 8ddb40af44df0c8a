// Knoll's start-up and what follows it: the download with its progress, the
// check for WebGL 2, Knoll started with the page's hooks, and the words
// over the view while it starts, when it cannot, when it stops and when its
// graphics context goes; and Knoll's exports called while it runs. Knoll's
// own side of this is src/platform_web.cpp.
import {KNOLL_HOOKS, STARTUP_FAILED, STARTUP_STEP} from "../knoll-boundary.js";
import {withoutTerrain} from "./address.js";
import {el} from "./dom.js";
import {loadFile, logLine, storageTrouble} from "./log.js";
import {putStartTerrain, terrainFault} from "./terrain.js";

// ------------------------------------------------------------ constants ----

// What to try when a start-up step fails, by the step.
const STARTUP_ADVICE = {
  [STARTUP_STEP.CONFIG]: "The browser's storage could not be read. Try clearing this site's data.",
  [STARTUP_STEP.WINDOW]: "Knoll needs WebGL 2. Try a current Firefox, Chrome, Edge or Safari, turn on " +
    "hardware acceleration in the browser's settings, or update the graphics driver.",
  [STARTUP_STEP.GRAPHICS]: "The graphics driver refused part of Knoll's set-up. Try another browser or " +
    "an updated graphics driver, and send us error.log.",
};
const NO_WEBGL = ["Knoll cannot run in this browser.",
  "Knoll draws its pictures with WebGL 2, which this browser has turned off or cannot offer. " +
  "Turn on hardware (graphics) acceleration in the browser's settings and load the page " +
  "again, open it in a current Firefox, Chrome, Edge or Safari, or update the graphics " +
  "driver."];

// ---------------------------------------------------------------- state ----

let stopped = false;
let downloadFault = null;  // what did not arrive whole, once something did not
let downloaded = 0;  // the percent of the download shown, which never goes back
const haltSeen = [];  // what follows Knoll's taking no more input
const unableSeen = [];  // what follows finding that this browser cannot run Knoll

// ------------------------------------------------------------ functions ----

// Calls Knoll's export of that name (a Module member) while Knoll runs.
export function callKnoll(name, ...args) {
  const f = window.Module && window.Module[name];
  if (f && document.body.dataset.knoll === "running") f(...args);
}

// Calls f whenever Knoll stops taking input: it stopped, failed or lost
// its graphics context.
export const whenHalted = (f) => haltSeen.push(f);

// Calls f should this browser be unable to run Knoll at all.
export const whenUnable = (f) => unableSeen.push(f);

// Tells those waiting that Knoll takes no more input.
const halted = () => haltSeen.forEach((f) => f());

// Words over the view: a message, its detail, a progress at the view's
// foot (a percent, undefined for none), and whether Knoll can be started
// again.
export function showOverlay(message, detail, percent, canRestart) {
  el("overlay").hidden = false;
  el("message").textContent = message;
  el("detail").textContent = detail || "";
  el("download").hidden = percent === undefined;
  if (percent !== undefined) el("progress").value = percent;
  el("restart").hidden = !canRestart;
}

// Nothing over the view.
function hideOverlay() { el("overlay").hidden = true; }

// Knoll stopped at once: the state for the page and its tests.
function settle(knoll, status) {
  document.body.dataset.status = String(status);
  document.body.dataset.knoll = knoll;
}

// Knoll could not start: message, and where a start-up step failed (step,
// a StartupStep), what to try.
function startupFailed(message, step) {
  stopped = true;
  showOverlay(message, STARTUP_ADVICE[step] || "", undefined, true);
  settle("failed", 1);
  halted();
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

// Knoll runs, but its files could not be kept for later visits: said
// under the view in a visitor's words, by the browser's reason (e's name),
// since the next visit downloads them again and none starts without a
// network; the browser's own words go to error.log.
function filesNotKept(e) {
  const why = storageTrouble(e);
  logLine("Storage Error: Knoll's files are not kept for offline use (" + e + ")");
  const note = el("offline-note");
  note.textContent = why + ": the next visit downloads Knoll's files again, and without a " +
    "network Knoll will not start.";
  note.hidden = false;
}

// "Starting Knoll…" over the view while Knoll's code runs and its logo is
// not yet shown, once every byte has arrived: before then the view speaks
// of the download.
function sayStarting() {
  if (downloaded === 100 && document.body.dataset.knoll === "starting" && !el("overlay").hidden)
    showOverlay("Starting Knoll…");
}

// Loads Knoll's build (knoll-loader.js), showing the bytes received
// against the build's total at the view's foot, over the logo once it
// shows, until every image is there (a file fetched again after a damaged
// copy holds the figure until it passes it). Resolves to the code; *all*
// settles once everything has arrived.
function download() {
  const loading = window.KnollLoader.load((received, total) => {
    downloaded = Math.max(downloaded, Math.floor(100 * received / total));
    // Knoll failed, stopped or lost its context: those words stay alone.
    if (!["loading", "starting"].includes(document.body.dataset.knoll)) return;
    el("progress").value = downloaded;
    el("download").hidden = downloaded === 100;
    el("download-figure").textContent = downloaded + " % of " + (total / 1e6).toFixed(1) + " MB";
    sayStarting();
  }, filesNotKept);
  loading.all.catch(downloadFailed);
  return loading.code;
}

// Whether the browser makes a WebGL 2 context at all: one with WebGL
// turned off or its driver blocked has the API but gives no context. The
// trial context is let go at once; the time it takes is mostly the
// browser's starting its GL, which Knoll's own context then finds done.
function webgl2Available() {
  if (typeof WebGL2RenderingContext !== "function") return false;
  const gl = document.createElement("canvas").getContext("webgl2");
  if (!gl) return false;
  const lose = gl.getExtension("WEBGL_lose_context");
  if (lose) lose.loseContext();
  return true;
}

// Resolves once the browser has painted the page as it is now.
function painted() {
  return new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
}

// No WebGL 2: said in a visitor's words, with the desktop's line in
// error.log. Starting again cannot help.
function noWebgl2() {
  unableSeen.forEach((f) => f());
  logLine(STARTUP_FAILED[STARTUP_STEP.WINDOW]);
  stopped = true;
  showOverlay(NO_WEBGL[0], NO_WEBGL[1]);
  settle("failed", 1);
  halted();
}

// Knoll's GL context: lost (0), back (1), or not to be rebuilt (2).
function contextChanged(state) {
  if (state === 1) {
    hideOverlay();
    document.body.dataset.knoll = "running";
    return;
  }
  halted();
  const lost = state === 0;
  logLine(lost ? "The browser took the graphics context away; waiting for it to come back"
               : "The graphics context came back but Knoll could not set it up again");
  showOverlay(lost ? "The graphics context was lost." : "Knoll could not recover.",
              lost ? "Knoll goes on once the browser gives it back; starting again helps " +
                     "if that takes long." : "Start Knoll again.", undefined, true);
  document.body.dataset.knoll = lost ? "lost" : "failed";
}

// Knoll ended with status: said, with why where the address's terrain
// was the cause; a finished benchmark points to its report instead, and
// is not run again.
function exited(status) {
  if (stopped) return;
  stopped = true;
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  if (terrainFault())
    showOverlay("Knoll could not open the terrain in the address.",
                terrainFault() + " Start again flies over the built-in terrain.", undefined, true);
  else if (document.body.dataset.benchmark)
    showOverlay("The benchmark is done: its report is below.");
  else
    showOverlay("Knoll has stopped" + (status ? " (status " + status + ")." : "."),
                status ? "See error.log for why." : "", undefined, true);
  settle("stopped", status);
  halted();
}

// Starts Knoll with args, its command line, and the page's hooks (members
// of Module) besides those of its start-up.
function startKnoll(code, args, hooks) {
  // Only the module outlives the start: knoll.js's text is let go once run.
  const compiled = code.module;
  window.Module = {
    ...hooks,
    canvas: el("canvas"),
    arguments: args,
    instantiateWasm: (imports, receive) => {
      // A module that does not compile is the download's fault, said there.
      compiled.then((module) => WebAssembly.instantiate(module, imports)
        .then((instance) => receive(instance, module)), () => {});
      return {};
    },
    [KNOLL_HOOKS.PICTURE]: window.KnollLoader.picture,
    [KNOLL_HOOKS.PICTURES_AGAIN]: window.KnollLoader.loadPicturesAgain,
    [KNOLL_HOOKS.PICTURES_READY]: window.KnollLoader.picturesReady,
    print: logLine,
    printErr: logLine,
    [KNOLL_HOOKS.STARTUP_FAILED]: (message, step) => downloadFault || startupFailed(message, step),
    [KNOLL_HOOKS.CONTEXT]: contextChanged,
    [KNOLL_HOOKS.FRAME_SHOWN]: () => {
      performance.mark("knoll-first-frame");
      hideOverlay();
    },
    [KNOLL_HOOKS.STARTED]: () => {
      performance.mark("knoll-running");
      hideOverlay();
      document.body.dataset.knoll = "running";
    },
    preRun: [() => {
      const config = loadFile("config.txt");
      if (config !== null) window.Module.FS.writeFile("config.txt", config);
      putStartTerrain();
    }],
    onExit: exited,
    onAbort: (what) => {
      logLine("Knoll ended unexpectedly: " + what);
      startupFailed("Knoll ended unexpectedly.");
    },
  };
  document.body.dataset.knoll = "starting";
  sayStarting();
  performance.mark("knoll-starting");
  // knoll.js runs as a script of the page would, its declarations global;
  // run from its text, it waits for no load of its own, which the
  // pictures' arrival would hold up.
  try {
    (0, eval)(code.script + "\n//# sourceURL=knoll.js\n");
  } catch (e) {
    startupFailed("knoll.js did not load.");
  }
}

// Downloads Knoll and starts it with the page's hooks and the arguments
// that the promise of them (Knoll's command line) resolves to, unless the
// browser cannot run it or a file does not arrive.
export async function runKnoll(hooks, args) {
  document.body.dataset.knoll = "loading";
  showOverlay("Downloading Knoll…", "", 0);
  await painted();
  if (!webgl2Available()) {
    noWebgl2();
    return;
  }
  document.body.dataset.build = window.KnollLoader.build.id;
  let code, given;
  try {
    [code, given] = await Promise.all([download(), args()]);
  } catch (e) {
    downloadFailed(e);
    return;
  }
  if (!downloadFault) startKnoll(code, given, hooks);
}

// "Start Knoll again": after the address's terrain stopped Knoll, without
// it.
export function listenRestart() {
  el("restart").addEventListener("click", () => {
    if (!terrainFault()) return window.location.reload();
    window.location.search = withoutTerrain(window.location.search);
  });
}
