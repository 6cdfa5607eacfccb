// The application window on the platform layer (SDL offscreen): the messages each call produces,
// compared with tables in the manner of Wine's user32 tests, its geometry and its failure paths.
// PlatformResetForTests forgets registered classes, so each case may create the window again.
#include "device/app_window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program.h"
#include "platform/layer.h"
#include "tests/test_support.h"

namespace {

const int kSent = kMessageSent, kPosted = kMessagePosted, kDispatched = kMessageDispatched,
          kDefault = kMessageDefault;

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
    HWND Create(int windowed, int width = kProgramWidth) {
        return CreateAppWindow(kProgramTitle, width, kProgramHeight, windowed, AppWindowProc);
    }
    void StartLog() {
        log.clear();
        PlatformLogMessagesForTests(&log);
    }
    std::vector<LoggedMessage> log;
};

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
        // Centred on SDL's 1024x768 offscreen display, which is smaller than the framed window:
        // (1024 - 1032) / 2 and (768 - 795) / 2, truncated towards zero.
        const int x = c.windowed ? -4 : 0, y = c.windowed ? -13 : 0;
        int clientX = -1, clientY = -1, width = 0, height = 0;
        SDL_GetWindowPosition(object->sdl, &clientX, &clientY);
        SDL_GetWindowSize(object->sdl, &width, &height);
        const RECT client = {x + c.frame.left, y + c.frame.top, x + c.frame.left + kProgramWidth,
                             y + c.frame.top + kProgramHeight};
        EXPECT_EQ(Show(RECT{clientX, clientY, clientX + width, clientY + height}), Show(client)) << "client area";
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), c.cursor) << "cursor shown (1) or hidden (0)";
    }
}

TEST_F(AppWindowTest, WindowProcedureMessageTables) {
    const struct {
        const char* what;
        void (*act)(HWND);
        std::vector<Step> expected;
        bool quits, survives;
    } cases[] = {
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
