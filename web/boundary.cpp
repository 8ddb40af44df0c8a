// Writes knoll-boundary.js, the page's ES module of everything it shares with
// Knoll, from src/page_boundary.h: built for the machine that builds
// (cmake/web.cmake) and run there, so that the page's values are the C++
// side's by construction.
//
//   boundary OUT.js
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "page_boundary.h"

// ------------------------------------------------------------ functions ----

// text as a JavaScript string literal.
static std::string quoted(const char *text) {
    std::string out = "\"";
    for (; *text; text++) {
        if (*text == '"' || *text == '\\') out += '\\';
        out += *text;
    }
    return out + "\"";
}

// printf's format as an arrow function of parameters (comma-separated, one
// per conversion) that builds the same text with a template literal; the
// line's end is the caller's.
static std::string formatFunction(const char *format, const char *parameters) {
    std::string out = "(" + std::string(parameters) + ") => `", names = parameters;
    size_t at = 0;
    for (; *format && *format != '\n'; format++) {
        if (*format != '%') {
            if (*format == '`' || *format == '$') out += '\\';
            out += *format;
            continue;
        }
        size_t comma = names.find(',', at);
        out += "${" + names.substr(at, comma - at) + "}";
        at = comma == std::string::npos ? names.size() : comma + 2;
        format++;  // the conversion's letter
    }
    return out + "`";
}

// `export const name = value;` with the comment about above it.
static void constant(FILE *out, const char *about, const char *name, const std::string &value) {
    fprintf(out, "// %s\nexport const %s = %s;\n\n", about, name, value.c_str());
}

// entries as an object's (open "{") or an array's (open "[") literal, one a
// line.
static std::string literal(const char *open, const std::vector<std::string> &entries) {
    std::string out = open;
    for (size_t i = 0; i < entries.size(); i++) out += (i ? ",\n  " : "\n  ") + entries[i];
    return out + (open[0] == '{' ? "\n}" : "\n]");
}

static void writeCalls(FILE *out) {
    std::vector<std::string> hooks, exports;
#define HOOK(name, member, about) hooks.push_back("// " about "\n  " #name ": " + quoted(#member));
    KNOLL_PAGE_HOOKS(HOOK)
#undef HOOK
#define EXPORT(name, function, result, parameters, about) \
    exports.push_back("// " #parameters ": " about "\n  " #name ": " + quoted("_" #function));
    KNOLL_PAGE_EXPORTS(EXPORT)
#undef EXPORT
    constant(out, "Members of Module that Knoll calls, with what each is given and answers.",
             "KNOLL_HOOKS", literal("{", hooks));
    constant(out, "Knoll's functions on Module, which the page calls once the runtime is up.",
             "KNOLL_EXPORTS", literal("{", exports));
}

static void writeInput(FILE *out) {
    std::vector<std::string> keys, read, controls, moves;
#define KEY(name, code) keys.push_back(#name ": " + std::to_string(code));
    KNOLL_PAGE_KEYS(KEY)
#undef KEY
#define DOM_KEY(code, glfw) read.push_back(quoted(#code));
    KNOLL_DOM_KEYS(DOM_KEY)
#undef DOM_KEY
#define CONTROL(key, does) \
    controls.push_back("{key: " + quoted(key) + ", does: " + quoted(does) + "}");
    KNOLL_MORE_CONTROLS(CONTROL)
#undef CONTROL
#define MOVE(name, bit) moves.push_back(#name ": " + std::to_string(bit));
    KNOLL_MOVE_BITS(MOVE)
#undef MOVE
    constant(out, "GLFW's key codes of the commands the page sends (KNOLL_EXPORTS.COMMAND).", "KEY",
             literal("{", keys));
    constant(out, "The keys Knoll reads, by KeyboardEvent.code.", "KNOLL_KEYS", literal("[", read));
    constant(out, "The controls help.txt leaves out, listed after its own.", "MORE_CONTROLS",
             literal("[", controls));
    constant(out, "The move control's directions, as KNOLL_EXPORTS.TOUCH_MOVE takes them.", "MOVE",
             literal("{", moves));
    constant(out, "Screen units of look motion that turn the view half a turn.",
             "LOOK_UNITS_PER_HALF_TURN", std::to_string(LOOK_UNITS_PER_HALF_TURN));
}

static void writeStartup(FILE *out) {
    std::vector<std::string> steps, lines;
#define STEP(name, line)                                          \
    steps.push_back(#name ": " + std::to_string(STARTUP_##name)); \
    lines.push_back(quoted(line));
    KNOLL_STARTUP_STEPS(STEP)
#undef STEP
    constant(out, "The start-up steps that can fail (KNOLL_HOOKS.STARTUP_FAILED's step).",
             "STARTUP_STEP", literal("{", steps));
    constant(out, "The line each step's failure writes to error.log, by step.", "STARTUP_FAILED",
             literal("[", lines));
    constant(out, "The address's parameter that runs the benchmark.", "ADDRESS_BENCHMARK",
             quoted(ADDRESS_BENCHMARK));
    constant(out, "The error.log line of a setting given out of its range.", "settingClamped",
             formatFunction(SETTING_CLAMPED, "key, given, used"));
}

static void writeTerrain(FILE *out) {
    std::vector<std::string> endings;
#define ENDING(ending, format) endings.push_back(quoted(ending));
    KNOLL_MAP_ENDINGS(ENDING)
#undef ENDING
    constant(out, "The address's parameter that names a terrain to fetch.", "ADDRESS_TERRAIN",
             quoted(ADDRESS_TERRAIN));
    constant(out, "The largest side, in samples, of a terrain the page opens.",
             "TERRAIN_SIDE_LIMIT", std::to_string(PAGE_TERRAIN_SIDE_MAX));
    constant(out, "How the names of the heightmaps Knoll reads end.", "TERRAIN_EXTENSIONS",
             literal("[", endings));
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: boundary OUT.js\n");
        return 2;
    }
    FILE *out = fopen(argv[1], "w");
    if (!out) {
        perror(argv[1]);
        return 1;
    }
    fprintf(out,
            "// What Knoll and its page share, written by the build from "
            "src/page_boundary.h.\n\n");
    writeCalls(out);
    writeInput(out);
    writeStartup(out);
    writeTerrain(out);
    return fclose(out) == 0 ? 0 : 1;
}
