// Keys and the keyboard's focus: keys reach Knoll only while its canvas has
// the focus, Esc leaves it, the page's buttons that stand for Knoll's keys
// send their commands, and the hint beside them says how to reach the view.
import {KEY, KNOLL_EXPORTS, KNOLL_KEYS} from "../knoll-boundary.js";
import {el} from "./dom.js";
import {callKnoll} from "./startup.js";
import {usesTouch} from "./touch.js";

// ------------------------------------------------------------ constants ----

const KEYS_READ = new Set(KNOLL_KEYS);

// ------------------------------------------------------------ functions ----

// Esc on the view gives the keyboard back to the page: out of full screen,
// and the focus off the canvas, from where Tab goes on to what follows it.
function leaveView() {
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  el("canvas").blur();
}

// Keys reach Knoll only while its canvas has focus, and those it uses do
// nothing else there; Space scrolls nothing either. Every other key is
// the page's: Esc leaves the view, Tab and Shift+Tab move on (Emscripten's
// GLFW would keep Tab for itself). Registered before Knoll's own listeners,
// which then never see a key meant for the rest of the page. Releases
// always pass, so that no key stays held when the focus moves while it is
// down.
function filterKey(event) {
  const onCanvas = document.activeElement === el("canvas");
  if (onCanvas && KEYS_READ.has(event.code)) {
    event.preventDefault();
    return;
  }
  if (onCanvas && event.code === "Space") event.preventDefault();
  if (onCanvas && event.code === "Escape" && event.type === "keydown") leaveView();
  if (event.type === "keydown") event.stopImmediatePropagation();
}

// The hint beside the buttons, for fingers or for keys; the one for a
// focused view is no longer than the one before, so that focusing the view
// never wraps the bar and moves the canvas.
export function showHint() {
  const hint = el("focus-hint");
  if (usesTouch()) hint.textContent = "Drag on the view to look; hold the stick to fly.";
  else if (document.activeElement === el("canvas")) hint.textContent = "Keys go to the view; Esc leaves.";
  else hint.textContent = "Click the view, then use the keys.";
}

// A button clicked with the mouse gives the keys back to the view; one
// pressed from the keyboard keeps the focus where it is.
export function refocus(event) {
  if (event.detail > 0 && !usesTouch()) el("canvas").focus({preventScroll: true});
}

// Runs the command of Knoll's key of that name in KEY.
const command = (name) => callKnoll(KNOLL_EXPORTS.COMMAND, KEY[name]);

// Takes the keys meant for Knoll to it alone, and has the buttons that
// stand for its keys send their commands (data-key: the key's name in KEY).
export function listenKeys() {
  const canvas = el("canvas");
  window.addEventListener("keydown", filterKey, true);
  window.addEventListener("keyup", filterKey, true);
  canvas.addEventListener("contextmenu", (event) => event.preventDefault());
  canvas.addEventListener("mousedown", () => canvas.focus({preventScroll: true}));
  canvas.addEventListener("focus", showHint);
  canvas.addEventListener("blur", showHint);
  // The view's own buttons leave the keyboard's focus on the view.
  el("touch-buttons").addEventListener("mousedown", (event) => event.preventDefault());
  for (const button of document.querySelectorAll("[data-key]"))
    button.addEventListener("click", () => command(button.dataset.key));
  el("home").addEventListener("click", (event) => {
    command("HOME");
    refocus(event);
  });
}
