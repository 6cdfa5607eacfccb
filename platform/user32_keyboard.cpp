// USER32 keyboard state on Linux.
//  [X] GetAsyncKeyState: bit 15 (0x8000) while the key is down. On X11 the layer keeps the
//      system-wide state, like Win32's, focus or not: read once from the server's keymap, then
//      kept by XInput 2 raw key events from the root window, taken from our own connection
//      without a round trip per call. A server without XInput 2 has its keymap read each call.
//      On other video drivers the SDL keyboard state of the program's windows stands in for it.
//  [ ] Bit 0 (pressed since the last call) is never set.
//  [X] Beside Win32: the raw key events, with the server's time, reach a hook (raw_keys.h) as they
//      are taken, so that a tool can time a key against the frames that show it.
//  [X] Virtual keys: letters, digits, the arrows, Escape, Space, Enter, Tab, Backspace, Shift,
//      Control, Alt and F1..F12.
#include <windows.h>

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>
#include <string.h>

#include <map>

#include "layer.h"
#include "raw_keys.h"
#include "testing.h"
#include "win32_names.h"

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
    {VK_RETURN, SDLK_RETURN, XK_Return},  {VK_TAB, SDLK_TAB, XK_Tab},
    {VK_BACK, SDLK_BACKSPACE, XK_BackSpace}, {VK_SHIFT, SDLK_LSHIFT, XK_Shift_L},
    {VK_CONTROL, SDLK_LCTRL, XK_Control_L}, {VK_MENU, SDLK_LALT, XK_Alt_L},
};

struct KeyboardState {
    std::map<int, bool> overrides;  // set by tests
    Display* display;               // our own connection for the server's keymap
    bool displayTried;
    int rawOpcode;                  // XInput's major opcode when raw key events are selected, else 0
    unsigned long rawSince;         // raw events older than this request are already in `down`
    bool down[256];                 // by X key code, while raw key events keep it
    int source;                     // tests: 1 the keymap at each call, 2 SDL's state, 0 as the server allows
    void (*rawHook)(unsigned int keycode, bool pressed, unsigned long serverMs);
};
KeyboardState keyboard;

// Letters and digits share their codes with ASCII in all three namings (lower case in SDL and X11).
bool IsLetterOrDigit(int virtualKey) {
    return (virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9');
}

bool IsFunctionKey(int virtualKey) {
    return virtualKey >= VK_F1 && virtualKey <= VK_F12;
}

SDL_Keycode SdlKeyOf(int virtualKey) {
    if (IsLetterOrDigit(virtualKey)) return virtualKey >= 'A' ? virtualKey - 'A' + 'a' : virtualKey;
    if (IsFunctionKey(virtualKey)) return SDLK_F1 + (virtualKey - VK_F1);
    for (const KeyName& key : kNamedKeys) {
        if (key.virtualKey == virtualKey) return key.sdl;
    }
    return SDLK_UNKNOWN;
}

KeySym X11KeyOf(int virtualKey) {
    if (IsLetterOrDigit(virtualKey)) return virtualKey >= 'A' ? virtualKey - 'A' + XK_a : virtualKey;
    if (IsFunctionKey(virtualKey)) return XK_F1 + (virtualKey - VK_F1);
    for (const KeyName& key : kNamedKeys) {
        if (key.virtualKey == virtualKey) return key.x11;
    }
    return NoSymbol;
}

// Asks for every key press and release on the server, from any keyboard, whichever window has
// the focus, and takes the keymap as it stands once they are asked for.
void SelectRawKeys(Display* display) {
    int opcode = 0, firstEvent = 0, firstError = 0;
    if (keyboard.source == 1 || !XQueryExtension(display, "XInputExtension", &opcode, &firstEvent, &firstError)) return;
    int major = 2, minor = 2;  // from 2.1 raw events reach every client that selects them
    if (XIQueryVersion(display, &major, &minor) != Success || major < 2 || (major == 2 && minor < 1)) return;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask = {XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    if (XISelectEvents(display, DefaultRootWindow(display), &mask, 1) != Success) return;
    // Events the server sends before it answers the keymap request are in the keymap already.
    keyboard.rawSince = NextRequest(display);
    char keys[32];
    XQueryKeymap(display, keys);
    for (int code = 0; code < 256; ++code) keyboard.down[code] = (keys[code / 8] & (1 << (code % 8))) != 0;
    keyboard.rawOpcode = opcode;
}

Display* X11Display() {
    // Decided once the video driver is known.
    if (!keyboard.displayTried && SDL_WasInit(SDL_INIT_VIDEO)) {
        keyboard.displayTried = true;
        const char* driver = SDL_GetCurrentVideoDriver();
        if (driver != nullptr && strcmp(driver, "x11") == 0) keyboard.display = XOpenDisplay(nullptr);
        if (keyboard.display != nullptr) SelectRawKeys(keyboard.display);
    }
    return keyboard.display;
}

// Applies the raw key events that have arrived, reading what the socket holds without waiting.
void TakeRawKeys(Display* display) {
    while (XEventsQueued(display, QueuedAfterReading) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != keyboard.rawOpcode) continue;
        const bool newer = static_cast<long>(cookie->serial - keyboard.rawSince) >= 0;
        if (newer && XGetEventData(display, cookie)) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            const bool pressed = cookie->evtype == XI_RawKeyPress;
            if (raw->detail >= 0 && raw->detail < 256) keyboard.down[raw->detail] = pressed;
            if (keyboard.rawHook != nullptr) keyboard.rawHook(static_cast<unsigned int>(raw->detail), pressed, raw->time);
        }
        XFreeEventData(display, cookie);
    }
}

bool IsDownOnX11(Display* display, int virtualKey) {
    const KeySym symbol = X11KeyOf(virtualKey);
    if (symbol == NoSymbol) return false;
    const KeyCode code = XKeysymToKeycode(display, symbol);
    if (code == 0) return false;
    if (keyboard.rawOpcode != 0) {
        TakeRawKeys(display);
        return keyboard.down[code];
    }
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
    } else if (Display* display = keyboard.source == 2 ? nullptr : X11Display()) {
        down = IsDownOnX11(display, virtualKey);
    } else {
        down = IsDownInSdl(virtualKey);
    }
    return down ? static_cast<short>(KEY_STATE_DOWN) : 0;
}

int LayerVirtualKeyFromSdl(int sdlKeycode) {
    if (sdlKeycode >= 'a' && sdlKeycode <= 'z') return sdlKeycode - 'a' + 'A';
    if (sdlKeycode >= '0' && sdlKeycode <= '9') return sdlKeycode;
    if (sdlKeycode >= SDLK_F1 && sdlKeycode <= SDLK_F12) return VK_F1 + (sdlKeycode - SDLK_F1);
    if (sdlKeycode == SDLK_RSHIFT) return VK_SHIFT;
    if (sdlKeycode == SDLK_RCTRL) return VK_CONTROL;
    if (sdlKeycode == SDLK_RALT) return VK_MENU;
    for (const KeyName& key : kNamedKeys) {
        if (key.sdl == sdlKeycode) return key.virtualKey;
    }
    return 0;
}

void PlatformSetKeyForTests(int virtualKey, bool down) {
    keyboard.overrides[virtualKey] = down;
}

void PlatformSetKeySourceForTests(int source) {
    keyboard.source = source;
}

void PlatformSetRawKeyHook(void (*hook)(unsigned int keycode, bool pressed, unsigned long serverMs)) {
    keyboard.rawHook = hook;
}

void LayerResetKeyboard() {
    keyboard.overrides.clear();
    keyboard.source = 0;
    keyboard.rawHook = nullptr;
    if (keyboard.display != nullptr) XCloseDisplay(keyboard.display);
    keyboard.display = nullptr;
    keyboard.displayTried = false;
    keyboard.rawOpcode = 0;
}
