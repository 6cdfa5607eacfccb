// The input sampler: keyboard and joystick 1 combined into four values, keyboard first.
#ifndef BRIMVALK_INPUT_STATE_H
#define BRIMVALK_INPUT_STATE_H

#include <stdint.h>

struct InputState {
    int32_t vertical;    // -1 up, +1 down, 0 neither
    int32_t horizontal;  // -1 left, +1 right, 0 neither
    int32_t button1;     // 32768 from Z, 1 from joystick button 1 alone, else 0
    int32_t button2;     // 32768 from X, 1 from joystick button 2 alone, else 0

    // Samples the keyboard, then lets joystick 1 fill in what the keyboard left at zero.
    // An axis counts as deflected strictly above `high` or strictly below `low`.
    InputState& Sample(uint32_t high, uint32_t low);
};

// The thresholds the simulation step samples with. On joyGetPos's 0..65535, 49152 and above or
// 16382 and below count as deflected: the outer quarter of the range at either end.
const uint32_t kJoystickAxisHigh = 0xBFFF;  // 49151
const uint32_t kJoystickAxisLow = 0x3FFF;   // 16383

// The program's one input record, written once per frame by the simulation step.
extern InputState input;

#endif
