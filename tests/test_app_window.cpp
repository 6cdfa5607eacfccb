// The application window on the platform layer (SDL offscreen): the messages each call produces,
// compared with tables in the manner of Wine's user32 tests, its geometry and its failure paths.
// PlatformResetForTests forgets registered classes, so each case may create the window again.
#include "device/app_window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/layer.h"
#include "platform/testing.h"

namespace {

const char kTitle[] = "Brimvalk Test.";
const int kSent = kMessageSent, kPosted = kMessagePosted, kDispatched = kMessageDispatched,
          kDefault = kMessageDefault;

// One expected step of message traffic; lParam is compared only when given. WM_QUIT belongs to
// the thread, every other message to the window under test.
struct Step {
    int event;
    UINT message;
    WPARAM wParam;
    std::optional<LPARAM> lParam;
};

#define NAMED(m) {m, #m}
std::string Name(UINT message) {
    static const std::pair<UINT, const char*> kNames[] = {
        NAMED(WM_CREATE),     NAMED(WM_DESTROY),    NAMED(WM_PAINT),    NAMED(WM_CLOSE),
        NAMED(WM_QUIT),       NAMED(WM_SHOWWINDOW), NAMED(WM_NCCREATE), NAMED(WM_NCDESTROY),
        NAMED(WM_KEYDOWN),    NAMED(WM_SYSCOMMAND), NAMED(WM_IME_SETCONTEXT)};
    for (const auto& name : kNames) {
        if (name.first == message) return name.second;
    }
    return "message " + std::to_string(message);
}

std::string Show(int event, UINT message, HWND window, WPARAM wParam, const std::optional<LPARAM>& lParam) {
    static const char* const kEvents[] = {"?", "sent", "posted", "dispatched", "default"};
    std::ostringstream out;
    out << Name(message) << ' ' << kEvents[event >= 1 && event <= 4 ? event : 0] << " to " << window
        << " wParam 0x" << std::hex << wParam;
    if (lParam) out << " lParam 0x" << *lParam;
    return out.str();
}
std::string Show(const LoggedMessage& m) { return Show(m.event, m.message, m.window, m.wParam, m.lParam); }
HWND Owner(const Step& s, HWND window) { return s.message == WM_QUIT ? nullptr : window; }
std::string Show(const Step& s, HWND window) { return Show(s.event, s.message, Owner(s, window), s.wParam, s.lParam); }

bool Matches(const Step& want, const LoggedMessage& got, HWND window) {
    return got.event == want.event && got.message == want.message && got.window == Owner(want, window) &&
           got.wParam == want.wParam && (!want.lParam || got.lParam == *want.lParam);
}

// Reports each missing, spurious or different message with its index, then everything logged.
void ExpectSequence(const std::vector<LoggedMessage>& got, const std::vector<Step>& want, HWND window) {
    auto matches = [&](size_t w, size_t g) {
        return w < want.size() && g < got.size() && Matches(want[w], got[g], window);
    };
    std::string problems;
    for (size_t w = 0, g = 0; w < want.size() || g < got.size();) {
        const std::string at = "  index " + std::to_string(g) + ": ";
        if (matches(w, g)) {
            ++w, ++g;
        } else if (w == want.size() || matches(w, g + 1)) {
            problems += at + "spurious " + Show(got[g++]) + "\n";
        } else if (g == got.size() || matches(w + 1, g)) {
            problems += at + "missing " + Show(want[w++], window) + "\n";
        } else {
            problems += at + "expected " + Show(want[w++], window) + ", got " + Show(got[g++]) + "\n";
        }
    }
    if (problems.empty()) return;
    std::string all;
    for (const LoggedMessage& m : got) all += "  " + Show(m) + "\n";
    ADD_FAILURE() << "messages differ from the table:\n" << problems << "logged:\n" << all;
}

std::string Show(const RECT& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + ")";
}

UINT NextQueued() {
    MSG msg = {};
    return PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) ? msg.message : 0;
}

void Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg = {window, message, wParam, lParam, 0, {0, 0}};
    DispatchMessageA(&msg);
}

class AppWindowTest : public ::testing::Test {
protected:
    void SetUp() override { PlatformResetForTests(); }
    void TearDown() override {
        PlatformLogMessagesForTests(nullptr);
        PlatformResetForTests();
    }
    HWND Create(int windowed, int width = 1024) { return CreateAppWindow(kTitle, width, 768, windowed, AppWindowProc); }
    void StartLog() {
        log.clear();
        PlatformLogMessagesForTests(&log);
    }
    std::vector<LoggedMessage> log;
};

TEST_F(AppWindowTest, AdjustWindowRectExAddsTheFrameOfEachMode) {
    const struct {
        DWORD style, exStyle;
        RECT in, out;
    } cases[] = {
        {0x00CE0000, 0x00040100, {0, 0, 1024, 768}, {-4, -23, 1028, 772}},  // 4 px frame, 19 px caption
        {0x00CE0000, 0x00040100, {10, 20, 110, 220}, {6, -3, 114, 224}},
        {WS_POPUP, WS_EX_APPWINDOW, {0, 0, 1024, 768}, {0, 0, 1024, 768}},
    };
    for (const auto& c : cases) {
        RECT rect = c.in;
        EXPECT_TRUE(AdjustWindowRectEx(&rect, c.style, FALSE, c.exStyle));
        EXPECT_EQ(Show(rect), Show(c.out)) << "style 0x" << std::hex << c.style << " around " << Show(c.in);
    }
}

// CreateAppWindow: CreateWindowExA, ShowWindow(SW_SHOW), UpdateWindow. WM_NCCREATE must reach
// DefWindowProcA, whose TRUE lets the creation go on.
TEST_F(AppWindowTest, CreationMessagesAndGeometryOfEachMode) {
    const std::vector<Step> kCreateSeq = {
        {kSent, WM_NCCREATE, 0, {}},     {kDefault, WM_NCCREATE, 0, {}},   {kSent, WM_CREATE, 0, {}},
        {kDefault, WM_CREATE, 0, {}},    {kSent, WM_SHOWWINDOW, TRUE, {}}, {kDefault, WM_SHOWWINDOW, TRUE, {}},
        {kSent, WM_PAINT, 0, {}},        {kDefault, WM_PAINT, 0, {}}};
    const struct {
        int windowed;
        RECT frame;
        int cursor;
    } cases[] = {{1, {4, 23, 4, 4}, SDL_ENABLE}, {0, {0, 0, 0, 0}, SDL_DISABLE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windowed ? "windowed" : "full screen");
        PlatformResetForTests();
        StartLog();
        HWND window = Create(c.windowed);
        WindowObject* object = LayerWindowFromHandle(window);
        ASSERT_NE(object, nullptr) << "CreateAppWindow failed";
        ExpectSequence(log, kCreateSeq, window);
        EXPECT_EQ(NextQueued(), 0u) << "creation queues nothing";
        const int outerWidth = 1024 + c.frame.left + c.frame.right, outerHeight = 768 + c.frame.top + c.frame.bottom;
        // Centred with truncating division: the offscreen screen may be smaller than the frame.
        const int x = c.windowed ? (GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2 : 0;
        const int y = c.windowed ? (GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2 : 0;
        EXPECT_EQ(Show(object->outer), Show(RECT{x, y, x + outerWidth, y + outerHeight})) << "outer rectangle";
        int clientX = -1, clientY = -1, width = 0, height = 0;
        SDL_GetWindowPosition(object->sdl, &clientX, &clientY);
        SDL_GetWindowSize(object->sdl, &width, &height);
        const RECT client = {x + c.frame.left, y + c.frame.top, x + c.frame.left + 1024, y + c.frame.top + 768};
        EXPECT_EQ(Show(RECT{clientX, clientY, clientX + width, clientY + height}), Show(client)) << "client area";
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), c.cursor) << "cursor shown (1) or hidden (0)";
    }
}

TEST_F(AppWindowTest, SecondCallIsSilentAndAnUncreatableWindowPrintsTheError) {
    // The class record still names the class the first call registered: RegisterClassExA fails.
    ASSERT_NE(Create(1), nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Create(1), nullptr) << "second CreateAppWindow";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "a failed registration prints nothing";

    // Wider than SDL allows (16384): the class registers, CreateWindowExA fails.
    PlatformResetForTests();
    testing::internal::CaptureStdout();
    EXPECT_EQ(Create(1, 20000), nullptr) << "CreateAppWindow 20000 pixels wide";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR : Can't Create Window") << "no line break";
    EXPECT_EQ(LayerNewestWindow(), nullptr) << "no window left behind";
}

TEST_F(AppWindowTest, WindowProcedureMessageTables) {
    const struct {
        const char* what;
        void (*act)(HWND);
        std::vector<Step> expected;
        bool quits, survives;
    } cases[] = {
        {"DispatchMessageA of WM_KEYDOWN 'Z', then VK_ESCAPE (repeat 1, scan code 1)",
         [](HWND w) {
             Dispatch(w, WM_KEYDOWN, 'Z', 0);
             Dispatch(w, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
         },
         {{kDispatched, WM_KEYDOWN, 'Z', {}}, {kDefault, WM_KEYDOWN, 'Z', {}},
          {kDispatched, WM_KEYDOWN, VK_ESCAPE, {}}, {kPosted, WM_QUIT, 0, {}},
          {kDefault, WM_KEYDOWN, VK_ESCAPE, 0x00010001}},
         true, true},
        // Not passed on: DefWindowProcA would destroy the window, which teardown does later.
        {"DispatchMessageA of WM_CLOSE", [](HWND w) { Dispatch(w, WM_CLOSE, 0, 0); },
         {{kDispatched, WM_CLOSE, 0, {}}, {kPosted, WM_QUIT, 0, {}}}, true, true},
        {"DestroyWindow", [](HWND w) { DestroyWindow(w); },
         {{kSent, WM_DESTROY, 0, {}}, {kPosted, WM_QUIT, 0, {}}, {kSent, WM_NCDESTROY, 0, {}},
          {kDefault, WM_NCDESTROY, 0, {}}},
         true, false},
        {"SendMessage WM_SYSCOMMAND SC_SCREENSAVE, SC_MONITORPOWER | 2 (low bits are Windows' own)",
         [](HWND w) { for (WPARAM c : {SC_SCREENSAVE, SC_MONITORPOWER | 2}) LayerSendMessage(w, WM_SYSCOMMAND, c, 2); },
         {{kSent, WM_SYSCOMMAND, SC_SCREENSAVE, {}}, {kSent, WM_SYSCOMMAND, SC_MONITORPOWER | 2, {}}}, false, true},
        {"SendMessage WM_SYSCOMMAND SC_MINIMIZE and the neighbours of the swallowed commands",
         [](HWND w) {
             for (WPARAM c : {SC_MINIMIZE, SC_MONITORPOWER + 0x10, SC_SCREENSAVE - 0x10})
                 LayerSendMessage(w, WM_SYSCOMMAND, c, 0);
         },
         {{kSent, WM_SYSCOMMAND, SC_MINIMIZE, {}}, {kDefault, WM_SYSCOMMAND, SC_MINIMIZE, {}},
          {kSent, WM_SYSCOMMAND, SC_MONITORPOWER + 0x10, {}}, {kDefault, WM_SYSCOMMAND, SC_MONITORPOWER + 0x10, {}},
          {kSent, WM_SYSCOMMAND, SC_SCREENSAVE - 0x10, {}}, {kDefault, WM_SYSCOMMAND, SC_SCREENSAVE - 0x10, {}}},
         false, true},
        // The composition, guideline and candidate bits (0xC000000F) never reach DefWindowProcA.
        {"SendMessage WM_IME_SETCONTEXT (TRUE, ISC_SHOWUIALL), (FALSE, 0xF234567A)",
         [](HWND w) {
             LayerSendMessage(w, WM_IME_SETCONTEXT, TRUE, static_cast<LPARAM>(ISC_SHOWUIALL));
             LayerSendMessage(w, WM_IME_SETCONTEXT, FALSE, static_cast<LPARAM>(0xF234567Au));
         },
         {{kSent, WM_IME_SETCONTEXT, TRUE, static_cast<LPARAM>(ISC_SHOWUIALL)}, {kDefault, WM_IME_SETCONTEXT, TRUE, 0},
          {kSent, WM_IME_SETCONTEXT, FALSE, static_cast<LPARAM>(0xF234567Au)},
          {kDefault, WM_IME_SETCONTEXT, FALSE, 0x32345670}},
         false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PlatformResetForTests();
        HWND window = Create(1);
        ASSERT_NE(window, nullptr) << "CreateAppWindow failed";
        StartLog();
        c.act(window);
        PlatformLogMessagesForTests(nullptr);
        ExpectSequence(log, c.expected, window);
        EXPECT_EQ(LayerWindowFromHandle(window) != nullptr, c.survives) << "window still there";
        EXPECT_EQ(NextQueued(), c.quits ? static_cast<UINT>(WM_QUIT) : 0u) << "queued";
        EXPECT_EQ(NextQueued(), 0u) << "queued after that";
    }
}

}  // namespace
