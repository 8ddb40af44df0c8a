#include "app.h"

#include <GLFW/glfw3.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <stb_image.h>

#include "config.h"
#include "gl_dialect.h"
#include "graph_init.h"
#include "graph_render.h"
#include "graph_state.h"
#include "page_boundary.h"
#include "platform.h"
#include "screenshot.h"
#include "terrain_load.h"
#include "terrain_stream.h"

// ------------------------------------------------------------ constants ----

static const double TURN_PER_UNIT = PI / LOOK_UNITS_PER_HALF_TURN;  // radians per screen unit
static const float STEP = 0.25f;                                    // world units per tick
static const float FAST_FACTOR = 8.0f;  // Shift held: a big map's crossing
static const float FIELD_OF_VIEW = 1.5708f;
static const float NEAR_PLANE = 0.0625f;
static const float FAR_PLANE = 64.0f;
// How far ahead of the camera a moving shadow box stands: half its width.
static const float LIGHT_LEAD = 24.0f;
// The arrow keys and the move control's bits, in the order of ArrowKeys.
static const int ARROW_KEYS[4] = {GLFW_KEY_LEFT, GLFW_KEY_RIGHT, GLFW_KEY_UP, GLFW_KEY_DOWN};
static const int MOVE_BITS[4] = {MOVE_LEFT, MOVE_RIGHT, MOVE_FORWARD, MOVE_BACK};
// The turn keys: left, right, up, down.
static const int TURN_KEYS[4] = {GLFW_KEY_J, GLFW_KEY_L, GLFW_KEY_I, GLFW_KEY_K};
// Look motion, in screen units, that a turn key turns the view by in a tick:
// a half turn in two seconds.
static const double TURN_KEY_UNITS = LOOK_UNITS_PER_HALF_TURN * TICK_LENGTH / 2.0;

// ---------------------------------------------------------------- types ----

// One mesh model placed in the scene: uniform scale, rotation about +Y.
struct Placement {
    MModel *const *model;
    Vec3 position;
    float scale, rotation;
};

// ------------------------------------------------------------ the scene ----

// The fixed scene, in drawing order, after the terrain at the origin.
// clang-format off
static const Placement scene[5] = {
    {&MODEL_BARREL, {4.0f, 0.0f, 4.0f}, 1.0f, 0.0f},
    {&MODEL_FERN, {4.0f, 0.0f, 28.0f}, 1.0f, 0.0f},
    {&MODEL_FERN, {28.0f, 0.0f, 28.0f}, 4.0f, 0.0f},
    {&MODEL_PALM, {24.0f, 0.0f, 4.0f}, 8.0f, 0.0f},
    {&MODEL_CACTUS, {8.0f, 0.0f, 4.0f}, 6.0f, 0.0f},
};
// clang-format on

// ---------------------------------------------------------------- state ----

GLFWwindow *window;
int mode = MODE_LOGO;
double fps_num;
RandomState *random_state;
TModel *test_terrain;
Vec3 cam_start = {16.0f, 8.0f, 32.0f};
Vec3 cam_pos = cam_start;
Vec3 cam_prev = cam_start;
Quat cam_ori = {0.0f, 0.0f, 0.0f, 1.0f};

static int refresh_pending;  // the window reported damage during this wait
static CameraLook look;
static double look_dx, look_dy;  // look motion from outside GLFW, for the next turn
// The four directions held by the arrow keys and by a move control.
static HeldInput arrow_keys[4], move_control[4];
static HeldInput turn_keys[4];       // in the order of TURN_KEYS
static double key_yaw, key_pitch;    // what the turn keys turned in the last tick, radians
static int fast_keys, fast_control;  // Shift keys held; a page's fast control on
static int scene_ready;              // the terrain is open: input and resizes reach the scene
static int props_shown;              // the mesh models stand on the built-in patch only
static char load_text[40];           // how far a terrain's loading has come, for the logo screen
static Vec3 scene_position;          // where the frame being drawn sees from
static int shown;                    // a frame has been drawn
static int graphics_built;           // the build's GL objects are made; the terrain may still load
static double next_build_frame;      // when the scene's build draws the logo again
static int restore_light;            // a rebuild puts kept_light back at its end:
static SceneLight kept_light;        // the light and grid of the lost context

// ------------------------------------------------------------ the loop ----

LoopClock loopStart(double now, int32_t limit) {
    LoopClock clock = {};
    clock.previous = now;
    clock.start = now;
    clock.frame_interval = limit != 0 ? 1.0 / limit : 0.0;
    return clock;
}

LoopTurn loopAdvance(LoopClock *clock, double now, int current_mode) {
    LoopTurn turn = {};
    clock->tick_acc += now - clock->previous;
    clock->frame_acc += now - clock->previous;
    clock->previous = now;

    while (clock->tick_acc >= TICK_LENGTH) {
        clock->tick_acc -= TICK_LENGTH;
        turn.ticks++;
    }
    if (clock->frame_acc >= clock->frame_interval) {
        // A limited loop keeps the remainder so the long-run rate holds;
        // frames missed in a stall are dropped, not caught up.
        clock->frame_acc =
            clock->frame_interval != 0.0 ? fmod(clock->frame_acc, clock->frame_interval) : 0.0;
        turn.draw = 1;
        turn.fraction = (float)(clock->tick_acc / TICK_LENGTH);
    }
    turn.leave_logo = current_mode == MODE_LOGO && now >= clock->start + LOGO_SECONDS;
    return turn;
}

double loopWait(const LoopClock *clock, double now, double later) {
    double wait = fmin(TICK_LENGTH - clock->tick_acc, clock->frame_interval - clock->frame_acc) -
                  (later - now);
    return wait < 0.0 ? 0.0 : wait;
}

void updateFps(double now) {
    static int count;
    static double start;
    count++;
    if (now - start > 0.5) {
        fps_num = count / (now - start);
        start = now;
        count = 0;
    }
}

void fpsText(char *out, int size, double fps) { snprintf(out, size, "FPS: %.0f", fps); }

// ---------------------------------------------------------- the camera ----

int cameraTurn(CameraLook *look, double x, double y, int active, Quat *orientation) {
    double dx = x - look->cx, dy = y - look->cy;
    look->cx = x;
    look->cy = y;
    // Looking starts from where the cursor is when it begins: a motion made
    // in the same turn before the button went down is no turn.
    int starting = active && !look->looking;
    look->looking = active;
    if (!active || starting) return 0;
    cameraTurnBy(look, dx, dy, orientation);
    return 1;
}

// The orientation of a yaw about world +Y and a pitch about the camera's +X.
static Quat lookOrientation(double yaw, double pitch) {
    return quatAddRotation(quatRotate({0.0f, 1.0f, 0.0f}, (float)yaw), {1.0f, 0.0f, 0.0f},
                           (float)pitch);
}

void cameraTurnBy(CameraLook *look, double dx, double dy, Quat *orientation) {
    look->look_hor -= dx * TURN_PER_UNIT;
    look->look_ver -= dy * TURN_PER_UNIT;
    look->look_hor = fmod(look->look_hor, 2.0 * PI);
    look->look_ver = fmin(fmax(look->look_ver, -PI / 2.0), PI / 2.0);
    *orientation = lookOrientation(look->look_hor, look->look_ver);
}

Vec3 cameraMove(Vec3 position, Quat orientation, ArrowKeys keys, int fast) {
    float step = fast ? STEP * FAST_FACTOR : STEP;
    if (keys.left) position = vec3Add(position, quatMultiplyVector(orientation, {-step, 0, 0}));
    if (keys.right) position = vec3Add(position, quatMultiplyVector(orientation, {step, 0, 0}));
    if (keys.up) position = vec3Add(position, quatMultiplyVector(orientation, {0, 0, -step}));
    if (keys.down) position = vec3Add(position, quatMultiplyVector(orientation, {0, 0, step}));
    return position;
}

void cameraLook(void) {
    double x, y;
    glfwGetCursorPos(window, &x, &y);
    int active =
        mode == MODE_RUNNING && glfwGetInputMode(window, GLFW_CURSOR) == GLFW_CURSOR_DISABLED;
    cameraTurn(&look, x, y, active, &cam_ori);
    if (mode == MODE_RUNNING && (look_dx != 0.0 || look_dy != 0.0))
        cameraTurnBy(&look, look_dx, look_dy, &cam_ori);
    look_dx = look_dy = 0.0;
}

// Turns the view by a tick's turn for each turn key held (turning[d], in
// TURN_KEYS' order), as a cursor's look motion would, and keeps the angles
// turned for the frames drawn before the next tick.
static void keysTurn(const int turning[4]) {
    double dx = (turning[1] - turning[0]) * TURN_KEY_UNITS;
    double dy = (turning[3] - turning[2]) * TURN_KEY_UNITS;
    double pitch = look.look_ver;
    if (dx != 0.0 || dy != 0.0) cameraTurnBy(&look, dx, dy, &cam_ori);
    key_yaw = -dx * TURN_PER_UNIT;
    key_pitch = look.look_ver - pitch;  // less at the pitch's limits
}

// The view's orientation at fraction t between the last two ticks: the turn
// keys' last turn in part, so that a held key turns the view smoothly at any
// frame rate; the cursor's look as it stands.
static Quat viewBetweenTicks(float t) {
    if (key_yaw == 0.0 && key_pitch == 0.0) return cam_ori;
    double behind = 1.0 - t;
    return lookOrientation(look.look_hor - behind * key_yaw, look.look_ver - behind * key_pitch);
}

// Every held input counts the tick, on the logo screen too, where a press
// moves nothing and owes nothing afterwards.
void tick(void) {
    int held[4], turning[4];
    for (int d = 0; d < 4; d++) {
        held[d] = heldTick(&arrow_keys[d]) | heldTick(&move_control[d]);
        turning[d] = heldTick(&turn_keys[d]);
    }
    if (mode != MODE_RUNNING) return;
    keysTurn(turning);
    cam_prev = cam_pos;
    cam_pos = cameraMove(cam_pos, cam_ori, {held[0], held[1], held[2], held[3]},
                         fast_keys || fast_control);
}

// What a press made before it owes is dropped too: the view is the start's.
void cameraHome(void) {
    cam_pos = cam_prev = cam_start;
    cam_ori = {0.0f, 0.0f, 0.0f, 1.0f};
    look.look_hor = look.look_ver = 0.0;
    look_dx = look_dy = 0.0;
    key_yaw = key_pitch = 0.0;
    for (int d = 0; d < 4; d++) arrow_keys[d].owed = move_control[d].owed = turn_keys[d].owed = 0;
}

void heldPress(HeldInput *held, double t) {
    if (held->down) return;
    *held = {1, t, 0, 0};
}

void heldRelease(HeldInput *held, double t) {
    if (!held->down) return;
    double lasted = held->since >= 0.0 && t >= 0.0 ? t - held->since : 0.0;
    // A press that lasted a whole number of ticks, give or take the clock's
    // rounding, is owed that number.
    int due = (int)ceil(lasted / TICK_LENGTH - 1e-6);
    if (due < 1) due = 1;
    held->down = 0;
    held->owed = due > held->ticks ? due - held->ticks : 0;
}

int heldTick(HeldInput *held) {
    if (held->down) {
        held->ticks++;
        return 1;
    }
    if (held->owed == 0) return 0;
    held->owed--;
    return 1;
}

// ------------------------------------------------------------- input ----

void inputLook(double dx, double dy) {
    look_dx += dx;
    look_dy += dy;
}

void inputMove(int bits) {
    double t = inputEventTime();
    for (int d = 0; d < 4; d++) {
        if (bits & MOVE_BITS[d])
            heldPress(&move_control[d], t);
        else
            heldRelease(&move_control[d], t);
    }
}

void inputFast(int on) { fast_control = on != 0; }

void inputKeysRelease(void) {
    for (int d = 0; d < 4; d++) arrow_keys[d] = turn_keys[d] = HeldInput{};
    fast_keys = 0;
}

// ---------------------------------------------------------- commands ----

Vec3 randomLightColor(RandomState *state) {
    float blue = (float)(randomDouble(state) * 8.0);
    float green = (float)(randomDouble(state) * 8.0);
    float red = (float)(randomDouble(state) * 8.0);
    return {red, green, blue};
}

Vec3 randomLightDirection(RandomState *state) {
    double d1 = randomDouble(state), d2 = randomDouble(state), d3 = randomDouble(state);
    return {(float)(d1 - 0.5), -(float)(d2 * 0.875 + 0.125), (float)(d3 - 0.5)};
}

// Switches between a window and the primary monitor's current video mode,
// restoring the window's size, and its place where the platform tells it,
// on the way back.
static void toggleFullscreen(GLFWwindow *win) {
    static int window_x, window_y, window_wid, window_hei;
    if (!glfwGetWindowMonitor(win)) {
        GLFWmonitor *monitor = glfwGetPrimaryMonitor();
        const GLFWvidmode *video = monitor ? glfwGetVideoMode(monitor) : NULL;
        if (!video) return;  // no monitor to go fullscreen on; GLFW has logged why
        // Wayland places windows itself and reports no position: asking is
        // an error, and the position given back is ignored there anyway.
        if (windowPositionKnown()) glfwGetWindowPos(win, &window_x, &window_y);
        glfwGetWindowSize(win, &window_wid, &window_hei);
        glfwSetWindowMonitor(win, monitor, 0, 0, video->width, video->height, GLFW_DONT_CARE);
    } else {
        glfwSetWindowMonitor(win, NULL, window_x, window_y, window_wid, window_hei, 0);
    }
}

void inputCommand(int key) {
    static int showgrid;
    // Before the start-up is complete (a page handles input meanwhile) only
    // Esc has something to act on.
    if (!scene_ready && key != GLFW_KEY_ESCAPE) return;
    switch (key) {
    case GLFW_KEY_E: {
        Vec3 c = randomLightColor(random_state);
        graphicsLightCol(c.x, c.y, c.z);
        break;
    }
    case GLFW_KEY_F: graphicsLightDir(randomLightDirection(random_state)); break;
    case GLFW_KEY_R:
        showgrid = showgrid == 0 ? 1 : 0;
        graphicsTerrainGrid(showgrid);
        break;
    case GLFW_KEY_ESCAPE: glfwSetWindowShouldClose(window, 1); break;
    case GLFW_KEY_F11: toggleFullscreen(window); break;
    case GLFW_KEY_HOME: cameraHome(); break;
    case GLFW_KEY_F12:
    case GLFW_KEY_P: screenshotRequest(); break;
    default: break;
    }
}

// The held input of an arrow or turn key, or NULL for any other key.
static HeldInput *heldKey(int key) {
    for (int d = 0; d < 4; d++) {
        if (key == ARROW_KEYS[d]) return &arrow_keys[d];
        if (key == TURN_KEYS[d]) return &turn_keys[d];
    }
    return NULL;
}

// Arrow and turn keys are held inputs, told by press and release, and Shift
// a state of two keys; every other key acts on its press.
static void keyCallback(GLFWwindow *win, int key, int scancode, int action, int mods) {
    (void)win;
    (void)scancode;
    (void)mods;
    if (key == GLFW_KEY_LEFT_SHIFT || key == GLFW_KEY_RIGHT_SHIFT) {
        int bit = key == GLFW_KEY_LEFT_SHIFT ? 1 : 2;
        if (action == GLFW_PRESS) fast_keys |= bit;
        if (action == GLFW_RELEASE) fast_keys &= ~bit;
        return;
    }
    HeldInput *held = heldKey(key);
    if (held && action == GLFW_PRESS) heldPress(held, inputEventTime());
    if (held && action == GLFW_RELEASE) heldRelease(held, inputEventTime());
    if (!held && action == GLFW_PRESS) inputCommand(key);
}

// Holding the right button hides and locks the cursor, which enables look.
static void mouseCallback(GLFWwindow *win, int button, int action, int mods) {
    (void)mods;
    if (button != GLFW_MOUSE_BUTTON_RIGHT) return;
    if (action == GLFW_PRESS) glfwSetInputMode(win, GLFW_CURSOR, GLFW_CURSOR_DISABLED);
    if (action == GLFW_RELEASE) glfwSetInputMode(win, GLFW_CURSOR, GLFW_CURSOR_NORMAL);
}

// A file dropped on the window is a terrain to fly over, as --terrain's.
static void dropCallback(GLFWwindow *win, int count, const char **paths) {
    (void)win;
    if (count > 0 && scene_ready) sceneOpenTerrain(paths[0], NULL);
}

// -------------------------------------------------------- window, frame ----

static void errorCallback(int code, const char *description) {
    fprintf(stderr, "GLFW Error %d: %s\n", code, description);
}

// Before the start-up is complete there is no viewport yet; the start-up
// reads the size itself once it is.
static void framebufferCallback(GLFWwindow *win, int width, int height) {
    (void)win;
    if (scene_ready) graphicsViewport(width, height);
}

float hudScaleSane(float scale) {
    if (!(scale > 0.0f)) return 1.0f;  // NaN fails every comparison
    return fminf(fmaxf(scale, HUD_SCALE_MIN), HUD_SCALE_MAX);
}

void windowContentScale(float xscale, float yscale) {
    static int reported;
    float scale = fmaxf(xscale, yscale), sane = hudScaleSane(scale);
    if (sane != scale && !reported) {
        fprintf(stderr, "Content scale %g is out of range; the HUD uses %g\n", scale, sane);
        reported = 1;
    }
    graphicsHudScale(sane);
}

// The window moved to a monitor of another scale, or the desktop's scale
// changed: the HUD follows from the next frame on.
static void contentScaleCallback(GLFWwindow *win, float xscale, float yscale) {
    (void)win;
    windowContentScale(xscale, yscale);
}

// Damage is repainted once the wait has handled every pending event, not
// from inside GLFW's event processing: with slow frames, drawing for each
// exposure there can keep the loop from ever seeing Esc.
static void refreshCallback(GLFWwindow *win) {
    (void)win;
    refresh_pending = 1;
}

void windowWaitEvents(double timeout) {
    glfwWaitEventsTimeout(timeout);
    if (refresh_pending && !glfwWindowShouldClose(window)) draw(1.0f);
    refresh_pending = 0;
}

int windowInit(void) {
    glfwSetErrorCallback(errorCallback);
    windowPlatformHint();
    if (!glfwInit()) return 1;
    glContextHints();
    glfwWindowHint(GLFW_SAMPLES, msaa_level);
    windowNameHints();
    // The size is in the desktop's units where GLFW's are pixels (X11,
    // Windows); Wayland and macOS scale the framebuffer themselves.
    glfwWindowHint(GLFW_SCALE_TO_MONITOR, GLFW_TRUE);
    windowHints();
    window = glfwCreateWindow(win_width, win_height, "Knoll", NULL, NULL);
    if (!window) return 1;
    glfwSetKeyCallback(window, keyCallback);
    glfwSetMouseButtonCallback(window, mouseCallback);
    glfwSetFramebufferSizeCallback(window, framebufferCallback);
    glfwSetWindowRefreshCallback(window, refreshCallback);
    glfwSetWindowContentScaleCallback(window, contentScaleCallback);
    glfwSetDropCallback(window, dropCallback);
    float xscale, yscale;
    glfwGetWindowContentScale(window, &xscale, &yscale);
    windowContentScale(xscale, yscale);
    glfwMakeContextCurrent(window);
    // 1 is the platform default; only other values are asked for.
    if (vsync != 1) glfwSwapInterval(vsync);
    return 0;
}

void sceneShowProps(int shown) { props_shown = shown; }

int terrainInit(void) {
    if (!terrainIsOpen() && terrainOpenBuiltIn() != 0) return 1;
    sceneShowProps(terrainIsBuiltIn());
    cam_start = terrainStartView();
    cameraHome();
    terrainBuildAround(cam_start);
    test_terrain = terrainSingleTile() ? terrainTile(0, 0)->model : NULL;
    scene_ready = 1;
    return 0;
}

// The terrain's load as it stands: its progress into load_text while it
// runs. Returns the state.
static TerrainLoadState loadProgress(void) {
    float fraction;
    TerrainLoadState state = terrainLoadPoll(&fraction);
    if (state == LOAD_RUNNING)
        snprintf(load_text, sizeof(load_text), "%s %d %%", terrainLoadStage(),
                 (int)(fraction * 100.0f));
    else
        load_text[0] = '\0';
    return state;
}

// The user's terrain, loading while the logo shows. Returns
// SCENE_BUILD_LOADING until it is there, then 0, or SCENE_TERRAIN_FAILED
// after telling the user why it could not be.
static int terrainLoaded(void) {
    TerrainLoadState state = loadProgress();
    if (state == LOAD_RUNNING) return SCENE_BUILD_LOADING;
    if (state == LOAD_IDLE) return 0;
    char line[TERRAIN_LINE_SIZE];
    if (terrainLoadFinish(line, sizeof(line)) == 0) return 0;
    inputErrorShow(line);
    return SCENE_TERRAIN_FAILED;
}

int sceneOpenTerrain(const char *path, const char *splat_path) {
    float fraction;
    char line[TERRAIN_LINE_SIZE];
    if (terrainLoadPoll(&fraction) == LOAD_RUNNING) {
        snprintf(line, sizeof(line), "Terrain Error: %s: another terrain is still loading\n", path);
        inputErrorShow(line);
        return 1;
    }
    if (terrainLoadCheck(path, splat_path, line, sizeof(line)) != 0) {
        inputErrorShow(line);
        return 1;
    }
    terrainLoadStart(path, splat_path, run_options.terrain_height);
    return 0;
}

void sceneTerrainPoll(void) {
    TerrainLoadState state = loadProgress();
    if (state != LOAD_DONE && state != LOAD_FAILED) return;
    char line[TERRAIN_LINE_SIZE];
    if (terrainLoadFinish(line, sizeof(line)) != 0) {
        inputErrorShow(line);  // the terrain of now stays
        return;
    }
    terrainInit();
}

static void windowViewport(void) {
    int width, height;
    glfwGetFramebufferSize(window, &width, &height);
    graphicsViewport(width, height);
}

void showFrame(double now, float t) {
    updateFps(now);
    draw(t);
    graphicsMark();
    if (!shown) startupFrameShown();
    shown = 1;
}

// The logo screen while the scene builds, once the logo is built and then
// every frame_interval, each frame at the window's size of the moment: a
// resize meanwhile (a phone turned) reaches no scene yet. A running scene
// shows nothing until its build is done.
static void startupLogoFrame(double frame_interval) {
    double now = glfwGetTime();
    if (mode != MODE_LOGO || !graphicsLogoReady() || now < next_build_frame) return;
    windowViewport();
    next_build_frame = now + frame_interval;
    showFrame(now, 0.0f);
}

void sceneBuildAnew(void) {
    kept_light = graphicsSceneLight();
    restore_light = 1;
    forgetBindings();
    terrainForgetModels();
    graphicsTModelsForget();
    test_terrain = NULL;
    scene_ready = 0;
    graphicsInitRestart();
    graphics_built = 0;
    next_build_frame = 0.0;
}

int sceneBuildSlice(double slice, double frame_interval) {
    if (!graphicsCaughtUp()) return SCENE_BUILD_MORE;
    startupLogoFrame(frame_interval);
    // Once made, the GL objects wait for the terrain's loading: a step
    // after the last starts the whole making over, and a page hands each
    // picture over only once.
    if (!graphics_built) {
        double until = glfwGetTime() + slice;
        int result;
        do {
            result = graphicsInitStep();
        } while (result == GRAPHICS_INIT_MORE && graphicsCaughtUp() && glfwGetTime() < until);
        if (result == GRAPHICS_INIT_MORE) return SCENE_BUILD_MORE;
        if (result != 0) return 1;
        graphics_built = 1;
    }
    int loaded = terrainLoaded();
    if (loaded != 0) return loaded;
    graphics_built = 0;
    windowViewport();
    if (terrainInit() != 0) return 1;
    if (restore_light) {
        graphicsLightDir(kept_light.direction);
        graphicsLightCol(kept_light.color.x, kept_light.color.y, kept_light.color.z);
        graphicsTerrainGrid(kept_light.grid);
        restore_light = 0;
    }
    return 0;
}

// Over a map larger than the shadow box, the box stands on the ground half
// its width ahead of the camera, so the shadows fall where the camera looks.
static void followWithLight(Vec3 position) {
    Vec3 forward = quatMultiplyVector(cam_ori, {0.0f, 0.0f, -1.0f});
    float across = sqrtf(forward.x * forward.x + forward.z * forward.z);
    Vec3 centre = position;
    if (across > 1e-3f) {
        centre.x += forward.x / across * LIGHT_LEAD;
        centre.z += forward.z / across * LIGHT_LEAD;
    }
    centre.y = terrainGroundAt(centre.x, centre.z);
    graphicsLightCentre(centre);
}

void sceneCamera(float t) {
    scene_position = vec3Mix(cam_prev, cam_pos, t);
    graphicsCamera(scene_position, viewBetweenTicks(t), FIELD_OF_VIEW, NEAR_PLANE, FAR_PLANE);
    if (terrainSingleTile()) return;
    followWithLight(scene_position);
    terrainStreamFrame(scene_position,
                       vec3Multiply(vec3Subtract(cam_pos, cam_prev), (float)(1.0 / TICK_LENGTH)));
}

// Clears the moment map and draws into it the terrain the light's box holds
// and, on the built-in patch, the five placements.
static void sceneShadowCasters(void) {
    graphicsShadowClear();
    // The shadow box stands ahead of the camera, within the tiles built.
    TerrainTile *const *tiles;
    int count = terrainTilesIn(graphicsLightClip(), scene_position, STREAM_BUILD_RADIUS, &tiles);
    for (int k = 0; k < count; k++)
        graphicsShadowTModel(tiles[k]->model, terrainTilePosition(tiles[k]));
    if (!props_shown) return;
    for (const Placement &p : scene)
        graphicsShadowMModel(*p.model, p.position, p.scale, p.rotation);
}

// Clears the window to the sky and draws the terrain in view.
static void sceneMainTerrain(void) {
    graphicsDrawClear(MODE_RUNNING);
    TerrainTile *const *tiles;
    int count = terrainTilesIn(graphicsCameraClip(), scene_position, FAR_PLANE, &tiles);
    for (int k = 0; k < count; k++)
        graphicsDrawTModel(tiles[k]->model, terrainTilePosition(tiles[k]));
}

// The five placements, on the built-in patch.
static void sceneMainModels(void) {
    if (!props_shown) return;
    for (const Placement &p : scene) graphicsDrawMModel(*p.model, p.position, p.scale, p.rotation);
}

// How far the terrain's loading has come: under the logo, centred, or under
// the frame counter while a scene runs.
static void sceneLoadText(void) {
    float width = (float)strlen(load_text) * 12.0f;
    Vec2 at = {(view_wid / hud_scale - width) / 2.0f, view_hei / hud_scale / 2.0f + 80.0f};
    if (mode != MODE_LOGO) at = {2.0f, 20.0f};
    graphicsDrawHudText(load_text, at, 16.0f);
}

// The frame counter in the top-left corner, or text in its place.
static void sceneHudText(const char *text) {
    char counter[32];
    if (!text) fpsText(counter, sizeof(counter), fps_num);
    graphicsDrawHudText(text ? text : counter, {2.0f, 2.0f}, 16.0f);
}

// Tells the observer, if any, that pass comes next.
static void passMark(PassObserver *observer, Pass pass) {
    if (observer) observer->mark(pass);
}

void drawScene(float t, PassObserver *observer, const char *hud_text) {
    if (mode == MODE_LOGO) {
        graphicsDrawClear(MODE_LOGO);
        graphicsDrawHudLogo();
    } else {
        sceneCamera(t);
        passMark(observer, PASS_SHADOW);
        sceneShadowCasters();
        passMark(observer, PASS_BLUR);
        if (shadow_smooth) graphicsShadowPost();
        passMark(observer, PASS_TERRAIN);
        sceneMainTerrain();
        passMark(observer, PASS_MODELS);
        sceneMainModels();
    }
    passMark(observer, PASS_HUD);
    if (load_text[0]) sceneLoadText();
    sceneHudText(hud_text);
    passMark(observer, PASS_COUNT);
}

void draw(float t) {
    drawScene(t);
    screenshotCapture();
    glfwSwapBuffers(window);
    graphicsCheckErrors("Draw End");
}
