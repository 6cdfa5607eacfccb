// The body field: the seeded generator and field against reference values worked out once by
// hand, and the per-frame step (moves, strict edge bounces, the player, the input line).
#include <windows.h>

#include <gtest/gtest.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <limits>
#include <string>

#include "app/body_field.h"
#include "platform/testing.h"

namespace {

uint32_t Bits(float value) {
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

float FromBits(uint32_t bits) {
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

std::string Describe(float value) {
    char text[64];
    snprintf(text, sizeof text, "%.9g (bits 0x%08x)", static_cast<double>(value), Bits(value));
    return text;
}

// Bit-for-bit equality, so that 0 and -0 differ and a NaN equals the same NaN.
::testing::AssertionResult SameFloat(const char* expectedText, const char* actualText, float expected,
                                     float actual) {
    if (Bits(expected) == Bits(actual)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actualText << " is " << Describe(actual) << ", expected "
                                         << expectedText << " = " << Describe(expected);
}
#define EXPECT_SAME_FLOAT(expected, actual) EXPECT_PRED_FORMAT2(SameFloat, expected, actual)

std::string ShowBody(const Body& body) {
    return "{x " + Describe(body.x) + ", y " + Describe(body.y) + ", z " + Describe(body.z) + ", vx " +
           Describe(body.vx) + ", vy " + Describe(body.vy) + ", vz " + Describe(body.vz) + ", angle " +
           Describe(body.angle) + ", spin " + Describe(body.spin) + "}";
}

// The single-precision value nearest to 1/32767 that scales the draws.
const float kScale = FromBits(0x38000100);

const int kKeys[] = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, 'Z', 'X'};

struct ReferenceBody {
    int index;
    float x, y, vx, vy, spin;
    int32_t draws[5];
};

const ReferenceBody kReferenceBodies[] = {
    {0, 20.0f, 3.0f, 0.0038758507f, 0.0016785180f, 0.10693686f, {3, 20, 55, 127, 292}},
    {1, 552.0f, 677.0f, 0.26001769f, 0.11181982f, 7.2537613f, {677, 1576, 3664, 8520, 19807}},
    {2, 474.0f, 289.0f, -0.34516433f, -0.40562150f, -11.489853f, {-19489, -24026, -13291, -11310, -31374}},
    {1023, 547.0f, 700.0f, -0.28107548f, 0.66295356f, 2.6723228f, {16828, 12835, 21723, -9210, 7297}},
};

// Each test starts from the program's state at start-up (all zero), seeded once, with no keys held.
class BodyFieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        memset(bodies, 0, sizeof bodies);
        for (int key : kKeys) PlatformSetKeyForTests(key, false);
        InitBodies();
    }

    void TearDown() override { PlatformResetForTests(); }

    // One simulation step; returns what it printed.
    static std::string Step() {
        testing::internal::CaptureStdout();
        UpdateScene();
        return testing::internal::GetCapturedStdout();
    }
};

// --- The generator and the seeded field ---

TEST_F(BodyFieldTest, GeneratorDrawsMatchTheReferenceBodies) {
    // Body i takes draws 5i+1 .. 5i+5 of one fresh generator; body 1023's are the last of 5120,
    // late enough that the three sums have wrapped many times.
    BodyGenerator generator;
    for (int body = 0; body < kBodyCount; ++body) {
        int32_t draws[5];
        for (int32_t& draw : draws) draw = generator.Next();
        for (const ReferenceBody& reference : kReferenceBodies) {
            if (reference.index != body) continue;
            for (int k = 0; k < 5; ++k) {
                EXPECT_EQ(reference.draws[k], draws[k]) << "body " << body << ", draw d" << (k + 1);
            }
        }
    }
    EXPECT_EQ(5120u, generator.draws) << "draws counted for one seeding of 1024 bodies";

    // A new generator starts over.
    BodyGenerator again;
    EXPECT_EQ(3, again.Next()) << "first draw of a fresh generator";
}

TEST_F(BodyFieldTest, ReferenceBodiesAreSeededExactly) {
    for (const ReferenceBody& reference : kReferenceBodies) {
        SCOPED_TRACE("body " + std::to_string(reference.index));
        const Body& body = bodies[reference.index];
        EXPECT_SAME_FLOAT(reference.x, body.x);
        EXPECT_SAME_FLOAT(reference.y, body.y);
        EXPECT_SAME_FLOAT(reference.vx, body.vx);
        EXPECT_SAME_FLOAT(reference.vy, body.vy);
        EXPECT_SAME_FLOAT(reference.spin, body.spin);
        EXPECT_SAME_FLOAT(0.0f, body.z);
        EXPECT_SAME_FLOAT(0.0f, body.vz);
        EXPECT_SAME_FLOAT(0.0f, body.angle);
    }
}

TEST_F(BodyFieldTest, WholeFieldTotals) {
    int64_t sumX = 0;
    int64_t sumY = 0;
    int negativeVx = 0;
    int nonZeroDepthOrAngle = 0;
    int outsideOrFractional = 0;
    for (const Body& body : bodies) {
        sumX += static_cast<int64_t>(body.x);
        sumY += static_cast<int64_t>(body.y);
        if (body.vx < 0.0f) ++negativeVx;
        if (Bits(body.z) != 0 || Bits(body.vz) != 0 || Bits(body.angle) != 0) ++nonZeroDepthOrAngle;
        if (body.x != floorf(body.x) || body.x < 0.0f || body.x > 1023.0f || body.y != floorf(body.y) ||
            body.y < 0.0f || body.y > 767.0f) {
            ++outsideOrFractional;
        }
    }
    EXPECT_EQ(521560, sumX) << "sum of the seeded x values";
    EXPECT_EQ(399080, sumY) << "sum of the seeded y values";
    EXPECT_EQ(530, negativeVx) << "bodies seeded with a negative vx";
    EXPECT_EQ(0, nonZeroDepthOrAngle) << "bodies with z, vz or angle other than +0";
    EXPECT_EQ(0, outsideOrFractional) << "bodies not on a whole pixel of the 1024 by 768 field";
}

TEST_F(BodyFieldTest, SpinIsRoundedAfterEachProduct) {
    // Scaling by one constant 12/32767 instead of by 1/32767 and then 12 changes the last bit of
    // 274 spins, none of them among the reference bodies.
    const float scaleTimesTwelve = kScale * 12.0f;
    BodyGenerator generator;
    int differing = 0;
    for (int i = 0; i < kBodyCount; ++i) {
        int32_t d5 = 0;
        for (int k = 0; k < 5; ++k) d5 = generator.Next();
        if (Bits(static_cast<float>(d5) * scaleTimesTwelve) != Bits(bodies[i].spin)) ++differing;
    }
    EXPECT_EQ(274, differing) << "spins that differ from float(d5) * (C * 12)";
}

TEST_F(BodyFieldTest, ReseedingKeepsAnglesAndRestoresTheRest) {
    Body seeded[kBodyCount];
    memcpy(seeded, bodies, sizeof seeded);
    for (int frame = 0; frame < 3; ++frame) Step();
    float angles[kBodyCount];
    for (int i = 0; i < kBodyCount; ++i) angles[i] = bodies[i].angle;
    ASSERT_NE(Bits(0.0f), Bits(angles[1])) << "body 1 should have turned in three frames";

    InitBodies();

    int mismatched = 0;
    for (int i = 0; i < kBodyCount; ++i) {
        Body expected = seeded[i];
        expected.angle = angles[i];  // seeding does not write the angle
        if (memcmp(&expected, &bodies[i], sizeof expected) == 0) continue;
        if (++mismatched == 1) {
            ADD_FAILURE() << "body " << i << " after reseeding is " << ShowBody(bodies[i]) << ", expected "
                          << ShowBody(expected);
        }
    }
    EXPECT_EQ(0, mismatched) << "bodies not back at their seeded values with their angle kept";
}

// --- The per-frame step ---

TEST_F(BodyFieldTest, PlayerMovesOnceBySeededVelocityThenOnlyTurns) {
    EXPECT_EQ("0 0 0 0\n", Step()) << "input line with no keys and no joystick";
    const Body& player = bodies[0];
    EXPECT_SAME_FLOAT(20.0038757f, player.x);
    EXPECT_SAME_FLOAT(3.00167847f, player.y);
    EXPECT_SAME_FLOAT(0.106936857f, player.angle);
    EXPECT_SAME_FLOAT(0.0f, player.vx);
    EXPECT_SAME_FLOAT(0.0f, player.vy);
    EXPECT_SAME_FLOAT(0.0f, player.vz);
    EXPECT_SAME_FLOAT(0.10693686f, player.spin) << "the player's spin is never cleared";

    for (int frame = 2; frame <= 4; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        const float angleBefore = player.angle;
        Step();
        EXPECT_SAME_FLOAT(20.0038757f, player.x);
        EXPECT_SAME_FLOAT(3.00167847f, player.y);
        EXPECT_SAME_FLOAT(angleBefore + 0.10693686f, player.angle);
    }
}

TEST_F(BodyFieldTest, DriftingBodyMovesByItsVelocity) {
    Step();
    const Body& body = bodies[1];
    EXPECT_SAME_FLOAT(552.26001f, body.x);
    EXPECT_SAME_FLOAT(677.111816f, body.y);
    EXPECT_SAME_FLOAT(7.2537613f, body.angle);
    EXPECT_SAME_FLOAT(0.26001769f, body.vx) << "no bounce inside the field";
    EXPECT_SAME_FLOAT(0.11181982f, body.vy) << "no bounce inside the field";
}

TEST_F(BodyFieldTest, BodyOnTheLeftEdgeBouncesOnceAndComesBack) {
    // Body 127 is the one body seeded at x = 0, drifting left.
    const float seededVx = bodies[127].vx;
    EXPECT_SAME_FLOAT(0.0f, bodies[127].x);
    EXPECT_SAME_FLOAT(-0.737998605f, seededVx);

    Body before[kBodyCount];
    memcpy(before, bodies, sizeof before);
    Step();
    EXPECT_SAME_FLOAT(-0.737998605f, bodies[127].x) << "outside the field for one frame, not clamped";
    EXPECT_SAME_FLOAT(-seededVx, bodies[127].vx) << "vx flipped";

    // The only bounce of the first frame: no other velocity changed its sign.
    for (int i = 1; i < kBodyCount; ++i) {
        if (i == 127) continue;
        EXPECT_EQ(Bits(before[i].vx), Bits(bodies[i].vx)) << "vx of body " << i << " changed in the first frame";
        EXPECT_EQ(Bits(before[i].vy), Bits(bodies[i].vy)) << "vy of body " << i << " changed in the first frame";
    }

    Step();
    EXPECT_SAME_FLOAT(0.0f, bodies[127].x) << "back exactly on the edge";
    EXPECT_SAME_FLOAT(-seededVx, bodies[127].vx) << "exactly on the edge is inside: no second flip";
}

TEST_F(BodyFieldTest, EdgesAreStrictAndTestedInSinglePrecision) {
    struct EdgeCase {
        const char* what;
        float x, vx, y, vy;
        bool bouncesX, bouncesY;
    };
    const float above1024 = nextafterf(1024.0f, 2048.0f);
    const float above768 = nextafterf(768.0f, 2048.0f);
    const float belowZero = -std::numeric_limits<float>::denorm_min();
    const EdgeCase cases[] = {
        {"x exactly 1024", 1024.0f, 0.0f, 100.0f, 0.0f, false, false},
        {"x exactly 0", 0.0f, 0.0f, 100.0f, 0.0f, false, false},
        {"x at -0", -0.0f, 0.0f, 100.0f, 0.0f, false, false},
        {"x one step above 1024", above1024, 0.0f, 100.0f, 0.0f, true, false},
        {"x the smallest amount below 0", belowZero, 0.0f, 100.0f, 0.0f, true, false},
        {"moving onto x = 1024", 1023.5f, 0.5f, 100.0f, 0.0f, false, false},
        // 1024 + 2^-14 rounds back to 1024 in single precision; wider arithmetic would see it outside.
        {"a move too small to leave 1024", 1024.0f, 1.0f / 16384.0f, 100.0f, 0.0f, false, false},
        {"y exactly 768", 100.0f, 0.0f, 768.0f, 0.0f, false, false},
        {"y exactly 0", 100.0f, 0.0f, 0.0f, 0.0f, false, false},
        {"y one step above 768", 100.0f, 0.0f, above768, 0.0f, false, true},
        {"y the smallest amount below 0", 100.0f, 0.0f, belowZero, 0.0f, false, true},
        {"both edges at once", above1024, 0.0f, belowZero, 0.0f, true, true},
    };
    const int count = static_cast<int>(sizeof cases / sizeof cases[0]);
    for (int i = 0; i < count; ++i) {
        Body& body = bodies[1 + i];
        body.x = cases[i].x;
        body.vx = cases[i].vx;
        body.y = cases[i].y;
        body.vy = cases[i].vy;
    }
    Step();
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(cases[i].what);
        const Body& body = bodies[1 + i];
        // A flip is a change of sign bit; a zero velocity flips to -0.
        const float expectedVx = cases[i].bouncesX ? -cases[i].vx : cases[i].vx;
        const float expectedVy = cases[i].bouncesY ? -cases[i].vy : cases[i].vy;
        EXPECT_SAME_FLOAT(expectedVx, body.vx);
        EXPECT_SAME_FLOAT(expectedVy, body.vy);
        if (cases[i].bouncesX && cases[i].vx == 0.0f) {
            EXPECT_TRUE(signbit(body.vx)) << "a negated zero vx should be -0, got " << Describe(body.vx);
            EXPECT_EQ(0.0f, body.vx) << "-0 is still zero";
        }
    }
}

TEST_F(BodyFieldTest, NaNPositionNeverBounces) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    bodies[1].x = nan;
    bodies[1].vx = 1.0f;
    bodies[2].y = nan;
    bodies[2].vy = -1.0f;
    Step();
    EXPECT_TRUE(isnan(bodies[1].x)) << "x stays NaN, got " << Describe(bodies[1].x);
    EXPECT_SAME_FLOAT(1.0f, bodies[1].vx);
    EXPECT_TRUE(isnan(bodies[2].y)) << "y stays NaN, got " << Describe(bodies[2].y);
    EXPECT_SAME_FLOAT(-1.0f, bodies[2].vy);
}

TEST_F(BodyFieldTest, ArrowKeysMoveThePlayerFourPixelsPerFrame) {
    Step();  // the seeded velocity is used up in the first frame
    struct KeyCase {
        const char* what;
        int keys[2];
        const char* line;
        float dx, dy;
    };
    const KeyCase cases[] = {
        {"up and left", {VK_UP, VK_LEFT}, "-1 -1 0 0\n", -4.0f, 4.0f},
        {"down and right", {VK_DOWN, VK_RIGHT}, "1 1 0 0\n", 4.0f, -4.0f},
        {"up alone", {VK_UP, 0}, "-1 0 0 0\n", 0.0f, 4.0f},
        {"Z", {'Z', 0}, "0 0 32768 0\n", 0.0f, 0.0f},
        {"X", {'X', 0}, "0 0 0 32768\n", 0.0f, 0.0f},
    };
    const Body& player = bodies[0];
    for (const KeyCase& keyCase : cases) {
        SCOPED_TRACE(keyCase.what);
        for (int key : keyCase.keys) {
            if (key != 0) PlatformSetKeyForTests(key, true);
        }
        for (int frame = 1; frame <= 2; ++frame) {
            SCOPED_TRACE("frame " + std::to_string(frame) + " with the keys held");
            const float x = player.x;
            const float y = player.y;
            EXPECT_EQ(keyCase.line, Step());
            EXPECT_SAME_FLOAT(x + keyCase.dx, player.x);
            EXPECT_SAME_FLOAT(y + keyCase.dy, player.y);
        }
        for (int key : keyCase.keys) {
            if (key != 0) PlatformSetKeyForTests(key, false);
        }
    }
}

}  // namespace
