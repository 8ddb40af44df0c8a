// Knoll's entry: start-up in its fixed order, then the fixed-step loop.
#include <GLFW/glfw3.h>
#include <stdio.h>

#include "app.h"
#include "config.h"
#include "graph_init.h"
#include "graph_state.h"
#include "platform.h"

// ------------------------------------------------------------ functions ----

static void runLoop(void) {
    LoopClock clock = loopStart(glfwGetTime(), fps_limit);
    while (!glfwWindowShouldClose(window)) {
        double now = glfwGetTime();
        LoopTurn turn = loopAdvance(&clock, now, mode);
        cameraLook();
        for (int i = 0; i < turn.ticks; i++) tick();
        if (turn.draw) {
            updateFps(now);
            draw(turn.fraction);
        }
        if (turn.leave_logo) mode = MODE_RUNNING;
        windowWaitEvents(loopWait(&clock, now, glfwGetTime()));
    }
}

// Ends a failed start-up: the message goes to error.log and, where a user may
// have no terminal, before their eyes. GLFW is closed on every way out: a
// context left alive at exit keeps Mesa's rasterizer threads running while
// the driver is unloaded. Returns the exit status, 1.
static int failStartup(const char *message) {
    fprintf(stderr, "%s\n", message);
    glfwTerminate();
    reportStartupFailure(message);
    return 1;
}

// Start-up and the loop. Returns the exit status.
static int run(void) {
    // Should error.log not open, diagnostics are lost and the program goes on.
    logOpen("error.log");
    // Image decoding needs no window: it runs while the window opens.
    graphicsDecodeAhead();
    if (configInit() != 0) return failStartup("Config init failed!");
    if (windowInit() != 0) return failStartup("Window init failed!");
    random_state = randomNew((uint32_t)(int64_t)(glfwGetTime() * 1048576.0));
    if (graphicsInit() != 0) return failStartup("Graphics init failed!");
    int width, height;
    glfwGetFramebufferSize(window, &width, &height);
    graphicsViewport(width, height);
    if (terrainInit() != 0) return failStartup("Graphics init failed!");

    runLoop();
    glfwTerminate();
    return 0;
}

// An option is answered before anything is opened or written.
int main(int argc, char **argv) {
    int status = configCommandLine(argc, argv);
    if (status != OPTIONS_RUN) return status;
    processExit(run());
}
