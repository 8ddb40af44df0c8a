// What the page reads of its address, and the addresses it makes to start
// Knoll again. Knoll reads the address itself (it is its command line); the
// page reads only the terrain's (?terrain=URL), which it fetches before
// Knoll starts, beside Knoll's download. Each function takes the parts of
// the address it needs (location.search, .origin, .pathname) and touches no
// page: the page may sit anywhere on its site (the published site has it
// under play/), so every address it makes keeps its path.
import {ADDRESS_TERRAIN} from "../knoll-boundary.js";

// ------------------------------------------------------------ functions ----

// The address of the terrain the address names, or null.
export const terrainAddress = (search) => new URLSearchParams(search).get(ADDRESS_TERRAIN);

// The query search without its parameter name, the rest as it is.
export function withoutParameter(search, name) {
  const query = new URLSearchParams(search);
  query.delete(name);
  return String(query);
}

// The query that starts Knoll as search does but over the built-in terrain.
export const withoutTerrain = (search) => withoutParameter(search, ADDRESS_TERRAIN);

// The page's query that flies over the terrain from terrain (an address),
// with settings' values where given.
export function startQuery(terrain, values) {
  const query = new URLSearchParams(values || {});
  if (terrain) query.set(ADDRESS_TERRAIN, terrain);
  return String(query);
}

// The link that starts Knoll on the page at location with values over
// terrain: the page's full address, the page's own path kept.
export const startLink = (location, terrain, values) =>
  location.origin + location.pathname + "?" + startQuery(terrain, values);

// The page's own path, over terrain where given: where it starts again.
export function restartPath(pathname, terrain) {
  const query = startQuery(terrain);
  return pathname + (query ? "?" + query : "");
}
