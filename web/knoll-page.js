// The page around Knoll's canvas: loads Knoll (knoll-loader.js) with its progress,
// keeps config.txt and error.log in the browser's storage, lists the
// controls from help.txt, edits the settings, drives Knoll by touch, opens
// the user's own terrain, and tells the user when Knoll stops or cannot
// start. Knoll's own side of this is src/platform_web.cpp.
"use strict";

(function () {
  // ---------------------------------------------------------- constants ----

  const STORAGE_PREFIX = "knoll/";
  const LOG_LIMIT = 65536;  // characters of error.log kept, the newest
  // Keys Knoll reads while the canvas has focus; the page would scroll or
  // the browser would act on them.
  const KNOLL_KEYS = new Set(["ArrowLeft", "ArrowRight", "ArrowUp", "ArrowDown", "KeyE", "KeyF",
                              "KeyR", "F11", "Escape", "Home", "ShiftLeft", "ShiftRight"]);
  const HOME_KEY = 268;  // GLFW's key code of Home: back to the start view
  // What to try when a start-up step fails, by the step's number
  // (StartupStep in src/platform.h): the settings, the window, the graphics.
  const STARTUP_ADVICE = [
    "The browser's storage could not be read. Try clearing this site's data.",
    "Knoll needs WebGL 2. Try a current Firefox, Chrome, Edge or Safari, turn on hardware " +
      "acceleration in the browser's settings, or update the graphics driver.",
    "The graphics driver refused part of Knoll's set-up. Try another browser or an updated " +
      "graphics driver, and send us error.log.",
  ];
  const NO_WEBGL = ["Knoll cannot run in this browser.",
    "Knoll draws its pictures with WebGL 2, which this browser has turned off or cannot offer. " +
    "Turn on hardware (graphics) acceleration in the browser's settings and load the page " +
    "again, open it in a current Firefox, Chrome, Edge or Safari, or update the graphics " +
    "driver."];

  // A finger dragged across the whole canvas turns the view as the mouse
  // moved by this many screen units does (half a turn), on a phone as on a
  // tablet.
  const LOOK_UNITS_PER_WIDTH = 1024;
  // The move stick's directions: the bits Knoll takes, and a direction
  // counts once the thumb is this share of its radius off the centre and
  // within 67.5 degrees of it, so that eight sectors give the four arrows
  // and their diagonals.
  const MOVE_LEFT = 1, MOVE_RIGHT = 2, MOVE_FORWARD = 4, MOVE_BACK = 8;
  const STICK_DEAD_ZONE = 0.25;
  const STICK_SECTOR = Math.cos(67.5 * Math.PI / 180);

  // The user's own terrain: the files Knoll reads, told by their names, and
  // the most bytes the page takes: a map of the largest side a page holds,
  // 8193 samples, at 16 bits, with a megabyte to spare for a PNG's headers.
  // ?terrain=URL names one in the address.
  const TERRAIN_TYPES = /\.(png|r16|raw|hgt)$/i;
  const TERRAIN_LIMIT = 2 * 8193 * 8193 + 1e6;
  const TERRAIN_PARAMETER = "terrain";

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

  // How the settings panel shows each setting; its value, default and range
  // come from Knoll (configTable in src/config.cpp).
  const ORDINALS = ["", "", "2nd", "3rd", "4th"];
  const SETTING_VIEWS = {
    vsync: {label: "Frame pacing", kind: "choice",
            name: (v) => v === 0 ? "Off (as On in a browser)" : v === 1 ? "On: every display frame"
              : "Every " + (ORDINALS[v] || v + "th") + " display frame"},
    fps_limit: {label: "Frame rate limit", kind: "number", about: "frames a second, 0 for no limit"},
    msaa_level: {label: "Antialiasing", kind: "choice", powers: true,
                 name: (v) => v === 0 ? "Off" : v + " samples (the browser's own, often 4)"},
    aniso_level: {label: "Texture sharpness at an angle", kind: "choice", powers: true,
                  name: (v) => v === 0 ? "Off" : v + " × anisotropic filtering"},
    shadow_smooth: {label: "Soft shadows", kind: "switch"},
    win_width: {label: "View width", kind: "number", about: "the view's shape with its height"},
    win_height: {label: "View height", kind: "number", about: "the view's shape with its width"},
  };

  // -------------------------------------------------------------- state ----

  const el = (id) => document.getElementById(id);
  const canvas = el("canvas");
  let memoryStorage = {};  // stands in for localStorage where that is refused
  let storageRefused = false;
  let logText = "";
  let stopped = false;
  let helpText = "";
  let settings = [];  // Knoll's settings: {key, value, def, min, max}
  let touchInput = false;  // touch, not keys and a mouse, is the input
  // The finger that looks ({id, x, y} of its last place), the pointer ids of
  // the ones on the stick and on the fast button, and the directions the
  // stick holds.
  let lookFinger = null, stickFinger = null, fastFinger = null, moveBits = 0;
  let downloadFault = null;  // what did not arrive whole, once something did not
  // The terrain file being read or opened ({path, address}: its name in
  // Knoll's file system and the address it came from, "" for the user's),
  // the bytes of the address's terrain until Knoll's file system is there,
  // the address the terrain flown over came from, for links, and why the
  // address's terrain stopped Knoll's start-up.
  let terrain = null, startTerrain = null, terrainAddress = "", terrainFault = "";

  // ------------------------------------------------------------ storage ----

  // Reads a stored file; null when there is none or storage is refused.
  function loadFile(name) {
    try {
      return window.localStorage.getItem(STORAGE_PREFIX + name);
    } catch (e) {
      return name in memoryStorage ? memoryStorage[name] : null;
    }
  }

  // Stores a file; returns 0, or 1 when the browser refused (storage full or
  // unavailable), when it is kept for this visit only.
  function storeFile(name, text) {
    memoryStorage[name] = text;
    try {
      window.localStorage.setItem(STORAGE_PREFIX + name, text);
      return 0;
    } catch (e) {
      return 1;
    }
  }

  function removeFile(name) {
    delete memoryStorage[name];
    try {
      window.localStorage.removeItem(STORAGE_PREFIX + name);
    } catch (e) { /* nothing stored, nothing to remove */ }
  }

  // Whether the browser refuses to keep anything for the site.
  function refusesStorage() {
    try {
      window.localStorage.setItem(STORAGE_PREFIX + "probe", "");
      window.localStorage.removeItem(STORAGE_PREFIX + "probe");
      return false;
    } catch (e) {
      return true;
    }
  }

  // ----------------------------------------------------------- error.log ----

  // One line of Knoll's standard error: the console, and error.log.
  function logLine(line) {
    console.warn("Knoll: " + line);
    logText = (logText + line + "\n").slice(-LOG_LIMIT);
    storeFile("error.log", logText);
  }

  function downloadLog() {
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob([logText], {type: "text/plain"}));
    link.download = "error.log";
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }

  // ------------------------------------------------------------- overlay ----

  function showOverlay(message, detail, percent, canRestart) {
    el("overlay").hidden = false;
    el("message").textContent = message;
    el("detail").textContent = detail || "";
    const progress = el("progress");
    progress.hidden = percent === undefined;
    if (percent !== undefined && percent !== null) progress.value = percent;
    if (percent === null) progress.removeAttribute("value");
    el("restart").hidden = !canRestart;
  }

  function hideOverlay() { el("overlay").hidden = true; }

  // Knoll could not start: message, and where a start-up step failed (step,
  // a StartupStep), what to try.
  function startupFailed(message, step) {
    stopped = true;
    releaseFingers();
    showOverlay(message, STARTUP_ADVICE[step] || "", undefined, true);
    document.body.dataset.status = "1";
    document.body.dataset.knoll = "failed";
  }

  // ------------------------------------------------------------ controls ----

  // The controls as help.txt lists them, "key: does" a line between its
  // Controls banner and the blank line after, and Home and Shift after them.
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

  // The controls table, with keys or with touches, whichever is the input.
  function showControls() {
    const rows = el("controls-rows");
    const controls = helpControls(helpText);
    el("controls-input").textContent = touchInput ? "Touch" : "Key";
    if (!controls.length) return;
    rows.textContent = "";
    for (const control of controls) {
      const how = touchInput ? control.touch || TOUCHES[control.key] : control.key;
      if (!how) continue;
      const row = rows.insertRow();
      const th = document.createElement("th");
      th.scope = "row";
      th.textContent = how;
      row.append(th);
      row.insertCell().textContent = control.does;
    }
  }

  // The hint beside the buttons, for fingers or for keys; the one for a
  // focused view is no longer than the one before, so that focusing the view
  // never wraps the bar and moves the canvas.
  function showHint() {
    const hint = el("focus-hint");
    if (touchInput) hint.textContent = "Drag on the view to look; hold the stick to fly.";
    else if (document.activeElement === canvas) hint.textContent = "Keys go to the view; Tab leaves.";
    else hint.textContent = "Click the view, then use the keys.";
  }

  // ------------------------------------------------------------ settings ----

  // Knoll's settings in force, with defaults and ranges, from its table.
  function parseSettings(table) {
    const out = [];
    for (const line of table.split("\n")) {
      const f = line.split(" ");
      if (f.length !== 5) continue;
      const [value, def, min, max] = f.slice(1).map(Number);
      out.push({key: f[0], value, def, min, max});
    }
    return out;
  }

  // The address's settings: key to the text given, for Knoll's keys.
  function linkSettings() {
    const given = {};
    for (const [key, value] of new URLSearchParams(window.location.search))
      if (SETTING_VIEWS[key]) given[key] = value;
    return given;
  }

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

  // A field's value as Knoll will take it: {value, words}, where words say
  // what was changed (clamped), or value is null and words say why not.
  function checkField(input) {
    const setting = settings.find((s) => s.key === input.name);
    if (input.type === "checkbox") return {value: input.checked ? 1 : 0, words: ""};
    const text = input.value.trim();
    if (!/^-?\d+$/.test(text))
      return {value: null, words: "Give a whole number from " + setting.min + " to " + setting.max + "."};
    const given = Number(text);
    const value = Math.min(Math.max(given, setting.min), setting.max);
    if (value === given) return {value, words: ""};
    return {value, given, words: given + " is " + (given > value ? "more than the most" : "less than the least") +
            " this setting takes: " + value + " is used."};
  }

  // The settings panel for Knoll's settings in force (its table's text).
  function showSettings(table) {
    settings = parseSettings(table);
    const link = linkSettings();
    const fields = el("settings-fields");
    fields.textContent = "";
    for (const setting of settings) fields.append(settingField(setting, setting.key in link));
    el("settings-note").textContent = storageRefused
      ? "Apply starts Knoll again with these settings."
      : "Kept in this browser; Apply starts Knoll again with them.";
    el("storage-note").hidden = !storageRefused;
    el("link-note").hidden = !Object.keys(link).length || storageRefused;
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
    const query = new URLSearchParams(values);
    if (terrainAddress) query.set(TERRAIN_PARAMETER, terrainAddress);
    return window.location.origin + window.location.pathname + "?" + query;
  }

  // Starts Knoll again with values, logging any clamped: kept as
  // config.txt, or where the browser keeps nothing, given in the address
  // for this visit.
  function restartWith(values) {
    for (const setting of settings) {
      const input = el("setting-" + setting.key);
      const given = input && input.type === "number" ? Number(input.value) : values[setting.key];
      if (given !== values[setting.key])
        logLine("Setting Error: " + setting.key + " " + given + " is out of range; " + values[setting.key] + " is used");
    }
    if (storageRefused) {
      window.location.href = linkFor(values);
      return;
    }
    const lines = Object.entries(values).map(([key, value]) => key + " " + value);
    storeFile("config.txt", lines.join("\n") + "\n");
    window.location.href = pageAddress();
  }

  function applySettings(event) {
    event.preventDefault();
    const values = panelValues();
    if (values) restartWith(values);
  }

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

  function askReset() {
    el("reset-dialog").showModal();
  }

  function resetClosed() {
    if (el("reset-dialog").returnValue !== "reset") return;
    removeFile("config.txt");
    window.location.href = pageAddress();
  }

  // Knoll replaced one of its files: kept for the next visit, and shown.
  function fileReplaced(name, text) {
    if (name === "help.txt") {
      helpText = text;
      showControls();
    }
    const refused = storeFile(name, text);
    if (refused) logLine("Storage Error: " + name + " is kept for this visit only (the browser refused to store it)");
    return refused;
  }

  // Knoll's GL context: lost (0), back (1), or not to be rebuilt (2).
  function contextChanged(state) {
    if (state === 1) {
      hideOverlay();
      document.body.dataset.knoll = "running";
      return;
    }
    releaseFingers();
    const lost = state === 0;
    logLine(lost ? "The browser took the graphics context away; waiting for it to come back"
                 : "The graphics context came back but Knoll could not set it up again");
    showOverlay(lost ? "The graphics context was lost." : "Knoll could not recover.",
                lost ? "Knoll goes on once the browser gives it back; starting again helps " +
                       "if that takes long." : "Start Knoll again.", undefined, true);
    document.body.dataset.knoll = lost ? "lost" : "failed";
  }

  // ---------------------------------------------------------- the address ----

  // The address's ?key=value pairs as config.txt lines, one a pair; line
  // breaks inside a pair cannot start another line.
  function addressSettings() {
    const lines = [];
    for (const [key, value] of new URLSearchParams(window.location.search))
      if (key !== TERRAIN_PARAMETER) lines.push((key + " " + value).replace(/[\r\n\0]/g, " "));
    return lines.join("\n");
  }

  // The page's own address, with the terrain's where the terrain flown over
  // came from one.
  function pageAddress() {
    const query = terrainAddress ? "?" + new URLSearchParams({[TERRAIN_PARAMETER]: terrainAddress}) : "";
    return window.location.pathname + query;
  }

  // ------------------------------------------------------------- terrain ----
  // The user's heightmap, from the picker, a drop or the address, goes into
  // Knoll's file system under its own name, so that Knoll's words name it.
  // Knoll checks it, loads it while the terrain of now flies on, and
  // answers through knollTerrain; the file goes then.

  // Words on the terrain beside the view; busy while a read goes on, so
  // that a screen reader tells its end rather than every step.
  function terrainSay(words, busy) {
    const status = el("terrain-status");
    status.textContent = words;
    status.hidden = false;
    status.setAttribute("aria-busy", String(!!busy));
  }

  const sizeWords = (n) => n >= 1e9 ? (n / 1e9).toFixed(1) + " GB" : Math.round(n / 1e6) + " MB";

  // Why the page does not take a file of that name and size, or "".
  function terrainRefusal(name, size) {
    if (!TERRAIN_TYPES.test(name))
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

  // A file from the picker or a drop: what the page cannot take is said
  // before a byte is read; the rest is read with its progress and handed to
  // Knoll, which answers through knollTerrain (at once where it refuses).
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
    m._knollOpenTerrain(path, 0);
    m._free(path);
  }

  // The address's terrain (?terrain=URL), fetched with its progress while
  // Knoll downloads. Resolves to Knoll's arguments for it, or to none where
  // it cannot be had, which is said: Knoll then starts on its built-in
  // terrain. A terrain is no file of the build: offline, it is not there.
  async function addressTerrain() {
    const address = new URLSearchParams(window.location.search).get(TERRAIN_PARAMETER);
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

  // Knoll's answer on the terrain it was given: why not, the terrain of now
  // flying on (at start-up, Knoll stops), or the new terrain's summary. The
  // file goes either way.
  function terrainAnswered(line, failed) {
    const given = terrain || {};
    terrain = null;
    if (given.path) window.Module.FS.unlink(given.path);
    line = line.trim();
    const starting = document.body.dataset.knoll === "starting";
    if (failed && starting) terrainFault = line;
    if (!failed) terrainAddress = given.address || "";
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

  // ---------------------------------------------------------------- keys ----

  // Keys reach Knoll only while its canvas has focus, and those it uses do
  // nothing else there; Space scrolls nothing either. Every other key is
  // the page's: Tab and Shift+Tab move on (Emscripten's GLFW would keep Tab
  // for itself). Registered before Knoll's own listeners, which then never
  // see a key meant for the rest of the page. Releases always pass, so that
  // no key stays held when the focus moves while it is down.
  function filterKey(event) {
    if (document.activeElement === canvas && KNOLL_KEYS.has(event.code)) {
      event.preventDefault();
      return;
    }
    if (document.activeElement === canvas && event.code === "Space") event.preventDefault();
    if (event.type === "keydown") event.stopImmediatePropagation();
  }

  // ---------------------------------------------------------------- touch ----

  // Calls one of Knoll's input functions while it runs.
  function knoll(name, ...args) {
    const f = window.Module && window.Module["_" + name];
    if (f && document.body.dataset.knoll === "running") f(...args);
  }

  // Shows the touch controls and speaks of fingers, or of keys.
  function setTouchInput(on) {
    if (on === touchInput) return;
    touchInput = on;
    el("touch").hidden = !on;
    document.body.classList.toggle("touch", on);
    showControls();
    showHint();
  }

  function within(element, event) {
    const r = element.getBoundingClientRect();
    return event.clientX >= r.left && event.clientX < r.right &&
           event.clientY >= r.top && event.clientY < r.bottom;
  }

  function setMove(bits) {
    if (bits === moveBits) return;
    moveBits = bits;
    knoll("knollTouchMove", bits);
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
    if (length < radius * STICK_DEAD_ZONE) {
      setMove(0);
      return;
    }
    const sx = x / length, sy = y / length;
    setMove((sx < -STICK_SECTOR ? MOVE_LEFT : 0) | (sx > STICK_SECTOR ? MOVE_RIGHT : 0) |
            (sy < -STICK_SECTOR ? MOVE_FORWARD : 0) | (sy > STICK_SECTOR ? MOVE_BACK : 0));
  }

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
    knoll("knollTouchFast", id === null ? 0 : 1);
  }

  // Every finger lets go: lifted or cancelled, the page hidden, the window
  // turned or resized under them (the stick has moved), Knoll stopped.
  function releaseFingers() {
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
    } else if (event.target === canvas && lookFinger === null) {
      lookFinger = {id: event.pointerId, x: event.clientX, y: event.clientY};
    }
  }

  // A finger that leaves the view lets go there.
  function fingerMoved(event) {
    if (lookFinger && event.pointerId === lookFinger.id) {
      if (!within(canvas, event)) {
        lookFinger = null;
        return;
      }
      const scale = LOOK_UNITS_PER_WIDTH / Math.max(canvas.clientWidth, 1);
      knoll("knollTouchLook", (event.clientX - lookFinger.x) * scale, (event.clientY - lookFinger.y) * scale);
      lookFinger.x = event.clientX;
      lookFinger.y = event.clientY;
    } else if (event.pointerId === stickFinger) {
      if (within(canvas, event)) steer(event);
      else releaseStick();
    } else if (event.pointerId === fastFinger && !within(canvas, event)) {
      holdFast(null);
    }
  }

  function fingerUp(event) {
    if (lookFinger && event.pointerId === lookFinger.id) lookFinger = null;
    if (event.pointerId === stickFinger) releaseStick();
    if (event.pointerId === fastFinger) holdFast(null);
  }

  // --------------------------------------------------------------- layout ----

  // The height of the view besides the canvas (title, buttons, margins),
  // from which the style sheet sizes the canvas to leave it all in the
  // window. Measured whenever the title or the buttons change size; in full
  // screen the canvas is out of the page's flow.
  function measureView() {
    if (document.fullscreenElement) return;
    const chrome = el("view").getBoundingClientRect().height - canvas.getBoundingClientRect().height;
    document.documentElement.style.setProperty("--view-chrome", Math.ceil(chrome) + "px");
  }

  // ----------------------------------------------------------- full screen ----

  // A button clicked with the mouse gives the keys back to the view; one
  // pressed from the keyboard keeps the focus where it is.
  function refocus(event) {
    if (event.detail > 0 && !touchInput) canvas.focus({preventScroll: true});
  }

  function toggleFullscreen(event) {
    const frame = canvas.parentElement;
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
    else if (frame.requestFullscreen) frame.requestFullscreen().catch(() => {});
    refocus(event);
  }

  // ------------------------------------------------------------ download ----

  // Loads Knoll's build (knoll-loader.js), showing the bytes received
  // against the build's total: over the canvas until the code is there, then
  // in a thin bar under the logo until every image is. Resolves to the code;
  // *all* settles once everything has arrived.
  function download() {
    const streaming = document.createElement("progress");
    streaming.max = 100;
    streaming.style.cssText = "position:absolute;left:0;bottom:0;width:100%;height:4px;";
    const loading = window.KnollLoader.load((received, total) => {
      const mb = (n) => (n / 1e6).toFixed(1);
      const percent = Math.floor(100 * received / total);
      streaming.value = percent;
      if (document.body.dataset.knoll === "loading")
        showOverlay("Downloading Knoll… " + percent + " %", mb(received) + " of " + mb(total) + " MB", percent);
    }, filesNotKept);
    el("stage").append(streaming);
    loading.all.then(() => streaming.remove(), (e) => {
      streaming.remove();
      downloadFailed(e);
    });
    return loading.code;
  }

  // Knoll runs, but its files could not be kept for later visits: said
  // under the view, since the next visit downloads them again and none
  // starts without a network.
  function filesNotKept(e) {
    const why = e && e.name === "QuotaExceededError" ? "its storage is full" : String(e);
    logLine("Storage Error: Knoll's files are not kept for offline use (" + e + ")");
    const note = el("offline-note");
    note.textContent = "This browser does not keep Knoll's files (" + why + "): the next visit " +
      "downloads them again, and without a network Knoll will not start.";
    note.hidden = false;
  }

  // A file that did not arrive whole: said over the canvas, and it stays said
  // when Knoll, missing it, then fails its start-up.
  function downloadFailed(e) {
    if (downloadFault) return;
    downloadFault = String(e.message || e);
    logLine("Download Error: " + downloadFault);
    startupFailed("Knoll could not be downloaded.");
    el("detail").textContent = downloadFault + ". Check the connection and start again.";
  }

  // Whether the browser makes a WebGL 2 context at all: one with WebGL
  // turned off or its driver blocked has the API but gives no context. The
  // trial context is let go at once; the time it takes is mostly the
  // browser's starting its GL, which Knoll's own context then finds done.
  function webgl2Available() {
    if (typeof WebGL2RenderingContext !== "function") return false;
    const gl = document.createElement("canvas").getContext("webgl2");
    if (!gl) return false;
    const lose = gl.getExtension("WEBGL_lose_context");
    if (lose) lose.loseContext();
    return true;
  }

  // Resolves once the browser has painted the page as it is now.
  function painted() {
    return new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
  }

  // No WebGL 2: said in a visitor's words, with the desktop's line in
  // error.log. Starting again cannot help.
  function noWebgl2() {
    logLine("Window init failed!");
    stopped = true;
    showOverlay(NO_WEBGL[0], NO_WEBGL[1]);
    document.body.dataset.status = "1";
    document.body.dataset.knoll = "failed";
  }

  // --------------------------------------------------------------- start ----

  // Starts Knoll with args, its command line.
  function startKnoll(code, args) {
    // Only the module outlives the start: knoll.js's text is let go once run.
    const compiled = code.module;
    window.Module = {
      canvas: canvas,
      arguments: args,
      instantiateWasm: (imports, receive) => {
        // A module that does not compile is the download's fault, said there.
        compiled.then((module) => WebAssembly.instantiate(module, imports)
          .then((instance) => receive(instance, module)), () => {});
        return {};
      },
      knollPicture: window.KnollLoader.picture,
      knollPicturesAgain: window.KnollLoader.loadPicturesAgain,
      knollPicturesReady: window.KnollLoader.picturesReady,
      print: logLine,
      printErr: logLine,
      knollStoreFile: fileReplaced,
      knollSettings: showSettings,
      knollStartupFailed: (message, step) => downloadFault || startupFailed(message, step),
      knollContext: contextChanged,
      knollTerrain: terrainAnswered,
      knollAddressSettings: addressSettings(),
      knollFrameShown: () => {
        performance.mark("knoll-first-frame");
        hideOverlay();
      },
      knollStarted: () => {
        performance.mark("knoll-running");
        hideOverlay();
        document.body.dataset.knoll = "running";
      },
      preRun: [() => {
        const config = loadFile("config.txt");
        if (config !== null) window.Module.FS.writeFile("config.txt", config);
        if (startTerrain) putTerrain(startTerrain);
        startTerrain = null;
      }],
      onExit: (status) => {
        if (stopped) return;
        stopped = true;
        releaseFingers();
        if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
        if (terrainFault)
          showOverlay("Knoll could not open the terrain in the address.",
                      terrainFault + " Start again flies over the built-in terrain.", undefined, true);
        else
          showOverlay("Knoll has stopped" + (status ? " (status " + status + ")." : "."),
                      status ? "See error.log for why." : "", undefined, true);
        document.body.dataset.status = String(status);
        document.body.dataset.knoll = "stopped";
      },
      onAbort: (what) => {
        logLine("Knoll ended unexpectedly: " + what);
        startupFailed("Knoll ended unexpectedly.");
      },
    };
    showOverlay("Starting Knoll…", "", null);
    document.body.dataset.knoll = "starting";
    performance.mark("knoll-starting");
    // knoll.js runs as a script of the page would, its declarations global;
    // run from its text, it waits for no load of its own, which the
    // pictures' arrival would hold up.
    try {
      (0, eval)(code.script + "\n//# sourceURL=knoll.js\n");
    } catch (e) {
      startupFailed("knoll.js did not load.");
    }
  }

  function listen() {
    window.addEventListener("keydown", filterKey, true);
    window.addEventListener("keyup", filterKey, true);
    canvas.addEventListener("contextmenu", (event) => event.preventDefault());
    canvas.addEventListener("mousedown", () => canvas.focus({preventScroll: true}));
    canvas.addEventListener("focus", showHint);
    canvas.addEventListener("blur", showHint);
    const frame = canvas.parentElement;
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
    // The view's own buttons leave the keyboard's focus on the view.
    el("touch-buttons").addEventListener("mousedown", (event) => event.preventDefault());
    for (const button of document.querySelectorAll("[data-key]"))
      button.addEventListener("click", () => knoll("knollCommand", Number(button.dataset.key)));
    for (const button of document.querySelectorAll(".fullscreen"))
      button.addEventListener("click", toggleFullscreen);
    el("home").addEventListener("click", (event) => {
      knoll("knollCommand", HOME_KEY);
      refocus(event);
    });
    el("download-log").addEventListener("click", downloadLog);
    // After the address's terrain stopped Knoll, without it.
    el("restart").addEventListener("click", () => {
      if (!terrainFault) return window.location.reload();
      const query = new URLSearchParams(window.location.search);
      query.delete(TERRAIN_PARAMETER);
      window.location.search = query;
    });
    el("open-terrain").addEventListener("click", () => el("terrain-file").click());
    el("terrain-file").addEventListener("change", (event) => {
      if (event.target.files[0]) openTerrain(event.target.files[0]);
      event.target.value = "";
    });
    for (const type of ["dragenter", "dragover", "drop"]) window.addEventListener(type, dragged, true);
    el("settings-form").addEventListener("submit", applySettings);
    el("keep-link").addEventListener("click", applySettings);
    el("copy-link").addEventListener("click", copyLink);
    el("settings-reset").addEventListener("click", askReset);
    el("reset-dialog").addEventListener("close", resetClosed);
    const observer = new ResizeObserver(measureView);
    observer.observe(document.querySelector("header"));
    observer.observe(el("bar"));
    observer.observe(el("offline-note"));
    observer.observe(el("terrain-status"));
  }

  async function main() {
    logText = loadFile("error.log") || "";
    storageRefused = refusesStorage();
    listen();
    setTouchInput(window.matchMedia("(pointer: coarse)").matches);
    helpText = loadFile("help.txt") || "";
    showControls();
    showHint();
    document.body.dataset.knoll = "loading";

    showOverlay("Downloading Knoll…", "", 0);
    await painted();
    if (!webgl2Available()) {
      noWebgl2();
      return;
    }
    document.body.dataset.build = window.KnollLoader.build.id;
    let code, args;
    try {
      [code, args] = await Promise.all([download(), addressTerrain()]);
    } catch (e) {
      downloadFailed(e);
      return;
    }
    if (!downloadFault) startKnoll(code, args);
  }

  main();
})();
