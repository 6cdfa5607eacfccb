// WINMM joystick position on Linux, from SDL's joysticks.
//  [X] joyGetPos(JOYSTICKID1 ...): the SDL joystick with that device index; axes 0, 1 and 2 from
//      -32768..32767 to 0..65535 (X, Y, Z; a missing axis reads 0), buttons 1 to 32 as JOY_BUTTON
//      bits. Plugging in and unplugging while running both work: an unplugged joystick gives
//      JOYERR_UNPLUGGED and the next one plugged in is picked up.
//  [ ] No calibration or dead zone: values are SDL's raw axis values, shifted.
#include <windows.h>
#include <mmsystem.h>

#include <SDL.h>

#include "layer.h"
#include "testing.h"

namespace {

const UINT kMaxJoysticks = 16;

struct JoystickState {
    SDL_Joystick* open[kMaxJoysticks];
};
JoystickState joysticks;

UINT AxisPosition(SDL_Joystick* joystick, int axis) {
    if (axis >= SDL_JoystickNumAxes(joystick)) return 0;
    return static_cast<UINT>(static_cast<int>(SDL_JoystickGetAxis(joystick, axis)) + 32768);
}

}  // namespace

MMRESULT WINAPI joyGetPos(UINT joystickId, LPJOYINFO info) {
    if (info == nullptr || joystickId >= kMaxJoysticks) return JOYERR_PARMS;
    if (!LayerInitSdl(SDL_INIT_JOYSTICK)) return JOYERR_UNPLUGGED;
    SDL_JoystickUpdate();  // also notices joysticks plugged in or pulled out

    SDL_Joystick*& joystick = joysticks.open[joystickId];
    if (joystick != nullptr && !SDL_JoystickGetAttached(joystick)) {
        SDL_JoystickClose(joystick);
        joystick = nullptr;
    }
    if (joystick == nullptr) {
        if (static_cast<int>(joystickId) >= SDL_NumJoysticks()) return JOYERR_UNPLUGGED;
        joystick = SDL_JoystickOpen(static_cast<int>(joystickId));
        if (joystick == nullptr) return JOYERR_UNPLUGGED;
    }

    info->wXpos = AxisPosition(joystick, 0);
    info->wYpos = AxisPosition(joystick, 1);
    info->wZpos = AxisPosition(joystick, 2);
    info->wButtons = 0;
    const int buttons = SDL_JoystickNumButtons(joystick);
    for (int i = 0; i < buttons && i < 32; ++i) {
        if (SDL_JoystickGetButton(joystick, i)) info->wButtons |= 1u << i;
    }
    return JOYERR_NOERROR;
}

void LayerResetJoystick() {
    for (SDL_Joystick*& joystick : joysticks.open) {
        if (joystick != nullptr) SDL_JoystickClose(joystick);
        joystick = nullptr;
    }
}
