#include "graph_decode.h"

#include <stdlib.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <stb_image.h>

#include "platform.h"

// ------------------------------------------------------------ constants ----

// Decoded images held beyond the one being uploaded: enough that the GL
// thread never waits for one (measured: 16 ahead, no wait; 8 ahead, some 7 ms
// of waiting), few enough to keep memory to some 16 MB.
static const int LOOKAHEAD = 16;

// ---------------------------------------------------------------- types ----

struct Decoded {
    bool begun = false, ready = false, taken = false;
    uint8_t *pixels = nullptr;
    int width = 0, height = 0;
    const char *reason = nullptr;
};

// ---------------------------------------------------------------- state ----

static std::mutex lock;
static std::condition_variable changed;
// One worker: decoding all images takes less time than the GL thread's own
// start-up work, and a second worker only competes with the GL thread and
// the driver's threads for the cores (the GL thread waited some 28 ms with
// two workers on two cores, 7 ms with one).
static std::thread decoder;
static const DecodeJob *queue;
static std::vector<Decoded> slots;
static int next_job;    // the first job the worker has not begun
static int first_open;  // the first job not yet taken
static bool stopping;
static int unlisted;

// ------------------------------------------------------------ functions ----

static uint8_t *decodeNow(Blob blob, int channels, int *width, int *height, const char **reason) {
    int in_file;
    *width = *height = 0;
    uint8_t *pixels =
        stbi_load_from_memory(blob.data, blob.size, width, height, &in_file, channels);
    *reason = pixels ? nullptr : stbi_failure_reason();
    return pixels;
}

// Under lock: the next job to begin, or -1 when the worker should wait.
static int nextJob(void) {
    while (next_job < (int)slots.size() && slots[next_job].taken) next_job++;
    if (next_job >= (int)slots.size() || next_job > first_open + LOOKAHEAD) return -1;
    slots[next_job].begun = true;
    return next_job++;
}

static void worker(void) {
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        int job = -1;
        changed.wait(held, [&] {
            return stopping || next_job >= (int)slots.size() || (job = nextJob()) >= 0;
        });
        if (job < 0) return;
        held.unlock();
        Decoded done;
        done.pixels = decodeNow(queue[job].blob, queue[job].channels, &done.width, &done.height,
                                &done.reason);
        held.lock();
        slots[job].pixels = done.pixels;
        slots[job].width = done.width;
        slots[job].height = done.height;
        slots[job].reason = done.reason;
        slots[job].ready = true;
        changed.notify_all();
    }
}

void decodeAheadStart(const DecodeJob *jobs, int count) {
    std::lock_guard<std::mutex> held(lock);
    // Without threads every image decodes on the GL thread as it is taken.
    if (decoder.joinable() || !workerThreads()) return;
    // A start-up that ends early must not leave running threads to exit().
    static bool stop_at_exit = atexit(decodeAheadStop) == 0;
    (void)stop_at_exit;
    queue = jobs;
    slots.assign((size_t)count, Decoded());
    next_job = first_open = 0;
    stopping = false;
    unlisted = 0;
    decoder = std::thread(worker);
}

// Under lock: the earliest untaken listed job for blob and channels, or -1.
static int findJob(Blob blob, int channels) {
    for (int i = first_open; i < (int)slots.size(); i++)
        if (!slots[i].taken && queue[i].blob.data == blob.data && queue[i].channels == channels)
            return i;
    return -1;
}

// Under lock: job is handed out; the worker may run further ahead.
static void markTaken(int job) {
    slots[job].taken = true;
    while (first_open < (int)slots.size() && slots[first_open].taken) first_open++;
    changed.notify_all();
}

uint8_t *decodeAheadTake(Blob blob, int channels, int *width, int *height, const char **reason) {
    std::unique_lock<std::mutex> held(lock);
    int job = decoder.joinable() ? findJob(blob, channels) : -1;
    if (job < 0) unlisted++;
    if (job < 0 || !slots[job].begun) {
        // The worker has not begun it: claim it and decode it here.
        if (job >= 0) markTaken(job);
        held.unlock();
        return decodeNow(blob, channels, width, height, reason);
    }
    changed.wait(held, [&] { return slots[job].ready; });
    markTaken(job);
    const Decoded &d = slots[job];
    *width = d.width;
    *height = d.height;
    *reason = d.reason;
    return d.pixels;
}

void decodeAheadStop(void) {
    {
        std::lock_guard<std::mutex> held(lock);
        stopping = true;
        changed.notify_all();
    }
    if (decoder.joinable()) decoder.join();
    for (Decoded &d : slots)
        if (d.ready && !d.taken) stbi_image_free(d.pixels);
    slots.clear();
}

int decodeAheadUnlisted(void) {
    std::lock_guard<std::mutex> held(lock);
    return unlisted;
}
