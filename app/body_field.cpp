#include "body_field.h"

#include <stdio.h>
#include <stdlib.h>

#include "input/input_state.h"

BodyField bodies;

namespace {

// The single-precision value nearest to 1/32767 (bit pattern 0x38000100).
const float kUnitScale = 1.0f / 32767.0f;

const int kPlayerStep = 4;  // pixels per frame per axis

int32_t WrappingAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace

int32_t BodyGenerator::Next() {
    s = WrappingAdd(s, t);
    t = WrappingAdd(t, u);
    u = WrappingAdd(u, s);
    ++draws;
    return s >> 16;  // arithmetic shift: the high half keeps its sign
}

void InitBodies() {
    BodyGenerator generator;
    for (Body& body : bodies) {
        const int32_t d1 = generator.Next();
        const int32_t d2 = generator.Next();
        const int32_t d3 = generator.Next();
        const int32_t d4 = generator.Next();
        const int32_t d5 = generator.Next();
        body.y = static_cast<float>(abs(d1) % 768);
        body.x = static_cast<float>(abs(d2) % 1024);
        body.vy = static_cast<float>(d3) * kUnitScale;
        body.vx = static_cast<float>(d4) * kUnitScale;
        // Two roundings on purpose: one constant of 12/32767 gives other bits.
        const float unitSpin = static_cast<float>(d5) * kUnitScale;
        body.spin = unitSpin * 12.0f;
        body.z = 0.0f;
        body.vz = 0.0f;
    }
}

void UpdateScene() {
    input.Sample(kJoystickAxisHigh, kJoystickAxisLow);

    for (int i = 1; i < kBodyCount; ++i) {
        Body& body = bodies[i];
        body.z = body.vz + body.z;
        body.y = body.y + body.vy;
        body.x = body.x + body.vx;
        body.angle = body.angle + body.spin;
        // Strict tests, false for NaN; the position is left outside for one frame.
        if (body.x > kFieldWidth || body.x < 0.0f) body.vx = -body.vx;
        if (body.y > kFieldHeight || body.y < 0.0f) body.vy = -body.vy;
    }

    printf("%d %d %d %d\n", input.vertical, input.horizontal, input.button1, input.button2);

    Body& player = bodies[0];
    player.z = player.z + player.vz;
    player.y = player.y + (player.vy - static_cast<float>(kPlayerStep * input.vertical));
    player.x = player.x + (static_cast<float>(kPlayerStep * input.horizontal) + player.vx);
    player.angle = player.angle + player.spin;
    player.vx = 0.0f;
    player.vy = 0.0f;
    player.vz = 0.0f;
}
