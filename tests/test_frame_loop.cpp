// The message pump and the frame loop, on the layer's real message queue and windows: what is
// dispatched, where the pump stops, and when a frame runs.
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/body_field.h"
#include "app/frame_loop.h"
#include "app/frame_rate_meter.h"
#include "app/scene.h"
#include "device/app_window.h"
#include "device/render_device.h"
#include "platform/testing.h"

namespace {

const char kClassName[] = "Frame Loop Test";

// Private message numbers start at 0x0400 (WM_USER); the program itself defines none.
const UINT kPrivate = 0x0400;

struct Received {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What the test window's procedure was called with, in order, and where it passes messages on.
std::vector<Received> received;
WNDPROC passOn = DefWindowProcA;

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back({window, message, wParam, lParam});
    return passOn(window, message, wParam, lParam);
}

std::string Hex(uintptr_t value) {
    char text[32];
    snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string Show(const Received& message) {
    return "{window " + Hex(reinterpret_cast<uintptr_t>(message.window)) + ", message " + Hex(message.message) +
           ", wParam " + Hex(message.wParam) + ", lParam " + Hex(static_cast<uintptr_t>(message.lParam)) + "}";
}

// Compares what the window procedure received with the expected table, naming the first
// difference by index.
void ExpectReceived(const std::vector<Received>& expected) {
    const size_t common = std::min(expected.size(), received.size());
    for (size_t i = 0; i < common; ++i) {
        const Received& want = expected[i];
        const Received& got = received[i];
        if (want.window != got.window || want.message != got.message || want.wParam != got.wParam ||
            want.lParam != got.lParam) {
            ADD_FAILURE() << "message " << i << ": got " << Show(got) << ", expected " << Show(want);
            return;
        }
    }
    for (size_t i = common; i < expected.size(); ++i) {
        ADD_FAILURE() << "message " << i << " missing: expected " << Show(expected[i]);
    }
    for (size_t i = common; i < received.size(); ++i) {
        ADD_FAILURE() << "message " << i << " not expected: got " << Show(received[i]);
    }
}

std::string ShowQueued(BOOL found, const MSG& msg) {
    if (!found) return "nothing";
    return Show({msg.hwnd, msg.message, msg.wParam, msg.lParam});
}

// Removes the next queued message and checks it; `expected` null means the queue should be empty.
void ExpectNextQueued(const Received* expected) {
    MSG msg = {};
    const BOOL found = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    if (expected == nullptr) {
        EXPECT_FALSE(found) << "the queue should be empty, but holds " << ShowQueued(found, msg);
        return;
    }
    const bool same = found && msg.hwnd == expected->window && msg.message == expected->message &&
                      msg.wParam == expected->wParam && msg.lParam == expected->lParam;
    EXPECT_TRUE(same) << "next queued: got " << ShowQueued(found, msg) << ", expected " << Show(*expected);
}

bool SignalHandlerInstalled(int signalNumber) {
    struct sigaction current = {};
    sigaction(signalNumber, nullptr, &current);
    return current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN;
}

class FrameLoopTest : public ::testing::Test {
protected:
    void TearDown() override {
        device.Release();  // releases only what a test set up; the record is all zero otherwise
        PlatformResetForTests();
        received.clear();
        passOn = DefWindowProcA;
    }

    // A hidden window of a class whose procedure records every call and passes it to `next`.
    static HWND OpenWindow(WNDPROC next) {
        passOn = next;
        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = RecordingWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        if (!RegisterClassExA(&windowClass)) {
            ADD_FAILURE() << "RegisterClassExA failed";
            return nullptr;
        }
        HWND window = CreateWindowExA(0, kClassName, kClassName, WS_POPUP, 0, 0, 64, 64, nullptr, nullptr,
                                      windowClass.hInstance, nullptr);
        EXPECT_NE(nullptr, window) << "CreateWindowExA failed (is SDL_VIDEODRIVER=offscreen set?)";
        received.clear();  // creation's own messages are not what these tests are about
        return window;
    }
};

// --- The pump ---

TEST_F(FrameLoopTest, EmptyQueueContinues) {
    EXPECT_EQ(1, PumpMessages()) << "an empty queue means go on";
    EXPECT_EQ(1, PumpMessages()) << "and again on the next pass";
    ExpectNextQueued(nullptr);
}

TEST_F(FrameLoopTest, DispatchesEveryQueuedMessageInOrder) {
    HWND window = OpenWindow(DefWindowProcA);
    ASSERT_NE(nullptr, window);
    const std::vector<Received> posted = {
        {window, kPrivate + 1, 10, 100},
        {window, WM_KEYDOWN, 'A', 0x001E0001},
        {window, kPrivate + 2, 20, -200},
        {window, WM_KEYUP, 'A', static_cast<LPARAM>(static_cast<int32_t>(0xC01E0001u))},
    };
    for (const Received& message : posted) {
        PlatformPostMessageForTests(message.window, message.message, message.wParam, message.lParam);
    }

    EXPECT_EQ(1, PumpMessages()) << "no quit message was queued";
    ExpectReceived(posted);
    ExpectNextQueued(nullptr);
}

TEST_F(FrameLoopTest, StopsAtTheFirstQuitAndLeavesTheRestQueued) {
    HWND window = OpenWindow(DefWindowProcA);
    ASSERT_NE(nullptr, window);
    PlatformPostMessageForTests(window, kPrivate + 1, 1, 0);
    PostQuitMessage(3);
    PlatformPostMessageForTests(window, kPrivate + 2, 2, 0);
    PostQuitMessage(4);

    EXPECT_EQ(0, PumpMessages()) << "the pump should stop at the quit message";
    ExpectReceived({{window, kPrivate + 1, 1, 0}});

    // What followed the first quit is still there, untouched and in order.
    MSG peeked = {};
    const BOOL found = PeekMessageA(&peeked, nullptr, 0, 0, PM_NOREMOVE);
    EXPECT_TRUE(found && peeked.message == kPrivate + 2)
        << "first message left behind: got " << ShowQueued(found, peeked) << ", expected private message 0x402";
    const Received second = {window, kPrivate + 2, 2, 0};
    const Received secondQuit = {nullptr, WM_QUIT, 4, 0};
    ExpectNextQueued(&second);
    ExpectNextQueued(&secondQuit);
    ExpectNextQueued(nullptr);
    ExpectReceived({{window, kPrivate + 1, 1, 0}});
}

TEST_F(FrameLoopTest, EscapeEndsTheSamePumpCall) {
    HWND window = OpenWindow(AppWindowProc);
    ASSERT_NE(nullptr, window);

    PlatformPostMessageForTests(window, WM_KEYDOWN, VK_SPACE, 0x00390001);
    EXPECT_EQ(1, PumpMessages()) << "a key other than Escape does not end the loop";

    std::vector<LoggedMessage> log;
    PlatformLogMessagesForTests(&log);
    PlatformPostMessageForTests(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PlatformPostMessageForTests(window, kPrivate + 3, 3, 0);
    EXPECT_EQ(0, PumpMessages()) << "Escape posts the quit message, which the same call removes";
    PlatformLogMessagesForTests(nullptr);

    // The message queued behind Escape is still dispatched before the quit message is reached.
    ExpectReceived({
        {window, WM_KEYDOWN, VK_SPACE, 0x00390001},
        {window, WM_KEYDOWN, VK_ESCAPE, 0x00010001},
        {window, kPrivate + 3, 3, 0},
    });
    ExpectNextQueued(nullptr);

    // The quit message was posted while Escape was being dispatched.
    int escapeDispatched = -1;
    int quitPosted = -1;
    int userDispatched = -1;
    for (size_t i = 0; i < log.size(); ++i) {
        const LoggedMessage& entry = log[i];
        if (entry.event == kMessageDispatched && entry.message == WM_KEYDOWN) escapeDispatched = static_cast<int>(i);
        if (entry.event == kMessagePosted && entry.message == WM_QUIT) quitPosted = static_cast<int>(i);
        if (entry.event == kMessageDispatched && entry.message == kPrivate + 3) userDispatched = static_cast<int>(i);
    }
    EXPECT_NE(-1, escapeDispatched) << "Escape was not dispatched";
    EXPECT_NE(-1, quitPosted) << "no quit message was posted";
    EXPECT_LT(escapeDispatched, quitPosted) << "the quit message should follow the dispatch of Escape";
    EXPECT_LT(quitPosted, userDispatched) << "the quit message should be posted before kPrivate + 3 is dispatched";
}

// --- The frame loop ---

TEST_F(FrameLoopTest, QuitQueuedBeforeTheLoopMeansNoUpdateAndNoFrame) {
    memset(bodies, 0, sizeof bodies);
    InitBodies();
    Body seeded[kBodyCount];
    memcpy(seeded, bodies, sizeof seeded);
    sceneClock = 0.0;
    const uint32_t framesCounted = meter.frames;

    PostQuitMessage(0);
    PlatformPostMessageForTests(nullptr, kPrivate + 9, 9, 0);
    testing::internal::CaptureStdout();
    RunFrameLoop();
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_EQ("", printed) << "no update, so no input line";
    EXPECT_EQ(0, memcmp(seeded, bodies, sizeof seeded)) << "the bodies should be as seeded";
    EXPECT_EQ(0.0, sceneClock) << "no frame drawn, so the scene clock has not moved";
    EXPECT_EQ(framesCounted, meter.frames) << "no frame counted by the meter";
    const Received leftBehind = {nullptr, kPrivate + 9, 9, 0};
    ExpectNextQueued(&leftBehind);
    ExpectNextQueued(nullptr);
}

// Stands in for the clock the frame-rate meter reads during a frame: the first read posts the
// quit message, so the loop should end at the next pump, after exactly one frame.
int clockReads;
DWORD QuitOnFirstClockRead() {
    if (clockReads++ == 0) PostQuitMessage(0);
    return 5000;
}

TEST_F(FrameLoopTest, QuitPostedDuringAFrameEndsTheLoopAfterThatFrame) {
    for (int key : {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, int{'Z'}, int{'X'}}) PlatformSetKeyForTests(key, false);
    HWND window = CreateAppWindow("Brimvalk Test.", 1024, 768, 1, AppWindowProc);
    ASSERT_NE(nullptr, window) << "CreateAppWindow failed (is SDL_VIDEODRIVER=offscreen set?)";
    ASSERT_EQ(0, device.Create(window, 1024, 768, 1)) << "device set-up failed";
    memset(bodies, 0, sizeof bodies);
    InitBodies();
    sceneClock = 0.0;
    meter = {};
    clockReads = 0;
    PlatformSetTimeSourceForTests(QuitOnFirstClockRead);

    testing::internal::CaptureStdout();
    RunFrameLoop();
    const std::string printed = testing::internal::GetCapturedStdout();
    device.Release();

    EXPECT_EQ("0 0 0 0\n", printed) << "one update, one input line, no frame-rate line";
    EXPECT_EQ(1.0 / 60.0, sceneClock) << "one frame drawn";
    EXPECT_EQ(1u, meter.frames) << "one frame counted by the meter";
    EXPECT_EQ(20.0038757f, bodies[0].x) << "the player moved once, by its seeded velocity";
    EXPECT_EQ(-0.737998605f, bodies[127].x) << "body 127 moved once";
}

// --- Ctrl+C and SIGTERM ---

TEST_F(FrameLoopTest, InterruptWithoutAWindowEndsTheLoop) {
    for (int signalNumber : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signalNumber == SIGINT ? "SIGINT" : "SIGTERM");
        EXPECT_EQ(1, PumpMessages()) << "nothing queued yet";
        ASSERT_TRUE(SignalHandlerInstalled(signalNumber)) << "the pump did not take over the signal";
        raise(signalNumber);
        EXPECT_EQ(0, PumpMessages()) << "the signal should become a quit message";
        EXPECT_EQ(1, PumpMessages()) << "one signal, one quit message";
    }
}

TEST_F(FrameLoopTest, InterruptWithAWindowClosesIt) {
    HWND window = OpenWindow(AppWindowProc);
    ASSERT_NE(nullptr, window);
    for (int signalNumber : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signalNumber == SIGINT ? "SIGINT" : "SIGTERM");
        EXPECT_EQ(1, PumpMessages()) << "nothing queued yet";
        ASSERT_TRUE(SignalHandlerInstalled(signalNumber)) << "the pump did not take over the signal";
        received.clear();
        raise(signalNumber);
        EXPECT_EQ(0, PumpMessages()) << "WM_CLOSE to the window, whose procedure posts the quit message";
        ExpectReceived({{window, WM_CLOSE, 0, 0}});
        ExpectNextQueued(nullptr);
    }
}

}  // namespace
