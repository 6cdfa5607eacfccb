// Shared internals of the platform layer: the objects behind the Win32 handles, and the few
// calls one service area makes into another. Not seen by the program.
#ifndef BRIMVALK_PLATFORM_LAYER_H
#define BRIMVALK_PLATFORM_LAYER_H

#include <windows.h>

#include <string>

struct SDL_Window;

// The device context of a window: one per window, as with CS_OWNDC/CS_CLASSDC classes.
struct DeviceContextObject {
    HWND window;
    int pixelFormat;          // 0 until SetPixelFormat
    HGDIOBJ selectedFont;     // what SelectObject put in; null is GDI's bitmap System font
};

// What stands behind an HWND.
struct WindowObject {
    SDL_Window* sdl;
    bool hasOpenGL;           // created with an OpenGL-capable visual
    WNDPROC windowProc;
    RECT outer;               // screen rectangle including the frame
    bool visible;
    DeviceContextObject dc;
};

// SDL, initialised once, lazily, per subsystem (SDL_INIT_VIDEO, SDL_INIT_JOYSTICK, ...).
// Returns false, with SDL's reason available from SDL_GetError, when it cannot be had.
bool LayerInitSdl(unsigned int subsystems);

// After a failure: "Too many open files" or "Cannot allocate memory" when the process is at that
// limit now, else empty. LayerWithShortage puts it before `reason` unless `reason` says it already.
std::string LayerResourceShortage();
std::string LayerWithShortage(const std::string& reason);
// Ends the process once its display is gone: what it printed flushed whole, then "ERROR : Lost the
// display" on stdout, `reason` on stderr, status 1. No exit handler runs: the libraries' would
// touch the dead connection.
[[noreturn]] void LayerLostDisplay(const std::string& reason);

// The live window behind `window`, or null for a null, destroyed or foreign handle.
WindowObject* LayerWindowFromHandle(HWND window);
// The live window whose device context `dc` is, or null.
WindowObject* LayerWindowFromDc(HDC dc);
// The live window with this SDL window id, or null.
WindowObject* LayerWindowFromSdlId(unsigned int sdlWindowId);
// The most recently created live window, or null.
WindowObject* LayerNewestWindow();

// X protocol errors are recorded from now on instead of ending the process (see x11_errors.cpp).
void LayerInstallXErrorHandler();
// Describes the first X error recorded since the last call and forgets them all; false if none.
bool LayerTakeXError(std::string* description);
// Forgets the recorded X errors undescribed: their display was closed.
void LayerDropXErrors();
// Errors about this X resource are dropped from now on: its window was destroyed by another client.
void LayerIgnoreXErrorsAbout(unsigned long resource);
// The live window whose X window is `x11Window`, or null.
WindowObject* LayerWindowFromX11(unsigned long x11Window);

// Before SDL's Wayland video: libdecor only with a plugin to draw decorations with.
void LayerQuietWayland();
// Whether SDL may start its Wayland video: a compositor with a keyboard seat answers. Otherwise
// false, with why in *reason (see wayland_display.cpp).
bool LayerWaylandSeatReady(std::string* reason);
// Ends the process with "ERROR : Lost the display" once the Wayland connection is gone.
void LayerCheckWaylandDisplay();

// Records one step of message traffic for tests that watch it (see testing.h).
void LayerLogMessage(int event, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sends `message` to the window procedure now, as Win32's SendMessage does.
LRESULT LayerSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Appends a message to the thread's queue, as Win32's PostMessage does.
void LayerPostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The fontconfig pattern of a font object from GetStockObject, or null if it is not an outline font.
const char* LayerFontPattern(HGDIOBJ font);

// The Win32 virtual-key code of an SDL key, or 0 when it has none.
int LayerVirtualKeyFromSdl(int sdlKeycode);

// Per-area resets, called by PlatformResetForTests (layer.cpp, beside LayerInitSdl).
void LayerResetMessages();
void LayerResetWindows();
void LayerResetKeyboard();
void LayerResetContexts();
void LayerResetJoystick();
void LayerResetTime();
void LayerResetGdi();

#endif
