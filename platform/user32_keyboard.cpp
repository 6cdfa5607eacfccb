// USER32 keyboard state on Linux.
//  [X] GetAsyncKeyState: bit 15 (0x8000) while the key is down. On X11 the server's keymap is
//      read, which like Win32 is the system-wide state, focus or not; on other video drivers the
//      SDL keyboard state of the program's windows stands in for it.
//  [ ] Bit 0 (pressed since the last call) is never set.
//  [X] Virtual keys: letters, digits, the arrows, Escape, Space, Enter, Tab, Backspace, Shift,
//      Control, Alt and F1..F12.
#include <windows.h>

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <string.h>

#include <map>

#include "layer.h"
#include "testing.h"

namespace {

struct KeyName {
    int virtualKey;
    SDL_Keycode sdl;
    KeySym x11;
};

const KeyName kNamedKeys[] = {
    {VK_ESCAPE, SDLK_ESCAPE, XK_Escape}, {VK_SPACE, SDLK_SPACE, XK_space},
    {VK_LEFT, SDLK_LEFT, XK_Left},       {VK_UP, SDLK_UP, XK_Up},
    {VK_RIGHT, SDLK_RIGHT, XK_Right},    {VK_DOWN, SDLK_DOWN, XK_Down},
    {0x0D, SDLK_RETURN, XK_Return},      {0x09, SDLK_TAB, XK_Tab},
    {0x08, SDLK_BACKSPACE, XK_BackSpace}, {0x10, SDLK_LSHIFT, XK_Shift_L},
    {0x11, SDLK_LCTRL, XK_Control_L},    {0x12, SDLK_LALT, XK_Alt_L},
};

struct KeyboardState {
    std::map<int, bool> overrides;  // set by tests
    Display* display;               // our own connection for the server's keymap
    bool displayTried;
};
KeyboardState keyboard;

// Letters and digits share their codes with ASCII in all three namings (lower case in SDL and X11).
bool IsLetterOrDigit(int virtualKey) {
    return (virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9');
}

bool IsFunctionKey(int virtualKey) {
    return virtualKey >= 0x70 && virtualKey <= 0x7B;
}

SDL_Keycode SdlKeyOf(int virtualKey) {
    if (IsLetterOrDigit(virtualKey)) return virtualKey >= 'A' ? virtualKey - 'A' + 'a' : virtualKey;
    if (IsFunctionKey(virtualKey)) return SDLK_F1 + (virtualKey - 0x70);
    for (const KeyName& key : kNamedKeys) {
        if (key.virtualKey == virtualKey) return key.sdl;
    }
    return SDLK_UNKNOWN;
}

KeySym X11KeyOf(int virtualKey) {
    if (IsLetterOrDigit(virtualKey)) return virtualKey >= 'A' ? virtualKey - 'A' + XK_a : virtualKey;
    if (IsFunctionKey(virtualKey)) return XK_F1 + (virtualKey - 0x70);
    for (const KeyName& key : kNamedKeys) {
        if (key.virtualKey == virtualKey) return key.x11;
    }
    return NoSymbol;
}

Display* X11Display() {
    // Decided once the video driver is known.
    if (!keyboard.displayTried && SDL_WasInit(SDL_INIT_VIDEO)) {
        keyboard.displayTried = true;
        const char* driver = SDL_GetCurrentVideoDriver();
        if (driver != nullptr && strcmp(driver, "x11") == 0) keyboard.display = XOpenDisplay(nullptr);
    }
    return keyboard.display;
}

bool IsDownOnX11(Display* display, int virtualKey) {
    const KeySym symbol = X11KeyOf(virtualKey);
    if (symbol == NoSymbol) return false;
    const KeyCode code = XKeysymToKeycode(display, symbol);
    if (code == 0) return false;
    char keys[32];
    XQueryKeymap(display, keys);
    return (keys[code / 8] & (1 << (code % 8))) != 0;
}

bool IsDownInSdl(int virtualKey) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    const SDL_Keycode key = SdlKeyOf(virtualKey);
    if (key == SDLK_UNKNOWN) return false;
    SDL_PumpEvents();
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    const SDL_Scancode scancode = SDL_GetScancodeFromKey(key);
    return scancode > 0 && scancode < count && state[scancode] != 0;
}

}  // namespace

short WINAPI GetAsyncKeyState(int virtualKey) {
    bool down;
    auto overridden = keyboard.overrides.find(virtualKey);
    if (overridden != keyboard.overrides.end()) {
        down = overridden->second;
    } else if (Display* display = X11Display()) {
        down = IsDownOnX11(display, virtualKey);
    } else {
        down = IsDownInSdl(virtualKey);
    }
    return down ? static_cast<short>(0x8000) : 0;
}

int LayerVirtualKeyFromSdl(int sdlKeycode) {
    if (sdlKeycode >= 'a' && sdlKeycode <= 'z') return sdlKeycode - 'a' + 'A';
    if (sdlKeycode >= '0' && sdlKeycode <= '9') return sdlKeycode;
    if (sdlKeycode >= SDLK_F1 && sdlKeycode <= SDLK_F12) return 0x70 + (sdlKeycode - SDLK_F1);
    if (sdlKeycode == SDLK_RSHIFT) return 0x10;
    if (sdlKeycode == SDLK_RCTRL) return 0x11;
    if (sdlKeycode == SDLK_RALT) return 0x12;
    for (const KeyName& key : kNamedKeys) {
        if (key.sdl == sdlKeycode) return key.virtualKey;
    }
    return 0;
}

void PlatformSetKeyForTests(int virtualKey, bool down) {
    keyboard.overrides[virtualKey] = down;
}

void LayerResetKeyboard() {
    keyboard.overrides.clear();
    if (keyboard.display != nullptr) XCloseDisplay(keyboard.display);
    keyboard.display = nullptr;
    keyboard.displayTried = false;
}
