// The application window on SDL offscreen: geometry, cursor and its window procedure's message tables.
#include "device/app_window.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>

#include <chrono>
#include <vector>

#include "app/program.h"
#include "platform/layer.h"
#include "tests/test_support.h"

namespace {

HWND Create(int windowed) { return CreateAppWindow(kProgramTitle, kProgramWidth, kProgramHeight, windowed, AppWindowProc); }

// Windowed, the 1032x795 frame centred on the 1024x768 display is at (-4, -13), the client area 4 and 23 in.
TEST(AppWindowTest, GeometryAndCursorOfEachMode) {
    const struct { int windowed, clientX, clientY, cursor; } cases[] = {{1, 0, 10, SDL_ENABLE}, {0, 0, 0, SDL_DISABLE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windowed ? "windowed" : "full screen");
        PlatformResetForTests();
        WindowObject* object = LayerWindowFromHandle(Create(c.windowed));
        ASSERT_NE(object, nullptr) << "CreateAppWindow failed";
        ExpectSequence(DrainQueue(), {}, nullptr);  // creation queues nothing
        std::vector<int> client(4);  // x, y, width, height
        SDL_GetWindowPosition(object->sdl, &client[0], &client[1]);
        SDL_GetWindowSize(object->sdl, &client[2], &client[3]);
        EXPECT_EQ(client, (std::vector<int>{c.clientX, c.clientY, kProgramWidth, kProgramHeight})) << "client area";
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), c.cursor) << "cursor shown (1) or hidden (0)";
    }
}

TEST(AppWindowTest, WindowProcedureMessageTables) {
    const struct {
        const char* what;
        void (*act)(HWND);
        std::vector<Step> expected;
        bool quits, survives;
    } cases[] = {
        // Not passed on: DefWindowProcA would destroy the window, which teardown does later.
        {"DispatchMessageA of WM_CLOSE", [](HWND w) { MSG m = {w, WM_CLOSE, 0, 0, 0, {0, 0}}; DispatchMessageA(&m); },
         {{kDispatched, WM_CLOSE, 0, {}}, {kPosted, WM_QUIT, 0, {}}}, true, true},
        {"DestroyWindow", [](HWND w) { DestroyWindow(w); },
         {{kSent, WM_DESTROY, 0, {}}, {kPosted, WM_QUIT, 0, {}}, {kSent, WM_NCDESTROY, 0, {}},
          {kDefault, WM_NCDESTROY, 0, {}}},
         true, false},
        // SC_SCREENSAVE and SC_MONITORPOWER swallowed whatever Windows' own low bits; SC_MINIMIZE and their
        // neighbours passed on.
        {"SendMessage WM_SYSCOMMAND",
         [](HWND w) {
             for (WPARAM c : {SC_SCREENSAVE, SC_MONITORPOWER | 2, SC_MINIMIZE, SC_MONITORPOWER + 0x10, SC_SCREENSAVE - 0x10})
                 LayerSendMessage(w, WM_SYSCOMMAND, c, 0);
         },
         {{kSent, WM_SYSCOMMAND, SC_SCREENSAVE, {}}, {kSent, WM_SYSCOMMAND, SC_MONITORPOWER | 2, {}},
          {kSent, WM_SYSCOMMAND, SC_MINIMIZE, {}}, {kDefault, WM_SYSCOMMAND, SC_MINIMIZE, {}},
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
        std::vector<LoggedMessage> log;
        PlatformLogMessagesForTests(&log);
        c.act(window);
        PlatformLogMessagesForTests(nullptr);
        ExpectSequence(log, c.expected, window);
        EXPECT_EQ(LayerWindowFromHandle(window) != nullptr, c.survives) << "window still there";
        ExpectSequence(DrainQueue(), c.quits ? std::vector<Step>{{kPosted, WM_QUIT, 0, {}}} : std::vector<Step>{}, window);
    }
}

// A repeat is the same request (`timeout -s INT` signals the program, then its group); a program
// that never comes back to its message loop is ended 1.5 s after the first, in its own words.
void CtrlCTwiceThenStuck() {
    PlatformResetForTests();  // no window: the request is a WM_QUIT
    raise(SIGINT);
    raise(SIGINT);
    MSG msg;
    int quits = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) quits += msg.message == WM_QUIT;
    fprintf(stderr, "WM_QUIT %d times\n", quits);
    raise(SIGINT);
    for (;;) SDL_Delay(10);  // stuck: the queue is never looked at again
}

TEST(CtrlCTest, RepeatIsOneRequestAndAStuckProgramIsEndedWithTheReason) {
    // The watch thread that ends it is started before main: the child must be a process of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(CtrlCTwiceThenStuck(), testing::ExitedWithCode(1),
                "^WM_QUIT 1 times\nSIGINT came 1\\.5 s ago and the program could not end in time: it has not "
                "come back to its message loop since\n$");
}

}  // namespace
