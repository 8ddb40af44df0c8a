// The view's size on the page, and full screen.
import {el} from "./dom.js";
import {refocus} from "./keys.js";

// ------------------------------------------------------------ functions ----

// The height of the view above and below the canvas (title, buttons,
// margins), from which the style sheet sizes the canvas to leave it all in
// the window. What lies beside the canvas (the buttons of a phone held
// sideways) shares the stage's rows, which the stage spans: so measured, the
// height does not depend on the canvas's own, which would shrink the canvas
// further at every measure. Measured whenever the title or the buttons
// change size; in full screen the canvas is out of the page's flow.
function measureView() {
  if (document.fullscreenElement) return;
  const stage = el("stage"), style = getComputedStyle(stage);
  const chrome = el("view").getBoundingClientRect().height - stage.getBoundingClientRect().height +
    parseFloat(style.paddingTop) + parseFloat(style.paddingBottom);
  document.documentElement.style.setProperty("--view-chrome", Math.ceil(chrome) + "px");
}

// Full screen for the view, or back.
function toggleFullscreen(event) {
  const frame = el("canvas").parentElement;
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  else if (frame.requestFullscreen) frame.requestFullscreen().catch(() => {});
  refocus(event);
}

// Sizes the view as the page around it changes, and has the full-screen
// buttons act.
export function listenLayout() {
  for (const button of document.querySelectorAll(".fullscreen"))
    button.addEventListener("click", toggleFullscreen);
  const observer = new ResizeObserver(measureView);
  observer.observe(document.querySelector("header"));
  observer.observe(el("bar"));
  observer.observe(el("offline-note"));
  observer.observe(el("terrain-status"));
}
