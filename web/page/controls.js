// The controls table beside the view: the controls help.txt lists (Knoll
// hands its text over at every start), with their keys or, where touch is
// the input, what a finger does for each.
import {MORE_CONTROLS} from "../knoll-boundary.js";
import {el} from "./dom.js";
import {usesTouch} from "./touch.js";

// ------------------------------------------------------------ constants ----

// What a finger does for each control that help.txt and MORE_CONTROLS list,
// by its key there; Esc and the turn keys have no touch of their own (a
// finger dragged turns the view).
const TOUCHES = {
  "Arrows": "Hold the stick (bottom left) and slide the thumb the way to fly",
  "Drag Right Mouse": "Drag a finger on the view",
  "E": "The E button",
  "R": "The R button",
  "F": "The F button",
  "F11": "The full-screen button",
  "Home": "The house button",
  "Shift held": "Hold the 8× button beside the stick",
};
// What a key does on the page where that differs from help.txt's words.
const PAGE_DOES = {"Esc": "Leave the View and Full Screen"};
const NO_CONTROLS = "Knoll cannot run in this browser, so it has no controls to show.";

// ---------------------------------------------------------------- state ----

let helpText = "";

// ------------------------------------------------------------ functions ----

// The controls as help.txt's text lists them, "key: does" a line between
// its Controls banner and the blank line after, in the page's words, and
// MORE_CONTROLS after them.
function helpControls(text) {
  const lines = text.split("\n");
  const first = lines.indexOf("Controls") + 2;
  const controls = [];
  for (let i = first; first > 1 && i < lines.length && lines[i] !== ""; i++) {
    const at = lines[i].indexOf(": ");
    const key = lines[i].slice(0, at);
    if (at > 0) controls.push({key, does: PAGE_DOES[key] || lines[i].slice(at + 2)});
  }
  if (controls.length) controls.push(...MORE_CONTROLS);
  return controls;
}

// The table's rows for help.txt's text, {how, does} each, how being the
// key, or with touch the finger's part: controls without one are left out.
export function controlRows(text, touch) {
  const rows = [];
  for (const control of helpControls(text)) {
    const how = touch ? TOUCHES[control.key] : control.key;
    if (how) rows.push({how, does: control.does});
  }
  return rows;
}

// The controls table, with keys or with touches, whichever is the input;
// it stays as it is until help.txt's text is there.
export function showControls() {
  const rows = el("controls-rows");
  const controls = controlRows(helpText, usesTouch());
  el("controls-input").textContent = usesTouch() ? "Touch" : "Key";
  if (!controls.length) return;
  rows.textContent = "";
  for (const control of controls) {
    const row = rows.insertRow();
    const th = document.createElement("th");
    th.scope = "row";
    th.textContent = control.how;
    row.append(th);
    row.insertCell().textContent = control.does;
  }
}

// help.txt's text, as Knoll wrote it; the table follows.
export function setHelp(text) {
  helpText = text;
  showControls();
}

// In place of the table, and of any controls kept from an earlier visit, the
// words that Knoll, which cannot run in this browser, has none.
export function showNoControls() {
  const rows = el("controls-rows");
  helpText = "";
  rows.textContent = "";
  const cell = rows.insertRow().insertCell();
  cell.colSpan = 2;
  cell.textContent = NO_CONTROLS;
}
