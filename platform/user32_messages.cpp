// USER32's thread message queue on Linux, fed by SDL events and by POSIX signals.
//  [X] PeekMessageA with PM_REMOVE / PM_NOREMOVE, window and message-range filters; never blocks.
//  [X] TranslateMessage, DispatchMessageA, PostQuitMessage (WM_QUIT queued in order with the rest).
//  [X] Native events become posted messages: key press -> WM_KEYDOWN (virtual key in wParam),
//      key release -> WM_KEYUP, the window's close button -> WM_CLOSE.
//  [X] Ctrl+C, SIGTERM and SIGHUP (the terminal closed, as a console's close event) -> WM_CLOSE to
//      the newest window, or WM_QUIT when there is none; caught from before main, and the process
//      ended for them when the loop does not come round in time (termination.cpp).
//  [X] A window destroyed by another X client gets WM_DESTROY and WM_NCDESTROY, as from
//      DestroyWindow. Other X errors that no call reported go to stderr here (the first few).
//  [X] A Wayland compositor gone away ends the process with one ERROR line (wayland_display.cpp).
//  [ ] TranslateMessage posts no WM_CHAR: the program reads no characters.
//  Differs from Win32: WM_QUIT takes its place in the queue in order instead of waiting for the
//  queue to empty, and there is one queue for the process (the program has one thread).
#include <windows.h>

#include <SDL.h>
#include <SDL_syswm.h>
#include <stdio.h>

#include <algorithm>
#include <deque>
#include <string>

#include "layer.h"
#include "testing.h"

namespace {

// More would only repeat themselves, frame after frame.
const int kXErrorsReported = 5;

struct MessageQueueState {
    std::deque<MSG> queue;
    int xErrorsReported;
    std::vector<LoggedMessage>* log;
};
MessageQueueState messages;

HWND HandleOf(WindowObject* window) {
    return reinterpret_cast<HWND>(window);
}

LPARAM KeyMessageParam(const SDL_KeyboardEvent& key, bool down) {
    uint32_t param = 1;                                          // repeat count
    param |= (static_cast<uint32_t>(key.keysym.scancode) & 0xFF) << 16;
    if (key.repeat || !down) param |= 1u << 30;                  // previous key state
    if (!down) param |= 1u << 31;                                // transition state
    return static_cast<LPARAM>(static_cast<int32_t>(param));
}

WindowObject* EventWindow(uint32_t sdlWindowId) {
    WindowObject* window = LayerWindowFromSdlId(sdlWindowId);
    return window != nullptr ? window : LayerNewestWindow();
}

// Turns what SDL and the signal handler have collected into posted messages.
void CollectNativeEvents() {
    if (SDL_WasInit(SDL_INIT_EVENTS)) {
        const LayerDisplayCall displayCall("PeekMessageA", "reading the display's events");
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            switch (event.type) {
                case SDL_KEYDOWN:
                case SDL_KEYUP: {
                    const bool down = event.type == SDL_KEYDOWN;
                    const int virtualKey = LayerVirtualKeyFromSdl(event.key.keysym.sym);
                    WindowObject* window = EventWindow(event.key.windowID);
                    if (virtualKey != 0 && window != nullptr) {
                        LayerPostMessage(HandleOf(window), down ? WM_KEYDOWN : WM_KEYUP,
                                         static_cast<WPARAM>(virtualKey), KeyMessageParam(event.key, down));
                    }
                    break;
                }
                case SDL_WINDOWEVENT:
                    if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
                        WindowObject* window = LayerWindowFromSdlId(event.window.windowID);
                        if (window != nullptr) LayerPostMessage(HandleOf(window), WM_CLOSE, 0, 0);
                    }
                    break;
                case SDL_SYSWMEVENT: {
                    // SDL keeps no watch on its X windows' destruction; the layer does.
                    const SDL_SysWMmsg* native = event.syswm.msg;
                    if (native->subsystem != SDL_SYSWM_X11 || native->msg.x11.event.type != DestroyNotify) break;
                    const ::Window gone = native->msg.x11.event.xdestroywindow.window;
                    if (WindowObject* window = LayerWindowFromX11(gone)) {
                        LayerIgnoreXErrorsAbout(gone);
                        DestroyWindow(HandleOf(window));
                    }
                    break;
                }
                default:
                    break;
            }
        }
        LayerCheckWaylandDisplay();
    }
    std::string xError;
    if (LayerTakeXError(&xError) && messages.xErrorsReported++ < kXErrorsReported) {
        fprintf(stderr, "PeekMessageA: %s\n", xError.c_str());
    }
    if (LayerTakePoliteSignal() != 0) {
        WindowObject* window = LayerNewestWindow();
        if (window != nullptr) {
            LayerPostMessage(HandleOf(window), WM_CLOSE, 0, 0);
        } else {
            PostQuitMessage(0);
        }
    }
}

// WM_QUIT is retrieved whatever the window and range filters say, as on Win32.
bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
    if (msg.message == WM_QUIT) return true;
    if (window == reinterpret_cast<HWND>(-1)) {
        if (msg.hwnd != nullptr) return false;
    } else if (window != nullptr && msg.hwnd != window) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

}  // namespace

void LayerLogMessage(int event, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (messages.log != nullptr) messages.log->push_back({event, window, message, wParam, lParam});
}

void LayerPostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg = {};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = SDL_WasInit(0) ? static_cast<DWORD>(SDL_GetTicks()) : 0;
    messages.queue.push_back(msg);
    LayerLogMessage(kMessagePosted, window, message, wParam, lParam);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    CollectNativeEvents();
    auto found = std::find_if(messages.queue.begin(), messages.queue.end(),
                              [&](const MSG& queued) { return Matches(queued, window, filterMin, filterMax); });
    if (found == messages.queue.end()) return FALSE;
    if (msg != nullptr) *msg = *found;
    if (removeFlags & PM_REMOVE) messages.queue.erase(found);
    return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (msg == nullptr) return FALSE;
    return msg->message == WM_KEYDOWN || msg->message == WM_KEYUP;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (msg == nullptr) return 0;
    WindowObject* window = LayerWindowFromHandle(msg->hwnd);
    if (window == nullptr || window->windowProc == nullptr) return 0;
    LayerLogMessage(kMessageDispatched, msg->hwnd, msg->message, msg->wParam, msg->lParam);
    return window->windowProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
    LayerPostMessage(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

LRESULT LayerSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowObject* object = LayerWindowFromHandle(window);
    if (object == nullptr || object->windowProc == nullptr) return 0;
    LayerLogMessage(kMessageSent, window, message, wParam, lParam);
    return object->windowProc(window, message, wParam, lParam);
}

void PlatformPostMessageForTests(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LayerPostMessage(window, message, wParam, lParam);
}

void PlatformLogMessagesForTests(std::vector<LoggedMessage>* log) {
    messages.log = log;
}

void LayerResetMessages() {
    messages.queue.clear();
    messages.log = nullptr;
    messages.xErrorsReported = 0;
    if (SDL_WasInit(SDL_INIT_EVENTS)) SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}
