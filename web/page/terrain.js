// The user's own terrain: a heightmap from "Open terrain", a drop on the
// page or the address (?terrain=URL) goes into Knoll's file system under its
// own name, so that Knoll's words name it. Knoll checks it, loads it while
// the terrain of now flies on, and answers through KNOLL_HOOKS.TERRAIN; the file
// goes then.
import {KNOLL_EXPORTS, TERRAIN_EXTENSIONS, TERRAIN_SIDE_LIMIT} from "../knoll-boundary.js";
import {terrainAddress} from "./address.js";
import {el} from "./dom.js";

// ------------------------------------------------------------ constants ----

// The most bytes the page takes: a map of the largest side a page holds at
// 16 bits, with a megabyte to spare for a PNG's headers.
const TERRAIN_LIMIT = 2 * TERRAIN_SIDE_LIMIT * TERRAIN_SIDE_LIMIT + 1e6;

// ---------------------------------------------------------------- state ----

// The terrain file being read or opened ({path, address}: its name in
// Knoll's file system and the address it came from, "" for the user's),
// the bytes of the address's terrain until Knoll's file system is there,
// the address the terrain flown over came from, for links, and why the
// address's terrain stopped Knoll's start-up.
let terrain = null, startTerrain = null, flownFrom = "", startFault = "";

// ------------------------------------------------------------ functions ----

// The address the terrain flown over came from, or "".
export const flownAddress = () => flownFrom;

// Why the address's terrain stopped Knoll's start-up, or "".
export const terrainFault = () => startFault;

// Words on the terrain beside the view; busy while a read goes on, so
// that a screen reader tells its end rather than every step.
function terrainSay(words, busy) {
  const status = el("terrain-status");
  status.textContent = words;
  status.hidden = false;
  status.setAttribute("aria-busy", String(!!busy));
}

// A file's size in words: megabytes, or gigabytes from one on.
const sizeWords = (n) => n >= 1e9 ? (n / 1e9).toFixed(1) + " GB" : Math.round(n / 1e6) + " MB";

// Why the page does not take a file of that name and size, or "".
function terrainRefusal(name, size) {
  if (!TERRAIN_EXTENSIONS.some((ending) => name.toLowerCase().endsWith(ending)))
    return name + " is not a heightmap Knoll reads: open a greyscale PNG, a 16-bit RAW " +
      "(.r16, .raw) or an SRTM tile (.hgt).";
  if (size > TERRAIN_LIMIT)
    return name + " is " + sizeWords(size) + "; the page opens files up to " + sizeWords(TERRAIN_LIMIT) + ".";
  return "";
}

// The bytes of name's stream, size of them where known (0 otherwise), with
// their progress; how is "read" or "fetched". More than the page takes
// ends the read. Throws the words to say when it fails.
async function readTerrain(stream, size, name, how) {
  let bytes = new Uint8Array(size || 1 << 20), got = 0, said = -1;
  const reader = stream.getReader();
  for (;;) {
    const {done, value} = await reader.read().catch((e) => {
      throw new Error(name + " could not be " + how + " (" + e.message + ").");
    });
    if (done) return bytes.subarray(0, got);
    if (got + value.length > bytes.length) {
      if (got + value.length > TERRAIN_LIMIT) {
        reader.cancel();
        throw new Error(name + " is more than " + sizeWords(TERRAIN_LIMIT) + ", the most the page opens.");
      }
      const grown = new Uint8Array(Math.min(2 * (got + value.length), TERRAIN_LIMIT));
      grown.set(bytes.subarray(0, got));
      bytes = grown;
    }
    bytes.set(value, got);
    got += value.length;
    const step = size ? Math.floor(100 * got / size) : Math.floor(got / 1e6);
    if (step !== said)
      terrainSay((how === "read" ? "Reading " : "Fetching ") + name + ": " + step + (size ? " %" : " MB"), true);
    said = step;
  }
}

// Puts the terrain's bytes into Knoll's file system, which keeps them
// without a copy.
function putTerrain(bytes) {
  const fs = window.Module.FS;
  const file = fs.open(terrain.path, "w");
  fs.write(file, bytes, 0, bytes.length, 0, true);
  fs.close(file);
}

// The address's terrain into Knoll's file system, once that is there and
// before Knoll starts.
export function putStartTerrain() {
  if (startTerrain) putTerrain(startTerrain);
  startTerrain = null;
}

// A file from the picker or a drop: what the page cannot take is said
// before a byte is read; the rest is read with its progress and handed to
// Knoll, which answers through KNOLL_HOOKS.TERRAIN (at once where it refuses).
async function openTerrain(file) {
  const refused =
    (document.body.dataset.knoll === "running" ? "" : "Knoll opens a terrain once it runs.") ||
    (terrain ? "Still opening " + terrain.path + "; open " + file.name + " once it is there." : "") ||
    terrainRefusal(file.name, file.size);
  if (refused) return terrainSay(refused);
  terrain = {path: file.name.replace(/\//g, "_"), address: ""};
  let bytes;
  try {
    bytes = await readTerrain(file.stream(), file.size, file.name, "read");
  } catch (e) {
    terrain = null;
    return terrainSay(e.message);
  }
  if (document.body.dataset.knoll !== "running") {
    terrain = null;
    return terrainSay("Knoll stopped while " + file.name + " was read.");
  }
  putTerrain(bytes);
  terrainSay("Opening " + file.name + "…");
  const m = window.Module, size = 3 * terrain.path.length + 1, path = m._malloc(size);
  m.stringToUTF8(terrain.path, path, size);
  m[KNOLL_EXPORTS.OPEN_TERRAIN](path, 0);
  m._free(path);
}

// The address's terrain (?terrain=URL), fetched with its progress while
// Knoll downloads. Resolves to Knoll's arguments for it, or to none where
// it cannot be had, which is said: Knoll then starts on its built-in
// terrain. A terrain is no file of the build: offline, it is not there.
export async function addressTerrain() {
  const address = terrainAddress(window.location.search);
  if (!address) return [];
  let name = address.split(/[?#]/)[0].split("/").pop();
  try {
    name = decodeURIComponent(name);
    const refused = terrainRefusal(name, 0);
    if (refused) throw new Error(refused);
    const url = new URL(address, window.location.href);
    const response = await fetch(url).catch(() => {
      throw new Error(name + " could not be fetched: " + (navigator.onLine === false ? "the browser is offline."
        : "its address cannot be reached, or its site does not let other sites read it."));
    });
    if (!response.ok)
      throw new Error(url + " answered " + (response.status + " " + response.statusText).trim() + ".");
    const size = response.headers.get("Content-Encoding") ? 0 : Number(response.headers.get("Content-Length"));
    if (terrainRefusal(name, size)) throw new Error(terrainRefusal(name, size));
    terrain = {path: name.replace(/\//g, "_"), address: address};
    startTerrain = await readTerrain(response.body, size, name, "fetched");
    return ["--terrain=" + terrain.path];
  } catch (e) {
    terrain = null;
    terrainSay(e.message + " Knoll starts on its built-in terrain.");
    return [];
  }
}

// Knoll's answer on the terrain it was given (KNOLL_HOOKS.TERRAIN): why
// not, the terrain of now flying on (at start-up, Knoll stops), or the new
// terrain's summary. The file goes either way.
export function terrainAnswered(line, failed) {
  const given = terrain || {};
  terrain = null;
  if (given.path) window.Module.FS.unlink(given.path);
  line = line.trim();
  const starting = document.body.dataset.knoll === "starting";
  if (failed && starting) startFault = line;
  if (!failed) flownFrom = given.address || "";
  terrainSay(line + (failed ? starting ? "" : " Knoll flies on over the terrain it had."
    : given.address ? "." : ". A reload goes back to the built-in terrain."));
}

// Every file dropped on the page is the page's: taken in the capture
// phase, before Emscripten's GLFW, whose handling on the canvas would hand
// it to Knoll a second time, and before the browser, which would leave
// the page to show it. The first file opens as a terrain.
function dragged(event) {
  if (!event.dataTransfer || !event.dataTransfer.types.includes("Files")) return;
  event.preventDefault();
  event.stopPropagation();
  const file = event.type === "drop" && event.dataTransfer.files[0];
  if (file) openTerrain(file);
}

// Has "Open terrain" and a drop open the user's terrain.
export function listenTerrain() {
  el("terrain-file").accept = TERRAIN_EXTENSIONS.join(",");
  el("open-terrain").addEventListener("click", () => el("terrain-file").click());
  el("terrain-file").addEventListener("change", (event) => {
    if (event.target.files[0]) openTerrain(event.target.files[0]);
    event.target.value = "";
  });
  for (const type of ["dragenter", "dragover", "drop"]) window.addEventListener(type, dragged, true);
}
