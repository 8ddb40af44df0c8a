// The page's logic that needs no browser: steering from a thumb on the
// stick, a setting's check, the controls table from help.txt, the address.
import assert from "node:assert/strict";
import {readFileSync} from "node:fs";
import test from "node:test";
import {pathToFileURL} from "node:url";

// The page's modules as the build staged them, beside the knoll-boundary.js
// it wrote (tests/web/run.sh names the folder).
const modules = pathToFileURL(process.env.KNOLL_WEB_PAGE_BUILD + "/modules/").href;
const {MOVE, settingClamped} = await import(modules + "knoll-boundary.js");
const {startQuery, terrainAddress, withoutTerrain} = await import(modules + "page/address.js");
const {controlRows} = await import(modules + "page/controls.js");
const {checkValue} = await import(modules + "page/settings.js");
const {stickBits} = await import(modules + "page/touch.js");

// help.txt as Knoll writes it: the text of help_text in src/config.cpp.
const HELP = readFileSync(new URL("../../../src/config.cpp", import.meta.url), "utf8")
  .split("help_text[] =")[1].split(";")[0].match(/"(?:[^"\\]|\\.)*"/g).map(JSON.parse).join("");

test("the stick: still near its centre, else one of eight sectors", () => {
  const {LEFT, RIGHT, FORWARD, BACK} = MOVE;
  // The thumb's degrees counterclockwise from the right, and its distance off the centre (radius 100).
  for (const [degrees, off, bits] of [[0, 24, 0], [0, 26, RIGHT], [20, 26, RIGHT], [25, 26, RIGHT | FORWARD],
    [65, 26, RIGHT | FORWARD], [70, 26, FORWARD], [135, 26, LEFT | FORWARD], [180, 26, LEFT],
    [225, 26, LEFT | BACK], [270, 26, BACK], [315, 26, RIGHT | BACK]]) {
    const a = degrees * Math.PI / 180;
    assert.equal(stickBits(off * Math.cos(a), -off * Math.sin(a), 100), bits, degrees + "° " + off);
  }
});

test("a typed setting: a whole number, clamped to the range with the words why", () => {
  const range = {min: 0, max: 256};
  assert.deepEqual(checkValue(" 60 ", range), {value: 60, words: ""});
  assert.deepEqual(checkValue("999", range), {value: 256, given: 999,
    words: "999 is more than the most this setting takes: 256 is used."});
  assert.equal(checkValue("-3", range).words, "-3 is less than the least this setting takes: 0 is used.");
  for (const text of ["", "1.5", "6e1", "ten", "--1"])
    assert.deepEqual(checkValue(text, range), {value: null, words: "Give a whole number from 0 to 256."});
  // The page logs a clamped value in the desktop's words (tests/test_config.cpp).
  assert.equal(settingClamped("aniso_level", 99, 16), "Setting Error: aniso_level 99 is out of range; 16 is used");
});

test("the controls table: every control help.txt names, by key or by touch (Esc has none)", () => {
  const named = HELP.split("Controls\n--------\n")[1].split("\n\n")[0].split("\n").map((l) => l.split(": "));
  const more = [["Home", "Back to Start View"], ["Shift held", "Fly Eight Times as Fast"]];
  assert.deepEqual(controlRows(HELP, false), named.concat(more).map(([how, does]) => ({how, does})));
  const touches = controlRows(HELP, true);
  assert.deepEqual(touches.map((row) => row.does), named.concat(more).filter(([key]) => key !== "Esc").map((c) => c[1]));
  assert.ok(touches.every((row) => !named.concat(more).some(([key]) => key === row.how)));
});

test("the address: the terrain's is the page's, the rest Knoll's as given", () => {
  const search = "?win_width=900&terrain=maps%2Fa.png&benchmark=3&vsync=0x1";
  assert.equal(terrainAddress(search), "maps/a.png");
  assert.equal(terrainAddress("?vsync=1"), null);
  assert.equal(withoutTerrain(search), "win_width=900&benchmark=3&vsync=0x1");
  assert.equal(startQuery("maps/b r16", {fps_limit: 30}), "fps_limit=30&terrain=maps%2Fb+r16");
});
