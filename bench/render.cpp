// knoll_render: renders the running scene from a chosen pose a number of
// times and reports frame-time statistics and the share of each pass; can
// write the last frame as a PNG. Needs an X display (scripts/with-display.sh).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "render_scene.h"

// ---------------------------------------------------------------- types ----

struct Options {
    int width = 800, height = 600;
    ScenePose pose = SCENE_START_POSE;
    Vec3 light_dir = {0.0f, -1.0f, -1.0f};
    Vec3 light_col = {3.5f, 3.5f, 3.5f};
    int frames = 100, warmup = 5;
    int shadow_smooth = -1, aniso = -1;  // -1: keep the default configuration
    const char *png = nullptr;
};

// One measured frame: the three passes and the whole frame with its swap.
struct FrameTimes {
    PassTimes pass;
    double total;
};

// ------------------------------------------------------------ functions ----

static void usage(void) {
    fputs(
        "usage: knoll_render [--size WxH] [--pos X,Y,Z] [--yaw RAD] [--pitch RAD]\n"
        "                    [--light-dir X,Y,Z] [--light-col R,G,B] [--frames N]\n"
        "                    [--warmup N] [--shadow-smooth 0|1] [--aniso 0..16]\n"
        "                    [--png OUT]\n",
        stderr);
}

static bool parseVec3(const char *s, Vec3 *out) {
    return sscanf(s, "%f,%f,%f", &out->x, &out->y, &out->z) == 3;
}

// Fills o from argv; returns false on anything it does not understand.
static bool parseOptions(int argc, char **argv, Options *o) {
    for (int i = 1; i < argc; i++) {
        std::string key = argv[i];
        if (i + 1 >= argc) return false;
        const char *v = argv[++i];
        bool ok = true;
        if (key == "--size")
            ok = sscanf(v, "%dx%d", &o->width, &o->height) == 2;
        else if (key == "--pos")
            ok = parseVec3(v, &o->pose.position);
        else if (key == "--yaw")
            o->pose.yaw = strtof(v, nullptr);
        else if (key == "--pitch")
            o->pose.pitch = strtof(v, nullptr);
        else if (key == "--light-dir")
            ok = parseVec3(v, &o->light_dir);
        else if (key == "--light-col")
            ok = parseVec3(v, &o->light_col);
        else if (key == "--frames")
            o->frames = atoi(v);
        else if (key == "--warmup")
            o->warmup = atoi(v);
        else if (key == "--shadow-smooth")
            o->shadow_smooth = atoi(v);
        else if (key == "--aniso")
            o->aniso = atoi(v);
        else if (key == "--png")
            o->png = v;
        else
            ok = false;
        if (!ok) return false;
    }
    return o->width > 0 && o->height > 0 && o->frames > 0 && o->warmup >= 0 &&
           vec3Length(o->light_dir) > 0.0f;
}

// The configuration the program starts with when config.txt is absent,
// without touching any file; vsync off so frames are not paced.
static void defaultSettings(const Options &o) {
    vsync = 0;
    fps_limit = 0;
    msaa_level = 0;
    aniso_level = o.aniso >= 0 ? std::min(o.aniso, 16) : 16;
    shadow_smooth = o.shadow_smooth >= 0 ? (o.shadow_smooth != 0) : 1;
    win_width = o.width;
    win_height = o.height;
}

// Window, renderer, terrain and one logo frame, as the program starts.
// Returns false after saying what failed.
static bool startUp(void) {
    if (windowInit() != 0) {
        fputs("knoll_render: no window with a GL 3.3 core context\n", stderr);
        return false;
    }
    if (graphicsInit() != 0) {
        fputs("knoll_render: graphicsInit failed\n", stderr);
        return false;
    }
    int width, height;
    glfwGetFramebufferSize(window, &width, &height);
    graphicsViewport(width, height);
    sceneTerrainInit();
    sceneLogoFrame();
    glFinish();
    return true;
}

// The value below which share q of the sorted values lie (nearest rank).
static double quantile(const std::vector<double> &sorted, double q) {
    size_t rank = (size_t)(q * (double)sorted.size() + 0.999999);
    rank = std::max<size_t>(1, std::min(rank, sorted.size()));
    return sorted[rank - 1];
}

static void report(const Options &o, double startup, const std::vector<FrameTimes> &frames) {
    std::vector<double> totals;
    PassTimes sum = {0, 0, 0};
    double all = 0.0;
    for (const FrameTimes &f : frames) {
        totals.push_back(f.total);
        sum.shadow += f.pass.shadow;
        sum.blur += f.pass.blur;
        sum.main += f.pass.main;
        all += f.total;
    }
    std::sort(totals.begin(), totals.end());
    printf("size %dx%d  frames %zu (after %d warm-up)  shadow_smooth %d  aniso_level %d\n", o.width,
           o.height, frames.size(), o.warmup, shadow_smooth, aniso_level);
    printf("startup_ms %.1f\n", startup * 1e3);
    printf("frame_ms median %.2f  p95 %.2f  worst %.2f  mean %.2f\n", quantile(totals, 0.5) * 1e3,
           quantile(totals, 0.95) * 1e3, totals.back() * 1e3, all / (double)frames.size() * 1e3);
    double rest = all - sum.shadow - sum.blur - sum.main;
    printf("share shadow %.1f%%  blur %.1f%%  main %.1f%%  swap %.1f%%\n", 100.0 * sum.shadow / all,
           100.0 * sum.blur / all, 100.0 * sum.main / all, 100.0 * rest / all);
}

int main(int argc, char **argv) {
    double process_start = sceneClock();
    Options o;
    if (!parseOptions(argc, argv, &o)) {
        usage();
        return 2;
    }
    defaultSettings(o);
    if (!startUp()) {
        glfwTerminate();  // no living context when the driver is unloaded at exit
        return 1;
    }
    double startup = sceneClock() - process_start;

    graphicsLightDir(o.light_dir);
    graphicsLightCol(o.light_col.x, o.light_col.y, o.light_col.z);
    scenePlace(o.pose);

    std::vector<FrameTimes> frames;
    std::vector<uint8_t> last;
    for (int n = 0; n < o.warmup + o.frames; n++) {
        FrameTimes f;
        double t0 = sceneClock();
        sceneDrawPasses(&f.pass);
        if (o.png && n == o.warmup + o.frames - 1) {
            // Read before the swap; the read is kept out of the frame time.
            double r0 = sceneClock();
            last = sceneReadBack(view_wid, view_hei);
            t0 += sceneClock() - r0;
        }
        glfwSwapBuffers(window);
        glFinish();
        f.total = sceneClock() - t0;
        if (n >= o.warmup) frames.push_back(f);
    }
    int failed = graphicsCheckErrors("knoll_render");
    report(o, startup, frames);

    if (o.png && !stbi_write_png(o.png, view_wid, view_hei, 3, last.data(), view_wid * 3)) {
        fprintf(stderr, "knoll_render: cannot write %s\n", o.png);
        failed = 1;
    }
    glfwTerminate();
    return failed;
}
