// The application window's procedure, the message pump and the window's focus on the layer's real queue and
// windows (SDL offscreen), and Ctrl+C on the layer. A quit queued before the loop (no update, no frame) is held to
// the real program by e2e_sigint, Escape's quit by e2e_input.
#include "device/app_window.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <vector>

#include "app/frame_loop.h"
#include "app/program.h"
#include "platform/layer.h"
#include "tests/test_support.h"

namespace {

// WM_DESTROY's quit is held to a window destroyed by another client in e2e_close; the Win32 order around it in the
// conformance suite.
TEST(AppWindowTest, WindowProcedureMessageTables) {
    const struct {
        const char* what;
        void (*act)(HWND);
        std::vector<Step> expected;
    } cases[] = {
        // Not passed on: DefWindowProcA would destroy the window, which teardown does later.
        {"DispatchMessageA of WM_CLOSE", [](HWND w) { MSG m = {w, WM_CLOSE, 0, 0, 0, {0, 0}}; DispatchMessageA(&m); },
         {{kDispatched, WM_CLOSE, 0, {}}, {kPosted, WM_QUIT, 0, {}}}},
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
          {kSent, WM_SYSCOMMAND, SC_SCREENSAVE - 0x10, {}}, {kDefault, WM_SYSCOMMAND, SC_SCREENSAVE - 0x10, {}}}},
        // The composition, guideline and candidate bits (0xC000000F) never reach DefWindowProcA.
        {"SendMessage WM_IME_SETCONTEXT (TRUE, ISC_SHOWUIALL), (FALSE, 0xF234567A)",
         [](HWND w) {
             LayerSendMessage(w, WM_IME_SETCONTEXT, TRUE, static_cast<LPARAM>(ISC_SHOWUIALL));
             LayerSendMessage(w, WM_IME_SETCONTEXT, FALSE, static_cast<LPARAM>(0xF234567Au));
         },
         {{kSent, WM_IME_SETCONTEXT, TRUE, static_cast<LPARAM>(ISC_SHOWUIALL)}, {kDefault, WM_IME_SETCONTEXT, TRUE, 0},
          {kSent, WM_IME_SETCONTEXT, FALSE, static_cast<LPARAM>(0xF234567Au)},
          {kDefault, WM_IME_SETCONTEXT, FALSE, 0x32345670}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PlatformResetForTests();
        HWND window = CreateAppWindow(kProgramTitle, kProgramWidth, kProgramHeight, 1, AppWindowProc);
        ASSERT_NE(window, nullptr) << "CreateAppWindow failed";
        std::vector<LoggedMessage> log;
        PlatformLogMessagesForTests(&log);
        c.act(window);
        PlatformLogMessagesForTests(nullptr);
        ExpectSequence(log, c.expected, window);
    }
}

const UINT kPrivate = 0x0400;  // WM_USER; the program defines no messages of its own

class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override { PlatformResetForTests(); }
    void TearDown() override { PlatformResetForTests(); }
};

TEST_F(FrameLoopTest, PumpDispatchesInOrderAndStopsAtTheFirstQuit) {
    EXPECT_EQ(1, PumpMessages()) << "an empty queue means go on";
    HWND window = CreateAppWindow(kProgramTitle, 64, 64, 1, AppWindowProc);
    ASSERT_NE(nullptr, window);
    PlatformPostMessageForTests(window, kPrivate + 1, 10, -100);
    PlatformPostMessageForTests(window, WM_KEYDOWN, 'A', 0x001E0001);
    PostQuitMessage(3);
    PlatformPostMessageForTests(window, kPrivate + 2, 20, 0);
    PostQuitMessage(4);
    std::vector<LoggedMessage> log;
    PlatformLogMessagesForTests(&log);
    EXPECT_EQ(0, PumpMessages()) << "the pump should stop at the quit message";
    PlatformLogMessagesForTests(nullptr);
    ExpectSequence(log, {{kDispatched, kPrivate + 1, 10, -100}, {kDefault, kPrivate + 1, 10, -100},
                         {kDispatched, WM_KEYDOWN, 'A', 0x001E0001}, {kDefault, WM_KEYDOWN, 'A', 0x001E0001}}, window);
    ExpectSequence(DrainQueue(), {{kPosted, kPrivate + 2, 20, 0}, {kPosted, WM_QUIT, 4, 0}}, window);
}

// Windows offers SC_SCREENSAVE to the active window only.
TEST_F(FrameLoopTest, ScreenSaverIsHeldOffOnlyWhileTheWindowHasTheFocus) {
    HWND window = CreateAppWindow(kProgramTitle, 64, 64, 1, AppWindowProc);
    ASSERT_NE(nullptr, window);
    DrainQueue();
    EXPECT_TRUE(SDL_IsScreenSaverEnabled()) << "before the window had the focus";
    for (Uint8 change : {SDL_WINDOWEVENT_FOCUS_GAINED, SDL_WINDOWEVENT_FOCUS_LOST, SDL_WINDOWEVENT_FOCUS_GAINED}) {
        SDL_Event event = {};
        event.window.type = SDL_WINDOWEVENT;
        event.window.windowID = SDL_GetWindowID(LayerWindowFromHandle(window)->sdl);
        event.window.event = change;
        ASSERT_EQ(1, SDL_PushEvent(&event)) << SDL_GetError();
        DrainQueue();
        EXPECT_EQ(change == SDL_WINDOWEVENT_FOCUS_LOST, SDL_IsScreenSaverEnabled() == SDL_TRUE)
            << (change == SDL_WINDOWEVENT_FOCUS_LOST ? "after the focus was lost" : "after the focus was gained");
    }
}

// A repeat is the same request (`timeout -s INT` signals the program, then its group); a program
// that never comes back to its message loop is ended 1.5 s after the first, in its own words.
void CtrlCTwiceThenStuck() {
    PlatformResetForTests();  // no window: the request is a WM_QUIT
    raise(SIGINT);
    raise(SIGINT);
    int quits = 0;
    for (const LoggedMessage& m : DrainQueue()) quits += m.message == WM_QUIT;
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

// The process connected to a display (the X display ":98", on an abstract socket) that no longer
// answers. A library may wait on it between the layer's calls (Mesa's GLX asks a stopped X server for
// the window's size): the reason names the display. A dying X server closes its clients'
// connections before its listening sockets: a library's crash on a connection hung up is a lost
// display, though the socket still takes new ones.
void OnADisplayThatDoesNotAnswer(bool hungUp) {
    PlatformResetForTests();
    const std::string name = "@brimvalk-display-" + std::to_string(getpid());
    LayerNameDisplay("the X display \":98\" (DISPLAY)", {name}, -1);
    sockaddr_un address = {AF_UNIX, {}};
    memcpy(address.sun_path + 1, name.data() + 1, name.size() - 1);
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0), connection = socket(AF_UNIX, SOCK_STREAM, 0);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener, 1) != 0 ||
        connect(connection, reinterpret_cast<sockaddr*>(&address), length) != 0)
        _exit(3);
    pollfd answer = {connection, POLLIN, 0};
    if (hungUp) {
        close(accept(listener, nullptr, nullptr));
        LayerDisplayCall call("CreateWindowExA", "creating the window");
        raise(SIGSEGV);
    } else {
        raise(SIGTERM);
        poll(&answer, 1, -1);
    }
    _exit(2);
}

TEST(DisplayWaitTest, AWaitBetweenTheLayersCallsIsNamedAndACrashOnAHungUpConnectionIsALostDisplay) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(OnADisplayThatDoesNotAnswer(false), testing::ExitedWithCode(1),
                "^SIGTERM came 1\\.5 s ago and the program could not end in time: it is waiting on the X display "
                "\":98\" \\(DISPLAY\\) between the layer's calls, in poll\\(\\)\n$");
    EXPECT_EXIT(OnADisplayThatDoesNotAnswer(true), testing::ExitedWithCode(1),
                "^CreateWindowExA: lost the X display \":98\" \\(DISPLAY\\) while creating the window: it went "
                "away, and the library talking to it crashed on the dead connection \\(SIGSEGV\\)\n$");
}

// A write to a display server that is gone fails (its error ends the run); stdout's reader gone still ends it.
TEST(BrokenPipeTest, ADeadDisplaysWriteFailsAndAGoneReaderStillEnds) {
    LayerNameDisplay("the X display \":99\" (DISPLAY)", {"/nonexistent/X99"}, -1);
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    close(ends[1]);
    EXPECT_EQ(write(ends[0], "x", 1), -1) << "the write to a connection whose server has gone";
    close(ends[0]);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(if (pipe(ends) == 0 && close(ends[0]) == 0 && dup2(ends[1], STDOUT_FILENO) >= 0)
                    write(STDOUT_FILENO, "x", 1);
                _exit(0), testing::KilledBySignal(SIGPIPE), "");
}

}  // namespace
