// The small fast generator: known sequences and the ends of randomDouble.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "random.h"

namespace {

uint32_t rotl(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

// A state whose next randomInt is want: b, c and d are free, and a follows
// from running the step backwards (d' = e + a', e = a - rotl(b, 27)).
RandomState stateYielding(uint32_t want, uint32_t b, uint32_t c, uint32_t d) {
    uint32_t next_a = b ^ rotl(c, 17);
    uint32_t e = want - next_a;
    return {e + rotl(b, 27), b, c, d};
}

}  // namespace

TEST(RandomTest, RandomKnownSequences) {
    RandomState *zero = randomNew(0);
    EXPECT_EQ(randomInt(zero), 446393351u);
    EXPECT_EQ(randomInt(zero), 2589264021u);
    EXPECT_EQ(randomInt(zero), 4046186614u);

    RandomState *one = randomNew(1);
    EXPECT_EQ(randomInt(one), 2723230452u);
    EXPECT_EQ(randomInt(one), 519702369u);
    EXPECT_EQ(randomInt(one), 858478259u);

    // randomDouble takes the same step.
    RandomState *unit = randomNew(1);
    EXPECT_EQ(randomDouble(unit), 2723230452u / 4294967295.0);
    EXPECT_EQ(randomInt(unit), 519702369u);
    free(zero);
    free(one);
    free(unit);
}

TEST(RandomTest, RandomDoubleReachesBothEnds) {
    RandomState top = stateYielding(0xffffffffu, 0x12345678u, 0x9abcdef0u, 0x0badf00du);
    RandomState check = top;
    ASSERT_EQ(randomInt(&check), 0xffffffffu);
    EXPECT_EQ(randomDouble(&top), 1.0);

    RandomState bottom = stateYielding(0u, 7u, 11u, 13u);
    check = bottom;
    ASSERT_EQ(randomInt(&check), 0u);
    EXPECT_EQ(randomDouble(&bottom), 0.0);

    RandomState *state = randomNew(12345);
    double sum = 0.0;
    const int n = 100000;
    for (int i = 0; i < n; i++) {
        double d = randomDouble(state);
        ASSERT_GE(d, 0.0);
        ASSERT_LE(d, 1.0);
        sum += d;
    }
    EXPECT_NEAR(sum / n, 0.5, 0.01);
    free(state);
}
