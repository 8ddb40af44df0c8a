#include "config.h"

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

static const char USAGE[] = "usage: knoll [--help | --version]";

// Keys help.txt, whose text is fixed, leaves out.
static const char more_controls_text[] =
    "-------------\n"
    "More Controls\n"
    "-------------\n"
    "Home: Back to the Start View\n";

// help.txt names the settings but not where Knoll keeps them.
static const char files_text[] =
    "-----\n"
    "Files\n"
    "-----\n"
    "Knoll keeps three files in the directory it is started in:\n"
    "config.txt: the settings above, read and rewritten at every start\n"
    "help.txt: the controls and settings above, written at every start\n"
    "error.log: every diagnostic, one line each, appended to\n";

// ---------------------------------------------------------------- state ----

int32_t vsync, fps_limit, msaa_level, aniso_level, shadow_smooth, win_width, win_height;

// Table order is the order keys are matched and values clamped.
static const Setting settings[] = {
    {"vsync", &vsync, 0, 0, 4},
    {"fps_limit", &fps_limit, 0, 0, 256},
    {"msaa_level", &msaa_level, 0, 0, 16},
    {"aniso_level", &aniso_level, 16, 0, 16},
    {"shadow_smooth", &shadow_smooth, 1, 0, 1},
    {"win_width", &win_width, 800, 640, 1920},
    {"win_height", &win_height, 600, 480, 1080},
};
enum { SETTING_COUNT = sizeof(settings) / sizeof(settings[0]) };

// ------------------------------------------------------------ functions ----

int compareConfigKey(const char *key, const char *line) {
    return strncmp(key, line, strlen(key)) == 0 ? 1 : 0;
}

int readInt(const char *key, const char *line) {
    intmax_t value = strtoimax(line + strlen(key), NULL, 0);
    // Saturate rather than keep the low 32 bits, so that a huge value is
    // clamped to the maximum instead of wrapping to something arbitrary.
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int)value;
}

void clampInt(int32_t *value, int32_t min, int32_t max) {
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
    for (int i = 0; i < SETTING_COUNT; i++) *settings[i].value = settings[i].def;

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

// Applies one "key value" line of configOverride; seen marks the settings
// already given.
static void overrideLine(const char *line, size_t length, bool *seen) {
    char text[LINE_BUFFER];
    if (length == 0) return;
    snprintf(text, sizeof(text), "%.*s", (int)length, line);
    size_t key_length = strcspn(text, " \t");
    const Setting *setting = findSetting(text, key_length);
    if (!setting) {
        fprintf(stderr, "Setting Error: %.*s is no setting\n", (int)key_length, text);
        return;
    }
    const char *value = text + key_length;
    char *end;
    strtoimax(value, &end, 0);
    if (end == value || end[strspn(end, " \t\r")] != '\0') {
        fprintf(stderr, "Setting Error: %s is no number; %s stays %d\n", text, setting->key,
                *setting->value);
        return;
    }
    if (seen[setting - settings])
        fprintf(stderr, "Setting Error: %s is given twice; the last one holds\n", setting->key);
    seen[setting - settings] = true;
    *setting->value = readInt(setting->key, text);
    int32_t given = *setting->value;
    clampInt(setting->value, setting->min, setting->max);
    if (*setting->value != given)
        fprintf(stderr, "Setting Error: %s %d is out of range; %d is used\n", setting->key, given,
                *setting->value);
}

int configTable(char *out, int size) {
    int length = 0;
    for (int i = 0; i < SETTING_COUNT; i++) {
        const Setting *s = &settings[i];
        int room = length < size ? size - length : 0;
        length += snprintf(room ? out + length : NULL, (size_t)room, "%s %d %d %d %d\n", s->key,
                           *s->value, s->def, s->min, s->max);
    }
    return length;
}

void configOverride(const char *lines) {
    bool seen[SETTING_COUNT] = {};
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

int configCommandLine(int argc, char *const argv[]) {
    if (argc < 2 || !optionsAnswered()) return OPTIONS_RUN;
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        printf("%s\n\n%s\n\n%s\n%s", USAGE, help_text, more_controls_text, files_text);
        return flushedStatus();
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        printf("knoll %s\n", KNOLL_VERSION);
        return flushedStatus();
    }
    fprintf(stderr, "%s\n", USAGE);
    return 2;
}

int configInit(void) {
    if (configRead() != 0) return 1;
    if (configWrite() != 0) return 1;
    writeHelp();
    configOverride(settingOverrides());
    char table[SETTING_COUNT * 64];
    configTable(table, sizeof(table));
    settingsInForce(table);
    return 0;
}
