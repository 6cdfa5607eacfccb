// The input sampler against the real keyboard overrides and a real SDL virtual joystick, read
// through joyGetPos as the program reads it.
#include <windows.h>
#include <mmsystem.h>

#include <SDL.h>
#include <gtest/gtest.h>

#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "input/input_state.h"
#include "platform/testing.h"

namespace {

const uint32_t kHigh = 49151;  // 0xBFFF, the thresholds the simulation step passes
const uint32_t kLow = 16383;   // 0x3FFF
const int kKeyZ = 'Z';
const int kKeyX = 'X';
const int kKeys[] = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, kKeyZ, kKeyX};

std::string Show(const InputState& state) {
    return "{" + std::to_string(state.vertical) + ", " + std::to_string(state.horizontal) + ", " +
           std::to_string(state.button1) + ", " + std::to_string(state.button2) + "}";
}

::testing::AssertionResult SameInput(const char*, const char* actualText, const InputState& expected,
                                     const InputState& actual) {
    if (expected.vertical == actual.vertical && expected.horizontal == actual.horizontal &&
        expected.button1 == actual.button1 && expected.button2 == actual.button2) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << actualText << " {vertical, horizontal, button1, button2} is "
                                         << Show(actual) << ", expected " << Show(expected);
}
#define EXPECT_INPUT(expected, actual) EXPECT_PRED_FORMAT2(SameInput, expected, actual)

InputState SampleNow() {
    InputState state = {};
    state.Sample(kHigh, kLow);
    return state;
}

const char* JoyResultName(MMRESULT result) {
    switch (result) {
        case JOYERR_NOERROR:
            return "JOYERR_NOERROR";
        case JOYERR_UNPLUGGED:
            return "JOYERR_UNPLUGGED";
        case JOYERR_PARMS:
            return "JOYERR_PARMS";
        default:
            return "another error";
    }
}

::testing::AssertionResult JoyResultIs(const char*, const char*, MMRESULT expected, MMRESULT actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "joyGetPos returned " << actual << " (" << JoyResultName(actual)
                                         << "), expected " << expected << " (" << JoyResultName(expected) << ")";
}
#define EXPECT_JOY_RESULT(expected, actual) EXPECT_PRED_FORMAT2(JoyResultIs, expected, actual)

MMRESULT ReadJoystick(JOYINFO* info) {
    *info = {};
    return joyGetPos(JOYSTICKID1, info);
}

// A joystick with two axes and three buttons, plugged in through SDL's virtual joystick driver.
// The test holds its own handle to set values; joyGetPos opens the same device on its own.
struct VirtualJoystick {
    SDL_JoystickID id = -1;
    SDL_Joystick* handle = nullptr;

    bool Attach() {
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 3, 0);
        if (index < 0) return false;
        handle = SDL_JoystickOpen(index);
        if (handle == nullptr) return false;
        id = SDL_JoystickInstanceID(handle);
        return true;
    }

    // Values reach joyGetPos at its next SDL_JoystickUpdate.
    void Lean(Sint16 x, Sint16 y) {
        SDL_JoystickSetVirtualAxis(handle, 0, x);
        SDL_JoystickSetVirtualAxis(handle, 1, y);
    }

    void Buttons(unsigned mask) {
        for (int button = 0; button < 3; ++button) {
            SDL_JoystickSetVirtualButton(handle, button, (mask >> button) & 1 ? SDL_PRESSED : SDL_RELEASED);
        }
    }

    void Detach() {
        if (handle != nullptr) SDL_JoystickClose(handle);
        handle = nullptr;
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (id >= 0 && SDL_JoystickGetDeviceInstanceID(i) == id) {
                SDL_JoystickDetachVirtual(i);
                break;
            }
        }
        id = -1;
    }
};

class InputStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The same hints the layer sets before it starts SDL itself.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_EQ(0, SDL_InitSubSystem(SDL_INIT_JOYSTICK)) << "SDL joystick subsystem: " << SDL_GetError();
        sdlStarted = true;
        if (SDL_NumJoysticks() != 0) {
            GTEST_SKIP() << SDL_NumJoysticks() << " real joystick(s) plugged in; joystick 1 would not be ours";
        }
        for (int key : kKeys) PlatformSetKeyForTests(key, false);
    }

    void TearDown() override {
        PlatformResetForTests();
        for (VirtualJoystick& joystick : joysticks) joystick.Detach();
        if (sdlStarted) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }

    VirtualJoystick& PlugIn() {
        joysticks.emplace_back();
        VirtualJoystick& joystick = joysticks.back();
        EXPECT_TRUE(joystick.Attach()) << "SDL virtual joystick: " << SDL_GetError();
        return joystick;
    }

    static void Hold(std::initializer_list<int> keys) {
        for (int key : keys) PlatformSetKeyForTests(key, true);
    }

    static void ReleaseAll() {
        for (int key : kKeys) PlatformSetKeyForTests(key, false);
    }

    std::deque<VirtualJoystick> joysticks;  // stays where it is while more are plugged in
    bool sdlStarted = false;
};

// --- Keyboard ---

TEST_F(InputStateTest, KeyboardAloneWhenNoJoystickIsPluggedIn) {
    JOYINFO info;
    EXPECT_JOY_RESULT(JOYERR_UNPLUGGED, ReadJoystick(&info));

    struct KeyCase {
        const char* what;
        std::vector<int> keys;
        InputState expected;
    };
    const KeyCase cases[] = {
        {"nothing held", {}, {0, 0, 0, 0}},
        {"up", {VK_UP}, {-1, 0, 0, 0}},
        {"down", {VK_DOWN}, {1, 0, 0, 0}},
        {"up and down: up wins", {VK_UP, VK_DOWN}, {-1, 0, 0, 0}},
        {"left", {VK_LEFT}, {0, -1, 0, 0}},
        {"right", {VK_RIGHT}, {0, 1, 0, 0}},
        {"left and right: left wins", {VK_LEFT, VK_RIGHT}, {0, -1, 0, 0}},
        {"Z", {kKeyZ}, {0, 0, 32768, 0}},
        {"X", {kKeyX}, {0, 0, 0, 32768}},
        {"down, right, Z and X", {VK_DOWN, VK_RIGHT, kKeyZ, kKeyX}, {1, 1, 32768, 32768}},
    };
    for (const KeyCase& keyCase : cases) {
        SCOPED_TRACE(keyCase.what);
        ReleaseAll();
        for (int key : keyCase.keys) PlatformSetKeyForTests(key, true);
        EXPECT_INPUT(keyCase.expected, SampleNow());
    }
}

TEST_F(InputStateTest, SampleOverwritesTheWholeRecordAndReturnsIt) {
    InputState state = {5, 6, 7, 8};
    InputState& returned = state.Sample(kHigh, kLow);
    EXPECT_EQ(&state, &returned) << "Sample should return the record it was called on";
    EXPECT_INPUT((InputState{0, 0, 0, 0}), state);

    Hold({VK_UP, kKeyX});
    state = {5, 6, 7, 8};
    state.Sample(kHigh, kLow);
    EXPECT_INPUT((InputState{-1, 0, 0, 32768}), state);
}

// While joyGetPos runs, the keyboard has been read but the record must still hold the last sample.
// SDL calls event watchers from inside SDL_JoystickUpdate, which joyGetPos calls, so a watcher on
// the axis event sees the record at that moment.
struct RecordWatch {
    const InputState* record;
    std::vector<InputState> seen;
};

int SDLCALL WatchRecord(void* userdata, SDL_Event* event) {
    RecordWatch* watch = static_cast<RecordWatch*>(userdata);
    if (event->type == SDL_JOYAXISMOTION) watch->seen.push_back(*watch->record);
    return 0;
}

TEST_F(InputStateTest, RecordIsWrittenOnlyAfterTheJoystickIsRead) {
    VirtualJoystick& joystick = PlugIn();
    ASSERT_NE(nullptr, joystick.handle);
    JOYINFO info;
    ASSERT_PRED_FORMAT2(JoyResultIs, JOYERR_NOERROR, ReadJoystick(&info));

    InputState state = {7, 7, 7, 7};
    RecordWatch watch = {&state, {}};
    Hold({VK_UP, VK_RIGHT, kKeyZ});
    joystick.Lean(-32768, 32767);  // an axis event during the next read
    SDL_AddEventWatch(WatchRecord, &watch);
    state.Sample(kHigh, kLow);
    SDL_DelEventWatch(WatchRecord, &watch);

    ASSERT_FALSE(watch.seen.empty()) << "no joystick axis event was delivered during Sample";
    for (const InputState& seen : watch.seen) {
        EXPECT_INPUT((InputState{7, 7, 7, 7}), seen) << " (the record while the joystick was being read)";
    }
    EXPECT_INPUT((InputState{-1, 1, 32768, 0}), state);
}

// --- Joystick ---

TEST_F(InputStateTest, AxisThresholdsAreStrict) {
    VirtualJoystick& joystick = PlugIn();
    ASSERT_NE(nullptr, joystick.handle);

    // SDL reports -32768..32767; joyGetPos reports that plus 32768. Pushed up is a small wYpos,
    // which is vertical -1 like the up arrow.
    struct AxisCase {
        Sint16 sdl;
        UINT position;
        int32_t direction;
    };
    const AxisCase cases[] = {
        {0, 32768, 0},       {16383, 49151, 0},  {16384, 49152, 1},  {32767, 65535, 1},
        {-16385, 16383, 0},  {-16386, 16382, -1}, {-32768, 0, -1},
    };
    for (const AxisCase& axis : cases) {
        SCOPED_TRACE("SDL axis value " + std::to_string(axis.sdl));
        joystick.Lean(axis.sdl, axis.sdl);
        JOYINFO info;
        EXPECT_JOY_RESULT(JOYERR_NOERROR, ReadJoystick(&info));
        EXPECT_EQ(axis.position, info.wXpos) << "wXpos";
        EXPECT_EQ(axis.position, info.wYpos) << "wYpos";
        EXPECT_INPUT((InputState{axis.direction, axis.direction, 0, 0}), SampleNow());
    }

    // The two axes are read independently.
    joystick.Lean(16384, -16386);
    EXPECT_INPUT((InputState{-1, 1, 0, 0}), SampleNow());
}

TEST_F(InputStateTest, KeyboardTakesPriorityPerValue) {
    VirtualJoystick& joystick = PlugIn();
    ASSERT_NE(nullptr, joystick.handle);
    joystick.Lean(-32768, 32767);  // left and down
    joystick.Buttons(0);

    struct PriorityCase {
        const char* what;
        std::vector<int> keys;
        InputState expected;
    };
    const PriorityCase cases[] = {
        {"no keys: the joystick fills in both axes", {}, {1, -1, 0, 0}},
        {"right key while the joystick leans left", {VK_RIGHT}, {1, 1, 0, 0}},
        {"up key while the joystick leans down", {VK_UP}, {-1, -1, 0, 0}},
        {"left key agrees with the joystick", {VK_LEFT}, {1, -1, 0, 0}},
        {"both arrows: the joystick is not consulted", {VK_UP, VK_RIGHT}, {-1, 1, 0, 0}},
    };
    for (const PriorityCase& priority : cases) {
        SCOPED_TRACE(priority.what);
        ReleaseAll();
        for (int key : priority.keys) PlatformSetKeyForTests(key, true);
        EXPECT_INPUT(priority.expected, SampleNow());
    }
}

TEST_F(InputStateTest, ButtonsFromKeysAndJoystick) {
    VirtualJoystick& joystick = PlugIn();
    ASSERT_NE(nullptr, joystick.handle);

    struct ButtonCase {
        const char* what;
        std::vector<int> keys;
        unsigned joystickButtons;  // bit 0 is button 1
        int32_t button1, button2;
    };
    const ButtonCase cases[] = {
        {"joystick button 1 alone", {}, 0x1, 1, 0},
        {"joystick button 2 alone", {}, 0x2, 0, 1},
        {"Z and joystick button 1", {kKeyZ}, 0x1, 32768, 0},
        {"X and joystick button 2", {kKeyX}, 0x2, 0, 32768},
        {"Z and joystick button 2", {kKeyZ}, 0x2, 32768, 1},
        {"joystick button 3 is neither", {}, 0x4, 0, 0},
        {"nothing pressed", {}, 0x0, 0, 0},
    };
    for (const ButtonCase& button : cases) {
        SCOPED_TRACE(button.what);
        ReleaseAll();
        for (int key : button.keys) PlatformSetKeyForTests(key, true);
        joystick.Buttons(button.joystickButtons);
        JOYINFO info;
        EXPECT_JOY_RESULT(JOYERR_NOERROR, ReadJoystick(&info));
        EXPECT_EQ(button.joystickButtons, info.wButtons) << "wButtons";
        EXPECT_INPUT((InputState{0, 0, button.button1, button.button2}), SampleNow());
    }
}

TEST_F(InputStateTest, JoystickCanBeUnpluggedAndReplaced) {
    VirtualJoystick& first = PlugIn();
    ASSERT_NE(nullptr, first.handle);
    first.Lean(32767, 0);
    first.Buttons(0x1);
    EXPECT_INPUT((InputState{0, 1, 1, 0}), SampleNow()) << " (first joystick leaning right, button 1)";

    first.Detach();
    JOYINFO info;
    EXPECT_JOY_RESULT(JOYERR_UNPLUGGED, ReadJoystick(&info));
    EXPECT_INPUT((InputState{0, 0, 0, 0}), SampleNow()) << " (unplugged)";
    Hold({VK_DOWN});
    EXPECT_INPUT((InputState{1, 0, 0, 0}), SampleNow()) << " (unplugged, down key held)";
    ReleaseAll();

    VirtualJoystick& second = PlugIn();
    ASSERT_NE(nullptr, second.handle);
    second.Lean(-32768, -32768);
    second.Buttons(0x2);
    EXPECT_JOY_RESULT(JOYERR_NOERROR, ReadJoystick(&info));
    EXPECT_INPUT((InputState{-1, -1, 0, 1}), SampleNow()) << " (second joystick leaning up-left, button 2)";
}

}  // namespace
