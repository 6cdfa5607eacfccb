// The input line UpdateScene prints, from key overrides and SDL virtual joysticks; X11 cases under x11_layer's Xvfb.
#include <windows.h>
#include <mmsystem.h>

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/body_field.h"
#include "app/program.h"
#include "device/app_window.h"
#include "harness/key_script.h"
#include "tests/test_support.h"

// After GoogleTest: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>

namespace {

void Hold(const std::vector<int>& keys) {
    ReleaseProgramKeys();
    for (int key : keys) PlatformSetKeyForTests(key, true);
}

std::string Sampled() {
    testing::internal::CaptureStdout();
    UpdateScene();
    const std::string line = testing::internal::GetCapturedStdout();
    return line.substr(0, line.find('\n'));
}

MMRESULT ReadJoystick() { JOYINFO info = {}; return joyGetPos(JOYSTICKID1, &info); }

// Two axes and three buttons; joyGetPos opens the same device on its own.
struct VirtualJoystick {
    SDL_Joystick* handle = SDL_JoystickOpen(SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 3, 0));
    VirtualJoystick() { EXPECT_NE(nullptr, handle) << "SDL virtual joystick: " << SDL_GetError(); }
    ~VirtualJoystick() { Detach(); }
    void Set(Sint16 x, Sint16 y, unsigned buttons) {
        SDL_JoystickSetVirtualAxis(handle, 0, x);
        SDL_JoystickSetVirtualAxis(handle, 1, y);
        for (int b = 0; b < 3; ++b) SDL_JoystickSetVirtualButton(handle, b, (buttons >> b) & 1);
    }
    void Detach() {
        if (handle != nullptr) SDL_JoystickClose(handle), SDL_JoystickDetachVirtual(0);
        handle = nullptr;
    }
};

class InputStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        Hold({});
        ReadJoystick();  // the layer starts SDL's joysticks, with its hints, and keeps them started
        ASSERT_TRUE(SDL_WasInit(SDL_INIT_JOYSTICK)) << SDL_GetError();
        if (SDL_NumJoysticks() != 0) GTEST_SKIP() << "a real joystick would be joystick 1";
    }
    void TearDown() override { PlatformResetForTests(); }
};

// Then the joystick unplugged (the keyboard alone) and another one plugged in.
TEST_F(InputStateTest, JoystickFillsInWhatTheKeyboardLeftAtZeroAndCanBeReplaced) {
    VirtualJoystick joystick;
    // SDL's -32768..32767 is joyGetPos's 0..65535; the outer quarters count: 49152 (16384) up, 16382 (-16386) down.
    const struct { std::vector<int> keys; Sint16 x, y; unsigned buttons; const char* expected; } cases[] = {
        {{VK_UP, VK_DOWN}, 0, 0, 0, "-1 0 0 0"}, {{VK_LEFT, VK_RIGHT}, 0, 0, 0, "0 -1 0 0"},  // up and left win
        {{VK_DOWN, VK_RIGHT, 'Z', 'X'}, 0, 0, 0, "1 1 32768 32768"},
        {{}, 16383, 16383, 0, "0 0 0 0"},   {{}, 16384, 16384, 0, "1 1 0 0"},     {{}, 16384, -16386, 0, "-1 1 0 0"},
        {{}, -16385, -16385, 0, "0 0 0 0"}, {{}, -16386, -16386, 0, "-1 -1 0 0"},
        {{VK_RIGHT}, -32768, 32767, 0, "1 1 0 0"}, {{VK_UP}, -32768, 32767, 0, "-1 -1 0 0"},
        {{}, 0, 0, 0x1, "0 0 1 0"},      {{}, 0, 0, 0x2, "0 0 0 1"},      {{}, 0, 0, 0x4, "0 0 0 0"},
        {{'Z'}, 0, 0, 0x1, "0 0 32768 0"}, {{'Z'}, 0, 0, 0x2, "0 0 32768 1"}, {{'X'}, 0, 0, 0x2, "0 0 0 32768"},
        {{}, 32767, 0, 0x1, "0 1 1 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "x " << c.x << ", y " << c.y << ", buttons " << c.buttons);
        Hold(c.keys);
        joystick.Set(c.x, c.y, c.buttons);
        EXPECT_EQ(c.expected, Sampled());
    }
    joystick.Detach();
    Hold({'X'});
    EXPECT_EQ("0 0 0 32768", Sampled()) << "the keyboard alone: an unplugged joystick's zeros would read -1 -1";
    Hold({});
    VirtualJoystick second;
    second.Set(-32768, -32768, 0x2);
    EXPECT_EQ("-1 -1 0 1", Sampled());
}

// Key events reach the server before the layer's connection or SDL's sees them: up to two seconds.
std::string SampledOnceItIs(const std::string& expected) {
    std::string line = Sampled();
    for (int i = 0; i < 200 && line != expected; ++i, SDL_Delay(10)) line = Sampled();
    return line;
}

void Xdotool(const std::string& arguments) {
    ASSERT_EQ(system(("xdotool " + arguments).c_str()), 0) << "xdotool " << arguments;
}

class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X server: CTest's x11_layer";
        PlatformResetForTests();
    }
    void TearDown() override { PlatformResetForTests(); }
    static void Open() {
        ASSERT_NE(CreateAppWindow(kProgramTitle, kProgramWidth, kProgramHeight, 1, PassThroughWindowProc), nullptr);
    }
};

// The keymap read at each call, where the X server has no XInput 2.1; raw events (the default) and SDL's state (as
// on Wayland) are held to real keys in the end-to-end input runs on X11 and on weston.
TEST_F(X11Test, HeldKeysThroughTheKeymapFallback) {
    PlatformSetKeySourceForTests(1);
    Open();
    Xdotool(std::string("search --sync --onlyvisible --name '^") + kProgramTitle + "$' windowfocus --sync");
    const struct { const char* keys; const char* expected; } cases[] = {
        {"Right", "0 1 0 0"}, {"Up Left", "-1 -1 0 0"}, {"Down x", "1 0 0 32768"}, {"z", "0 0 32768 0"}};
    for (const auto& c : cases) {
        Xdotool(std::string("keydown ") + c.keys);
        EXPECT_EQ(SampledOnceItIs(c.expected), c.expected) << c.keys << " held";
        Xdotool(std::string("keyup ") + c.keys);
        EXPECT_EQ(SampledOnceItIs("0 0 0 0"), "0 0 0 0") << c.keys << " released";
    }
}

// Two failed requests before the queue is next read: the first, the cause, on one line, once.
TEST_F(X11Test, FirstOfTwoXErrorsReportedOnceWithTheCountOfTheRest) {
    Open();
    DrainQueue();
    Display* display = XOpenDisplay(nullptr);  // the layer's handler is the process's
    ASSERT_NE(display, nullptr);
    const XID unused = XAllocID(display);  // allocated, never created
    XMapWindow(display, unused);
    XFreePixmap(display, unused);
    XSync(display, False);
    testing::internal::CaptureStderr();
    DrainQueue();
    DrainQueue();
    const std::string reported = testing::internal::GetCapturedStderr();
    char resource[32];
    snprintf(resource, sizeof resource, "0x%lx", unused);
    EXPECT_EQ(reported, std::string("PeekMessageA: X error BadWindow (invalid Window parameter) in request 8.0 ") +
                            "(X_MapWindow), resource " + resource + " (and 1 more)\n");
    XCloseDisplay(display);
}

}  // namespace
