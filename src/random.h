// Bob Jenkins' small fast generator, 32-bit form: the one source of the
// program's random choices, seeded from the clock at start-up.
#pragma once

#include <stdint.h>

struct RandomState {
    uint32_t a, b, c, d;
};

// Allocates and seeds a state; the caller owns it.
RandomState *randomNew(uint32_t seed);

// Advances the state by one step.
uint32_t randomInt(RandomState *state);

// One step mapped onto [0, 1]; both ends can occur.
double randomDouble(RandomState *state);
