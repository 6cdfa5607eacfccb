// The message pump and the window's focus on the layer's real queue and windows. A quit queued before the loop
// (no update, no frame) is held to the real program by e2e_sigint, Escape's quit by e2e_input.
#include "app/frame_loop.h"

#include <SDL.h>

#include <vector>

#include "device/app_window.h"
#include "platform/layer.h"
#include "tests/test_support.h"

namespace {

const UINT kPrivate = 0x0400;  // WM_USER; the program defines no messages of its own

class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override { PlatformResetForTests(); }
    void TearDown() override { PlatformResetForTests(); }
};

TEST_F(FrameLoopTest, PumpDispatchesInOrderAndStopsAtTheFirstQuit) {
    EXPECT_EQ(1, PumpMessages()) << "an empty queue means go on";
    HWND window = CreateAppWindow("Frame Loop Test", 64, 64, 1, AppWindowProc);
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
    HWND window = CreateAppWindow("Frame Loop Test", 64, 64, 1, AppWindowProc);
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
