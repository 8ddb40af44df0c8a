// The application shell: window and callbacks, the fixed-step loop's
// arithmetic, the flying camera, the keyboard commands and the composition of
// each frame.
#pragma once

#include <stdint.h>

#include "frame_pass.h"
#include "graph_models.h"
#include "knoll_math.h"
#include "random.h"

struct GLFWwindow;

// ------------------------------------------------------------ constants ----

enum AppMode { MODE_LOGO = 0, MODE_RUNNING = 1 };

static const double TICK_LENGTH = 0.03125;  // 1/32 s of simulation per tick
static const double LOGO_SECONDS = 2.0;
// The HUD scales a confused platform's content scale is clamped into.
static const float HUD_SCALE_MIN = 0.5f;
static const float HUD_SCALE_MAX = 8.0f;

// ---------------------------------------------------------------- types ----

// The loop's clock bookkeeping, all in seconds.
struct LoopClock {
    double previous;        // clock value of the previous turn
    double start;           // clock value when the loop began
    double tick_acc;        // time not yet simulated
    double frame_acc;       // time since the last frame, modulo the interval
    double frame_interval;  // 1 / fps_limit, or 0 without a limit
};

// What one loop turn has to do.
struct LoopTurn {
    int ticks;       // ticks to run back to back
    int draw;        // 1 when a frame is due
    float fraction;  // how far the present lies between the last two ticks
    int leave_logo;  // 1 when the logo screen has lasted its time
};

// Mouse-look state: the cursor seen last turn and the two angles.
struct CameraLook {
    double cx, cy;
    double look_hor;  // yaw about world +Y, within (-2 pi, 2 pi)
    double look_ver;  // pitch about the camera's +X, within [-pi/2, pi/2]
    int looking;      // the last reading turned the camera
};

// Which arrow keys are held.
struct ArrowKeys {
    int left, right, up, down;
};

// One way of holding a move direction (an arrow key, a touch control), told
// by press and release rather than read as a state in the tick, so that a
// press shorter than a tick, or read only frames later, still moves.
struct HeldInput {
    int down;
    double since;  // the press's time on glfwGetTime's clock, negative if unknown
    int ticks;     // ticks run since the press
    int owed;      // ticks still to move after the release
};

// ---------------------------------------------------------------- state ----

extern GLFWwindow *window;
extern int mode;
extern double fps_num;
extern RandomState *random_state;  // the program's one generator
extern TModel *test_terrain;
extern Vec3 cam_start;  // the terrain's start view, where Home goes
extern Vec3 cam_pos, cam_prev;
extern Quat cam_ori;

// ------------------------------------------------------------ the loop ----

LoopClock loopStart(double now, int32_t fps_limit);
// Advances the accumulators to now and says what this turn does.
LoopTurn loopAdvance(LoopClock *clock, double now, int current_mode);
// The event-wait timeout: until the next tick or frame is due, less the time
// the turn has taken (later - now); never negative.
double loopWait(const LoopClock *clock, double now, double later);

// Counts one drawn frame; refreshes fps_num every half second.
void updateFps(double now);
// "FPS: %.0f" into out.
void fpsText(char *out, int size, double fps);

// ---------------------------------------------------------- the camera ----

// Applies one cursor reading: the delta is always taken, and turns the
// camera only when active and already active at the previous reading.
// Returns 1 and writes *orientation when it turned.
int cameraTurn(CameraLook *look, double x, double y, int active, Quat *orientation);
// Turns the camera by a motion of (dx, dy) screen units, as a cursor's.
void cameraTurnBy(CameraLook *look, double dx, double dy, Quat *orientation);
// One tick's movement of 0.25 units per held key, in the camera's own frame;
// eight times that when fast.
Vec3 cameraMove(Vec3 position, Quat orientation, ArrowKeys keys, int fast = 0);
void cameraLook(void);
void tick(void);
// Puts the camera back where the scene starts, the look angles with it.
void cameraHome(void);

// A press at time t (negative when the platform cannot say when); a repeated
// press while down changes nothing.
void heldPress(HeldInput *held, double t);
// The release at time t: the input is owed the ticks its press lasted that it
// has not moved yet, and at least one in all.
void heldRelease(HeldInput *held, double t);
// Counts one tick; 1 when the input moves the camera in it.
int heldTick(HeldInput *held);

// ------------------------------------------------------------- input ----
// What a platform passes on besides GLFW's keys and cursor: a page's touch
// controls and buttons.

// A look motion of (dx, dy) screen units, as a right-drag of the cursor;
// applied in the next turn, and only while the scene runs.
void inputLook(double dx, double dy);
// The move control's held directions until the next call, MoveBit's bits
// (page_boundary.h).
void inputMove(int bits);
// Runs the command of the key with GLFW key code key, as its press would.
void inputCommand(int key);
// The page's fast control: on flies eight times as fast, as Shift held.
void inputFast(int on);
// Lets go of every held key, owing nothing: the keyboard has gone elsewhere
// (the window lost focus, the page was hidden). What a page's fingers hold
// is the page's to let go, through inputMove(0) and inputFast(0).
void inputKeysRelease(void);

// ---------------------------------------------------------- commands ----

// Three draws, blue first: the linear colour is (red, green, blue).
Vec3 randomLightColor(RandomState *state);
// A downward direction: x, z in [-0.5, 0.5], y in [-1, -0.125].
Vec3 randomLightDirection(RandomState *state);

// -------------------------------------------------------- window, frame ----

// Creates the window, win_width x win_height in the desktop's units, with
// the GL dialect's context (glContextHints), registers the callbacks and
// gives the HUD the window's content scale. Returns 0, or 1 after GLFW has
// logged why.
int windowInit(void);
// A content scale fit for the HUD: clamped into [HUD_SCALE_MIN,
// HUD_SCALE_MAX], and 1 for one that is not a positive number (0, negative,
// NaN).
float hudScaleSane(float scale);
// Gives the HUD the larger factor of a content scale the platform reported,
// made sane; the first bad one is logged, later ones are not.
void windowContentScale(float xscale, float yscale);
// Waits for events until timeout (seconds), running the callbacks, then
// repaints the window once if it reported damage and is not closing.
void windowWaitEvents(double timeout);
// A terrain to fly over, given while the scene runs (a file dropped on the
// window, a page's Open terrain): checked at once, then loaded in the
// background while the terrain of now runs on. Returns 0, or 1 after telling
// the user why not (inputErrorShow).
int sceneOpenTerrain(const char *path, const char *splat_path);
// Once a turn while the scene runs: a terrain that has loaded becomes the
// scene, at its start view; one that failed is said and the scene stays.
void sceneTerrainPoll(void);
// Whether the five mesh-model placements stand in the scene: they belong to
// the built-in patch, and terrainInit hides them on a user's terrain.
void sceneShowProps(int shown);
// Opens the terrain (the built-in patch unless a loaded one is open), puts
// the camera at its start view and builds the tiles it sees; test_terrain is
// the built-in patch's model. Needs graphicsInit. Returns 0, or 1 after
// logging an image that did not decode.
int terrainInit(void);
// Draws one frame at time now, fraction t of a tick on, and marks its GL
// work; the platform hears of the first (startupFrameShown).
void showFrame(double now, float t);
enum { SCENE_BUILD_MORE = 2, SCENE_BUILD_LOADING = 3, SCENE_TERRAIN_FAILED = 4 };
// Builds the scene a slice at a time, for the start-up and after a lost
// context alike: each slice runs the graphics' start-up steps for up to
// slice seconds (one at least; none while the GL work of the last is not
// done, where asking would block), and after the last step sets the
// viewport and builds the terrain, once a loading one is there. In the logo
// mode a slice first draws the logo screen, once it is built and then every
// frame_interval. Returns SCENE_BUILD_MORE while steps remain,
// SCENE_BUILD_LOADING while only the terrain's loading does, then 0, or 1
// after logging the failed step, or SCENE_TERRAIN_FAILED after telling the
// user why the terrain could not load.
int sceneBuildSlice(double slice, double frame_interval);
// Makes the next slices build every GL object anew, in a context that
// replaces a lost one: the old one's bindings, terrain and start-up progress
// are forgotten, and the light and grid of now come back at the end.
void sceneBuildAnew(void);
// The camera at the fraction t between the last two ticks; over a map of
// many tiles, the shadow box ahead of it and the tiles streamed around it.
void sceneCamera(float t);
// Draws one frame (t: fraction between the last two ticks), saves it when a
// screenshot was asked for, and presents it.
void draw(float t);
// Renders the frame of the current mode into the window's back buffer,
// without presenting it: the one place the passes' order is written. The
// observer, if any, hears the marks between the passes; hud_text, if given,
// stands in the frame counter's place.
void drawScene(float t, PassObserver *observer = nullptr, const char *hud_text = nullptr);
