// What the page's address asks of Knoll (?key=value pairs): settings for
// this visit, a benchmark (?benchmark or ?benchmark=SECONDS) and a terrain
// to fly over (?terrain=URL); and the addresses the page makes to start
// Knoll again. Each function takes the address's query (location.search)
// and touches no page.

// ------------------------------------------------------------ constants ----

const TERRAIN = "terrain";
const BENCHMARK = "benchmark";

// ------------------------------------------------------------ functions ----

// The address's settings as config.txt lines, one a pair, for Knoll to
// read as it reads config.txt: a line break inside a pair cannot start
// another line. The terrain and the benchmark are no settings.
export function addressSettings(search) {
  const lines = [];
  for (const [key, value] of new URLSearchParams(search))
    if (key !== TERRAIN) lines.push((key + " " + value).replace(/[\r\n\0]/g, " "));
  return lines.filter((line) => line.split(" ")[0] !== BENCHMARK).join("\n");
}

// The address's settings among known (an object keyed by setting): key to
// the text given.
export function linkSettings(search, known) {
  const given = {};
  for (const [key, value] of new URLSearchParams(search))
    if (known[key]) given[key] = value;
  return given;
}

// Whether the address asks for a benchmark.
export const asksBenchmark = (search) => new URLSearchParams(search).has(BENCHMARK);

// Knoll's command line for the address's benchmark, or none.
export function benchmarkArguments(search) {
  if (!asksBenchmark(search)) return [];
  const seconds = new URLSearchParams(search).get(BENCHMARK);
  return [seconds ? "--benchmark=" + seconds : "--benchmark"];
}

// The address of the terrain the address names, or null.
export const terrainAddress = (search) => new URLSearchParams(search).get(TERRAIN);

// The query that starts Knoll as search does but over the built-in terrain.
export function withoutTerrain(search) {
  const query = new URLSearchParams(search);
  query.delete(TERRAIN);
  return String(query);
}

// The page's query that flies over the terrain from terrain (an address),
// with settings' values where given.
export function startQuery(terrain, values) {
  const query = new URLSearchParams(values || {});
  if (terrain) query.set(TERRAIN, terrain);
  return String(query);
}
