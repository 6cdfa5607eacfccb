#include "input_state.h"

#include <windows.h>
#include <mmsystem.h>

InputState input;

namespace {

const int kKeyDown = 0x8000;  // bit 15 of GetAsyncKeyState: the key is down now
const int kVirtualKeyX = 0x58;
const int kVirtualKeyZ = 0x5A;

bool IsDown(int virtualKey) {
    return (GetAsyncKeyState(virtualKey) & kKeyDown) != 0;
}

int32_t AxisDirection(UINT position, uint32_t high, uint32_t low) {
    return (position > high ? 1 : 0) - (position < low ? 1 : 0);
}

}  // namespace

InputState& InputState::Sample(uint32_t high, uint32_t low) {
    // Fill a local copy so the record never holds a mix of two samples.
    InputState next;
    if (IsDown(VK_UP)) {
        next.vertical = -1;
    } else {
        next.vertical = IsDown(VK_DOWN) ? 1 : 0;
    }
    if (IsDown(VK_LEFT)) {
        next.horizontal = -1;
    } else {
        next.horizontal = IsDown(VK_RIGHT) ? 1 : 0;
    }
    next.button1 = GetAsyncKeyState(kVirtualKeyZ) & kKeyDown;
    next.button2 = GetAsyncKeyState(kVirtualKeyX) & kKeyDown;

    JOYINFO joystick = {};
    if (joyGetPos(JOYSTICKID1, &joystick) == JOYERR_NOERROR) {
        if (next.horizontal == 0) next.horizontal = AxisDirection(joystick.wXpos, high, low);
        if (next.vertical == 0) next.vertical = AxisDirection(joystick.wYpos, high, low);
        if (next.button1 == 0) next.button1 = (joystick.wButtons & JOY_BUTTON1) ? 1 : 0;
        if (next.button2 == 0) next.button2 = (joystick.wButtons & JOY_BUTTON2) ? 1 : 0;
    }

    *this = next;
    return *this;
}
