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

// One entry of an object's or array's literal, and the separator before it.
static void entry(FILE *out, bool *first, const std::string &text) {
    fprintf(out, "%s\n  %s", *first ? "" : ",", text.c_str());
    *first = false;
}

// printf's format as an arrow function of parameters (comma-separated, one
// per conversion) that builds the same text with a template literal; the
// line's end is the caller's.
static std::string formatFunction(const char *format, const char *parameters) {
    std::string out = "(" + std::string(parameters) + ") => `", names = parameters;
    size_t at = 0;
    for (; *format && *format != '\n'; format++) {
        if (*format != '%') {
            out += *format == '`' || *format == '$' ? std::string("\\") + *format
                                                    : std::string(1, *format);
            continue;
        }
        size_t comma = names.find(',', at);
        out += "${" + names.substr(at, comma - at) + "}";
        at = comma == std::string::npos ? names.size() : comma + 2;
        format++;  // the conversion's letter
    }
    return out + "`";
}

static void writeHooks(FILE *out) {
    bool first = true;
    fprintf(out, "// Members of Module that Knoll calls, with what each is given and answers.\n");
    fprintf(out, "export const KNOLL_HOOKS = Object.freeze({");
#define HOOK(name, member, about) \
    entry(out, &first, "// " about "\n  " #name ": " + quoted(#member));
    KNOLL_PAGE_HOOKS(HOOK)
#undef HOOK
    fprintf(out, "\n});\n\n");
}

static void writeExports(FILE *out) {
    bool first = true;
    fprintf(out, "// Knoll's functions on Module, which the page calls once the runtime is up.\n");
    fprintf(out, "export const KNOLL_EXPORTS = Object.freeze({");
#define EXPORT(name, function, result, parameters, about) \
    entry(out, &first, "// " #parameters ": " about "\n  " #name ": " + quoted("_" #function));
    KNOLL_PAGE_EXPORTS(EXPORT)
#undef EXPORT
    fprintf(out, "\n});\n\n");
}

static void writeKeys(FILE *out) {
    bool first = true;
    fprintf(out, "// GLFW's key codes of the commands the page sends (KNOLL_EXPORTS.COMMAND).\n");
    fprintf(out, "export const KEY = Object.freeze({");
#define KEY(name, code) entry(out, &first, #name ": " + std::to_string(code));
    KNOLL_PAGE_KEYS(KEY)
#undef KEY
    fprintf(out, "\n});\n\n");
    first = true;
    fprintf(out, "// The keys Knoll reads, by KeyboardEvent.code.\n");
    fprintf(out, "export const KNOLL_KEYS = Object.freeze([");
#define DOM_KEY(code, glfw) entry(out, &first, quoted(#code));
    KNOLL_DOM_KEYS(DOM_KEY)
#undef DOM_KEY
    fprintf(out, "\n]);\n\n");
}

static void writeMoves(FILE *out) {
    bool first = true;
    fprintf(out, "// The move control's directions, as KNOLL_EXPORTS.TOUCH_MOVE takes them.\n");
    fprintf(out, "export const MOVE = Object.freeze({");
#define MOVE(name, bit) entry(out, &first, #name ": " + std::to_string(bit));
    KNOLL_MOVE_BITS(MOVE)
#undef MOVE
    fprintf(out, "\n});\n\n");
    fprintf(out, "// Screen units of look motion that turn the view half a turn.\n");
    fprintf(out, "export const LOOK_UNITS_PER_HALF_TURN = %d;\n\n", LOOK_UNITS_PER_HALF_TURN);
}

static void writeStartup(FILE *out) {
    bool first = true, first_line = true;
    std::string lines;
    fprintf(out, "// The start-up steps that can fail (KNOLL_HOOKS.STARTUP_FAILED's step).\n");
    fprintf(out, "export const STARTUP_STEP = Object.freeze({");
#define STEP(name, line)                                             \
    entry(out, &first, #name ": " + std::to_string(STARTUP_##name)); \
    lines += (first_line ? "\n  " : ",\n  ") + quoted(line);         \
    first_line = false;
    KNOLL_STARTUP_STEPS(STEP)
#undef STEP
    fprintf(out, "\n});\n\n");
    fprintf(out, "// The line each step's failure writes to error.log, by step.\n");
    fprintf(out, "export const STARTUP_FAILED = Object.freeze([%s\n]);\n\n", lines.c_str());
}

static void writeSettings(FILE *out) {
    bool first = true;
    fprintf(out, "// config.txt's settings, in its order, with their defaults and ranges.\n");
    fprintf(out, "export const SETTINGS = Object.freeze([");
#define SETTING(key, def, min, max)                                   \
    entry(out, &first,                                                \
          "{key: " + quoted(#key) + ", def: " + std::to_string(def) + \
              ", min: " + std::to_string(min) + ", max: " + std::to_string(max) + "}");
    KNOLL_SETTINGS(SETTING)
#undef SETTING
    fprintf(out, "\n]);\n\n");
    fprintf(out, "// The error.log line of a setting given out of its range.\n");
    fprintf(out, "export const settingClamped = %s;\n\n",
            formatFunction(SETTING_CLAMPED, "key, given, used").c_str());
}

static void writeTerrain(FILE *out) {
    bool first = true;
    fprintf(out, "// The address's parameter that names a terrain to fetch.\n");
    fprintf(out, "export const ADDRESS_TERRAIN = %s;\n\n", quoted(ADDRESS_TERRAIN).c_str());
    fprintf(out, "// The largest side, in samples, of a terrain the page opens.\n");
    fprintf(out, "export const TERRAIN_SIDE_LIMIT = %d;\n\n", PAGE_TERRAIN_SIDE_MAX);
    fprintf(out, "// How the names of the heightmaps Knoll reads end.\n");
    fprintf(out, "export const TERRAIN_EXTENSIONS = Object.freeze([");
#define ENDING(ending, format) entry(out, &first, quoted(ending));
    KNOLL_MAP_ENDINGS(ENDING)
#undef ENDING
    fprintf(out, "\n]);\n");
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
    writeHooks(out);
    writeExports(out);
    writeKeys(out);
    writeMoves(out);
    writeStartup(out);
    writeSettings(out);
    writeTerrain(out);
    return fclose(out) == 0 ? 0 : 1;
}
