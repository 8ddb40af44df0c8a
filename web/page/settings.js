// The settings panel (config.txt): Knoll's settings in force with their
// ranges and defaults, each value checked and shown clamped as it is typed;
// applied, kept as config.txt (or given in the address where the browser
// keeps nothing) and Knoll started again with them; a link that starts
// Knoll with them; and the defaults put back.
import {settingClamped} from "../knoll-boundary.js";
import {restartPath, startLink} from "./address.js";
import {el} from "./dom.js";
import {logLine, removeFile, storageIsRefused, storageTrouble, storeFile} from "./log.js";
import {flownAddress} from "./terrain.js";

// ------------------------------------------------------------ constants ----

// How the panel shows each setting; its value, default and range come from
// Knoll.
const ORDINALS = ["", "", "2nd", "3rd", "4th"];
const SETTING_VIEWS = {
  vsync: {label: "Frame pacing", kind: "choice",
          name: (v) => v === 0 ? "Off (as On in a browser)" : v === 1 ? "On: every display frame"
            : "Every " + (ORDINALS[v] || v + "th") + " display frame"},
  fps_limit: {label: "Frame rate limit", kind: "number", about: "frames a second, 0 for no limit"},
  msaa_level: {label: "Antialiasing", kind: "choice", powers: true,
               name: (v) => v === 0 ? "Off" : v + " sample" + (v > 1 ? "s" : "") + " (the browser's own, often 4)"},
  aniso_level: {label: "Texture sharpness at an angle", kind: "choice", powers: true,
                name: (v) => v === 0 ? "Off" : v + " × anisotropic filtering"},
  shadow_smooth: {label: "Soft shadows", kind: "switch"},
  win_width: {label: "View width", kind: "number", about: "the view's shape with its height"},
  win_height: {label: "View height", kind: "number", about: "the view's shape with its width"},
};

// ---------------------------------------------------------------- state ----

let settings = [];  // Knoll's settings: {key, value, def, min, max, given}

// ------------------------------------------------------------ functions ----

// Knoll's settings in force, with defaults and ranges, from its table's
// text: "key value default min max given" a line, given 1 where the
// address set the value for this visit; the faults' lines passed over.
export function parseSettings(table) {
  const out = [];
  for (const line of table.split("\n")) {
    const f = line.split(" ");
    if (!SETTING_VIEWS[f[0]]) continue;
    const [value, def, min, max, given] = f.slice(1).map(Number);
    out.push({key: f[0], value, def, min, max, given: given === 1});
  }
  return out;
}

// A number typed for setting as Knoll will take it: {value, words}, where
// words say what was changed (clamped), or value is null and words say why
// not.
export function checkValue(text, setting) {
  text = text.trim();
  if (!/^-?\d+$/.test(text))
    return {value: null, words: "Give a whole number from " + setting.min + " to " + setting.max + "."};
  const given = Number(text);
  const value = Math.min(Math.max(given, setting.min), setting.max);
  if (value === given) return {value, words: ""};
  return {value, given, words: given + " is " + (given > value ? "more than the most" : "less than the least") +
          " this setting takes: " + value + " is used."};
}

// The values a choice offers: the range (its powers of two, where the
// view says so) and the value in force.
function choiceValues(setting, view) {
  const values = [];
  for (let v = setting.min; v <= setting.max; v++)
    if (!view.powers || v === 0 || (v & (v - 1)) === 0) values.push(v);
  if (!values.includes(setting.value)) values.push(setting.value);
  return values.sort((a, b) => a - b);
}

// A setting's label: its name in words, its key beside it, and whether
// the address gave it.
function settingLabel(setting, id, fromLink) {
  const label = document.createElement("label");
  label.htmlFor = id;
  const code = document.createElement("code");
  code.textContent = setting.key;
  label.append(SETTING_VIEWS[setting.key].label + " ", code);
  if (fromLink) {
    const mark = document.createElement("span");
    mark.className = "from-link";
    mark.textContent = "from this link";
    label.append(" ", mark);
  }
  return label;
}

// The control that fits a setting: a switch, a choice, or a number
// within its range.
function settingInput(setting, view) {
  let input;
  if (view.kind === "choice") {
    input = document.createElement("select");
    for (const v of choiceValues(setting, view)) input.add(new Option(view.name(v), String(v)));
    input.value = String(setting.value);
    return input;
  }
  input = document.createElement("input");
  input.type = view.kind === "switch" ? "checkbox" : "number";
  if (view.kind === "switch") {
    input.setAttribute("role", "switch");
    input.checked = setting.value !== 0;
  } else {
    Object.assign(input, {min: setting.min, max: setting.max, step: 1, value: String(setting.value)});
  }
  return input;
}

// One setting's label, control, range and default, and the place where a
// value out of range is said to be clamped as it is typed.
function settingField(setting, fromLink) {
  const view = SETTING_VIEWS[setting.key];
  const id = "setting-" + setting.key;
  const input = settingInput(setting, view);
  input.id = id;
  input.name = setting.key;
  const about = document.createElement("span");
  about.className = "about";
  about.id = id + "-about";
  const def = view.kind === "number" ? String(setting.def) : view.kind === "switch"
    ? (setting.def ? "on" : "off") : view.name(setting.def);
  about.textContent = (view.kind === "number" ? setting.min + " to " + setting.max + " (" +
                       view.about + "). " : "") + "Default: " + def;
  const note = document.createElement("span");
  note.className = "clamped";
  note.id = id + "-note";
  input.setAttribute("aria-describedby", about.id + " " + note.id);
  input.addEventListener("input", () => { note.textContent = checkField(input).words; });
  const box = document.createElement("div");
  box.className = "setting";
  box.append(settingLabel(setting, id, fromLink), input, about, note);
  return box;
}

// A field's value as Knoll will take it, as checkValue says.
function checkField(input) {
  if (input.type === "checkbox") return {value: input.checked ? 1 : 0, words: ""};
  return checkValue(input.value, settings.find((s) => s.key === input.name));
}

// The table's lines after the settings: what was wrong in the address's,
// in error.log's words.
const settingFaults = (table) => table.split("\n").filter((line) => line && !SETTING_VIEWS[line.split(" ")[0]]);

// The settings panel for Knoll's settings in force (its table's text,
// KNOLL_HOOKS.SETTINGS), opened to say what was wrong in the address's.
export function showSettings(table) {
  settings = parseSettings(table);
  const faults = settingFaults(table);
  el("settings-status").textContent = faults.join(" ");
  if (faults.length) el("settings").open = true;
  const fields = el("settings-fields");
  fields.textContent = "";
  for (const setting of settings) fields.append(settingField(setting, setting.given));
  el("settings-note").textContent = storageIsRefused()
    ? "Apply starts Knoll again with these settings."
    : "Kept in this browser; Apply starts Knoll again with them.";
  el("storage-note").textContent = storageTrouble() + ": a change holds for this visit only.";
  el("storage-note").hidden = !storageIsRefused();
  el("link-note").hidden = !settings.some((setting) => setting.given) || storageIsRefused();
}

// The fields' values, clamped, and any clamping shown; null when a field
// holds no number, which is then pointed out, or before Knoll has said
// what its settings are.
function panelValues() {
  if (!settings.length) return null;
  const values = {};
  for (const input of el("settings-fields").querySelectorAll("[name]")) {
    const checked = checkField(input);
    el(input.id + "-note").textContent = checked.words;
    if (checked.value === null) {
      el("settings-status").textContent = "Nothing applied: " + checked.words;
      input.focus();
      return null;
    }
    values[input.name] = checked.value;
  }
  return values;
}

// The address that starts Knoll with values (all of them: a visitor's own
// stored settings would fill the gaps otherwise), over the terrain flown
// over where that came from an address.
function linkFor(values) {
  return startLink(window.location, flownAddress(), values);
}

// The page's own address, with the terrain's where the terrain flown over
// came from one.
function pageAddress() {
  return restartPath(window.location.pathname, flownAddress());
}

// Starts Knoll again with values, logging any clamped: kept as
// config.txt, or where the browser keeps nothing, given in the address
// for this visit.
function restartWith(values) {
  for (const setting of settings) {
    const input = el("setting-" + setting.key);
    const given = input && input.type === "number" ? Number(input.value) : values[setting.key];
    if (given !== values[setting.key])
      logLine(settingClamped(setting.key, given, values[setting.key]));
  }
  if (storageIsRefused()) {
    window.location.href = linkFor(values);
    return;
  }
  const lines = Object.entries(values).map(([key, value]) => key + " " + value);
  storeFile("config.txt", lines.join("\n") + "\n");
  window.location.href = pageAddress();
}

// "Apply and restart", where every field holds a number.
function applySettings(event) {
  event.preventDefault();
  const values = panelValues();
  if (values) restartWith(values);
}

// "Copy link": the address with the fields' values, copied, or shown to
// copy where the browser refuses.
async function copyLink() {
  const values = panelValues();
  if (!values) return;
  const link = linkFor(values);
  el("link-out").value = link;
  el("link-out-label").hidden = false;
  try {
    await navigator.clipboard.writeText(link);
    el("settings-status").textContent = "Link copied: it starts Knoll with these settings.";
  } catch (e) {
    el("settings-status").textContent = "Copy the link below: it starts Knoll with these settings.";
    el("link-out").select();
  }
}

// "Defaults" asks first; put back, the stored settings go and Knoll starts
// again on its defaults.
function resetClosed() {
  if (el("reset-dialog").returnValue !== "reset") return;
  removeFile("config.txt");
  window.location.href = pageAddress();
}

// Knoll stopped before it gave its settings: the panel says why (the
// overlay's words), its buttons with nothing to act on disabled.
export function settingsUnavailable(why) {
  if (settings.length) return;
  el("settings-note").textContent = why;
  for (const button of el("settings-form").querySelectorAll("button")) button.disabled = true;
}

// Has the panel's buttons act.
export function listenSettings() {
  el("settings-form").addEventListener("submit", applySettings);
  el("keep-link").addEventListener("click", applySettings);
  el("copy-link").addEventListener("click", copyLink);
  el("settings-reset").addEventListener("click", () => el("reset-dialog").showModal());
  el("reset-dialog").addEventListener("close", resetClosed);
}
