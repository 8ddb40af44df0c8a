// Loading the user's terrain: what the files' sizes and headers tell is
// checked before the window opens; reading and decoding them then run on a
// worker thread (in a page without threads, in the loop's turns) while the
// logo screen shows how far they have come. Every fault is one line naming
// the file: "Terrain Error: FILE: what is wrong".
#pragma once

#include <stddef.h>
#include <stdint.h>

// ------------------------------------------------------------ constants ----

enum { TERRAIN_LINE_SIZE = 512 };

// ---------------------------------------------------------------- types ----

enum TerrainLoadState { LOAD_IDLE, LOAD_RUNNING, LOAD_DONE, LOAD_FAILED };

// ------------------------------------------------------------ functions ----

// The largest side a map may have here: a browser page holds less.
int32_t terrainSideLimit(void);

// Checks the heightmap path and the splat map splat_path (or NULL) by their
// sizes and headers, without reading them whole. Returns 0, or 1 with the
// fault's line in line.
int terrainLoadCheck(const char *path, const char *splat_path, char *line, size_t size);

// Reads and decodes the files terrainLoadCheck passed, height being the
// height of a PNG's or RAW's full range (0 for the default), in the
// background.
void terrainLoadStart(const char *path, const char *splat_path, double height);

// Where the load stands, and how far it has come, 0 to 1, in *fraction.
TerrainLoadState terrainLoadPoll(float *fraction);

// What a running load does now, in a user's words: "Reading terrain",
// "Decoding terrain" or "Cutting terrain into tiles".
const char *terrainLoadStage(void);

// A finished load becomes the terrain (on the GL thread), with one line on
// standard output: the file, its size, its height range and its tiles.
// Returns 0, or 1 with the fault's line in line when the load failed.
int terrainLoadFinish(char *line, size_t size);
