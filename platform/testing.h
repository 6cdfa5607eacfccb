// Test controls of the platform layer: what a test needs to put the layer in a known state or
// to stand in for something this machine cannot have. The program never includes this.
#ifndef BRIMVALK_PLATFORM_TESTING_H
#define BRIMVALK_PLATFORM_TESTING_H

#include <windows.h>

#include <vector>

// Destroys every window and context, empties the message queue, forgets registered classes,
// closes the joystick and clears every override below. SDL itself stays initialised.
void PlatformResetForTests();

// timeGetTime reads `source` instead of the monotonic clock; null restores the clock.
void PlatformSetTimeSourceForTests(DWORD (*source)());

// GetAsyncKeyState reports `virtualKey` down or up regardless of the real keyboard, until reset.
void PlatformSetKeyForTests(int virtualKey, bool down);

// Where GetAsyncKeyState reads keys on X11: 1 the server's keymap at each call (as without XInput
// 2.1), 2 SDL's keyboard state (as on other video drivers), 0 as the server allows; until reset.
void PlatformSetKeySourceForTests(int source);

// Swap control: -1 offers it when the driver can set an interval (the default), 0 never offers it,
// 1 always offers it.
void PlatformSetSwapControlForTests(int mode);

// Appends a message to the thread's queue, as PostMessageA does.
void PlatformPostMessageForTests(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Message traffic as the window procedure and the queue see it, in order.
enum MessageEvent {
    kMessageSent = 1,        // the layer called the window procedure synchronously
    kMessagePosted = 2,      // appended to the thread's queue
    kMessageDispatched = 3,  // DispatchMessageA called the window procedure
    kMessageDefault = 4,     // the window procedure passed it to DefWindowProcA
};
struct LoggedMessage {
    int event;
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
// Appends every step of message traffic to `log` from now on; null stops logging.
void PlatformLogMessagesForTests(std::vector<LoggedMessage>* log);

// wglMakeCurrent fails for every context, as a driver that cannot bind one, until reset.
void PlatformRefuseMakeCurrentForTests(bool refuse);

// wglCreateContext fails, as a driver that can make no context for the window's visual, until reset.
void PlatformRefuseContextForTests(bool refuse);

// SwapBuffers calls `hook` with false just before the swap (the frame is whole in the back
// buffer) and with true right after the swap returns; null removes it.
void PlatformSetSwapHookForTests(void (*hook)(bool afterSwap));

#endif
