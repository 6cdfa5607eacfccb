// The Win32 behaviour the program relies on, in Win32's own calls: run on the platform layer and on Wine alike.
#include <windows.h>
#include <mmsystem.h>
#include <GL/gl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

namespace {

#ifdef _WIN32
bool OnWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }
#else
bool OnWine() { return false; }
#endif

// Only the messages whose order the program relies on; Wine's own tests mark the others optional.
#define WATCHED(message) {message, #message}
const struct { UINT message; const char* name; } kWatched[] = {
    WATCHED(WM_NCCREATE), WATCHED(WM_CREATE), WATCHED(WM_SHOWWINDOW), WATCHED(WM_PAINT),
    WATCHED(WM_CLOSE),    WATCHED(WM_DESTROY), WATCHED(WM_NCDESTROY)};

std::string traffic;

LRESULT CALLBACK LoggingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    for (const auto& w : kWatched) {
        if (message == w.message) traffic += std::string(" ") + w.name + (message != WM_SHOWWINDOW ? "" : wParam ? "(TRUE)" : "(FALSE)");
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void Call(const char* what) { traffic += std::string(traffic.empty() ? "" : "\n") + what + ":"; }

// A class of its own for each test: classes live as long as the process.
ATOM Register(const char* name) {
    const WNDCLASSEXA windowClass = {sizeof(WNDCLASSEXA), CS_VREDRAW | CS_HREDRAW | CS_CLASSDC, LoggingWindowProc, 0, 0,
                                     GetModuleHandleA(nullptr), nullptr, LoadCursorA(nullptr, IDC_ARROW),
                                     static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)), nullptr, name, nullptr};
    return RegisterClassExA(&windowClass);
}

const DWORD kWindowed = 0x00CE0000, kWindowedEx = 0x00040100;

HWND Create(const char* className, DWORD style = kWindowed, DWORD exStyle = kWindowedEx) {
    return CreateWindowExA(exStyle, className, className, style, 40, 30, 320, 240, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void Drain() {
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageA(&msg);
}

TEST(Win32Messages, CreateShowCloseAndDestroySequences) {
    ASSERT_NE(Register("Conformance Messages"), 0);
    traffic.clear();
    Call("CreateWindowExA");
    HWND first = Create("Conformance Messages");
    ASSERT_NE(first, nullptr);
    Call("ShowWindow");
    EXPECT_FALSE(ShowWindow(first, SW_SHOW)) << "was hidden";
    Call("UpdateWindow");
    UpdateWindow(first);
    Call("DefWindowProcA(WM_SYSCOMMAND, SC_CLOSE)");
    DefWindowProcA(first, WM_SYSCOMMAND, SC_CLOSE, 0);
    Call("DestroyWindow of the closed window");
    EXPECT_FALSE(DestroyWindow(first)) << "already destroyed";
    Call("CreateWindowExA again");
    HWND second = Create("Conformance Messages");
    ASSERT_NE(second, nullptr);
    Call("DestroyWindow");
    EXPECT_TRUE(DestroyWindow(second));
    EXPECT_EQ(traffic,
              "CreateWindowExA: WM_NCCREATE WM_CREATE\n"
              "ShowWindow: WM_SHOWWINDOW(TRUE)\n"
              "UpdateWindow: WM_PAINT\n"
              "DefWindowProcA(WM_SYSCOMMAND, SC_CLOSE): WM_CLOSE WM_DESTROY WM_NCDESTROY\n"
              "DestroyWindow of the closed window:\n"
              "CreateWindowExA again: WM_NCCREATE WM_CREATE\n"
              "DestroyWindow: WM_DESTROY WM_NCDESTROY");
    Drain();
}

// As the program's pump asks: WM_QUIT carries the exit code, has no window, and is gone once removed.
TEST(Win32Messages, PeekMessageAndQuit) {
    Drain();
    MSG msg = {};
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "empty queue";
    PostQuitMessage(7);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(msg.message == WM_QUIT && msg.wParam == 7u && msg.hwnd == nullptr)
        << "message 0x" << std::hex << msg.message << ", wParam " << msg.wParam << ", window " << msg.hwnd;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "removed";
}

// Windows' default timer resolution allows a few milliseconds either way.
TEST(Win32Input, TimeGetTimeFollowsARealClock) {
    const auto start = std::chrono::steady_clock::now();
    const DWORD first = timeGetTime();
    Sleep(300);
    const DWORD last = timeGetTime();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_NEAR(static_cast<double>(last - first), static_cast<double>(elapsed.count()), 20.0);
}

// With no joystick at all Wine 8 answers JOYERR_PARMS, which Windows keeps for an invalid identifier.
TEST(Win32Input, NoJoystickAndKeysUp) {
    JOYINFO info = {};
    EXPECT_EQ(joyGetPos(JOYSTICKID1, &info), static_cast<MMRESULT>(OnWine() ? JOYERR_PARMS : JOYERR_UNPLUGGED));
    for (int key : {VK_ESCAPE, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, int{'Z'}, int{'X'}}) {
        EXPECT_EQ(GetAsyncKeyState(key) & 0x8000, 0) << "virtual key " << key;
    }
}

// Swap control is offered whole or not at all (Xvfb's GLX cannot set an interval, so none may be promised there).
TEST(Win32Wgl, SwapControlNamedOnlyWhereItSetsTheInterval) {
    ASSERT_NE(Register("Conformance Swap Control"), 0);
    HWND window = Create("Conformance Swap Control", WS_POPUP, 0);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    HDC dc = GetDC(window);
    const PIXELFORMATDESCRIPTOR request = {  // RGBA, 24 colour bits, 16 depth bits
        sizeof(PIXELFORMATDESCRIPTOR), 1, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER, PFD_TYPE_RGBA,
        24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, PFD_MAIN_PLANE, 0, 0, 0, 0};
    ASSERT_TRUE(SetPixelFormat(dc, ChoosePixelFormat(dc, &request), &request));
    HGLRC context = wglCreateContext(dc);
    ASSERT_TRUE(context != nullptr && wglMakeCurrent(dc, context)) << "no OpenGL context";
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    ASSERT_NE(extensions, nullptr);
    typedef BOOL(WINAPI * SwapInterval)(int interval);
    const auto setInterval =
        reinterpret_cast<SwapInterval>(reinterpret_cast<void (*)()>(wglGetProcAddress("wglSwapIntervalEXT")));
    EXPECT_EQ(strstr(extensions, "WGL_EXT_swap_control") != nullptr, setInterval != nullptr) << extensions;
    EXPECT_TRUE(setInterval == nullptr || (setInterval(1) && setInterval(0))) << "offered, yet refused";
    wglMakeCurrent(dc, nullptr);
    wglDeleteContext(context);
    ReleaseDC(window, dc);
    DestroyWindow(window);
}

}  // namespace
