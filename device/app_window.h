// The application window and its window procedure.
#ifndef BRIMVALK_APP_WINDOW_H
#define BRIMVALK_APP_WINDOW_H

#include <windows.h>

// Registers the class named `title` and creates a window whose client area is width by height:
// centred and framed when `windowed` is non-zero, a pop-up at (0, 0) with the cursor hidden
// when it is 0. Returns null if the class cannot be registered (silently) or the window cannot
// be created (after printing "ERROR : Can't Create Window").
HWND CreateAppWindow(const char* title, int width, int height, int windowed, WNDPROC windowProc);

// Ends the program through the quit message on Escape, close and destroy, and keeps the screen
// saver, monitor power-down and input-method windows out of the way.
LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
