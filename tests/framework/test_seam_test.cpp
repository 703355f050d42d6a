// The one shape of every test seam: a Seam that the product calls, and a
// ScopedOverride that puts back what was there before.
#include <gtest/gtest.h>

#include "framework/test_seam.h"

namespace {

using Step = int (*)(int);

int Real(int value)
{
    return value + 1;
}
int First(int value)
{
    return value * 10;
}
int Second(int value)
{
    return -value;
}

Seam<Step> g_step(&Real);

// A stand-in that answers some calls itself and passes the rest on.
int OnlyZero(int value)
{
    return value == 0 ? 42 : g_step.real()(value);
}

TEST(TestSeam, AnOverrideLastsItsScopeAndOverridesNest)
{
    EXPECT_EQ(3, g_step(2)) << "the real function is in place from the start";
    {
        ScopedOverride<Step> first(g_step, &First);
        EXPECT_EQ(20, g_step(2));
        {
            ScopedOverride<Step> second(g_step, &Second);
            EXPECT_EQ(-2, g_step(2));
            EXPECT_EQ(&Real, g_step.real()) << "the real function is the real one in any override";
        }
        EXPECT_EQ(20, g_step(2)) << "the inner override's end put back the outer one, not the real one";
        {
            ScopedOverride<Step> real(g_step, nullptr);
            EXPECT_EQ(3, g_step(2)) << "a null override stands for the real function";
        }
        EXPECT_EQ(20, g_step(2));
    }
    EXPECT_EQ(3, g_step(2));
}

TEST(TestSeam, AStandInPassesTheCallsItDoesNotAnswerToTheRealFunction)
{
    ScopedOverride<Step> override(g_step, &OnlyZero);
    EXPECT_EQ(42, g_step(0));
    EXPECT_EQ(8, g_step(7));
}

} // namespace
