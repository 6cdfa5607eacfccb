// What the service areas share: SDL's one-time start-up, and the test reset that spans them all.
#include <SDL.h>

#include "layer.h"
#include "testing.h"
#include "wgl_font_outlines.h"

namespace {

struct SdlState {
    bool hintsSet;
};
SdlState sdl;

}  // namespace

bool LayerInitSdl(unsigned int subsystems) {
    if (!sdl.hintsSet) {
        sdl.hintsSet = true;
        // Ctrl+C and SIGTERM are the message queue's to turn into WM_CLOSE, not SDL's.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // joyGetPos reads the joystick whether or not the window has the focus.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        // Leave the desktop's compositor alone, as a Win32 window does.
        SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    }
    if ((SDL_WasInit(subsystems) & subsystems) == subsystems) return true;
    return SDL_InitSubSystem(subsystems) == 0;
}

void PlatformResetForTests() {
    LayerResetContexts();
    LayerResetWindows();
    LayerResetMessages();
    LayerResetKeyboard();
    LayerResetJoystick();
    LayerResetTime();
    LayerResetGdi();
    LayerResetFontOutlines();
}
