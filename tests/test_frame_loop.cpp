// The message pump and the frame loop on the layer's real queue and windows: what is dispatched,
// where the pump stops, and that a queued quit runs no frame.
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "app/scene.h"
#include "device/app_window.h"
#include "platform/testing.h"

namespace {

const UINT kPrivate = 0x0400;  // WM_USER; the program defines no messages of its own

struct Msg { HWND hwnd; UINT message; WPARAM wParam; LPARAM lParam; };
std::vector<Msg> received;  // what the test window's procedure was called with, in order

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back({window, message, wParam, lParam});
    return AppWindowProc(window, message, wParam, lParam);
}

std::string Show(const Msg& m) {
    char text[96];
    snprintf(text, sizeof text, "{%p, 0x%x, 0x%lx, 0x%lx}", static_cast<void*>(m.hwnd), m.message,
             static_cast<unsigned long>(m.wParam), static_cast<unsigned long>(m.lParam));
    return text;
}

// Names the first difference by index, or what is missing or spurious.
void ExpectMessages(const std::vector<Msg>& got, const std::vector<Msg>& want, const char* what) {
    for (size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
        const std::string g = i < got.size() ? Show(got[i]) : "nothing (missing)";
        const std::string w = i < want.size() ? Show(want[i]) : "nothing (spurious)";
        if (g != w) {
            ADD_FAILURE() << what << ", index " << i << ": expected " << w << ", got " << g;
            return;
        }
    }
}

// Empties the queue and returns what it held.
std::vector<Msg> DrainQueue() {
    std::vector<Msg> left;
    for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) left.push_back({m.hwnd, m.message, m.wParam, m.lParam});
    return left;
}

class FrameLoopTest : public ::testing::Test {
protected:
    void TearDown() override {
        PlatformResetForTests();
        received.clear();
    }

    // A window whose procedure records every call and passes it to AppWindowProc.
    static HWND OpenWindow() {
        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = RecordingWindowProc;
        windowClass.lpszClassName = "Frame Loop Test";
        if (!RegisterClassExA(&windowClass)) return nullptr;
        HWND window = CreateWindowExA(0, "Frame Loop Test", "", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr,
                                      nullptr);
        received.clear();
        return window;
    }
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
    EXPECT_EQ(0, PumpMessages()) << "the pump should stop at the quit message";
    ExpectMessages(received, {{window, kPrivate + 1, 10, -100}, {window, WM_KEYDOWN, 'A', 0x001E0001}}, "dispatched");
    ExpectMessages(DrainQueue(), {{window, kPrivate + 2, 20, 0}, {nullptr, WM_QUIT, 4, 0}}, "left queued");

    // Escape posts the quit message behind what is queued, and the same call reaches it.
    received.clear();
    PlatformPostMessageForTests(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PlatformPostMessageForTests(window, kPrivate + 3, 3, 0);
    EXPECT_EQ(0, PumpMessages()) << "Escape should end the same pump call";
    ExpectMessages(received, {{window, WM_KEYDOWN, VK_ESCAPE, 0x00010001}, {window, kPrivate + 3, 3, 0}}, "dispatched");
    ExpectMessages(DrainQueue(), {}, "left queued after Escape");
}

TEST_F(FrameLoopTest, QuitQueuedBeforeTheLoopMeansNoUpdateAndNoFrame) {
    sceneClock = 0.0;
    PostQuitMessage(0);
    PlatformPostMessageForTests(nullptr, kPrivate + 9, 9, 0);
    testing::internal::CaptureStdout();
    RunFrameLoop();
    EXPECT_EQ("", testing::internal::GetCapturedStdout()) << "no update, so no input line";
    EXPECT_EQ(0.0, sceneClock) << "no frame drawn";
    ExpectMessages(DrainQueue(), {{nullptr, kPrivate + 9, 9, 0}}, "left queued");
}

// Ctrl+C and SIGTERM: WM_QUIT with no window, WM_CLOSE to the window (which posts the quit) with one.
TEST_F(FrameLoopTest, InterruptBecomesQuitOrCloseMessage) {
    for (bool withWindow : {false, true}) {
        HWND window = withWindow ? OpenWindow() : nullptr;
        ASSERT_EQ(withWindow, window != nullptr);
        for (int signalNumber : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(testing::Message() << (withWindow ? "window" : "no window") << ", signal " << signalNumber);
            EXPECT_EQ(1, PumpMessages()) << "nothing queued yet";
            received.clear();
            raise(signalNumber);
            EXPECT_EQ(0, PumpMessages()) << "the signal should end the loop";
            const std::vector<Msg> close = {{window, WM_CLOSE, 0, 0}};
            ExpectMessages(received, withWindow ? close : std::vector<Msg>{}, "dispatched");
            EXPECT_EQ(1, PumpMessages()) << "one signal, one quit message";
        }
        PlatformResetForTests();
    }
}

}  // namespace
