// What the desktop systems, POSIX and Windows alike, answer in the platform
// layer: threads of its own, a loop that runs its turns back to back, and no
// settings from outside config.txt.
#include <stdlib.h>

#include "platform.h"

// ------------------------------------------------------------ functions ----

int workerThreads(void) { return 1; }

void runLoop(const LoopHooks *hooks) {
    while (hooks->turn()) {
    }
    hooks->finish();
    abort();  // finish ends the process
}

const char *settingOverrides(void) { return NULL; }

void settingsInForce(const char *table) { (void)table; }

void startupFrameShown(void) {}

void startupDone(void) {}

double inputEventTime(void) { return -1.0; }
