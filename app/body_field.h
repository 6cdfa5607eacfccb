// The body field: 1024 bodies in a fixed 1024 by 768 field, seeded by a fixed generator.
// Body 0 is the player; bodies 1 to 1023 drift, spin and bounce off the field's edges.
#ifndef BRIMVALK_BODY_FIELD_H
#define BRIMVALK_BODY_FIELD_H

#include <stdint.h>

#include <type_traits>

struct Body {
    float x, y, z;     // pixels from the bottom-left corner; z stays 0
    float vx, vy, vz;  // pixels per frame
    float angle;       // degrees, never wrapped
    float spin;        // degrees per frame
};
static_assert(sizeof(Body) == 32, "a body is eight single-precision floats");
static_assert(std::is_trivially_copyable<Body>::value, "bodies are copied and cleared as bytes");

const int kBodyCount = 1024;
const float kFieldWidth = 1024.0f;
const float kFieldHeight = 768.0f;

typedef Body BodyField[kBodyCount];

// The program's body field, zero at start, seeded once by InitBodies.
extern BodyField bodies;

// The seeding generator: three wrapping 32-bit sums, restarted for every seeding.
struct BodyGenerator {
    int32_t s = 1;
    int32_t t = 234567;
    int32_t u = 890123;
    uint32_t draws = 0;  // how many values have been drawn

    // One value in -32768..32767.
    int32_t Next();
};

// Seeds all 1024 bodies; each body's angle is kept.
void InitBodies();

// One simulation step: samples the input, moves and bounces bodies 1..1023,
// prints the input line and moves the player.
void UpdateScene();

#endif
