// Shared internals of the platform layer: the objects behind the Win32 handles, and the few
// calls one service area makes into another. Not seen by the program.
#ifndef BRIMVALK_PLATFORM_LAYER_H
#define BRIMVALK_PLATFORM_LAYER_H

#include <windows.h>

#include "termination.h"

#include <string>
#include <vector>

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

// A call into the display's libraries that may wait long or crash on a dead connection: named in
// the reason if the process must be ended meanwhile, and guarded against such a crash (until the
// first buffer swap call by call, from then on for the rest of the run; see termination.cpp).
class LayerDisplayCall : public TerminationMark {
public:
    LayerDisplayCall(const char* call, const char* activity) : TerminationMark(call, activity, true) {}
};
// The first buffer swap has returned: start-up is over, and the crash guard stays armed from now on.
void LayerStartedUp();
// The display being tried or used, in words for a reason (`the X display ":3" (DISPLAY)`), and how
// the crash guard tells whether it is gone: its sockets (a leading '@' for an abstract one), or the
// connection handed down (`descriptor`, else -1).
void LayerNameDisplay(const std::string& described, const std::vector<std::string>& sockets, int descriptor);
// The Wayland connection's socket, watched for a hang-up while the process runs; -1 stops.
void LayerWatchDisplayFd(int descriptor);
// While descriptor 2 is borrowed (x11_errors.cpp catches libxcb's words on it), where a reason
// written by the process's end goes instead.
void LayerStderrMovedTo(int descriptor);
// The polite signal the message queue is to turn into WM_CLOSE, once; 0 when none came since.
int LayerTakePoliteSignal();

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

// The X display in words, `the X display ":3" (DISPLAY)`, named to the crash guard with its sockets.
std::string LayerNameX11Display();
// Whether SDL may start its X11 video: the X server accepts a connection. Otherwise false, with why
// in *reason: no server answers, or the server's own refusal (see x11_errors.cpp).
bool LayerX11Ready(const char* call, std::string* reason);
// Lets go of the connection LayerX11Ready opened, once SDL has its own (or has failed).
void LayerX11ProbeDone();

// Before SDL's Wayland video: libdecor only with a plugin to draw decorations with.
void LayerQuietWayland();
// Whether SDL may start its Wayland video: a compositor with a keyboard seat answers, or
// WAYLAND_SOCKET hands down a connected socket. Otherwise false, with why in *reason, naming the
// variable at fault (see wayland_display.cpp).
bool LayerWaylandSeatReady(const char* call, std::string* reason);
// The Wayland display in words, e.g. `the Wayland display "wayland-0" (WAYLAND_DISPLAY)`, named to
// the crash guard with its socket.
std::string LayerNameWaylandDisplay();
// The Wayland connection under `window`, watched for a hang-up from now on.
void LayerWatchWaylandWindow(SDL_Window* window);
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
void LayerResetTermination();

#endif
