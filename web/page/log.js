// What the page keeps and offers for download: Knoll's files (config.txt,
// help.txt, error.log) in the browser's storage, error.log written as Knoll
// writes its standard error, and the downloads: error.log, a benchmark's
// CSV and "Save picture" (or the P key on the canvas, as F12 belongs to the
// browser), the frame as a PNG of the canvas's size.
import {KNOLL_EXPORTS} from "../knoll-boundary.js";
import {el} from "./dom.js";

// ------------------------------------------------------------ constants ----

const STORAGE_PREFIX = "knoll/";
const LOG_LIMIT = 65536;  // characters of error.log kept, the newest
// Why the browser keeps nothing for the site, in a visitor's words, by the
// name of the error it gave.
const STORAGE_TROUBLE = {
  QuotaExceededError: "This browser's storage for this site is full",
  SecurityError: "This browser does not let this site keep data (its settings block it, " +
    "or this is a private window)",
  NotSupportedError: "This browser keeps files only for secure (https) addresses",
};

// ---------------------------------------------------------------- state ----

let memoryStorage = {};  // stands in for localStorage where that is refused
let storageRefusal = null;  // the browser's error, where it refuses storage
let logText = "";

// ------------------------------------------------------------ functions ----

// Reads a stored file; null when there is none or storage is refused.
export function loadFile(name) {
  try {
    return window.localStorage.getItem(STORAGE_PREFIX + name);
  } catch (e) {
    return name in memoryStorage ? memoryStorage[name] : null;
  }
}

// Stores a file; returns 0, or 1 when the browser refused (storage full or
// unavailable), when it is kept for this visit only.
export function storeFile(name, text) {
  memoryStorage[name] = text;
  try {
    window.localStorage.setItem(STORAGE_PREFIX + name, text);
    return 0;
  } catch (e) {
    return 1;
  }
}

// Removes a stored file, where there is one.
export function removeFile(name) {
  delete memoryStorage[name];
  try {
    window.localStorage.removeItem(STORAGE_PREFIX + name);
  } catch (e) { /* nothing stored, nothing to remove */ }
}

// The browser's error where it refuses to keep anything for the site, or
// null.
function storageError() {
  try {
    window.localStorage.setItem(STORAGE_PREFIX + "probe", "");
    window.localStorage.removeItem(STORAGE_PREFIX + "probe");
    return null;
  } catch (e) {
    return e;
  }
}

// Takes up error.log where the last visit left it, and learns whether the
// browser keeps anything.
export function openStorage() {
  logText = loadFile("error.log") || "";
  storageRefusal = storageError();
}

// Whether settings and files last this visit only.
export const storageIsRefused = () => storageRefusal !== null;

// Why storage failed with error e (or, by default, why it is refused), in a
// visitor's words.
export function storageTrouble(e = storageRefusal) {
  return STORAGE_TROUBLE[e && e.name] || "This browser could not keep data for this site";
}

// Keeps a file Knoll replaced for the next visit; returns 1, said in
// error.log, when the browser refused it.
export function keepFile(name, text) {
  const refused = storeFile(name, text);
  if (refused) logLine("Storage Error: " + name + " is kept for this visit only (the browser refused to store it)");
  return refused;
}

// One line of Knoll's standard error: the console, and error.log.
export function logLine(line) {
  console.warn("Knoll: " + line);
  logText = (logText + line + "\n").slice(-LOG_LIMIT);
  storeFile("error.log", logText);
}

// Offers bytes (a Uint8Array or a string) as a download named name.
export function offerDownload(name, bytes, type) {
  const url = URL.createObjectURL(new Blob([bytes], {type: type}));
  const link = document.createElement("a");
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// "Save picture": Knoll saves its next frame and hands it back to be
// offered (offerPicture); the keys go back to the view.
function savePicture() {
  const save = window.Module && window.Module[KNOLL_EXPORTS.SAVE_PICTURE];
  if (save) save();
  el("canvas").focus();
}

// A picture Knoll saved, offered as a download (KNOLL_HOOKS.DOWNLOAD).
export const offerPicture = (name, bytes) => offerDownload(name, bytes, "image/png");

// Has "Download error.log" and "Save picture" act.
export function listenDownloads() {
  el("download-log").addEventListener("click", () => offerDownload("error.log", logText, "text/plain"));
  el("save-picture").addEventListener("click", savePicture);
}
