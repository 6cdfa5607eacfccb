#include "app_window.h"

#include <stdio.h>

namespace {

const DWORD kWindowedStyle = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;
const DWORD kWindowedExStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
const DWORD kFullScreenStyle = WS_POPUP;
const DWORD kFullScreenExStyle = WS_EX_APPWINDOW;
static_assert(kWindowedStyle == 0x00CE0000u, "overlapped window without the maximise box");

// Filled once; the class name it holds makes every later registration fail.
WNDCLASSEXA windowClass = {sizeof(WNDCLASSEXA), CS_VREDRAW | CS_HREDRAW | CS_CLASSDC, nullptr, 0, 0,
                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
bool windowClassFilled = false;

// Input-method bits kept in WM_IME_SETCONTEXT: no composition, guide or candidate windows.
const LPARAM kImeContextMask = 0x3FFFFFF0;

}  // namespace

HWND CreateAppWindow(const char* title, int width, int height, int windowed, WNDPROC windowProc) {
    const DWORD style = windowed ? kWindowedStyle : kFullScreenStyle;
    const DWORD exStyle = windowed ? kWindowedExStyle : kFullScreenExStyle;
    RECT outer;
    SetRect(&outer, 0, 0, width, height);
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    const int outerWidth = outer.right - outer.left;
    const int outerHeight = outer.bottom - outer.top;

    if (!windowClassFilled) {
        windowClassFilled = true;
        windowClass.lpfnWndProc = windowProc;
        windowClass.cbClsExtra = 0;
        windowClass.cbWndExtra = 0;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        windowClass.lpszMenuName = nullptr;
        windowClass.lpszClassName = title;
        windowClass.hIconSm = nullptr;
    }
    if (!RegisterClassExA(&windowClass)) return nullptr;

    int x = 0;
    int y = 0;
    if (windowed) {
        x = (GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2;
    }
    HWND window = CreateWindowExA(exStyle, title, title, style, x, y, outerWidth, outerHeight, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        printf("ERROR : Can't Create Window");
        return nullptr;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    if (!windowed) ShowCursor(FALSE);
    return window;
}

LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            // Not passed on: closing ends the loop, and teardown destroys the window.
            PostQuitMessage(0);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) PostQuitMessage(0);
            break;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_MONITORPOWER:
                case SC_SCREENSAVE:
                    return 0;
            }
            break;
        case WM_IME_SETCONTEXT:
            lParam &= kImeContextMask;
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
