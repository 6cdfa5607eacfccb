// The message pump and the frame loop on the layer's real queue and windows.
#include "app/frame_loop.h"

#include <SDL.h>

#include <vector>

#include "app/scene.h"
#include "device/app_window.h"
#include "platform/layer.h"
#include "tests/test_support.h"

namespace {

const UINT kPrivate = 0x0400;  // WM_USER; the program defines no messages of its own

class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override { PlatformResetForTests(); }
    void TearDown() override { PlatformResetForTests(); }
    // The program's window and window procedure, with its traffic logged from now on.
    HWND OpenWindow() {
        HWND window = CreateAppWindow("Frame Loop Test", 64, 64, 1, AppWindowProc);
        log.clear();
        PlatformLogMessagesForTests(&log);
        return window;
    }
    std::vector<LoggedMessage> log;
};

TEST_F(FrameLoopTest, PumpDispatchesInOrderAndStopsAtTheFirstQuit) {
    EXPECT_EQ(1, PumpMessages()) << "an empty queue means go on";
    HWND window = OpenWindow();
    ASSERT_NE(nullptr, window);
    PlatformPostMessageForTests(window, kPrivate + 1, 10, -100);
    PlatformPostMessageForTests(window, WM_KEYDOWN, 'A', 0x001E0001);
    PostQuitMessage(3);
    PlatformPostMessageForTests(window, kPrivate + 2, 20, 0);
    PostQuitMessage(4);
    log.clear();
    EXPECT_EQ(0, PumpMessages()) << "the pump should stop at the quit message";
    ExpectSequence(log, {{kDispatched, kPrivate + 1, 10, -100}, {kDefault, kPrivate + 1, 10, -100},
                         {kDispatched, WM_KEYDOWN, 'A', 0x001E0001}, {kDefault, WM_KEYDOWN, 'A', 0x001E0001}}, window);
    ExpectSequence(DrainQueue(), {{kPosted, kPrivate + 2, 20, 0}, {kPosted, WM_QUIT, 4, 0}}, window);

    // Escape posts the quit message behind what is queued, and the same call reaches it.
    PlatformPostMessageForTests(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PlatformPostMessageForTests(window, kPrivate + 3, 3, 0);
    log.clear();
    EXPECT_EQ(0, PumpMessages()) << "Escape should end the same pump call";
    ExpectSequence(log, {{kDispatched, WM_KEYDOWN, VK_ESCAPE, {}}, {kPosted, WM_QUIT, 0, {}},
                         {kDefault, WM_KEYDOWN, VK_ESCAPE, {}}, {kDispatched, kPrivate + 3, 3, 0},
                         {kDefault, kPrivate + 3, 3, 0}}, window);
    ExpectSequence(DrainQueue(), {}, window);
}

TEST_F(FrameLoopTest, QuitQueuedBeforeTheLoopMeansNoUpdateAndNoFrame) {
    sceneClock = 0.0;
    PostQuitMessage(0);
    PlatformPostMessageForTests(nullptr, kPrivate + 9, 9, 0);
    testing::internal::CaptureStdout();
    RunFrameLoop();
    EXPECT_EQ("", testing::internal::GetCapturedStdout()) << "no update, so no input line";
    EXPECT_EQ(0.0, sceneClock) << "no frame drawn";
    ExpectSequence(DrainQueue(), {{kPosted, kPrivate + 9, 9, 0}}, nullptr);
}

// Windows offers SC_SCREENSAVE to the active window only.
TEST_F(FrameLoopTest, ScreenSaverIsHeldOffOnlyWhileTheWindowHasTheFocus) {
    HWND window = OpenWindow();
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

}  // namespace
