// The page around Knoll's canvas: loads Knoll with its progress, keeps
// config.txt and error.log in the browser's storage, lists the controls from
// help.txt, edits the settings, drives Knoll by touch, opens the user's own
// terrain, runs the address's benchmark, and tells the user when Knoll
// stops or cannot start. Each of these is a module of its own; this one
// wires them to the page and to Knoll.
import {addressSettings, benchmarkArguments} from "./address.js";
import {markBenchmark, showReport} from "./benchmark.js";
import {setHelp, showControls} from "./controls.js";
import {showHint, listenKeys} from "./keys.js";
import {listenLayout} from "./layout.js";
import {keepFile, listenDownloads, loadFile, offerPicture, openStorage} from "./log.js";
import {listenSettings, showSettings} from "./settings.js";
import {listenRestart, runKnoll, whenHalted} from "./startup.js";
import {addressTerrain, listenTerrain, terrainAnswered} from "./terrain.js";
import {listenTouch, onInputKind, releaseFingers, setTouchInput} from "./touch.js";

// ------------------------------------------------------------ functions ----

// Knoll replaced one of its files (Module.knollStoreFile): kept for the
// next visit, and help.txt shown; 1 when storage refused it.
function fileReplaced(name, text) {
  if (name === "help.txt") setHelp(text);
  return keepFile(name, text);
}

// Knoll's command line: the address's terrain, once fetched, and its
// benchmark.
async function knollArguments() {
  return (await addressTerrain()).concat(benchmarkArguments(window.location.search));
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
  whenHalted(releaseFingers);
  onInputKind(() => {
    showControls();
    showHint();
  });
  markBenchmark();
  setTouchInput(window.matchMedia("(pointer: coarse)").matches);
  setHelp(loadFile("help.txt") || "");
  showHint();
  runKnoll({
    knollStoreFile: fileReplaced,
    knollSettings: showSettings,
    knollTerrain: terrainAnswered,
    knollAddressSettings: addressSettings(window.location.search),
    knollReport: showReport,
    knollDownload: offerPicture,
  }, knollArguments);
}

main();
