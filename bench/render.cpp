// knoll_render: renders the running scene from a chosen pose a number of
// times and reports frame-time statistics and the share of each pass, with
// the program's own measuring code (src/measure.h); can
// write the last frame as a PNG, and one more frame pass by pass as the
// pictures of docs/frame.md. With --scan it renders every pose of a file
// instead and reports the slowest. Needs an X display
// (scripts/with-display.sh).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "benchmark.h"
#include "render_scene.h"
#include "screenshot.h"

// ------------------------------------------------------------ constants ----

static const int MOMENT_PICTURE_SIZE = 256;  // side of the moment map's pictures
// The detail pictures: this many texels of the map around the palm's crown,
// where the blur shows, each two pixels wide.
static const int MOMENT_DETAIL_TEXELS = 128;
static const Vec3 MOMENT_DETAIL_CENTRE = {24.0f, 7.0f, 4.0f};

// ---------------------------------------------------------------- types ----

struct Options {
    int width = 800, height = 600;
    ScenePose pose = SCENE_START_POSE;
    Vec3 light_dir = {0.0f, -1.0f, -1.0f};
    Vec3 light_col = {3.5f, 3.5f, 3.5f};
    int frames = 100, warmup = 5;
    int shadow_smooth = -1, aniso = -1;  // -1: keep the default configuration
    int gpu_timers = 1;                  // time each pass with GL's timer queries
    bool screenshot_cost = false;        // time what a screenshot costs
    bool benchmark_path = false;         // draw knoll --benchmark's frames instead
    int timed_every = 1;                 // with it: time the passes of every Nth frame
    const char *png = nullptr;
    const char *moments = nullptr;
    const char *scan = nullptr;     // file of poses, one "x,y,z yaw pitch" a line
    const char *png_dir = nullptr;  // with scan: each pose's last frame as pose_NNN.png
    const char *pass_dir = nullptr;  // what each pass of one more frame left, as PNGs
};

// One measured frame: the three passes and the whole frame with its swap,
// and the CPU time of all the process's threads (the driver's included).
struct FrameTimes {
    PassTimes pass;
    double total, cpu;
};

// A picture of what a pass left.
struct Picture {
    std::string name;
    int width, height, channels;
    std::vector<uint8_t> pixels;
};

// drawScene's marks as the pictures of what each pass left (see usage).
struct PassPictures : PassObserver {
    std::vector<Picture> pictures;
    int dx, dy;      // the detail's corner in the moment map
    float range[4];  // the grey scales of the whole map and of the detail
    void mark(Pass pass) override;
};

// drawScene's marks as a samples-passed query around the main pass.
struct MainPassSamples : PassObserver {
    GLuint query;
    void mark(Pass pass) override;
};

// ------------------------------------------------------------ functions ----

static void usage(void) {
    fputs(
        "usage: knoll_render [--size WxH] [--pos X,Y,Z] [--yaw RAD] [--pitch RAD]\n"
        "                    [--light-dir X,Y,Z] [--light-col R,G,B] [--frames N]\n"
        "                    [--warmup N] [--shadow-smooth 0|1] [--aniso 0..16]\n"
        "                    [--png OUT] [--moments OUT] [--scan POSES [--png-dir DIR]]\n"
        "                    [--pass-pngs DIR] [--gpu-timers 0|1] [--screenshot-cost 1]\n"
        "                    [--benchmark-path 1 [--timed-every N]]\n"
        "--benchmark-path draws FRAMES of knoll --benchmark's frames from tick 0 as it\n"
        "does, the passes of every Nth frame timed with --gpu-timers, and reports their\n"
        "mean time\n"
        "--moments writes the last frame's moment map as raw float pairs, rows from\n"
        "the bottom, 1024 x 1024 (compare it with knoll_diff)\n"
        "--pass-pngs draws one more frame pass by pass and writes into DIR what each\n"
        "pass left: moments.png and blurred.png (the moment map's mean depth as grey,\n"
        "256 x 256, before and after the blur), main.png (the main pass without the\n"
        "HUD) and frame.png (the final frame)\n",
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
        else if (key == "--moments")
            o->moments = v;
        else if (key == "--scan")
            o->scan = v;
        else if (key == "--png-dir")
            o->png_dir = v;
        else if (key == "--pass-pngs")
            o->pass_dir = v;
        else if (key == "--gpu-timers")
            o->gpu_timers = atoi(v);
        else if (key == "--screenshot-cost")
            o->screenshot_cost = atoi(v) != 0;
        else if (key == "--benchmark-path")
            o->benchmark_path = atoi(v) != 0;
        else if (key == "--timed-every")
            o->timed_every = std::max(1, atoi(v));
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

// Draws and swaps one frame of the current pose; *last receives the picture
// when asked for (the read is kept out of the times).
static FrameTimes measureFrame(std::vector<uint8_t> *last) {
    FrameTimes f;
    double t0 = sceneClock(), c0 = sceneCpuClock();
    sceneDrawPasses(&f.pass);
    if (last) {
        double r0 = sceneClock(), rc0 = sceneCpuClock();
        *last = sceneReadBack(view_wid, view_hei);
        t0 += sceneClock() - r0;
        c0 += sceneCpuClock() - rc0;
    }
    glfwSwapBuffers(window);
    glFinish();
    f.total = sceneClock() - t0;
    f.cpu = sceneCpuClock() - c0;
    return f;
}

// The median of one field of the frames' pass times, in milliseconds.
static double medianMs(const std::vector<FrameTimes> &frames, double PassTimes::*field) {
    std::vector<double> v;
    for (const FrameTimes &f : frames) v.push_back(f.pass.*field);
    std::sort(v.begin(), v.end());
    return quantile(v, 0.5) * 1e3;
}

// samples: the same frames as the program's benchmark records them, with
// their GPU pass times.
static void report(const Options &o, double startup, const std::vector<FrameTimes> &frames,
                   const std::vector<FrameSample> &samples) {
    std::vector<double> cpus;
    PassTimes sum = {};
    double all = 0.0;
    for (const FrameTimes &f : frames) {
        cpus.push_back(f.cpu);
        sum.shadow += f.pass.shadow;
        sum.blur += f.pass.blur;
        sum.main += f.pass.main;
        all += f.total;
    }
    std::sort(cpus.begin(), cpus.end());
    RunSummary run = runSummary(samples);
    printf("size %dx%d  frames %zu (after %d warm-up)  shadow_smooth %d  aniso_level %d\n", o.width,
           o.height, frames.size(), o.warmup, shadow_smooth, aniso_level);
    printf("startup_ms %.1f\n", startup * 1e3);
    printf("frame_ms median %.2f  p95 %.2f  worst %.2f  mean %.2f  p99 %.2f\n", run.p50_ms,
           run.p95_ms, run.worst_ms, run.seconds * 1e3 / (double)run.frames, run.p99_ms);
    printf("cpu_frame_ms median %.2f  worst %.2f  (all threads)\n", quantile(cpus, 0.5) * 1e3,
           cpus.back() * 1e3);
    double rest = all - sum.shadow - sum.blur - sum.main;
    printf("share shadow %.1f%%  blur %.1f%%  main %.1f%%  swap %.1f%%\n", 100.0 * sum.shadow / all,
           100.0 * sum.blur / all, 100.0 * sum.main / all, 100.0 * rest / all);
    printf("pass_ms median shadow %.2f  blur %.2f  main %.2f\n",
           medianMs(frames, &PassTimes::shadow), medianMs(frames, &PassTimes::blur),
           medianMs(frames, &PassTimes::main));
    double cs = medianMs(frames, &PassTimes::cpu_shadow), cb = medianMs(frames, &PassTimes::cpu_blur),
           cm = medianMs(frames, &PassTimes::cpu_main);
    printf("cpu_ms median shadow %.2f  blur %.2f  main %.2f  sum %.2f\n", cs, cb, cm, cs + cb + cm);
    if (!run.gpu_measured) return;
    printf("gpu_ms mean");
    for (int p = 0; p < PASS_COUNT; p++) printf("  %s %.2f", pass_names[p], run.pass_mean_ms[p]);
    printf("\n");
}

void MainPassSamples::mark(Pass pass) {
    if (pass == PASS_TERRAIN) glBeginQuery(GL_SAMPLES_PASSED, query);
    if (pass == PASS_HUD) glEndQuery(GL_SAMPLES_PASSED);
}

// Samples that pass the depth test in one main pass, per pixel of the window:
// with the driver's early depth test, about how many surface fragments each
// pixel shades.
static double mainPassOverdraw(void) {
    MainPassSamples main_pass;
    GLuint samples = 0;
    glGenQueries(1, &main_pass.query);
    drawScene(1.0f, &main_pass);
    glGetQueryObjectuiv(main_pass.query, GL_QUERY_RESULT, &samples);
    glDeleteQueries(1, &main_pass.query);
    return (double)samples / ((double)view_wid * view_hei);
}

// tex_depth, the moment map the main pass reads, as float pairs, rows from
// the bottom.
static std::vector<float> readMoments(void) {
    std::vector<float> texels((size_t)SHADOW_MAP_SIZE * SHADOW_MAP_SIZE * 2);
    useTextureForEdit(0, GL_TEXTURE_2D, tex_depth);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RG, GL_FLOAT, texels.data());
    return texels;
}

// Writes the moment map as raw float pairs.
static bool writeMoments(const char *path) {
    std::vector<float> texels = readMoments();
    FILE *f = fopen(path, "wb");
    if (!f) return false;
    bool ok = fwrite(texels.data(), sizeof(float), texels.size(), f) == texels.size();
    return fclose(f) == 0 && ok;
}

// Mean depths of the span x span texels of the moment map texels (rows from
// the bottom) from (x0, y0), as a MOMENT_PICTURE_SIZE square, rows from the
// top: each value the mean of its block, or one texel repeated where span is
// smaller than the picture.
static std::vector<float> momentMeans(const std::vector<float> &texels, int x0, int y0, int span) {
    const int n = MOMENT_PICTURE_SIZE;
    std::vector<float> mean((size_t)n * n);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            int tx0 = x0 + x * span / n, tx1 = std::max(tx0 + 1, x0 + (x + 1) * span / n);
            int ty0 = y0 + y * span / n, ty1 = std::max(ty0 + 1, y0 + (y + 1) * span / n);
            double sum = 0.0;
            for (int ty = ty0; ty < ty1; ty++)
                for (int tx = tx0; tx < tx1; tx++)
                    sum += texels[((size_t)ty * SHADOW_MAP_SIZE + tx) * 2];
            mean[(size_t)(n - 1 - y) * n + x] = (float)(sum / ((tx1 - tx0) * (ty1 - ty0)));
        }
    return mean;
}

// Grey levels for depths: black at low, white at high.
static std::vector<uint8_t> greyOf(const std::vector<float> &depths, float low, float high) {
    float span = high > low ? high - low : 1.0f;
    std::vector<uint8_t> grey(depths.size());
    for (size_t i = 0; i < depths.size(); i++)
        grey[i] = (uint8_t)std::lround(std::clamp((depths[i] - low) / span, 0.0f, 1.0f) * 255.0f);
    return grey;
}

// The moment-map texel nearest to world point p under the light in ushared.
static void lightTexel(Vec3 p, int *tx, int *ty) {
    Mat4 ls;
    glGetBufferSubData(GL_UNIFORM_BUFFER, off_lspace, sizeof(ls), &ls);
    float x = ls.m[0][0] * p.x + ls.m[1][0] * p.y + ls.m[2][0] * p.z + ls.m[3][0];
    float y = ls.m[0][1] * p.x + ls.m[1][1] * p.y + ls.m[2][1] * p.z + ls.m[3][1];
    *tx = (int)std::lround((x * 0.5f + 0.5f) * SHADOW_MAP_SIZE);
    *ty = (int)std::lround((y * 0.5f + 0.5f) * SHADOW_MAP_SIZE);
}

// The moment map as its two pictures, stage.png and stage-detail.png.
static void addMomentPictures(PassPictures *p, const char *stage,
                              const std::vector<float> &texels) {
    const int m = MOMENT_PICTURE_SIZE;
    p->pictures.push_back(
        {std::string(stage) + ".png", m, m, 1,
         greyOf(momentMeans(texels, 0, 0, SHADOW_MAP_SIZE), p->range[0], p->range[1])});
    p->pictures.push_back({std::string(stage) + "-detail.png", m, m, 1,
                           greyOf(momentMeans(texels, p->dx, p->dy, MOMENT_DETAIL_TEXELS),
                                  p->range[2], p->range[3])});
}

// Takes each picture at the mark after its pass; both stages of the moment
// map in the grey scale of the raw one.
void PassPictures::mark(Pass pass) {
    const int detail = MOMENT_DETAIL_TEXELS;
    if (pass == PASS_SHADOW) {
        int cx, cy;
        lightTexel(MOMENT_DETAIL_CENTRE, &cx, &cy);
        dx = std::clamp(cx - detail / 2, 0, SHADOW_MAP_SIZE - detail);
        dy = std::clamp(cy - detail / 2, 0, SHADOW_MAP_SIZE - detail);
    } else if (pass == PASS_BLUR) {
        std::vector<float> texels = readMoments();
        std::vector<float> whole = momentMeans(texels, 0, 0, SHADOW_MAP_SIZE);
        std::vector<float> part = momentMeans(texels, dx, dy, detail);
        auto [whole_low, whole_high] = std::minmax_element(whole.begin(), whole.end());
        auto [part_low, part_high] = std::minmax_element(part.begin(), part.end());
        range[0] = *whole_low;
        range[1] = *whole_high;
        range[2] = *part_low;
        range[3] = *part_high;
        addMomentPictures(this, "moments", texels);
    } else if (pass == PASS_TERRAIN && shadow_smooth) {
        addMomentPictures(this, "blurred", readMoments());
    } else if (pass == PASS_HUD || pass == PASS_COUNT) {
        const char *name = pass == PASS_HUD ? "main.png" : "frame.png";
        pictures.push_back({name, view_wid, view_hei, 3, sceneReadBack(view_wid, view_hei)});
    }
}

// Draws one more frame of the current pose and writes what each pass left
// into dir (see usage). Returns false after saying what failed.
static bool writePassPictures(const char *dir) {
    PassPictures passes;
    drawScene(1.0f, &passes);
    bool ok = true;
    for (const Picture &p : passes.pictures) {
        std::string path = std::string(dir) + "/" + p.name;
        if (!stbi_write_png(path.c_str(), p.width, p.height, p.channels, p.pixels.data(),
                            p.width * p.channels)) {
            fprintf(stderr, "knoll_render: cannot write %s\n", path.c_str());
            ok = false;
        }
    }
    return ok;
}

// What F12 costs: the read of the frame, which the loop waits for, and the
// encoding, which a thread does beside it; medians of frames reads, in ms.
static void reportScreenshotCost(int frames) {
    std::vector<double> reads, encodes;
    PassTimes passes;
    for (int n = 0; n < frames; n++) {
        sceneDrawPasses(&passes);
        double t0 = sceneClock();
        FramePixels frame = screenshotRead();
        double t1 = sceneClock();
        std::vector<uint8_t> png = screenshotEncode(frame);
        reads.push_back((t1 - t0) * 1e3);
        encodes.push_back((sceneClock() - t1) * 1e3);
        glfwSwapBuffers(window);
    }
    std::sort(reads.begin(), reads.end());
    std::sort(encodes.begin(), encodes.end());
    printf("screenshot_ms median read %.2f  encode %.2f (beside the loop)\n", quantile(reads, 0.5),
           quantile(encodes, 0.5));
}

// Draws frames of the benchmark's path from tick 0 as knoll --benchmark does,
// without waiting on GL between them, and prints their mean time: what the
// timer queries cost, with timers on against off.
static void benchmarkPath(int frames, bool timers, int timed_every) {
    std::vector<FrameSample> samples;
    benchmarkFrame(0);
    glfwSwapBuffers(window);
    glFinish();
    if (timers) gpuTimerInit();
    double start = sceneClock();
    for (long n = 0; n < frames; n++) {
        samples.push_back({n, n, 0.0, {}, 0});
        gpuTimerFrameBegin(n % timed_every == 0);
        benchmarkFrame(n);
        gpuTimerFrameEnd(&samples, (size_t)n);
        glfwSwapBuffers(window);
    }
    glFinish();
    printf("benchmark_path_ms mean %.2f  (%d frames, timer queries %s, every %d)\n",
           (sceneClock() - start) * 1e3 / frames, frames, timers ? "on" : "off", timed_every);
}

// Reads the poses of a scan file; lines starting with # are comments.
static bool readPoses(const char *path, std::vector<ScenePose> *poses) {
    FILE *file = fopen(path, "r");
    if (!file) return false;
    char line[256];
    bool ok = true;
    while (ok && fgets(line, sizeof(line), file)) {
        if (line[0] == '#' || line[0] == '\n') continue;
        ScenePose p;
        ok = sscanf(line, "%f,%f,%f %f %f", &p.position.x, &p.position.y, &p.position.z, &p.yaw,
                    &p.pitch) == 5;
        poses->push_back(p);
    }
    fclose(file);
    return ok && !poses->empty();
}

// Warms up at the start pose, then renders o.frames frames from every pose of
// the scan file and prints each pose's slowest frame, then the slowest of all
// (by wall and by CPU time) and how many poses needed over 0.4 s and over 1 s
// for a frame. With o.png_dir each pose's last frame is written there.
static int scan(const Options &o) {
    std::vector<ScenePose> poses;
    if (!readPoses(o.scan, &poses)) {
        fprintf(stderr, "knoll_render: cannot read poses from %s\n", o.scan);
        return 2;
    }
    for (int n = 0; n < o.warmup; n++) measureFrame(nullptr);
    printf("scan %s: %zu poses, %d frames each, size %dx%d, shadow_smooth %d, aniso_level %d\n",
           o.scan, poses.size(), o.frames, o.width, o.height, shadow_smooth, aniso_level);
    FrameTimes worst = {};
    size_t worst_at = 0, worst_cpu_at = 0;
    double worst_cpu = 0.0;
    int over_400ms = 0, over_1s = 0, failed = 0;
    for (size_t k = 0; k < poses.size(); k++) {
        const ScenePose &p = poses[k];
        scenePlace(p);
        FrameTimes slowest = {};
        std::vector<uint8_t> last;
        for (int n = 0; n < o.frames; n++) {
            bool final = o.png_dir && n == o.frames - 1;
            FrameTimes f = measureFrame(final ? &last : nullptr);
            if (f.total > slowest.total) slowest = f;
            if (f.cpu > worst_cpu) {
                worst_cpu = f.cpu;
                worst_cpu_at = k;
            }
        }
        if (o.png_dir) {
            std::string path =
                std::string(o.png_dir) + "/pose_" + std::to_string(1000 + k).substr(1) + ".png";
            if (!stbi_write_png(path.c_str(), view_wid, view_hei, 3, last.data(), view_wid * 3)) {
                fprintf(stderr, "knoll_render: cannot write %s\n", path.c_str());
                failed = 1;
            }
        }
        printf("--pos %g,%g,%g --yaw %g --pitch %g  frame_ms %.1f  cpu_ms %.1f\n", p.position.x,
               p.position.y, p.position.z, p.yaw, p.pitch, slowest.total * 1e3, slowest.cpu * 1e3);
        fflush(stdout);
        over_400ms += slowest.total > 0.4;
        over_1s += slowest.total > 1.0;
        if (slowest.total > worst.total) {
            worst = slowest;
            worst_at = k;
        }
    }
    const ScenePose &w = poses[worst_at], &c = poses[worst_cpu_at];
    printf("worst frame_ms %.1f  cpu_ms %.1f  at --pos %g,%g,%g --yaw %g --pitch %g\n",
           worst.total * 1e3, worst.cpu * 1e3, w.position.x, w.position.y, w.position.z, w.yaw,
           w.pitch);
    printf("worst cpu_ms %.1f  at --pos %g,%g,%g --yaw %g --pitch %g\n", worst_cpu * 1e3,
           c.position.x, c.position.y, c.position.z, c.yaw, c.pitch);
    printf("poses over 400 ms %d  over 1 s %d\n", over_400ms, over_1s);
    return graphicsCheckErrors("knoll_render") || failed;
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

    if (o.scan) {
        int failed = scan(o);
        glfwTerminate();
        return failed;
    }
    if (o.benchmark_path) {
        benchmarkPath(o.frames, o.gpu_timers, o.timed_every);
        glfwTerminate();
        return graphicsCheckErrors("knoll_render");
    }

    std::vector<FrameTimes> frames;
    std::vector<FrameSample> samples;
    std::vector<uint8_t> last;
    for (int n = 0; n < o.warmup + o.frames; n++) {
        bool final = n == o.warmup + o.frames - 1;
        // The warm-up frames are not timed on the GPU either.
        if (n == o.warmup && o.gpu_timers) gpuTimerInit();
        FrameTimes f = measureFrame(o.png && final ? &last : nullptr);
        if (n < o.warmup) continue;
        frames.push_back(f);
        samples.push_back({n - o.warmup, 0, f.total * 1e3, {}, 0});
        gpuTimerFrameEnd(&samples, samples.size() - 1);
    }
    gpuTimerCollect(1);
    int failed = graphicsCheckErrors("knoll_render");
    report(o, startup, frames, samples);
    printf("main pass depth-passing samples per pixel %.2f\n", mainPassOverdraw());

    if (o.png && !stbi_write_png(o.png, view_wid, view_hei, 3, last.data(), view_wid * 3)) {
        fprintf(stderr, "knoll_render: cannot write %s\n", o.png);
        failed = 1;
    }
    if (o.moments && !writeMoments(o.moments)) {
        fprintf(stderr, "knoll_render: cannot write %s\n", o.moments);
        failed = 1;
    }
    if (o.pass_dir && !writePassPictures(o.pass_dir)) failed = 1;
    if (o.screenshot_cost) reportScreenshotCost(o.frames);
    glfwTerminate();
    return failed;
}
