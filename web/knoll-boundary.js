// The values the page shares with Knoll's C++ side, which holds each of
// them too: the key codes and move bits the page sends, the look rate, the
// start-up steps Knoll reports, the keys it reads, the terrain files it
// takes, and the functions it exports to the page.

// GLFW's key code of Home: back to the start view.
export const HOME_KEY = 268;
// The move control's directions, a bit each in the order of Knoll's arrow
// keys.
export const MOVE = Object.freeze({LEFT: 1, RIGHT: 2, FORWARD: 4, BACK: 8});
// A finger dragged across the whole view turns it as the mouse moved by this
// many screen units does: half a turn.
export const LOOK_UNITS_PER_WIDTH = 1024;
// The start-up steps that can fail, by the number Knoll reports.
export const STARTUP_STEP = Object.freeze({SETTINGS: 0, WINDOW: 1, GRAPHICS: 2});
// The keys (KeyboardEvent.code) Knoll reads while its canvas has focus.
export const KNOLL_KEYS = Object.freeze(["ArrowLeft", "ArrowRight", "ArrowUp", "ArrowDown", "KeyE",
  "KeyF", "KeyR", "F11", "Escape", "Home", "ShiftLeft", "ShiftRight"]);
// The largest side, in samples, of a terrain the page hands over, and the
// file types Knoll reads as one, by their extensions.
export const TERRAIN_SIDE_LIMIT = 8193;
export const TERRAIN_EXTENSIONS = Object.freeze(["png", "r16", "raw", "hgt"]);
// Knoll's exports the page calls, as Module's members.
export const KNOLL_EXPORTS = Object.freeze({
  TOUCH_LOOK: "_knollTouchLook",  // (dx, dy) screen units, as a right-drag
  TOUCH_MOVE: "_knollTouchMove",  // (bits) of MOVE held until the next call
  TOUCH_FAST: "_knollTouchFast",  // (on) eight times as fast while on
  COMMAND: "_knollCommand",       // (key) a key's command by GLFW key code
  OPEN_TERRAIN: "_knollOpenTerrain",  // (path, splat) a heightmap in its files
  SAVE_PICTURE: "_knollSavePicture",  // () the next frame saved
});
