#include "measure.h"

#include <epoxy/gl.h>
#include <math.h>
#include <stdio.h>

#include <algorithm>

#include "gl_dialect.h"

// ------------------------------------------------------------ constants ----

const char *const pass_names[PASS_COUNT] = {"shadow", "blur", "terrain", "models", "hud"};

// Names in the report, padded to one width.
static const char *const pass_titles[PASS_COUNT] = {"shadow map", "blur      ", "terrain   ",
                                                    "models    ", "HUD       "};

// Frames of queries in flight: GL may run this many frames behind before a
// frame's results are given up rather than waited for.
enum { TIMER_RING = 8 };

// ---------------------------------------------------------------- types ----

// One frame's queries and the sample they belong to.
struct TimerFrame {
    GLuint query[PASS_COUNT];
    int issued[PASS_COUNT];
    std::vector<FrameSample> *samples;  // NULL while no frame waits on this slot
    size_t index;
};

// ---------------------------------------------------------------- state ----

static int timer_available;
static TimerFrame timer_ring[TIMER_RING];
static int timer_slot;       // the slot of the frame being drawn
static int timer_open = -1;  // the pass whose query runs, or -1
static int timer_frame = 1;  // the frame being drawn is timed

// ------------------------------------------------------------ summaries ----

double quantile(const std::vector<double> &sorted, double q) {
    if (sorted.empty()) return 0.0;
    size_t rank = (size_t)ceil(q * (double)sorted.size() - 1e-9);
    rank = std::max<size_t>(1, std::min(rank, sorted.size()));
    return sorted[rank - 1];
}

// Frames that ended within the slowest whole second of the run; the mean
// rate for a run shorter than a second.
static double slowestSecond(const std::vector<FrameSample> &samples, double mean_fps) {
    std::vector<long> per_second;
    double end = 0.0;
    for (const FrameSample &s : samples) {
        end += s.cpu_ms / 1e3;
        size_t second = (size_t)end;
        if (second >= per_second.size()) per_second.resize(second + 1, 0);
        per_second[second]++;
    }
    size_t whole = (size_t)end;  // the last second is cut short by the run's end
    if (whole == 0) return mean_fps;
    return (double)*std::min_element(per_second.begin(), per_second.begin() + whole);
}

static int passesMeasured(const FrameSample &s) {
    for (double ms : s.pass_ms)
        if (ms < 0.0) return 0;
    return 1;
}

RunSummary runSummary(const std::vector<FrameSample> &samples) {
    RunSummary r = {};
    std::vector<double> times;
    double pass_sum[PASS_COUNT] = {};
    long measured = 0;
    for (const FrameSample &s : samples) {
        times.push_back(s.cpu_ms);
        r.seconds += s.cpu_ms / 1e3;
        r.tiles_built += s.tiles_built;
        if (!passesMeasured(s)) continue;
        measured++;
        for (int p = 0; p < PASS_COUNT; p++) pass_sum[p] += s.pass_ms[p];
    }
    r.frames = (long)samples.size();
    if (r.frames == 0) return r;
    std::sort(times.begin(), times.end());
    r.mean_fps = r.seconds > 0.0 ? r.frames / r.seconds : 0.0;
    r.min_fps = slowestSecond(samples, r.mean_fps);
    r.p50_ms = quantile(times, 0.50);
    r.p95_ms = quantile(times, 0.95);
    r.p99_ms = quantile(times, 0.99);
    r.worst_ms = times.back();
    r.gpu_measured = measured > 0;
    double mean_frame_ms = r.seconds * 1e3 / r.frames;
    for (int p = 0; p < PASS_COUNT && measured > 0; p++) {
        r.pass_mean_ms[p] = pass_sum[p] / measured;
        r.pass_share[p] = r.pass_mean_ms[p] / mean_frame_ms;
    }
    return r;
}

long runScore(const RunSummary &summary) { return lround(summary.mean_fps); }

// printf into the end of out.
template <typename... Args>
static void append(std::string *out, const char *format, Args... args) {
    char line[512];
    snprintf(line, sizeof(line), format, args...);
    *out += line;
}

std::string runReport(const RunSummary &r, const RunSetting &s) {
    std::string out = "Knoll benchmark\n";
    append(&out, "Renderer:   %s\n", s.renderer ? s.renderer : "(unknown)");
    append(&out, "Driver:     %s\n", s.version ? s.version : "(unknown)");
    append(&out, "Window:     %d x %d pixels\n", s.width, s.height);
    append(
        &out,
        "Settings:   msaa_level %d, aniso_level %d, shadow_smooth %d (vsync and fps_limit off)\n",
        s.msaa_level, s.aniso_level, s.shadow_smooth);
    append(&out, "Frames:     %ld in %.1f s\n", r.frames, r.seconds);
    append(&out, "Frames per second: mean %.1f, minimum %.0f (slowest whole second)\n", r.mean_fps,
           r.min_fps);
    append(&out, "Frame time: p50 %.2f ms, p95 %.2f ms, p99 %.2f ms, longest %.2f ms\n", r.p50_ms,
           r.p95_ms, r.p99_ms, r.worst_ms);
    if (s.streamed)
        append(&out, "Terrain tiles built: %ld, %.1f a second\n", r.tiles_built,
               r.seconds > 0.0 ? r.tiles_built / r.seconds : 0.0);
    if (r.gpu_measured) {
        out += "GPU time per pass (mean, share of the frame):\n";
        double shares = 0.0;
        for (int p = 0; p < PASS_COUNT; p++) {
            append(&out, "  %s %8.2f ms %5.1f %%\n", pass_titles[p], r.pass_mean_ms[p],
                   100.0 * r.pass_share[p]);
            shares += r.pass_share[p];
        }
        if (shares > 1.0)
            out += "  (together over 100 %: the GL ran passes of two frames at once)\n";
    } else {
        append(&out, "GPU time per pass: not measured (%s)\n",
               s.gpu_note ? s.gpu_note : "no results came back");
    }
    append(&out, "Knoll score: %ld\n", runScore(r));
    return out;
}

std::string runCsv(const std::vector<FrameSample> &samples) {
    std::string out = "frame,tick,cpu_ms";
    for (const char *name : pass_names) append(&out, ",%s_ms", name);
    out += ",tiles_built\n";
    for (const FrameSample &s : samples) {
        append(&out, "%ld,%ld,%.3f", s.frame, s.tick, s.cpu_ms);
        for (double ms : s.pass_ms) {
            if (ms >= 0.0)
                append(&out, ",%.3f", ms);
            else
                out += ",";
        }
        append(&out, ",%d\n", s.tiles_built);
    }
    return out;
}

// ----------------------------------------------------------- GPU timers ----

int gpuTimerInit(void) {
    timer_available = gpuTimerSupported();
    timer_slot = 0;
    timer_open = -1;
    for (TimerFrame &f : timer_ring) {
        f = TimerFrame{};
        if (timer_available) glGenQueries(PASS_COUNT, f.query);
    }
    return timer_available;
}

int gpuTimerAvailable(void) { return timer_available; }

// Ends the pass being timed, if any: what follows is no pass.
static void gpuTimerPassEnd(void) {
    if (timer_open < 0) return;
    glEndQuery(GL_TIME_ELAPSED);
    timer_open = -1;
}

void gpuTimerFrameBegin(int timed) { timer_frame = timed; }

void gpuTimerPass(Pass pass) {
    if (!timer_available || !timer_frame) return;
    gpuTimerPassEnd();
    if (pass == PASS_COUNT) return;
    TimerFrame &f = timer_ring[timer_slot];
    glBeginQuery(GL_TIME_ELAPSED, f.query[pass]);
    f.issued[pass] = 1;
    timer_open = pass;
}

// Reads one frame's results into its sample once all are there; with wait
// set, asks until they are. Returns 1 when the slot is free afterwards.
static int collectSlot(TimerFrame *f, int wait) {
    if (!f->samples) return 1;
    for (int p = PASS_COUNT - 1; p >= 0; p--) {
        if (!f->issued[p]) continue;
        // Queries finish in order: the last one issued stands for all.
        GLuint ready = 0;
        do glGetQueryObjectuiv(f->query[p], GL_QUERY_RESULT_AVAILABLE, &ready);
        while (!ready && wait);
        if (!ready) return 0;
        break;
    }
    FrameSample &s = (*f->samples)[f->index];
    int disjoint = gpuTimerDisjoint();
    for (int p = 0; p < PASS_COUNT; p++) {
        GLuint ns = 0;
        if (f->issued[p]) glGetQueryObjectuiv(f->query[p], GL_QUERY_RESULT, &ns);
        s.pass_ms[p] = disjoint ? -1.0 : ns / 1e6;
        f->issued[p] = 0;
    }
    f->samples = NULL;
    return 1;
}

void gpuTimerFrameEnd(std::vector<FrameSample> *samples, size_t index) {
    for (double &ms : (*samples)[index].pass_ms) ms = -1.0;
    if (!timer_available || !timer_frame) return;
    gpuTimerPassEnd();
    TimerFrame &f = timer_ring[timer_slot];
    f.samples = samples;
    f.index = index;
    timer_slot = (timer_slot + 1) % TIMER_RING;
    TimerFrame &next = timer_ring[timer_slot];
    // The oldest frame's queries are needed now: without results yet, that
    // frame stays unmeasured.
    if (!collectSlot(&next, 0)) {
        next.samples = NULL;
        for (int &issued : next.issued) issued = 0;
    }
}

int gpuTimerCollect(int wait) {
    int pending = 0;
    for (int k = 1; k <= TIMER_RING; k++) {
        TimerFrame *f = &timer_ring[(timer_slot + k) % TIMER_RING];
        if (!collectSlot(f, wait)) pending++;
    }
    return pending;
}
