// The controls table beside the view: the controls help.txt lists (Knoll
// writes it at every start), with their keys or, where touch is the input,
// what a finger does for each.
import {el} from "./dom.js";
import {usesTouch} from "./touch.js";

// ------------------------------------------------------------ constants ----

// What a finger does for each control that help.txt lists, by its key
// there; Esc has no touch of its own. Home and Shift are controls help.txt
// predates.
const TOUCHES = {
  "Arrows": "Hold the stick (bottom left) and slide the thumb the way to fly",
  "Drag Right Mouse": "Drag a finger on the view",
  "E": "The E button",
  "R": "The R button",
  "F": "The F button",
  "F11": "The full-screen button",
};
const MORE_CONTROLS = [{key: "Home", does: "Back to Start View", touch: "The house button"},
  {key: "Shift held", does: "Fly Eight Times as Fast", touch: "Hold the 8× button beside the stick"}];

// ---------------------------------------------------------------- state ----

let helpText = "";

// ------------------------------------------------------------ functions ----

// The controls as help.txt's text lists them, "key: does" a line between
// its Controls banner and the blank line after, and Home and Shift after
// them.
function helpControls(text) {
  const lines = text.split("\n");
  const first = lines.indexOf("Controls") + 2;
  const controls = [];
  for (let i = first; first > 1 && i < lines.length && lines[i] !== ""; i++) {
    const at = lines[i].indexOf(": ");
    if (at > 0) controls.push({key: lines[i].slice(0, at), does: lines[i].slice(at + 2)});
  }
  if (controls.length) controls.push(...MORE_CONTROLS);
  return controls;
}

// The table's rows for help.txt's text, {how, does} each, how being the
// key, or with touch the finger's part: controls without one are left out.
export function controlRows(text, touch) {
  const rows = [];
  for (const control of helpControls(text)) {
    const how = touch ? control.touch || TOUCHES[control.key] : control.key;
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
