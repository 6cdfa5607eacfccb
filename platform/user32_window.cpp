// USER32 window classes and windows on Linux, backed by SDL windows.
//  [X] RegisterClassExA (a second registration of a class name fails), CreateWindowExA,
//      ShowWindow, UpdateWindow, DestroyWindow, DefWindowProcA.
//  [X] Messages Win32 sends are sent synchronously: WM_NCCREATE and WM_CREATE from CreateWindowExA,
//      WM_SHOWWINDOW from ShowWindow, WM_PAINT from UpdateWindow, WM_DESTROY and WM_NCDESTROY
//      from DestroyWindow.
//  [X] AdjustWindowRectEx with fixed frame metrics: a sizing frame is 4 px on every side, a
//      caption adds 19 px on top, a thin border is 3 px; WS_POPUP alone has no frame.
//      CreateWindowExA takes the same frame off again, so the SDL window's client area is exactly
//      what the program asked for, at the position it computed.
//  [X] GetSystemMetrics(SM_CXSCREEN / SM_CYSCREEN): the primary display's desktop mode.
//  [X] ShowCursor (display counter, SDL's cursor), LoadIconA / LoadCursorA for the stock
//      IDI_APPLICATION and IDC_ARROW, ChangeDisplaySettingsA (SDL full screen at that size on the
//      newest window), SystemParametersInfoA(SPI_SETFONTSMOOTHING) accepted and ignored.
//  [X] On X11: the class's black background brush becomes the X window's background, so the
//      client area is black from the moment it is shown; a style without WS_MAXIMIZEBOX tells the
//      window manager through _MOTIF_WM_HINTS that there is no maximising (resizing stays).
//  [X] The screen saver is held off only while one of the windows has the focus, as Windows sends
//      SC_SCREENSAVE and SC_MONITORPOWER only to the active window.
//  [ ] No frame is drawn by the layer: the window manager draws its own decorations. Resizing
//      sends no WM_SIZE.
//  The video drivers named (SDL_VIDEODRIVER's list, else X11 where DISPLAY is set and then Wayland
//  where WAYLAND_DISPLAY is) are tried in turn, and the first that starts is used: X11 once its
//  server accepts a connection (a refusal is told in the server's words, see x11_errors.cpp),
//  Wayland once a compositor with a keyboard seat answers (see wayland_display.cpp), a headless
//  driver only when named; without a display SDL would quietly pick its offscreen driver. When
//  none starts, window creation fails and the reason names each display tried, its variable and
//  why. An X error while SDL first loads the OpenGL driver leaves windows without an OpenGL
//  visual, so the pixel format cannot be set, and the error is told. Calls that wait on the
//  display are marked for the reason given if a signal or a lost display ends the process
//  meanwhile (termination.cpp).
#include <windows.h>

#include <SDL.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "layer.h"
#include "native_window.h"
#include "testing.h"
#include "win32_names.h"

namespace {

struct WindowState {
    std::vector<WNDCLASSEXA> classes;
    std::vector<std::string> classNames;  // owned copies of the names the classes point at
    std::vector<std::unique_ptr<WindowObject>> windows;  // in creation order
    int cursorCount;                                      // ShowCursor's display counter
    bool fullScreen;
    std::string openGLFailure;  // why windows get no OpenGL visual; empty while the driver works
    std::string videoFailure;   // why no display could be opened; empty until that is known
};
WindowState windows;

char stockIcon;
char stockCursor;

const int kSizingFrame = 4;
const int kThinFrame = 3;
const int kCaption = 19;

HWND HandleOf(WindowObject* window) {
    return reinterpret_cast<HWND>(window);
}

struct Frame {
    int left, top, right, bottom;
};

Frame FrameOf(DWORD style) {
    int border = 0;
    if (style & WS_THICKFRAME) {
        border = kSizingFrame;
    } else if (style & WS_CAPTION) {
        border = kThinFrame;
    }
    const int caption = (style & WS_CAPTION) == WS_CAPTION ? kCaption : 0;
    return {border, border + caption, border, border};
}

const WNDCLASSEXA* FindClass(const char* name) {
    if (name == nullptr) return nullptr;
    for (size_t i = 0; i < windows.classNames.size(); ++i) {
        if (windows.classNames[i] == name) return &windows.classes[i];
    }
    return nullptr;
}

const char kNoDisplay[] =
    "no display found (DISPLAY and WAYLAND_DISPLAY are unset or unreachable); "
    "set SDL_VIDEODRIVER=offscreen to run without one";

// The screen saver follows the focus: off while a window of ours has it, allowed otherwise.
int FollowFocus(void*, SDL_Event* event) {
    if (event->type == SDL_WINDOWEVENT) {
        if (event->window.event == SDL_WINDOWEVENT_FOCUS_GAINED) SDL_DisableScreenSaver();
        if (event->window.event == SDL_WINDOWEVENT_FOCUS_LOST) SDL_EnableScreenSaver();
    }
    return 0;
}

// What a Windows frame shows, told to the X server and window manager: the class's black
// background, and no maximise function or button without WS_MAXIMIZEBOX.
void DescribeToX11(SDL_Window* sdl, DWORD style, HBRUSH background) {
    SDL_SysWMinfo info;
    if (!NativeWindowInfo(sdl, SDL_SYSWM_X11, &info)) return;
    Display* display = info.info.x11.display;
    const Window window = info.info.x11.window;
    if (background != nullptr && background == static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))) {
        XSetWindowBackground(display, window, BlackPixel(display, DefaultScreen(display)));
    }
    if ((style & WS_CAPTION) == WS_CAPTION && !(style & WS_MAXIMIZEBOX)) {
        enum { kFunctions = 1, kDecorations = 2 };
        enum { kResize = 2, kMove = 4, kMinimize = 8, kClose = 32 };                    // MWM_FUNC_*
        enum { kBorder = 2, kResizeHandle = 4, kTitle = 8, kMenu = 16, kMinimizeButton = 32 };  // MWM_DECOR_*
        long hints[5] = {kFunctions | kDecorations, kMove | kClose | ((style & WS_MINIMIZEBOX) ? kMinimize : 0),
                         kBorder | kTitle | kMenu | ((style & WS_MINIMIZEBOX) ? kMinimizeButton : 0), 0, 0};
        if (style & WS_THICKFRAME) hints[1] |= kResize, hints[2] |= kResizeHandle;
        const Atom atom = XInternAtom(display, "_MOTIF_WM_HINTS", False);
        XChangeProperty(display, window, atom, atom, 32, PropModeReplace, reinterpret_cast<unsigned char*>(hints), 5);
    }
    XFlush(display);
}

// The video drivers to try, in order: SDL_VIDEODRIVER's list, else X11 where DISPLAY is set and
// then Wayland where WAYLAND_DISPLAY is, as SDL orders them. Empty: no display is named at all.
std::vector<std::string> DriversToTry(const char* asked) {
    std::vector<std::string> drivers;
    const std::string list = asked != nullptr ? asked : "";
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = list.find(',', start);
        const std::string driver = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!driver.empty()) drivers.push_back(driver);
    }
    if (!drivers.empty()) return drivers;
    if (getenv("DISPLAY") != nullptr) drivers.push_back("x11");
    if (getenv("WAYLAND_DISPLAY") != nullptr) drivers.push_back("wayland");
    return drivers;
}

// Starts SDL's video on `driver` alone. Otherwise false, with what was tried in *tried and why it
// failed in *reason. X11 and Wayland are looked at first: SDL's Wayland video crashes on a
// compositor without a seat, and libxcb would write an X server's refusal at each of SDL's tries.
bool StartDriver(const char* call, const std::string& driver, std::string* tried, std::string* reason) {
    bool ready = true;
    if (strcasecmp(driver.c_str(), "wayland") == 0) {
        *tried = LayerNameWaylandDisplay();
        ready = LayerWaylandSeatReady(call, reason);
    } else if (strcasecmp(driver.c_str(), "x11") == 0) {
        *tried = LayerNameX11Display();
        ready = LayerX11Ready(call, reason);
    } else {
        *tried = "the video driver \"" + driver + "\" (SDL_VIDEODRIVER)";
        LayerNameDisplay(*tried, {}, -1);
    }
    if (!ready) return false;
    // Above the environment's list, which would have SDL try the others too.
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, driver.c_str(), SDL_HINT_OVERRIDE);
    LayerDisplayCall displayCall(call, "starting SDL's video");
    const bool started = LayerInitSdl(SDL_INIT_VIDEO);
    LayerX11ProbeDone();
    if (started) return true;
    LayerDropXErrors();
    *reason = LayerWithShortage(SDL_GetError());
    // SDL says only "x11 not available"; a server gone since it was looked at says more.
    if (strcasecmp(driver.c_str(), "x11") == 0 && LayerX11Ready(call, reason)) LayerX11ProbeDone();
    return false;
}

// The Mesa settings in the environment that choose or bypass the driver, e.g. " with GALLIUM_DRIVER=x".
std::string MesaSettings() {
    std::string settings;
    for (const char* variable : {"LIBGL_ALWAYS_INDIRECT", "LIBGL_DRIVERS_PATH", "GALLIUM_DRIVER",
                                 "MESA_LOADER_DRIVER_OVERRIDE", "LIBGL_ALWAYS_SOFTWARE"}) {
        const char* value = getenv(variable);
        if (value != nullptr) settings += std::string(settings.empty() ? " with " : ", ") + variable + "=" + value;
    }
    return settings;
}

// Video, on the first display that works of those named, or on a headless driver asked for by
// name. A failure is kept: asked again (GetSystemMetrics, then CreateWindowExA), it is not retried.
bool InitVideo(const char* call) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    if (!windows.videoFailure.empty()) {
        SDL_SetError("%s", windows.videoFailure.c_str());
        return false;
    }
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    const std::vector<std::string> drivers = DriversToTry(getenv("SDL_VIDEODRIVER"));
    if (drivers.empty()) {
        windows.videoFailure = kNoDisplay;
        SDL_SetError(kNoDisplay);
        return false;
    }
    LayerQuietWayland();
    LayerInstallXErrorHandler();
    std::string failures;
    for (const std::string& driver : drivers) {
        std::string tried, reason;
        if (StartDriver(call, driver, &tried, &reason)) break;
        failures += (failures.empty() ? "cannot open " : "; nor ") + tried + ": " + reason;
    }
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        windows.videoFailure = failures;
        SDL_SetError("%s", failures.c_str());
        return false;
    }
    // X events come along as well, so the message queue sees a window destroyed by another client.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    {
        // Held for the whole run: SDL would otherwise unload the OpenGL library with each window.
        // An X error while SDL tries the driver out means it cannot be used at all.
        LayerDisplayCall displayCall(call, "loading the OpenGL driver");
        SDL_GL_LoadLibrary(nullptr);
    }
    SDL_AddEventWatch(FollowFocus, nullptr);
    std::string failure;
    if (LayerTakeXError(&failure)) {
        windows.openGLFailure =
            "the OpenGL driver failed to start" + MesaSettings() + ": " + LayerWithShortage(failure);
    }
    return true;
}

// The pixel format the device asks for; the X visual is chosen now, at window creation.
void RequestDefaultPixelFormat() {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

void DestroyNow(WindowObject* window) {
    if (window->sdl != nullptr) SDL_DestroyWindow(window->sdl);
    auto it = std::find_if(windows.windows.begin(), windows.windows.end(),
                           [&](const std::unique_ptr<WindowObject>& w) { return w.get() == window; });
    if (it != windows.windows.end()) windows.windows.erase(it);
}

}  // namespace

WindowObject* LayerWindowFromHandle(HWND handle) {
    if (handle == nullptr) return nullptr;
    for (auto& window : windows.windows) {
        if (HandleOf(window.get()) == handle) return window.get();
    }
    return nullptr;
}

WindowObject* LayerWindowFromDc(HDC dc) {
    if (dc == nullptr) return nullptr;
    for (auto& window : windows.windows) {
        if (reinterpret_cast<HDC>(&window->dc) == dc) return window.get();
    }
    return nullptr;
}

WindowObject* LayerWindowFromSdlId(unsigned int sdlWindowId) {
    for (auto& window : windows.windows) {
        if (window->sdl != nullptr && SDL_GetWindowID(window->sdl) == sdlWindowId) return window.get();
    }
    return nullptr;
}

WindowObject* LayerWindowFromX11(unsigned long x11Window) {
    for (auto& window : windows.windows) {
        SDL_SysWMinfo info;
        if (NativeWindowInfo(window->sdl, SDL_SYSWM_X11, &info) && info.info.x11.window == x11Window) {
            return window.get();
        }
    }
    return nullptr;
}

WindowObject* LayerNewestWindow() {
    return windows.windows.empty() ? nullptr : windows.windows.back().get();
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXA) ||
        windowClass->lpszClassName == nullptr || windowClass->lpfnWndProc == nullptr) {
        return 0;
    }
    if (FindClass(windowClass->lpszClassName) != nullptr) return 0;  // already registered
    windows.classNames.emplace_back(windowClass->lpszClassName);
    windows.classes.push_back(*windowClass);
    return static_cast<ATOM>(MAXINTATOM + windows.classes.size() - 1);
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND, HMENU, HINSTANCE, LPVOID) {
    const WNDCLASSEXA* windowClass = FindClass(className);
    if (windowClass == nullptr) {
        fprintf(stderr, "CreateWindowExA: window class \"%s\" is not registered\n", className ? className : "");
        return nullptr;
    }
    if (!InitVideo("CreateWindowExA")) {
        fprintf(stderr, "CreateWindowExA: %s\n", SDL_GetError());
        return nullptr;
    }

    const Frame frame = FrameOf(style);
    const int clientX = x + frame.left;
    const int clientY = y + frame.top;
    const int clientWidth = std::max(1, width - frame.left - frame.right);
    const int clientHeight = std::max(1, height - frame.top - frame.bottom);

    Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL;
    if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    if ((style & WS_POPUP) && !(style & WS_CAPTION)) flags |= SDL_WINDOW_BORDERLESS;

    const char* title = windowName != nullptr ? windowName : "";
    RequestDefaultPixelFormat();
    LayerDisplayCall displayCall("CreateWindowExA", "creating the window");
    SDL_Window* sdl = nullptr;
    if (windows.openGLFailure.empty()) sdl = SDL_CreateWindow(title, clientX, clientY, clientWidth, clientHeight, flags);
    bool hasOpenGL = true;
    if (sdl == nullptr) {
        // No OpenGL visual: the window can still exist; the device will report what is missing.
        const std::string reason =
            windows.openGLFailure.empty() ? LayerWithShortage(SDL_GetError()) : windows.openGLFailure;
        sdl = SDL_CreateWindow(title, clientX, clientY, clientWidth, clientHeight, flags & ~SDL_WINDOW_OPENGL);
        if (sdl == nullptr) {
            fprintf(stderr, "CreateWindowExA: %s\n", SDL_GetError());
            return nullptr;
        }
        fprintf(stderr, "CreateWindowExA: no OpenGL visual: %s\n", reason.c_str());
        hasOpenGL = false;
    }

    DescribeToX11(sdl, style, windowClass->hbrBackground);
    LayerWatchWaylandWindow(sdl);

    auto object = std::make_unique<WindowObject>();
    object->sdl = sdl;
    object->hasOpenGL = hasOpenGL;
    object->windowProc = windowClass->lpfnWndProc;
    object->outer = {x, y, x + width, y + height};
    object->visible = false;
    object->dc = {};
    WindowObject* window = object.get();
    window->dc.window = HandleOf(window);
    windows.windows.push_back(std::move(object));

    HWND handle = HandleOf(window);
    if (!LayerSendMessage(handle, WM_NCCREATE, 0, 0)) {
        DestroyNow(window);
        return nullptr;
    }
    if (LayerSendMessage(handle, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
    return handle;
}

BOOL WINAPI ShowWindow(HWND handle, int command) {
    WindowObject* window = LayerWindowFromHandle(handle);
    if (window == nullptr) return FALSE;
    const BOOL wasVisible = window->visible;
    const bool show = command != SW_HIDE;
    if (show != window->visible) {
        LayerSendMessage(handle, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        LayerDisplayCall displayCall("ShowWindow", show ? "showing the window" : "hiding the window");
        if (show) {
            SDL_ShowWindow(window->sdl);
            SDL_RaiseWindow(window->sdl);
        } else {
            SDL_HideWindow(window->sdl);
        }
        window->visible = show;
    }
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND handle) {
    WindowObject* window = LayerWindowFromHandle(handle);
    if (window == nullptr) return FALSE;
    if (window->visible) LayerSendMessage(handle, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL WINAPI DestroyWindow(HWND handle) {
    WindowObject* window = LayerWindowFromHandle(handle);
    if (window == nullptr) return FALSE;
    LayerDisplayCall displayCall("DestroyWindow", "destroying the window");
    if (window->visible) {
        SDL_HideWindow(window->sdl);
        window->visible = false;
    }
    LayerSendMessage(handle, WM_DESTROY, 0, 0);
    LayerSendMessage(handle, WM_NCDESTROY, 0, 0);
    DestroyNow(window);
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    LayerLogMessage(kMessageDefault, handle, message, wParam, lParam);
    WindowObject* window = LayerWindowFromHandle(handle);
    switch (message) {
        case WM_NCCREATE:
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(handle);
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & SC_COMMAND_MASK) {
                case SC_CLOSE:
                    LayerSendMessage(handle, WM_CLOSE, 0, 0);
                    break;
                case SC_MINIMIZE:
                    if (window != nullptr) SDL_MinimizeWindow(window->sdl);
                    break;
                default:
                    break;
            }
            return 0;
        default:
            return 0;
    }
}

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD) {
    if (rect == nullptr || menu) return FALSE;  // no menu bars here
    const Frame frame = FrameOf(style);
    rect->left -= frame.left;
    rect->top -= frame.top;
    rect->right += frame.right;
    rect->bottom += frame.bottom;
    return TRUE;
}

BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right, int bottom) {
    if (rect == nullptr) return FALSE;
    *rect = {left, top, right, bottom};
    return TRUE;
}

int WINAPI GetSystemMetrics(int index) {
    if (index != SM_CXSCREEN && index != SM_CYSCREEN) return 0;
    if (!InitVideo("GetSystemMetrics")) return 0;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return 0;
    return index == SM_CXSCREEN ? mode.w : mode.h;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (instance == nullptr && name == IDI_APPLICATION) return reinterpret_cast<HICON>(&stockIcon);
    return nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance == nullptr && name == IDC_ARROW) return reinterpret_cast<HCURSOR>(&stockCursor);
    return nullptr;
}

int WINAPI ShowCursor(BOOL show) {
    windows.cursorCount += show ? 1 : -1;
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(windows.cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return windows.cursorCount;
}

LONG WINAPI ChangeDisplaySettingsA(DEVMODEA* mode, DWORD) {
    WindowObject* window = LayerNewestWindow();
    if (mode == nullptr) {
        // Back to the desktop's own mode.
        if (window != nullptr && windows.fullScreen) SDL_SetWindowFullscreen(window->sdl, 0);
        windows.fullScreen = false;
        return DISP_CHANGE_SUCCESSFUL;
    }
    if (window == nullptr || !InitVideo("ChangeDisplaySettingsA")) return DISP_CHANGE_FAILED;
    SDL_DisplayMode wanted = {};
    SDL_GetDesktopDisplayMode(0, &wanted);
    if (mode->dmFields & DM_PELSWIDTH) wanted.w = static_cast<int>(mode->dmPelsWidth);
    if (mode->dmFields & DM_PELSHEIGHT) wanted.h = static_cast<int>(mode->dmPelsHeight);
    SDL_DisplayMode closest;
    if (SDL_GetClosestDisplayMode(0, &wanted, &closest) == nullptr) return DISP_CHANGE_BADMODE;
    if (SDL_SetWindowDisplayMode(window->sdl, &closest) != 0 ||
        SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN) != 0) {
        return DISP_CHANGE_FAILED;
    }
    windows.fullScreen = true;
    return DISP_CHANGE_SUCCESSFUL;
}

BOOL WINAPI SystemParametersInfoA(UINT action, UINT, LPVOID, UINT) {
    // Font smoothing is the desktop's business on Linux; there is nothing to switch.
    return action == SPI_SETFONTSMOOTHING;
}

void LayerResetWindows() {
    while (!windows.windows.empty()) DestroyNow(windows.windows.back().get());
    windows.videoFailure.clear();
    windows.classes.clear();
    windows.classNames.clear();
    windows.cursorCount = 0;
    windows.fullScreen = false;
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(SDL_ENABLE);
}
