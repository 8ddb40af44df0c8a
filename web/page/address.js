// What the page reads of its address, and the addresses it makes to start
// Knoll again. Knoll reads the address itself (it is its command line); the
// page reads only the terrain's (?terrain=URL), which it fetches before
// Knoll starts, beside Knoll's download. Each function takes the address's
// query (location.search) and touches no page.
import {ADDRESS_TERRAIN} from "../knoll-boundary.js";

// ------------------------------------------------------------ functions ----

// The address of the terrain the address names, or null.
export const terrainAddress = (search) => new URLSearchParams(search).get(ADDRESS_TERRAIN);

// The query that starts Knoll as search does but over the built-in terrain.
export function withoutTerrain(search) {
  const query = new URLSearchParams(search);
  query.delete(ADDRESS_TERRAIN);
  return String(query);
}

// The page's query that flies over the terrain from terrain (an address),
// with settings' values where given.
export function startQuery(terrain, values) {
  const query = new URLSearchParams(values || {});
  if (terrain) query.set(ADDRESS_TERRAIN, terrain);
  return String(query);
}
