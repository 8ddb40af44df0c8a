#include "random.h"

#include <stdio.h>
#include <stdlib.h>

// ------------------------------------------------------------ functions ----

static uint32_t rotl(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

RandomState *randomNew(uint32_t seed) {
    RandomState *state = (RandomState *)malloc(sizeof(RandomState));
    if (!state) {
        fputs("Out of memory\n", stderr);
        abort();
    }
    state->a = 0xf1ea5eedu;
    state->b = state->c = state->d = seed;
    for (int i = 0; i < 20; i++) randomInt(state);
    return state;
}

uint32_t randomInt(RandomState *s) {
    uint32_t e = s->a - rotl(s->b, 27);
    s->a = s->b ^ rotl(s->c, 17);
    s->b = s->c + s->d;
    s->c = s->d + e;
    s->d = e + s->a;
    return s->d;
}

double randomDouble(RandomState *state) { return (double)randomInt(state) / 4294967295.0; }
