// The page around Knoll's canvas: loads Knoll with its progress, keeps
// config.txt and error.log in the browser's storage, lists the controls from
// help.txt, edits the settings, drives Knoll by touch, opens the user's own
// terrain, runs the address's benchmark, and tells the user when Knoll
// stops or cannot start. Each of these is a module of its own; this one
// wires them to the page and to Knoll.
import {KNOLL_HOOKS} from "../knoll-boundary.js";
import {showReport} from "./benchmark.js";
import {setHelp, showControls, showNoControls} from "./controls.js";
import {el} from "./dom.js";
import {showHint, listenKeys} from "./keys.js";
import {listenLayout} from "./layout.js";
import {keepFile, listenDownloads, loadFile, offerPicture, openStorage} from "./log.js";
import {listenSettings, settingsUnavailable, showSettings} from "./settings.js";
import {listenRestart, runKnoll, whenHalted, whenUnable} from "./startup.js";
import {addressTerrain, listenTerrain, terrainAnswered} from "./terrain.js";
import {listenTouch, onInputKind, releaseFingers, setTouchInput} from "./touch.js";

// ------------------------------------------------------------ functions ----

// Knoll takes no more input. Where for good, the page's state already says
// stopped or failed: the buttons that act on a running Knoll are disabled
// and the settings panel says why, in the overlay's words.
function knollHalted() {
  releaseFingers();
  if (!/stopped|failed/.test(document.body.dataset.knoll)) return;
  for (const id of ["home", "save-picture"]) el(id).disabled = true;
  settingsUnavailable(el("message").textContent);
}

// Knoll's command line: the address as it is, which Knoll reads, and the
// address's terrain, once fetched.
async function knollArguments() {
  return [window.location.search].concat(await addressTerrain());
}

function main() {
  openStorage();
  listenKeys();
  listenTouch();
  listenLayout();
  listenDownloads();
  listenRestart();
  listenTerrain();
  listenSettings();
  whenHalted(knollHalted);
  whenUnable(showNoControls);
  onInputKind(() => {
    showControls();
    showHint();
  });
  setTouchInput(window.matchMedia("(pointer: coarse)").matches);
  setHelp(loadFile("help.txt") || "");
  showHint();
  runKnoll({
    [KNOLL_HOOKS.STORE_FILE]: keepFile,
    [KNOLL_HOOKS.HELP]: setHelp,
    [KNOLL_HOOKS.SETTINGS]: showSettings,
    [KNOLL_HOOKS.TERRAIN]: terrainAnswered,
    [KNOLL_HOOKS.REPORT]: showReport,
    [KNOLL_HOOKS.DOWNLOAD]: offerPicture,
  }, knollArguments);
}

main();
