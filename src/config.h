// The seven settings of config.txt, help.txt, and the command line: the two
// options that answer from the terminal instead of starting, and those of
// the unattended runs (a benchmark, a screenshot).
#pragma once

#include <stdint.h>

// ------------------------------------------------------------ constants ----

// What configCommandLine returns when Knoll is to start as usual.
enum { OPTIONS_RUN = -1 };

// ---------------------------------------------------------------- types ----

// What the command line asked of this run.
struct RunOptions {
    double benchmark_seconds;  // > 0: fly the benchmark's path this long
    const char *results;       // with a benchmark: the CSV's file, or NULL
    const char *screenshot;    // draw the start view into this PNG and end, or NULL
    const char *terrain;       // the user's heightmap, or NULL for the built-in patch
    const char *splat;         // its materials, or NULL to choose them from the ground
    double terrain_height;     // > 0: the height of the heightmap's full range, in units
};

// ---------------------------------------------------------------- state ----

extern RunOptions run_options;


// Set once by configInit, read-only afterwards.
extern int32_t vsync;
extern int32_t fps_limit;
extern int32_t msaa_level;
extern int32_t aniso_level;
extern int32_t shadow_smooth;
extern int32_t win_width;
extern int32_t win_height;

// ------------------------------------------------------------ functions ----

// Reads, clamps and rewrites config.txt, then writes help.txt, all in the
// working directory, and applies the settings a page's address gave for this
// run (configAddress), which config.txt does not keep. An unattended run
// (run_options) rewrites neither file, and a benchmark runs with vsync and
// fps_limit off. Returns 0; a file that cannot be read or written is passed
// over silently. A file that is a symbolic link stays one: the file
// it leads to is rewritten, keeping its mode and, where allowed, its owner.
int configInit(void);

// Settings given for this run only, as config.txt lines ("key value", one a
// line; NULL gives none): each read and clamped like config.txt's, but only
// a whole key with a number counts, and is marked in configTable. An unknown
// key, a value that is no number (skipped), a key given again (the last
// holds) and a value out of range (clamped) each log one line.
void configOverride(const char *lines);

// A page's address (its location.search, "?" and all) taken as its command
// line, once: benchmark[=SECONDS] as --benchmark (the first holds), the
// terrain parameter passed over (the page fetches it), every other pair
// kept as a "key value" line for configInit's configOverride. Pairs are
// decoded as a form encodes them. Returns 0, or the misuse status 2 after
// saying why.
int configAddress(const char *query);

// Loads the defaults, applies config.txt if it opens, clamps; no setting is
// marked as given for this run. Returns 0.
int configRead(void);

// Replaces config.txt with the normalised ten lines. The old file stays
// untouched unless the new one was written whole. Returns 0.
int configWrite(void);

void writeHelp(void);

// Formats the normalised config.txt text of the current settings into out.
// Returns the length.
int configFormat(char *out, int size);

// The settings in force, one "key value default minimum maximum given" line
// each in config.txt's order, given 1 where configOverride set the value for
// this run, into out (size bytes, cut short there). Returns the length the
// whole table needs.
int configTable(char *out, int size);

extern const char help_text[];

// Answers --help (the options, help.txt's text and the three files) and
// --version ("knoll <version>") on standard output; takes --benchmark,
// --results and --screenshot into run_options; answers anything else, or a
// value that cannot serve, with the reason or the usage on standard error.
// All before any file or window is touched. Returns the exit status (0
// answered, 1 standard output failed, 2 misuse), or OPTIONS_RUN when Knoll
// is to start. A platform without a terminal (a page) takes only the run
// options: its first argument is its address (configAddress), the options
// the page adds follow.
int configCommandLine(int argc, char *const argv[]);
