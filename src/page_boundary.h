// Everything Knoll and the page that hosts it in a browser (web/) both name:
// the page's hooks and Knoll's exports, the key codes and move bits the page
// sends, the start-up steps it explains, the look rate, the settings and
// the address's parameter it reads, the terrains it takes. Each list is a
// macro over its entries, X(...), which the C++ side expands where it uses
// them and the build writes, with the constants, into the page's ES module
// knoll-boundary.js (web/boundary.cpp): one line here is both sides'.
#pragma once

// ------------------------------------------------------------ constants ----

// Members of the page's Module object that Knoll calls; a page without one
// is passed over. X(NAME, member, what the page is given and answers).
#define KNOLL_PAGE_HOOKS(X)                                                                   \
    X(STORE_FILE, knollStoreFile, "(name, text): a file replaced; 1 when storage refused it") \
    X(HELP, knollHelp, "(text): help.txt's text, once started, in a benchmark too")           \
    X(SETTINGS, knollSettings, "(table): configTable's lines, then the address's faults")     \
    X(FRAME_SHOWN, knollFrameShown, "(): the first frame, the logo, is on the screen")        \
    X(STARTED, knollStarted, "(): the start-up is complete")                                  \
    X(CONTEXT, knollContext, "(state): the GL context lost (0), back (1), not rebuilt (2)")   \
    X(STARTUP_FAILED, knollStartupFailed, "(message, step): a STARTUP_STEP failed")           \
    X(PICTURE, knollPicture,                                                                  \
      "(name, take): the picture {bitmap} or {error}, undefined while on its way")            \
    X(PICTURES_AGAIN, knollPicturesAgain, "(): the pictures once more, for a context back")   \
    X(PICTURES_READY, knollPicturesReady, "(): 1 once they are all there")                    \
    X(REPORT, knollReport, "(text, csv): a finished benchmark's report and its frames")       \
    X(DOWNLOAD, knollDownload, "(name, bytes): a saved picture, offered as a download")       \
    X(TERRAIN, knollTerrain, "(line, failed): a terrain refused (its line) or open")

// Knoll's functions the page calls once the runtime is up, as
// Module._function: X(NAME, function, result, parameters, what it does).
#define KNOLL_PAGE_EXPORTS(X)                                                             \
    X(TOUCH_LOOK, knollTouchLook, void, (double dx, double dy),                           \
      "turns the view as a right-drag by (dx, dy) screen units would")                    \
    X(TOUCH_MOVE, knollTouchMove, void, (int bits),                                       \
      "holds the MOVE bits' directions until the next call; 0 lets go of all")            \
    X(TOUCH_FAST, knollTouchFast, void, (int on), "flies eight times as fast while on")   \
    X(COMMAND, knollCommand, void, (int key), "runs a KEY's command as its press would")  \
    X(SAVE_PICTURE, knollSavePicture, void, (void), "saves the next frame, as the P key") \
    X(OPEN_TERRAIN, knollOpenTerrain, int, (const char *path, const char *splat_path),    \
      "opens a heightmap in Knoll's file system (splat_path may be 0); 1 when refused")

// The keys whose commands the page's buttons run: X(NAME, GLFW key code,
// from GLFW/glfw3.h where the list is expanded).
#define KNOLL_PAGE_KEYS(X) \
    X(E, GLFW_KEY_E)       \
    X(F, GLFW_KEY_F)       \
    X(R, GLFW_KEY_R)       \
    X(HOME, GLFW_KEY_HOME) \
    X(F11, GLFW_KEY_F11)

// The keys Knoll reads from the keyboard, by the browser's KeyboardEvent.code,
// but F12, which the browser keeps, and Esc, with which a visitor leaves the
// view: the page keeps them from scrolling it or from the browser's own use
// while the view has the focus. X(code, GLFW key code).
#define KNOLL_DOM_KEYS(X)             \
    X(ArrowLeft, GLFW_KEY_LEFT)       \
    X(ArrowRight, GLFW_KEY_RIGHT)     \
    X(ArrowUp, GLFW_KEY_UP)           \
    X(ArrowDown, GLFW_KEY_DOWN)       \
    X(KeyJ, GLFW_KEY_J)               \
    X(KeyL, GLFW_KEY_L)               \
    X(KeyI, GLFW_KEY_I)               \
    X(KeyK, GLFW_KEY_K)               \
    X(KeyE, GLFW_KEY_E)               \
    X(KeyF, GLFW_KEY_F)               \
    X(KeyR, GLFW_KEY_R)               \
    X(KeyP, GLFW_KEY_P)               \
    X(F11, GLFW_KEY_F11)              \
    X(Home, GLFW_KEY_HOME)            \
    X(ShiftLeft, GLFW_KEY_LEFT_SHIFT) \
    X(ShiftRight, GLFW_KEY_RIGHT_SHIFT)

// The controls help.txt, whose text is fixed, leaves out, as --help and the
// page's controls table list them after it: X(key, what it does).
#define KNOLL_MORE_CONTROLS(X)                 \
    X("Home", "Back to the Start View")        \
    X("Shift held", "Fly Eight Times as Fast") \
    X("J / L held", "Turn Left / Right")       \
    X("I / K held", "Look Up / Down")

// The move control's directions, a bit each in the order of the arrow keys.
#define KNOLL_MOVE_BITS(X) \
    X(LEFT, 1)             \
    X(RIGHT, 2)            \
    X(FORWARD, 4)          \
    X(BACK, 8)

// The start-up steps that can fail, in the order they run, with the line each
// failure writes to error.log; a page tells its visitor what to try by the
// step's number. X(NAME, line).
#define KNOLL_STARTUP_STEPS(X)       \
    X(CONFIG, "Config init failed!") \
    X(WINDOW, "Window init failed!") \
    X(GRAPHICS, "Graphics init failed!")

// config.txt's settings, in the order keys are matched and values clamped:
// X(key, default, minimum, maximum).
#define KNOLL_SETTINGS(X)        \
    X(vsync, 0, 0, 4)            \
    X(fps_limit, 0, 0, 256)      \
    X(msaa_level, 0, 0, 16)      \
    X(aniso_level, 16, 0, 16)    \
    X(shadow_smooth, 1, 0, 1)    \
    X(win_width, 800, 640, 1920) \
    X(win_height, 600, 480, 1080)

// The heightmaps Knoll reads, by how their names end: X(ending, MapFormat).
#define KNOLL_MAP_ENDINGS(X) \
    X(".png", MAP_PNG)       \
    X(".r16", MAP_RAW16)     \
    X(".raw", MAP_RAW16)     \
    X(".hgt", MAP_HGT)

// The screen units of look motion that turn the view half a turn: a drag
// across the page's whole view does.
static const int LOOK_UNITS_PER_HALF_TURN = 1024;

// The largest side, in samples, of a terrain a page opens: its memory is some
// 1 GB, where phones allow it.
static const int PAGE_TERRAIN_SIDE_MAX = 8193;

// The address's parameter whose value is a terrain's address: the page
// fetches it before Knoll starts and hands it over as --terrain.
static const char ADDRESS_TERRAIN[] = "terrain";

// The address's parameter of a benchmark: ?benchmark[=SECONDS], as --benchmark.
static const char ADDRESS_BENCHMARK[] = "benchmark";

// What a setting given out of its range says: key, value given, value used.
static const char SETTING_CLAMPED[] = "Setting Error: %s %d is out of range; %d is used\n";

// ---------------------------------------------------------------- types ----

#define KNOLL_MOVE_BIT(name, bit) MOVE_##name = bit,
enum MoveBit { KNOLL_MOVE_BITS(KNOLL_MOVE_BIT) };
#undef KNOLL_MOVE_BIT

#define KNOLL_STARTUP_STEP(name, line) STARTUP_##name,
enum StartupStep { KNOLL_STARTUP_STEPS(KNOLL_STARTUP_STEP) };
#undef KNOLL_STARTUP_STEP
