// Knoll by touch: a finger dragged on the view looks, the stick (bottom
// left) flies, the 8× button beside it flies faster while held. The page
// alone holds these for Knoll, and lets go of them when the page is hidden,
// loses the focus or changes size, and when Knoll stops.
import {KNOLL_EXPORTS, LOOK_UNITS_PER_HALF_TURN, MOVE} from "../knoll-boundary.js";
import {el} from "./dom.js";
import {callKnoll} from "./startup.js";

// ------------------------------------------------------------ constants ----

// A direction of the stick counts once the thumb is this share of its
// radius off the centre and within 67.5 degrees of it, so that eight sectors
// give the four arrows and their diagonals.
const STICK_DEAD_ZONE = 0.25;
const STICK_SECTOR = Math.cos(67.5 * Math.PI / 180);

// ---------------------------------------------------------------- state ----

let touchInput = false;  // touch, not keys and a mouse, is the input
const inputKindSeen = [];  // what follows a change of the input
// The finger that looks ({id, x, y} of its last place), the pointer ids of
// the ones on the stick and on the fast button, and the directions the
// stick holds.
let lookFinger = null, stickFinger = null, fastFinger = null, moveBits = 0;

// ------------------------------------------------------------ functions ----

// The directions (MOVE's bits) of a thumb at (x, y) from the centre of a
// stick of that radius, y down.
export function stickBits(x, y, radius) {
  const length = Math.hypot(x, y);
  if (length < radius * STICK_DEAD_ZONE) return 0;
  const sx = x / length, sy = y / length;
  return (sx < -STICK_SECTOR ? MOVE.LEFT : 0) | (sx > STICK_SECTOR ? MOVE.RIGHT : 0) |
    (sy < -STICK_SECTOR ? MOVE.FORWARD : 0) | (sy > STICK_SECTOR ? MOVE.BACK : 0);
}

// Whether touch, not keys and a mouse, is the input.
export const usesTouch = () => touchInput;

// Calls f whenever the input changes between touch and keys.
export const onInputKind = (f) => inputKindSeen.push(f);

// Shows the touch controls and speaks of fingers, or of keys.
export function setTouchInput(on) {
  if (on === touchInput) return;
  touchInput = on;
  el("touch").hidden = !on;
  document.body.classList.toggle("touch", on);
  for (const f of inputKindSeen) f();
}

// Whether the event happened over element.
function within(element, event) {
  const r = element.getBoundingClientRect();
  return event.clientX >= r.left && event.clientX < r.right &&
         event.clientY >= r.top && event.clientY < r.bottom;
}

// The stick holds bits of MOVE: Knoll hears of each change.
function setMove(bits) {
  if (bits === moveBits) return;
  moveBits = bits;
  callKnoll(KNOLL_EXPORTS.TOUCH_MOVE, bits);
}

// The stick's directions for a thumb at the event's place; the knob
// follows it, within the stick.
function steer(event) {
  const r = el("stick").getBoundingClientRect();
  const radius = r.width / 2;
  const x = event.clientX - r.left - radius, y = event.clientY - r.top - radius;
  const length = Math.hypot(x, y);
  const reach = Math.min(length, radius * 0.6) / (length || 1);
  el("knob").style.transform = "translate(" + x * reach + "px, " + y * reach + "px)";
  setMove(stickBits(x, y, radius));
}

// The stick let go: its knob back in the middle, no direction held.
function releaseStick() {
  stickFinger = null;
  el("knob").style.transform = "";
  setMove(0);
}

// The fast button held by finger id, or let go (null): Knoll flies eight
// times as fast meanwhile, as with Shift held.
function holdFast(id) {
  const changed = (id === null) !== (fastFinger === null);
  fastFinger = id;
  if (!changed) return;
  el("fast").classList.toggle("held", id !== null);
  callKnoll(KNOLL_EXPORTS.TOUCH_FAST, id === null ? 0 : 1);
}

// Every finger lets go: lifted or cancelled, the page hidden or left, the
// window turned or resized under them (the stick has moved), Knoll stopped.
export function releaseFingers() {
  lookFinger = null;
  releaseStick();
  holdFast(null);
}

// A finger (or a pen) down on the view looks, on the stick flies, on the
// fast button speeds the flight up; one of each at a time. A mouse is
// Knoll's own (GLFW's), and other kinds of pointer are left alone.
function fingerDown(event) {
  if (event.pointerType === "mouse") setTouchInput(false);
  if (event.pointerType !== "touch" && event.pointerType !== "pen") return;
  setTouchInput(true);
  if (event.target.closest("#stick")) {
    if (stickFinger !== null) return;
    stickFinger = event.pointerId;
    steer(event);
  } else if (event.target.id === "fast") {
    if (fastFinger === null) holdFast(event.pointerId);
  } else if (event.target === el("canvas") && lookFinger === null) {
    lookFinger = {id: event.pointerId, x: event.clientX, y: event.clientY};
  }
}

// A finger that leaves the view lets go there.
function fingerMoved(event) {
  const canvas = el("canvas");
  if (lookFinger && event.pointerId === lookFinger.id) {
    if (!within(canvas, event)) {
      lookFinger = null;
      return;
    }
    // A drag across the whole view turns it half a turn, on a phone as on a
    // tablet.
    const scale = LOOK_UNITS_PER_HALF_TURN / Math.max(canvas.clientWidth, 1);
    callKnoll(KNOLL_EXPORTS.TOUCH_LOOK, (event.clientX - lookFinger.x) * scale,
              (event.clientY - lookFinger.y) * scale);
    lookFinger.x = event.clientX;
    lookFinger.y = event.clientY;
  } else if (event.pointerId === stickFinger) {
    if (within(canvas, event)) steer(event);
    else releaseStick();
  } else if (event.pointerId === fastFinger && !within(canvas, event)) {
    holdFast(null);
  }
}

// A finger lifted or cancelled lets go of what it held.
function fingerUp(event) {
  if (lookFinger && event.pointerId === lookFinger.id) lookFinger = null;
  if (event.pointerId === stickFinger) releaseStick();
  if (event.pointerId === fastFinger) holdFast(null);
}

// Follows the fingers on the view, and lets go of them whenever the input
// goes elsewhere.
export function listenTouch() {
  const frame = el("canvas").parentElement;
  frame.addEventListener("pointerdown", fingerDown);
  // Touches reach Knoll through these pointer handlers only. Emscripten's
  // GLFW (3.1.69, Debian 13's) also turns touches on the canvas into a
  // mouse and cancels them, which Chromium refuses with a console error
  // for every touch; they stop here.
  for (const type of ["touchstart", "touchmove", "touchend", "touchcancel"])
    frame.addEventListener(type, (event) => event.stopPropagation(), {capture: true, passive: true});
  window.addEventListener("pointermove", fingerMoved);
  window.addEventListener("pointerup", fingerUp);
  window.addEventListener("pointercancel", fingerUp);
  window.addEventListener("resize", releaseFingers);
  window.addEventListener("blur", releaseFingers);
  document.addEventListener("visibilitychange", () => { if (document.hidden) releaseFingers(); });
}
