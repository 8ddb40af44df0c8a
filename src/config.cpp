#include "config.h"

#include <inttypes.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "page_boundary.h"
#include "platform.h"

// ------------------------------------------------------------ constants ----

enum { LINE_BUFFER = 64 };
static const char UTF8_BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";

struct Setting {
    const char *key;
    int32_t *value;
    int32_t def, min, max;
};

const char help_text[] =
    "--------\n"
    "Controls\n"
    "--------\n"
    "Arrows: Movement\n"
    "Drag Right Mouse: Look\n"
    "E: Randomize Light Color\n"
    "R: Toggle Terrain Grid\n"
    "F: Randomize Light Direction\n"
    "F11: Toggle Fullscreen\n"
    "Esc: Exit\n"
    "\n"
    "----------\n"
    "Config.txt\n"
    "----------\n"
    "vsync: Determines level of vsync, 0 = off, 1 = on, 2 = half refresh rate, etc... Max: 4\n"
    "fps_limit: Limits fps to the given value, lower values may save power, 0 = no limit. "
    "Max: 256\n"
    "msaa_level: Number of samples for Multi-Sample Anti-Aliasing, 0 = off. Max: 16\n"
    "aniso_level: Level of anisotropic texture filtering, 0 = off. Max: 16\n"
    "shadow_smooth: Whether to smoothen shadows, 0 = off. Max: 1\n"
    "win_width: Initial width of the program window.\n"
    "win_height: Initial height of the program window.";

static const char USAGE[] =
    "usage: knoll [--help | --version | [--terrain FILE [--splat FILE] [--terrain-height H]] "
    "[--benchmark[=SECONDS] [--results FILE] | --screenshot FILE]]";
static const double DEFAULT_BENCHMARK_SECONDS = 20.0;
static const double MAX_BENCHMARK_SECONDS = 86400.0;
// A terrain's full range may stand up to this high: a 16-bit step is then
// an eighth of a unit.
static const double MAX_TERRAIN_HEIGHT = 8192.0;

// What --help says beyond help.txt: the options, and the key that only a
// desktop has.
static const char options_text[] =
    "-------\n"
    "Options\n"
    "-------\n"
    "--benchmark[=SECONDS]: fly a fixed path for SECONDS (default 20) with vsync and fps_limit\n"
    "  off, print a report ending in the line \"Knoll score: N\" (frames per second), and exit\n"
    "--results FILE: with --benchmark, also write one CSV row per frame to FILE\n"
    "--screenshot FILE: draw the start view once, save it to FILE as a PNG, and exit\n"
    "--terrain FILE: fly over your own heightmap instead of the built-in patch: a greyscale\n"
    "  PNG (16 or 8 bits), a 16-bit RAW (.r16, .raw: unsigned little-endian, square) or an\n"
    "  SRTM .hgt tile, 67 to 16385 samples a side, one sample every half unit\n"
    "--splat FILE: with --terrain, an 8-bit greyscale PNG of materials 0 to 7, one a drawn\n"
    "  cell (three fewer than the map's samples a side); without it, the ground's height\n"
    "  and slope choose them\n"
    "--terrain-height H: with a PNG or RAW terrain, the height in units of its full range\n"
    "  (default 32: an 8-bit b stands b/8 high, a 16-bit v v/2048); .hgt is in metres,\n"
    "  drawn at true scale\n"
    "Neither rewrites config.txt or help.txt. F12 or P saves the window's picture as\n"
    "screenshots/knoll-YYYYMMDD-HHMMSS.png.\n";

// Keys help.txt, whose text is fixed, leaves out.
#define MORE_CONTROL_LINE(key, does) key ": " does "\n"
static const char more_controls_text[] =
    "-------------\n"
    "More Controls\n"
    "-------------\n" KNOLL_MORE_CONTROLS(MORE_CONTROL_LINE);
#undef MORE_CONTROL_LINE

// help.txt names the settings but not where Knoll keeps them.
static const char files_text[] =
    "-----\n"
    "Files\n"
    "-----\n"
    "Knoll keeps three files in the directory it is started in:\n"
    "config.txt: the settings above, read and rewritten at every start\n"
    "help.txt: the controls and settings above, written at every start\n"
    "error.log: every diagnostic, one line each, appended to\n"
    "and beside them the folder screenshots, where F12 saves pictures.\n";

// ---------------------------------------------------------------- state ----

int32_t vsync, fps_limit, msaa_level, aniso_level, shadow_smooth, win_width, win_height;
RunOptions run_options;

// Table order is the order keys are matched and values clamped.
#define SETTING_ROW(key, def, min, max) {#key, &key, def, min, max},
static const Setting settings[] = {KNOLL_SETTINGS(SETTING_ROW)};
#undef SETTING_ROW
enum { SETTING_COUNT = sizeof(settings) / sizeof(settings[0]) };

static bool given_for_run[SETTING_COUNT];  // configOverride set the value
// A page's address's settings, as config.txt lines, for configInit.
static char *address_settings;
// What configOverride's last call found wrong, its error.log lines.
static std::string setting_faults;

// ------------------------------------------------------------ functions ----

// 1 when line starts with the whole of key (case-sensitive), else 0.
static int compareConfigKey(const char *key, const char *line) {
    return strncmp(key, line, strlen(key)) == 0 ? 1 : 0;
}

// The number after the key, parsed as strtoimax base 0, saturated to 32 bits.
static int readInt(const char *key, const char *line) {
    intmax_t value = strtoimax(line + strlen(key), NULL, 0);
    // Saturate rather than keep the low 32 bits, so that a huge value is
    // clamped to the maximum instead of wrapping to something arbitrary.
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int)value;
}

static void clampInt(int32_t *value, int32_t min, int32_t max) {
    if (min > *value) *value = min;
    if (max < *value) *value = max;
}

// Editors such as older Notepad begin a UTF-8 file with a byte-order mark;
// it is no part of the first line's key.
static const char *skipByteOrderMark(const char *line) {
    return strncmp(line, UTF8_BYTE_ORDER_MARK, strlen(UTF8_BYTE_ORDER_MARK)) == 0
               ? line + strlen(UTF8_BYTE_ORDER_MARK)
               : line;
}

static void applyLine(const char *line) {
    for (int i = 0; i < SETTING_COUNT; i++) {
        if (compareConfigKey(settings[i].key, line)) {
            *settings[i].value = readInt(settings[i].key, line);
            return;
        }
    }
}

int configRead(void) {
    for (int i = 0; i < SETTING_COUNT; i++) {
        *settings[i].value = settings[i].def;
        given_for_run[i] = false;
    }

    FILE *file = fopen("config.txt", "r");
    if (file) {
        char line[LINE_BUFFER];
        for (int first = 1; fgets(line, sizeof(line), file); first = 0)
            applyLine(first ? skipByteOrderMark(line) : line);
        fclose(file);
    }

    for (int i = 0; i < SETTING_COUNT; i++)
        clampInt(settings[i].value, settings[i].min, settings[i].max);
    return 0;
}

int configFormat(char *out, int size) {
    return snprintf(out, size,
                    "#graphics\n"
                    "vsync %d\n"
                    "fps_limit %d\n"
                    "msaa_level %d\n"
                    "aniso_level %d\n"
                    "shadow_smooth %d\n"
                    "\n"
                    "#window\n"
                    "win_width %d\n"
                    "win_height %d\n",
                    vsync, fps_limit, msaa_level, aniso_level, shadow_smooth, win_width,
                    win_height);
}

int configWrite(void) {
    char text[256];
    int length = configFormat(text, sizeof(text));
    fileReplace("config.txt", text, (size_t)length);
    return 0;
}

void writeHelp(void) { fileReplace("help.txt", help_text, sizeof(help_text) - 1); }

// The setting whose key is the whole of key (length bytes), or NULL.
static const Setting *findSetting(const char *key, size_t length) {
    for (int i = 0; i < SETTING_COUNT; i++)
        if (strlen(settings[i].key) == length && strncmp(settings[i].key, key, length) == 0)
            return &settings[i];
    return NULL;
}

// One line of what is wrong with a setting given for the run: standard
// error (error.log), and kept for the page's settings panel.
static void settingFault(const char *format, ...) {
    char line[2 * LINE_BUFFER + 64];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    fputs(line, stderr);
    setting_faults += line;
}

// Applies one "key value" line of configOverride; seen marks the settings
// already given.
static void overrideLine(const char *line, size_t length, bool *seen) {
    char text[LINE_BUFFER];
    if (length == 0) return;
    snprintf(text, sizeof(text), "%.*s", (int)length, line);
    size_t key_length = strcspn(text, " \t");
    const Setting *setting = findSetting(text, key_length);
    if (!setting) {
        settingFault("Setting Error: %.*s is no setting\n", (int)key_length, text);
        return;
    }
    const char *value = text + key_length;
    char *end;
    strtoimax(value, &end, 0);
    if (end == value || end[strspn(end, " \t\r")] != '\0') {
        settingFault("Setting Error: %s is no number; %s stays %d\n", text, setting->key,
                     *setting->value);
        return;
    }
    if (seen[setting - settings])
        settingFault("Setting Error: %s is given twice; the last one holds\n", setting->key);
    seen[setting - settings] = given_for_run[setting - settings] = true;
    *setting->value = readInt(setting->key, text);
    int32_t given = *setting->value;
    clampInt(setting->value, setting->min, setting->max);
    if (*setting->value != given)
        settingFault(SETTING_CLAMPED, setting->key, given, *setting->value);
}

int configTable(char *out, int size) {
    int length = 0;
    for (int i = 0; i < SETTING_COUNT; i++) {
        const Setting *s = &settings[i];
        int room = length < size ? size - length : 0;
        length += snprintf(room ? out + length : NULL, (size_t)room, "%s %d %d %d %d %d\n", s->key,
                           *s->value, s->def, s->min, s->max, given_for_run[i] ? 1 : 0);
    }
    return length;
}

void configOverride(const char *lines) {
    bool seen[SETTING_COUNT] = {};
    setting_faults.clear();
    if (!lines) return;
    while (*lines) {
        size_t length = strcspn(lines, "\n");
        overrideLine(lines, length, seen);
        lines += length + (lines[length] == '\n');
    }
}

// An option's answer reaches the terminal or the status says it did not:
// "knoll --help > /dev/full" is no success.
static int flushedStatus(void) { return fflush(stdout) == 0 && !ferror(stdout) ? 0 : 1; }

// A misuse: the reason (or, for NULL, the usage) on standard error. Returns 2.
static int misuse(const char *reason, const char *value) {
    if (reason)
        fprintf(stderr, "knoll: %s%s\n", reason, value ? value : "");
    else
        fprintf(stderr, "%s\n", USAGE);
    return 2;
}

// The value of an option given as "--name=VALUE" or "--name VALUE" (taking
// the next argument, *i moves on); NULL when there is none.
static const char *optionValue(const char *name, int argc, char *const argv[], int *i) {
    size_t length = strlen(name);
    if (argv[*i][length] == '=') return argv[*i] + length + 1;
    if (*i + 1 < argc && strncmp(argv[*i + 1], "--", 2) != 0) return argv[++*i];
    return NULL;
}

// The value of an option given as "--name=VALUE", or NULL for "--name" alone.
static const char *inlineValue(const char *argument) {
    const char *equals = strchr(argument, '=');
    return equals ? equals + 1 : NULL;
}

// 1 when argument is the option name, alone or with "=" and a value.
static int isOption(const char *argument, const char *name) {
    size_t length = strlen(name);
    return strncmp(argument, name, length) == 0 &&
           (argument[length] == '\0' || argument[length] == '=');
}

// A benchmark's length: value, a number of seconds above 0, or NULL for the
// default. Returns 0, or the misuse status.
static int benchmarkSeconds(const char *value) {
    if (!value) {
        run_options.benchmark_seconds = DEFAULT_BENCHMARK_SECONDS;
        return 0;
    }
    char *end;
    double seconds = strtod(value, &end);
    if (end == value || *end != '\0' || !(seconds > 0.0) || seconds > MAX_BENCHMARK_SECONDS)
        return misuse("--benchmark wants a number of seconds above 0 (at most a day), not ", value);
    run_options.benchmark_seconds = seconds;
    return 0;
}

// The height of a terrain's full range: a number above 0, at most
// MAX_TERRAIN_HEIGHT. Returns 0, or the misuse status.
static int terrainHeight(const char *value) {
    char *end;
    double height = value ? strtod(value, &end) : 0.0;
    if (!value || end == value || *end != '\0' || !(height > 0.0) || height > MAX_TERRAIN_HEIGHT)
        return misuse("--terrain-height wants a height in units above 0 (at most 8192), not ",
                      value ? value : "nothing");
    run_options.terrain_height = height;
    return 0;
}

// A file to read: only a name here; the terrain's reader says what is wrong
// with the file itself. Returns 0, or the misuse status.
static int inputFile(const char *option, const char *path, const char **out) {
    if (!path || !*path) {
        fprintf(stderr, "knoll: %s wants a file name\n", option);
        return 2;
    }
    *out = path;
    return 0;
}

// A file to write: its folder must be there. Returns 0, or the misuse status.
static int outputFile(const char *option, const char *path, const char **out) {
    if (!path || !*path) {
        fprintf(stderr, "knoll: %s wants a file name\n", option);
        return 2;
    }
    if (!fileFolderExists(path)) {
        fprintf(stderr, "knoll: %s %s: the folder of that file does not exist\n", option, path);
        return 2;
    }
    *out = path;
    return 0;
}

// Takes the run options from argv[first] on into run_options; --help and
// --version into *answer (0 none, 'h', 'v'). Returns 0, or the misuse status.
static int parseOptions(int argc, char *const argv[], int first, int *answer) {
    for (int i = first; i < argc; i++) {
        const char *a = argv[i];
        int status = 0;
        if (argc == 2 && (strcmp(a, "--help") == 0 || strcmp(a, "--version") == 0))
            *answer = a[2];
        else if (isOption(a, "--benchmark") && run_options.benchmark_seconds == 0.0)
            status = benchmarkSeconds(inlineValue(a));
        else if (isOption(a, "--results") && !run_options.results)
            status = outputFile("--results", optionValue("--results", argc, argv, &i),
                                &run_options.results);
        else if (isOption(a, "--terrain") && !run_options.terrain)
            status = inputFile("--terrain", optionValue("--terrain", argc, argv, &i),
                               &run_options.terrain);
        else if (isOption(a, "--splat") && !run_options.splat)
            status =
                inputFile("--splat", optionValue("--splat", argc, argv, &i), &run_options.splat);
        else if (isOption(a, "--terrain-height") && run_options.terrain_height == 0.0)
            status = terrainHeight(optionValue("--terrain-height", argc, argv, &i));
        else if (isOption(a, "--screenshot") && !run_options.screenshot)
            status = outputFile("--screenshot", optionValue("--screenshot", argc, argv, &i),
                                &run_options.screenshot);
        else
            status = misuse(NULL, NULL);
        if (status != 0) return status;
    }
    if (run_options.results && run_options.benchmark_seconds == 0.0)
        return misuse("--results belongs with --benchmark", NULL);
    if (run_options.screenshot && run_options.benchmark_seconds > 0.0)
        return misuse("--screenshot and --benchmark are two runs; give one", NULL);
    if ((run_options.splat || run_options.terrain_height > 0.0) && !run_options.terrain)
        return misuse("--splat and --terrain-height belong with --terrain", NULL);
    return 0;
}

// The value of a hexadecimal digit, or -1 for any other character.
static int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A key or value of an address's query (length bytes) into out as a form
// encodes it: '+' a space, %XX a byte, a '%' without two hexadecimal digits
// itself. A line break or NUL in it becomes a space, so that it cannot end
// its line. Returns the bytes written, never more than length.
static size_t addressDecode(const char *text, size_t length, char *out) {
    size_t written = 0;
    for (size_t i = 0; i < length; i++) {
        char c = text[i];
        int high = i + 2 < length ? hexDigit(text[i + 1]) : -1;
        int low = i + 2 < length ? hexDigit(text[i + 2]) : -1;
        if (c == '%' && high >= 0 && low >= 0) {
            c = (char)(high * 16 + low);
            i += 2;
        } else if (c == '+') {
            c = ' ';
        }
        out[written++] = c == '\n' || c == '\r' || c == '\0' ? ' ' : c;
    }
    return written;
}

// One pair of an address (length bytes, key=value or a bare key), decoded
// at *at of address_settings: a benchmark taken, the terrain passed over,
// anything else kept there as a "key value" line. Returns 0, or the misuse
// status.
static int addressPair(const char *pair, size_t length, size_t *at) {
    size_t key_length = strcspn(pair, "=");
    if (key_length > length) key_length = length;
    size_t value_length = key_length < length ? length - key_length - 1 : 0;
    char *line = address_settings + *at;
    size_t key_end = addressDecode(pair, key_length, line);
    char *value = line + key_end + 1;
    size_t end = key_end + 1 + addressDecode(pair + length - value_length, value_length, value);
    line[key_end] = line[end] = '\0';
    int benchmark = strcmp(line, ADDRESS_BENCHMARK) == 0;
    if (benchmark || strcmp(line, ADDRESS_TERRAIN) == 0) {
        *line = '\0';                                                     // no line of its own
        if (!benchmark || run_options.benchmark_seconds > 0.0) return 0;  // the first one holds
        return benchmarkSeconds(*value ? value : NULL);
    }
    line[key_end] = ' ';
    line[end] = '\n';
    line[end + 1] = '\0';
    *at += end + 1;
    return 0;
}

int configAddress(const char *query) {
    if (*query == '?') query++;
    // Decoding never lengthens a pair, and its line takes at most two bytes
    // more than its "&" and "=".
    free(address_settings);
    address_settings = (char *)calloc(2 * strlen(query) + 2, 1);
    size_t at = 0;
    for (size_t length; *query; query += length + (query[length] == '&')) {
        length = strcspn(query, "&");
        int status = length ? addressPair(query, length, &at) : 0;
        if (status != 0) return status;
    }
    return 0;
}

int configCommandLine(int argc, char *const argv[]) {
    if (argc < 2) return OPTIONS_RUN;
    int answers = optionsAnswered(), answer = 0;
    // A page's first argument is its address; the options it adds follow.
    int status = answers ? 0 : configAddress(argv[1]);
    if (status == 0) status = parseOptions(argc, argv, answers ? 1 : 2, &answer);
    if (status != 0) {
        run_options = RunOptions{};
        return status;
    }
    if (answer && !answers) return misuse(NULL, NULL);
    if (answer == 'h') {
        printf("%s\n\n%s\n%s\n\n%s\n%s", USAGE, options_text, help_text, more_controls_text,
               files_text);
        return flushedStatus();
    }
    if (answer == 'v') {
        printf("knoll %s\n", KNOLL_VERSION);
        return flushedStatus();
    }
    return OPTIONS_RUN;
}

int configInit(void) {
    if (configRead() != 0) return 1;
    // An unattended run measures or checks; the files are the user's.
    if (run_options.benchmark_seconds == 0.0 && !run_options.screenshot) {
        if (configWrite() != 0) return 1;
        writeHelp();
    }
    configOverride(address_settings);
    char table[SETTING_COUNT * 64];
    configTable(table, sizeof(table));
    settingsInForce((table + setting_faults).c_str());
    // A score measures the renderer, not a frame cap.
    if (run_options.benchmark_seconds > 0.0) vsync = fps_limit = 0;
    return 0;
}
