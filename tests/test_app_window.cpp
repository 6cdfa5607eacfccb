// The application window on the platform layer, SDL's offscreen driver underneath: the messages
// each call produces and what AppWindowProc does with them, pinned as tables of expected messages
// in the manner of Wine's user32 tests; the window's geometry in both modes; the failure paths.
//
// CreateAppWindow fills its class record once per process and registers it on every call.
// PlatformResetForTests makes the layer forget registered classes, so each test may create the
// window once after its reset, always with kTitle and AppWindowProc as the record holds them.
#include "device/app_window.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "platform/layer.h"
#include "platform/testing.h"

namespace {

const char kTitle[] = "Brimvalk Test.";
const int kWidth = 1024;
const int kHeight = 768;

// How an expected message reaches the window procedure, as PlatformLogMessagesForTests logs it,
// and which parameters are compared. wParam always is; lParam only with kLParam.
enum ExpectedFlags {
    kSent = kMessageSent,
    kPosted = kMessagePosted,
    kDispatched = kMessageDispatched,
    kDefault = kMessageDefault,
    kEventMask = 7,
    kLParam = 8,
};

struct ExpectedMessage {
    UINT message;
    int flags;
    WPARAM wParam;
    LPARAM lParam;
};

std::string MessageName(UINT message) {
    switch (message) {
        case WM_CREATE: return "WM_CREATE";
        case WM_DESTROY: return "WM_DESTROY";
        case WM_PAINT: return "WM_PAINT";
        case WM_CLOSE: return "WM_CLOSE";
        case WM_QUIT: return "WM_QUIT";
        case WM_SHOWWINDOW: return "WM_SHOWWINDOW";
        case WM_NCCREATE: return "WM_NCCREATE";
        case WM_NCDESTROY: return "WM_NCDESTROY";
        case WM_KEYDOWN: return "WM_KEYDOWN";
        case WM_KEYUP: return "WM_KEYUP";
        case WM_SYSCOMMAND: return "WM_SYSCOMMAND";
        case WM_IME_SETCONTEXT: return "WM_IME_SETCONTEXT";
    }
    std::ostringstream out;
    out << "message 0x" << std::hex << message;
    return out.str();
}

const char* EventName(int event) {
    switch (event) {
        case kMessageSent: return "sent";
        case kMessagePosted: return "posted";
        case kMessageDispatched: return "dispatched";
        case kMessageDefault: return "default";
    }
    return "(unknown event)";
}

std::string Describe(UINT message, int event, HWND window, WPARAM wParam, LPARAM lParam, bool withLParam) {
    std::ostringstream out;
    out << MessageName(message) << ' ' << EventName(event) << " to " << window << " wParam 0x" << std::hex
        << wParam;
    if (withLParam) out << " lParam 0x" << lParam;
    return out.str();
}

std::string Describe(const LoggedMessage& got) {
    return Describe(got.message, got.event, got.window, got.wParam, got.lParam, true);
}

// WM_QUIT belongs to the thread, every other message to the window under test.
HWND ExpectedWindow(const ExpectedMessage& expected, HWND window) {
    return expected.message == WM_QUIT ? nullptr : window;
}

std::string Describe(const ExpectedMessage& expected, HWND window) {
    return Describe(expected.message, expected.flags & kEventMask, ExpectedWindow(expected, window),
                    expected.wParam, expected.lParam, (expected.flags & kLParam) != 0);
}

bool Matches(const ExpectedMessage& expected, const LoggedMessage& got, HWND window) {
    return got.message == expected.message && got.event == (expected.flags & kEventMask) &&
           got.window == ExpectedWindow(expected, window) && got.wParam == expected.wParam &&
           (!(expected.flags & kLParam) || got.lParam == expected.lParam);
}

// Compares the logged traffic with a table, reporting each missing, spurious or different message
// with its index, then the whole sequence that was logged. Use it through EXPECT_SEQUENCE.
void ExpectSequence(const char* file, int line, const std::vector<LoggedMessage>& log,
                    const ExpectedMessage* table, size_t count, HWND window, const char* call) {
    const std::vector<ExpectedMessage> expected(table, table + count);
    std::ostringstream problems;
    size_t e = 0;
    size_t g = 0;
    while (e < expected.size() || g < log.size()) {
        if (e == expected.size()) {
            problems << "  index " << g << ": spurious " << Describe(log[g]) << '\n';
            ++g;
        } else if (g == log.size()) {
            problems << "  index " << g << ": missing " << Describe(expected[e], window) << '\n';
            ++e;
        } else if (Matches(expected[e], log[g], window)) {
            ++e;
            ++g;
        } else if (g + 1 < log.size() && Matches(expected[e], log[g + 1], window)) {
            problems << "  index " << g << ": spurious " << Describe(log[g]) << '\n';
            ++g;
        } else if (e + 1 < expected.size() && Matches(expected[e + 1], log[g], window)) {
            problems << "  index " << g << ": missing " << Describe(expected[e], window) << '\n';
            ++e;
        } else {
            problems << "  index " << g << ": expected " << Describe(expected[e], window) << ", got "
                     << Describe(log[g]) << '\n';
            ++e;
            ++g;
        }
    }
    if (problems.str().empty()) return;
    std::ostringstream all;
    for (size_t i = 0; i < log.size(); ++i) all << "  " << i << ": " << Describe(log[i]) << '\n';
    ADD_FAILURE_AT(file, line) << "messages of " << call << " differ from the table:\n"
                  << problems.str() << "logged (" << log.size() << "):\n"
                  << (log.empty() ? std::string("  nothing\n") : all.str());
}

#define EXPECT_SEQUENCE(log, table, window, call) \
    ExpectSequence(__FILE__, __LINE__, log, table, std::size(table), window, call)

// Everything written to stdout between construction and Finish().
class StdoutCapture {
public:
    StdoutCapture() {
        fflush(stdout);
        file_ = tmpfile();
        saved_ = dup(STDOUT_FILENO);
        if (file_ != nullptr && saved_ >= 0) dup2(fileno(file_), STDOUT_FILENO);
    }
    ~StdoutCapture() { Finish(); }

    std::string Finish() {
        if (saved_ < 0) return text_;
        fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
        if (file_ != nullptr) {
            rewind(file_);
            char buffer[256];
            size_t count;
            while ((count = fread(buffer, 1, sizeof buffer, file_)) > 0) text_.append(buffer, count);
            fclose(file_);
            file_ = nullptr;
        }
        return text_;
    }

private:
    FILE* file_ = nullptr;
    int saved_ = -1;
    std::string text_;
};

class AppWindowTest : public ::testing::Test {
protected:
    void SetUp() override { PlatformResetForTests(); }
    void TearDown() override {
        PlatformLogMessagesForTests(nullptr);
        PlatformResetForTests();
    }

    HWND Create(int windowed) { return CreateAppWindow(kTitle, kWidth, kHeight, windowed, AppWindowProc); }

    // A created window, with the messages of its creation already behind it.
    HWND CreateQuietly(int windowed = 1) {
        HWND window = Create(windowed);
        EXPECT_NE(window, nullptr) << "CreateAppWindow(\"" << kTitle << "\", 1024, 768, " << windowed
                                   << ", AppWindowProc) failed";
        return window;
    }

    void StartLog() {
        log.clear();
        PlatformLogMessagesForTests(&log);
    }

    static SDL_Window* SdlWindowOf(HWND window) {
        WindowObject* object = LayerWindowFromHandle(window);
        return object != nullptr ? object->sdl : nullptr;
    }

    // Removes and returns the next queued message's identifier, or 0 with the queue empty.
    static UINT NextQueued() {
        MSG msg = {};
        return PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) ? msg.message : 0;
    }

    static LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        MSG msg = {};
        msg.hwnd = window;
        msg.message = message;
        msg.wParam = wParam;
        msg.lParam = lParam;
        return DispatchMessageA(&msg);
    }

    std::vector<LoggedMessage> log;
};

// --- Expected messages ------------------------------------------------------------------------

// CreateAppWindow(kTitle, 1024, 768, windowed or not, AppWindowProc): CreateWindowExA,
// ShowWindow(SW_SHOW), UpdateWindow. WM_NCCREATE must reach DefWindowProcA, whose TRUE lets the
// creation go on; hiding the cursor in full-screen mode sends nothing.
const ExpectedMessage kCreateSeq[] = {
    {WM_NCCREATE, kSent, 0, 0},       {WM_NCCREATE, kDefault, 0, 0},
    {WM_CREATE, kSent, 0, 0},         {WM_CREATE, kDefault, 0, 0},
    {WM_SHOWWINDOW, kSent, TRUE, 0},  {WM_SHOWWINDOW, kDefault, TRUE, 0},
    {WM_PAINT, kSent, 0, 0},          {WM_PAINT, kDefault, 0, 0},
};

// DispatchMessageA of WM_KEYDOWN VK_ESCAPE (lParam: repeat count 1, scan code 1).
const ExpectedMessage kEscapeSeq[] = {
    {WM_KEYDOWN, kDispatched, VK_ESCAPE, 0},
    {WM_QUIT, kPosted, 0, 0},
    {WM_KEYDOWN, kDefault | kLParam, VK_ESCAPE, 0x00010001},
};

// DispatchMessageA of WM_KEYDOWN 'Z', WM_KEYDOWN VK_RIGHT, then WM_KEYUP VK_ESCAPE.
const ExpectedMessage kOtherKeysSeq[] = {
    {WM_KEYDOWN, kDispatched, 'Z', 0},     {WM_KEYDOWN, kDefault, 'Z', 0},
    {WM_KEYDOWN, kDispatched, VK_RIGHT, 0}, {WM_KEYDOWN, kDefault, VK_RIGHT, 0},
    {WM_KEYUP, kDispatched, VK_ESCAPE, 0},  {WM_KEYUP, kDefault, VK_ESCAPE, 0},
};

// PumpMessages with an SDL Escape key press waiting: the layer posts WM_KEYDOWN, the pump
// dispatches it, and the quit message AppWindowProc posts stops the pump.
const ExpectedMessage kPumpEscapeSeq[] = {
    {WM_KEYDOWN, kPosted, VK_ESCAPE, 0},
    {WM_KEYDOWN, kDispatched, VK_ESCAPE, 0},
    {WM_QUIT, kPosted, 0, 0},
    {WM_KEYDOWN, kDefault, VK_ESCAPE, 0},
};

// PumpMessages with an SDL close-box event waiting: WM_CLOSE is posted and dispatched, and
// AppWindowProc keeps it from DefWindowProcA, which would destroy the window.
const ExpectedMessage kPumpCloseSeq[] = {
    {WM_CLOSE, kPosted, 0, 0},
    {WM_CLOSE, kDispatched, 0, 0},
    {WM_QUIT, kPosted, 0, 0},
};

// DispatchMessageA of WM_CLOSE.
const ExpectedMessage kCloseSeq[] = {
    {WM_CLOSE, kDispatched, 0, 0},
    {WM_QUIT, kPosted, 0, 0},
};

// DestroyWindow(window): WM_DESTROY is answered with the quit message, WM_NCDESTROY goes on to
// the default handling.
const ExpectedMessage kDestroySeq[] = {
    {WM_DESTROY, kSent, 0, 0},
    {WM_QUIT, kPosted, 0, 0},
    {WM_NCDESTROY, kSent, 0, 0},
    {WM_NCDESTROY, kDefault, 0, 0},
};

// SendMessage(WM_SYSCOMMAND, SC_CLOSE), as Alt+F4 and the window menu send it: the default
// handling sends WM_CLOSE, which posts the quit message and destroys nothing.
const ExpectedMessage kSysCloseSeq[] = {
    {WM_SYSCOMMAND, kSent, SC_CLOSE, 0},
    {WM_SYSCOMMAND, kDefault, SC_CLOSE, 0},
    {WM_CLOSE, kSent, 0, 0},
    {WM_QUIT, kPosted, 0, 0},
};

// SendMessage(WM_IME_SETCONTEXT, TRUE, ISC_SHOWUIALL), then (FALSE, 0xF234567A): the composition,
// guideline and candidate bits (0xC000000F) never reach DefWindowProcA; the others pass unchanged.
const ExpectedMessage kImeSetContextSeq[] = {
    {WM_IME_SETCONTEXT, kSent | kLParam, TRUE, static_cast<LPARAM>(ISC_SHOWUIALL)},
    {WM_IME_SETCONTEXT, kDefault | kLParam, TRUE, 0},
    {WM_IME_SETCONTEXT, kSent | kLParam, FALSE, static_cast<LPARAM>(0xF234567Au)},
    {WM_IME_SETCONTEXT, kDefault | kLParam, FALSE, 0x32345670},
};

// --- Creation ---------------------------------------------------------------------------------

TEST_F(AppWindowTest, CreationSendsCreateShowAndPaintThroughTheDefaultHandling) {
    StartLog();
    HWND window = Create(1);
    ASSERT_NE(window, nullptr) << "CreateAppWindow of a windowed 1024x768 window failed";
    EXPECT_SEQUENCE(log, kCreateSeq, window, "CreateAppWindow (windowed)");
    EXPECT_EQ(NextQueued(), 0u) << "expected nothing queued by creation";
    EXPECT_NE(GetDC(window), nullptr) << "expected the created window to have its device context";

    SDL_Window* sdl = SdlWindowOf(window);
    ASSERT_NE(sdl, nullptr) << "expected an SDL window behind the handle";
    EXPECT_STREQ(SDL_GetWindowTitle(sdl), kTitle);
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN)
        << "expected the window shown, flags 0x" << std::hex << SDL_GetWindowFlags(sdl);
    EXPECT_EQ(LayerWindowFromHandle(window)->className, kTitle) << "expected the title as the class name";
}

TEST_F(AppWindowTest, FullScreenCreationSendsTheSameMessages) {
    StartLog();
    HWND window = Create(0);
    ASSERT_NE(window, nullptr) << "CreateAppWindow of a full-screen 1024x768 window failed";
    EXPECT_SEQUENCE(log, kCreateSeq, window, "CreateAppWindow (full screen)");
}

TEST_F(AppWindowTest, SecondCallFailsAtRegistrationSilently) {
    HWND first = CreateQuietly();
    ASSERT_NE(first, nullptr);
    StartLog();
    StdoutCapture capture;
    HWND second = Create(1);
    const std::string printed = capture.Finish();
    // Case: the class record still names the class the first call registered.
    EXPECT_EQ(second, nullptr) << "expected the second CreateAppWindow to fail at RegisterClassExA";
    EXPECT_EQ(printed, "") << "expected a failed registration to print nothing";
    EXPECT_TRUE(log.empty()) << "expected no messages from a failed registration, got " << log.size()
                             << ", the first " << Describe(log.front());
    EXPECT_EQ(LayerNewestWindow(), LayerWindowFromHandle(first)) << "expected no second window to exist";
}

TEST_F(AppWindowTest, FailedCreationPrintsTheErrorWithoutLineBreak) {
    // Case: a client area wider than SDL allows (16384), so CreateWindowExA fails after the class
    // was registered.
    StartLog();
    StdoutCapture capture;
    HWND window = CreateAppWindow(kTitle, 20000, kHeight, 1, AppWindowProc);
    const std::string printed = capture.Finish();
    EXPECT_EQ(window, nullptr) << "expected CreateAppWindow to fail for a 20000-pixel-wide window";
    EXPECT_EQ(printed, "ERROR : Can't Create Window") << "expected the error on stdout, no line break";
    EXPECT_TRUE(log.empty()) << "expected no messages from a window that was never made, got " << log.size()
                             << ", the first " << Describe(log.front());
    EXPECT_EQ(LayerNewestWindow(), nullptr) << "expected no window to be left behind";
}

// --- Geometry ---------------------------------------------------------------------------------

struct AdjustCase {
    const char* what;
    DWORD style;
    DWORD exStyle;
    RECT in;
    RECT out;
};

TEST_F(AppWindowTest, AdjustWindowRectExAddsTheFrameOfEachMode) {
    const AdjustCase cases[] = {
        // 4 px sizing frame on every side and a 19 px caption above the top one.
        {"windowed", 0x00CE0000, 0x00040100, {0, 0, 1024, 768}, {-4, -23, 1028, 772}},
        {"windowed, offset", 0x00CE0000, 0x00040100, {10, 20, 110, 220}, {6, -3, 114, 224}},
        // A pop-up has no frame at all.
        {"full screen", WS_POPUP, WS_EX_APPWINDOW, {0, 0, 1024, 768}, {0, 0, 1024, 768}},
    };
    for (const AdjustCase& c : cases) {
        RECT rect = c.in;
        EXPECT_TRUE(AdjustWindowRectEx(&rect, c.style, FALSE, c.exStyle)) << c.what;
        EXPECT_TRUE(rect.left == c.out.left && rect.top == c.out.top && rect.right == c.out.right &&
                    rect.bottom == c.out.bottom)
            << c.what << ": expected (" << c.out.left << ", " << c.out.top << ", " << c.out.right << ", "
            << c.out.bottom << "), got (" << rect.left << ", " << rect.top << ", " << rect.right << ", "
            << rect.bottom << ")";
    }
}

TEST_F(AppWindowTest, WindowedClientIsExactlyTheSizeAskedForInsideACentredFrame) {
    HWND window = CreateQuietly(1);
    ASSERT_NE(window, nullptr);
    WindowObject* object = LayerWindowFromHandle(window);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->style, 0x00CE0000u) << "expected WS_OVERLAPPEDWINDOW without WS_MAXIMIZEBOX";
    EXPECT_EQ(object->exStyle, 0x00040100u) << "expected WS_EX_APPWINDOW | WS_EX_WINDOWEDGE";

    // The outer frame, 1032x795, centred with division that truncates towards zero (the offscreen
    // display may be smaller than the frame, where truncation and flooring differ).
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(screenWidth, 0) << "expected the layer to report the screen's width";
    ASSERT_GT(screenHeight, 0) << "expected the layer to report the screen's height";
    const int outerX = (screenWidth - 1032) / 2;
    const int outerY = (screenHeight - 795) / 2;
    const RECT& outer = object->outer;
    EXPECT_TRUE(outer.left == outerX && outer.top == outerY && outer.right == outerX + 1032 &&
                outer.bottom == outerY + 795)
        << "on a " << screenWidth << "x" << screenHeight << " screen expected the outer rectangle (" << outerX
        << ", " << outerY << ", " << outerX + 1032 << ", " << outerY + 795 << "), got (" << outer.left << ", "
        << outer.top << ", " << outer.right << ", " << outer.bottom << ")";

    SDL_Window* sdl = SdlWindowOf(window);
    ASSERT_NE(sdl, nullptr);
    int width = 0, height = 0, x = 0, y = 0;
    SDL_GetWindowSize(sdl, &width, &height);
    SDL_GetWindowPosition(sdl, &x, &y);
    EXPECT_TRUE(width == kWidth && height == kHeight)
        << "expected a client area of 1024x768, got " << width << "x" << height;
    EXPECT_TRUE(x == outerX + 4 && y == outerY + 23)
        << "expected the client area at (" << outerX + 4 << ", " << outerY + 23 << "), inside the frame, got ("
        << x << ", " << y << ")";
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_RESIZABLE) << "expected a sizing frame";
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE) << "expected the cursor to stay visible when windowed";
}

TEST_F(AppWindowTest, FullScreenIsABorderlessPopUpAtTheOriginWithTheCursorHidden) {
    HWND window = CreateQuietly(0);
    ASSERT_NE(window, nullptr);
    WindowObject* object = LayerWindowFromHandle(window);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->style, WS_POPUP) << "expected a pop-up";
    EXPECT_EQ(object->exStyle, WS_EX_APPWINDOW) << "expected WS_EX_APPWINDOW alone";
    const RECT& outer = object->outer;
    EXPECT_TRUE(outer.left == 0 && outer.top == 0 && outer.right == kWidth && outer.bottom == kHeight)
        << "expected the outer rectangle (0, 0, 1024, 768), got (" << outer.left << ", " << outer.top << ", "
        << outer.right << ", " << outer.bottom << ")";

    SDL_Window* sdl = SdlWindowOf(window);
    ASSERT_NE(sdl, nullptr);
    int width = 0, height = 0, x = -1, y = -1;
    SDL_GetWindowSize(sdl, &width, &height);
    SDL_GetWindowPosition(sdl, &x, &y);
    EXPECT_TRUE(width == kWidth && height == kHeight)
        << "expected a client area of 1024x768, got " << width << "x" << height;
    EXPECT_TRUE(x == 0 && y == 0) << "expected the window at (0, 0), got (" << x << ", " << y << ")";
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_BORDERLESS)
        << "expected no frame, flags 0x" << std::hex << SDL_GetWindowFlags(sdl);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE) << "expected the cursor hidden in full-screen mode";
}

// --- Ending the program -----------------------------------------------------------------------

TEST_F(AppWindowTest, EscapeKeyPostsQuitAndStillReachesTheDefaultHandling) {
    HWND window = CreateQuietly();
    ASSERT_NE(window, nullptr);
    StartLog();
    Dispatch(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_SEQUENCE(log, kEscapeSeq, window, "DispatchMessageA(WM_KEYDOWN, VK_ESCAPE)");
    EXPECT_EQ(NextQueued(), static_cast<UINT>(WM_QUIT)) << "expected WM_QUIT queued";
    EXPECT_NE(GetDC(window), nullptr) << "expected Escape to leave the window alone";
}

TEST_F(AppWindowTest, OtherKeysOnlyReachTheDefaultHandling) {
    HWND window = CreateQuietly();
    ASSERT_NE(window, nullptr);
    StartLog();
    Dispatch(window, WM_KEYDOWN, 'Z', 0);
    Dispatch(window, WM_KEYDOWN, VK_RIGHT, 0);
    Dispatch(window, WM_KEYUP, VK_ESCAPE, 0);
    // Case: only the Escape key going down ends the program.
    EXPECT_SEQUENCE(log, kOtherKeysSeq, window, "DispatchMessageA of Z, right arrow, Escape released");
    EXPECT_EQ(NextQueued(), 0u) << "expected no quit message";
}

TEST_F(AppWindowTest, EscapePressedInTheWindowEndsThePumpAtOnce) {
    HWND window = CreateQuietly();
    ASSERT_NE(window, nullptr);
    SDL_Window* sdl = SdlWindowOf(window);
    ASSERT_NE(sdl, nullptr);
    SDL_Event press = {};
    press.type = SDL_KEYDOWN;
    press.key.windowID = SDL_GetWindowID(sdl);
    press.key.state = SDL_PRESSED;
    press.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
    press.key.keysym.sym = SDLK_ESCAPE;
    ASSERT_EQ(SDL_PushEvent(&press), 1) << "SDL_PushEvent: " << SDL_GetError();

    StartLog();
    const int goOn = PumpMessages();
    EXPECT_EQ(goOn, 0) << "expected the pump to stop at the quit message";
    EXPECT_SEQUENCE(log, kPumpEscapeSeq, window, "PumpMessages after an Escape key press");
    EXPECT_EQ(NextQueued(), 0u) << "expected the pump to have removed the quit message";
}

TEST_F(AppWindowTest, CloseBoxPostsQuitAndKeepsTheWindow) {
    HWND window = CreateQuietly();
    ASSERT_NE(window, nullptr);
    SDL_Window* sdl = SdlWindowOf(window);
    ASSERT_NE(sdl, nullptr);
    SDL_Event close = {};
    close.type = SDL_WINDOWEVENT;
    close.window.windowID = SDL_GetWindowID(sdl);
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    ASSERT_EQ(SDL_PushEvent(&close), 1) << "SDL_PushEvent: " << SDL_GetError();

    StartLog();
    const int goOn = PumpMessages();
    EXPECT_EQ(goOn, 0) << "expected the pump to stop at the quit message";
    EXPECT_SEQUENCE(log, kPumpCloseSeq, window, "PumpMessages after the close box");
    EXPECT_NE(GetDC(window), nullptr) << "expected the window to survive its close request until teardown";
    EXPECT_EQ(SdlWindowOf(window), sdl) << "expected the same SDL window still behind the handle";
}

TEST_F(AppWindowTest, CloseMessageIsNotPassedOn) {
    HWND window = CreateQuietly();
    ASSERT_NE(window, nullptr);
    StartLog();
    const LRESULT result = Dispatch(window, WM_CLOSE, 0, 0);
    EXPECT_SEQUENCE(log, kCloseSeq, window, "DispatchMessageA(WM_CLOSE)");
    EXPECT_EQ(result, 0) << "expected WM_CLOSE to be answered with 0";
    EXPECT_NE(GetDC(window), nullptr) << "expected WM_CLOSE to leave the window in place";
    EXPECT_EQ(NextQueued(), static_cast<UINT>(WM_QUIT)) << "expected exactly one WM_QUIT queued";
    EXPECT_EQ(NextQueued(), 0u) << "expected nothing after the quit message";
}

TEST_F(AppWindowTest, DestroyWindowPostsQuit) {
    HWND window = CreateQuietly();
    ASSERT_NE(window, nullptr);
    StartLog();
    EXPECT_TRUE(DestroyWindow(window)) << "expected DestroyWindow to succeed";
    EXPECT_SEQUENCE(log, kDestroySeq, window, "DestroyWindow");
    EXPECT_EQ(GetDC(window), nullptr) << "expected the destroyed window to be gone";
    EXPECT_EQ(NextQueued(), static_cast<UINT>(WM_QUIT)) << "expected WM_QUIT queued";
}

TEST_F(AppWindowTest, SystemCloseCommandEndsTheProgramThroughWmClose) {
    HWND window = CreateQuietly();
    ASSERT_NE(window, nullptr);
    StartLog();
    LayerSendMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_SEQUENCE(log, kSysCloseSeq, window, "SendMessage(WM_SYSCOMMAND, SC_CLOSE)");
    EXPECT_NE(GetDC(window), nullptr) << "expected the window to stay until teardown";
}

// --- System commands and input methods ----------------------------------------------------------

TEST_F(AppWindowTest, ScreenSaverAndMonitorPowerCommandsAreSwallowed) {
    HWND window = CreateQuietly();
    ASSERT_NE(window, nullptr);
    // The low four bits of a command are Windows' own; SC_MONITORPOWER's lParam is the power
    // state (2 = off).
    const WPARAM commands[] = {SC_SCREENSAVE, SC_MONITORPOWER, SC_MONITORPOWER | 2, SC_SCREENSAVE | 0xF};
    for (WPARAM command : commands) {
        StartLog();
        const LRESULT result = LayerSendMessage(window, WM_SYSCOMMAND, command, 2);
        // SendMessage(WM_SYSCOMMAND, command, 2): answered by AppWindowProc alone.
        const ExpectedMessage swallowedSeq[] = {{WM_SYSCOMMAND, kSent, command, 0}};
        EXPECT_SEQUENCE(log, swallowedSeq, window, "SendMessage(WM_SYSCOMMAND) of a swallowed command");
        EXPECT_EQ(result, 0) << "command 0x" << std::hex << command << ": expected 0 when swallowed";
    }
    EXPECT_EQ(NextQueued(), 0u) << "expected no quit message from swallowed commands";
}

TEST_F(AppWindowTest, OtherSystemCommandsGoToTheDefaultHandling) {
    HWND window = CreateQuietly();
    ASSERT_NE(window, nullptr);
    // SC_MINIMIZE, SC_MOVE as a caption drag sends it, and SC_CONTEXTHELP and SC_TASKLIST, the
    // neighbours of the swallowed commands.
    const WPARAM commands[] = {SC_MINIMIZE, SC_MOVE | 2, SC_MONITORPOWER + 0x10, SC_SCREENSAVE - 0x10};
    for (WPARAM command : commands) {
        StartLog();
        LayerSendMessage(window, WM_SYSCOMMAND, command, 0);
        // SendMessage(WM_SYSCOMMAND, command, 0): passed on unchanged.
        const ExpectedMessage passedOnSeq[] = {
            {WM_SYSCOMMAND, kSent, command, 0},
            {WM_SYSCOMMAND, kDefault, command, 0},
        };
        EXPECT_SEQUENCE(log, passedOnSeq, window, "SendMessage(WM_SYSCOMMAND) of a command passed on");
    }
    EXPECT_EQ(NextQueued(), 0u) << "expected no quit message from system commands";
    EXPECT_NE(GetDC(window), nullptr) << "expected the window to outlive minimising";
}

TEST_F(AppWindowTest, InputMethodContextLosesItsUiWindowBits) {
    HWND window = CreateQuietly();
    ASSERT_NE(window, nullptr);
    StartLog();
    LayerSendMessage(window, WM_IME_SETCONTEXT, TRUE, static_cast<LPARAM>(ISC_SHOWUIALL));
    LayerSendMessage(window, WM_IME_SETCONTEXT, FALSE, static_cast<LPARAM>(0xF234567Au));
    EXPECT_SEQUENCE(log, kImeSetContextSeq, window, "SendMessage(WM_IME_SETCONTEXT)");
}

}  // namespace
