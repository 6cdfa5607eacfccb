// The body field: seeding against reference values worked out once by hand, and the per-frame step.
#include <windows.h>

#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/body_field.h"
#include "harness/key_script.h"
#include "platform/testing.h"

namespace {

uint32_t Bits(float value) {
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Bit-for-bit equality, so that 0 and -0 differ and a NaN equals the same NaN.
#define EXPECT_SAME_FLOAT(expected, actual) \
    EXPECT_EQ(Bits(expected), Bits(actual)) << #actual << " is " << (actual) << ", expected " << (expected)

std::string Step() {
    testing::internal::CaptureStdout();
    UpdateScene();
    return testing::internal::GetCapturedStdout();
}
std::vector<float> Place(const Body& b) { return {b.x, b.y, b.angle}; }

// Each test starts from the program's start-up state (all zero), seeded once, with no keys held.
class BodyFieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        memset(bodies, 0, sizeof bodies);
        ReleaseProgramKeys();
        InitBodies();
    }
    void TearDown() override { PlatformResetForTests(); }
};

TEST_F(BodyFieldTest, SeedingMatchesTheReferenceField) {
    const struct { int index; std::vector<float> xyVxVySpin; } references[] = {
        {0, {20.0f, 3.0f, 0.0038758507f, 0.0016785180f, 0.10693686f}},
        {1, {552.0f, 677.0f, 0.26001769f, 0.11181982f, 7.2537613f}},
        {5, {240.0f, 677.0f, 0.174565881f, -0.937986374f, 4.33277416f}},  // float(d5) * (12 / 32767) gives 4.33277369
        {1023, {547.0f, 700.0f, -0.28107548f, 0.66295356f, 2.6723228f}}};
    for (const auto& r : references) {
        const Body& b = bodies[r.index];
        EXPECT_EQ(std::vector<float>({b.x, b.y, b.vx, b.vy, b.spin}), r.xyVxVySpin) << "body " << r.index;
    }
}

TEST_F(BodyFieldTest, StepsFromTheSeededField) {
    Body seeded[kBodyCount];
    memcpy(seeded, bodies, sizeof seeded);
    EXPECT_EQ("0 0 0 0\n", Step());
    EXPECT_EQ(Place(bodies[0]), (std::vector<float>{20.0038757f, 3.00167847f, 0.106936857f}));
    EXPECT_EQ(Place(bodies[1]), (std::vector<float>{552.26001f, 677.111816f, 7.2537613f}));
    EXPECT_EQ(std::vector<float>({bodies[127].x, bodies[127].vx}), std::vector<float>({-0.737998605f, 0.737998605f}))
        << "body 127, seeded at x = 0 drifting left, is left outside for one frame with vx flipped";
    int flips = 0, unmoved = 0;
    for (int i = 1; i < kBodyCount; ++i) {
        const Body &was = seeded[i], &is = bodies[i];
        flips += (was.vx != is.vx) + (was.vy != is.vy);
        unmoved += is.x != was.x + was.vx || is.y != was.y + was.vy || is.angle != was.spin;
    }
    EXPECT_EQ(1, flips) << "velocities flipped in the first step; only body 127's vx should be";
    EXPECT_EQ(0, unmoved) << "of bodies 1 to 1023, not moved by their velocity and turned by their spin";

    Step();
    EXPECT_EQ(Place(bodies[0]), (std::vector<float>{20.0038757f, 3.00167847f, 2.0f * 0.10693686f}))
        << "the seeded velocity is used only once; the player keeps turning by its spin";

    PlatformSetKeyForTests(VK_UP, true);
    PlatformSetKeyForTests(VK_LEFT, true);
    EXPECT_EQ("-1 -1 0 0\n", Step());
    EXPECT_EQ(Place(bodies[0]), (std::vector<float>{20.0038757f - 4.0f, 3.00167847f + 4.0f, 3.0f * 0.10693686f}));
}

TEST_F(BodyFieldTest, EdgesAreStrictSinglePrecisionAndNeverHitByNaN) {
    const float below0 = -nextafterf(0.0f, 1.0f);
    // Both velocities start at v; a bounce flips the sign bit, so a zero velocity becomes -0.
    const struct { const char* what; float x, y, v; bool bouncesX, bouncesY; } cases[] = {
        {"exactly on 1024 and 768", 1024.0f, 768.0f, 0.0f, false, false},
        {"exactly on 0 and 0", 0.0f, 0.0f, 0.0f, false, false},
        {"x just below 0, y just beyond 768", below0, nextafterf(768.0f, 2e3f), 0.0f, true, true},
        {"x just beyond 1024, y inside", nextafterf(1024.0f, 2e3f), 9.0f, 0.0f, true, false},
        {"x inside, y just below 0", 9.0f, below0, 0.0f, false, true},
        {"moves that round back onto 1024 and 768", 1024.0f, 768.0f, 1.0f / 32768.0f, false, false},
        {"NaN", nanf(""), nanf(""), 1.0f, false, false},
    };
    for (int i = 0; i < 7; ++i) bodies[1 + i] = Body{cases[i].x, cases[i].y, 0, cases[i].v, cases[i].v, 0, 0, 0};
    Step();
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_SAME_FLOAT(cases[i].bouncesX ? -cases[i].v : cases[i].v, bodies[1 + i].vx);
        EXPECT_SAME_FLOAT(cases[i].bouncesY ? -cases[i].v : cases[i].v, bodies[1 + i].vy);
    }
}

}  // namespace
