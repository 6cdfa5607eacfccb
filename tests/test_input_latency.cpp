// brimvalk-pacing's input-to-display arithmetic on made-up series: key events to changes of the
// input line, changes to the frames that show them, and the latencies and the line reported.
#include <windows.h>

#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/key_script.h"
#include "input/input_state.h"
#include "platform/testing.h"
#include "tools/pacing/input_latency.h"

namespace {

enum Key { kUp, kDown, kLeft, kRight, kZ, kX };  // kProgramKeys' order
const unsigned R = 1u << kRight, L = 1u << kLeft, Z = 1u << kZ;  // a frame's line, as the keys it shows

KeyEvent Press(double seconds, long frame, int key) { return {seconds, frame, key, true, true}; }
KeyEvent Release(double seconds, long frame, int key) { return {seconds, frame, key, false, true}; }

// Values spaced: %g, or "-" for a latency unknown (-1); a frame shown at -1 is "never", -2 "pending".
std::string Text(const std::vector<double>& values, bool frames = false) {
    std::string text;
    for (double value : values) {
        char one[32];
        snprintf(one, sizeof one, "%g ", value);
        text += value >= 0 ? one : !frames ? "- " : value == kNeverShown ? "never " : "pending ";
    }
    return text;
}

}  // namespace

// The program's own sampler, through the layer's key overrides, for all 64 ways to hold the six keys.
TEST(InputLatencyKeys, KeyboardValuesAreTheSamplersLine) {
    for (unsigned down = 0; down < 64; ++down) {
        for (int key = 0; key < 6; ++key) PlatformSetKeyForTests(kProgramKeys[key].virtualKey, (down >> key) & 1u);
        InputState s;
        s.Sample(kJoystickAxisHigh, kJoystickAxisLow);
        const InputValues line = KeyboardValues(down);
        EXPECT_EQ(std::vector<int32_t>(line.values, line.values + 4),
                  (std::vector<int32_t>{s.vertical, s.horizontal, s.button1, s.button2})) << "keys down 0x" << std::hex << down;
    }
    PlatformResetForTests();
}

// Only what moves the line is a change, as "SECONDS FIELD=VALUE", + a press and - a release: down
// under a held up is not; up's release then is, to 1; Z restated (not counted) is not, yet it is down.
TEST(InputLatencyKeys, ChangesAreWhatMovesTheLine) {
    auto changes = [](const std::vector<KeyEvent>& events, unsigned downAtStart) {
        std::string text;
        for (const KeyChange& c : KeyChangesOf(events, downAtStart)) {
            char one[64];
            snprintf(one, sizeof one, "%.1f %d=%d%c ", c.seconds, c.field, c.value, c.press ? '+' : '-');
            text += one;
        }
        return text;
    };
    EXPECT_EQ(changes({Press(1.0, 0, kUp), Press(1.1, 1, kDown), Release(1.2, 2, kUp), Release(1.3, 3, kDown),
                       {1.4, 4, kZ, true, false}, Press(1.5, 5, kX), Release(1.6, 6, kZ)}, 0),
              "1.0 0=-1+ 1.2 0=1- 1.3 0=0- 1.5 3=32768+ 1.6 2=0- ");
    EXPECT_EQ(changes({Release(1.0, 0, kLeft)}, L), "1.0 1=0- ") << "a key down when the run starts: its release";
}

// Each case: key events, the keys each frame's line shows, and the frame that showed each change;
// where a line is given, also the latencies to each frame's end (every 10 ms from 1.010 s, `discarded`
// never presented) and the line reported, with --press when `presses` is not -1.
TEST(InputLatency, ChangesToFramesToLatencies) {
    const struct {
        const char* what;
        std::vector<KeyEvent> events;
        std::vector<unsigned> frames;
        const char *shownAt, *line = nullptr, *frameMs = nullptr;  // frameMs: by frame, the longest latency first shown there
        long discarded = -1;
        unsigned pressKeys = 0;
        long presses = -1;
        bool presented = true;
    } cases[] = {
        {"shown in the frame it was known for", {Press(1.0, 2, kRight)}, {0, 0, R, R}, "2 "},
        {"shown two frames after its event, where the program had it late; a release known in the last frame "
         "is pending, the run ended before it could be shown", {Press(1.012, 3, kRight), Release(1.05, 4, kRight)},
         {0, 0, 0, R, R}, "3 pending ", "input: 1 key change, event to presented p50 28.00 ms, p95 28.00 ms, max 28.00 ms (S)",
         "- - - 28 - "},
        {"a press and release within one frame: never shown, both", {Press(1.0, 2, kRight), Release(1.001, 2, kRight)},
         {0, 0, 0, 0, 0}, "never never ", "input: no key change shown (S); 2 never shown; presses: 1 made, 0 seen",
         "- - - - - ", -1, R, 1},
        {"press, release, press in one frame: the frame shows the last press",
         {Press(1.0, 2, kRight), Release(1.001, 2, kRight), Press(1.002, 2, kRight)}, {0, 0, R, R}, "never never 2 "},
        {"a press the program had after its frame was sampled shows in the next",
         {Press(1.0, 2, kRight), Release(1.03, 3, kRight)}, {0, 0, 0, R, 0, 0}, "3 4 "},
        {"right then left: one value, two changes, each its own frame",
         {Press(1.0, 1, kRight), Release(1.02, 3, kRight), Press(1.021, 3, kLeft)}, {0, R, R, L, L}, "1 never 3 "},
        {"the line moved with no key change (held before the run): nothing matched", {}, {R, R, 0}, "",
         "input: no key changes (hold the arrow keys or Z/X during the run, or use --press)", "- - - "},
        {"each value of the line apart: right and Z shown in one frame, which keeps the longer latency",
         {Press(1.0, 1, kRight), Press(1.001, 1, kZ)}, {0, R | Z, R | Z}, "1 1 ",
         "input: 2 key changes, event to presented p50 19.00 ms, p95 20.00 ms, max 20.00 ms (S)", "- 20 - "},
        {"latencies to the frame's end, to the next presented where it was discarded; never shown is no latency",
         {Press(1.001, 1, kRight), Release(1.045, 5, kRight), Press(1.046, 5, kRight), Release(1.047, 5, kRight),
          Press(1.075, 7, kZ)}, {0, 0, R, R, R, R, 0, 0, Z, Z}, "2 never never 6 8 ",
         "input: 3 key changes, event to presented p50 29.00 ms, p95 33.00 ms, max 33.00 ms (S); 2 never shown",
         "- - 29 - - - 33 - 15 - ", 6},
        {"to the swap's return; presses of the tool's keys seen, not its releases nor Z",
         {Press(1.0, 1, kRight), Release(1.02, 3, kRight), Press(1.04, 5, kLeft), Press(1.041, 5, kZ)},
         {0, 0, R, R, 0, 0, L | Z, L | Z}, "2 4 6 6 ",
         "input: 4 key changes, event to swap return p50 30.00 ms, p95 30.00 ms, max 30.00 ms (S); presses: 3 made, 2 seen",
         "- - 30 - 30 - 30 - ", -1, R | L, 3, false},
    };
    for (const auto& c : cases) {
        std::vector<InputValues> frames;
        std::vector<double> ends;
        for (unsigned keys : c.frames) {
            frames.push_back(KeyboardValues(keys));
            ends.push_back(c.discarded == static_cast<long>(ends.size()) ? -1 : 1.010 + static_cast<double>(ends.size()) / 100);
        }
        const std::vector<KeyChange> changes = KeyChangesOf(c.events);
        const std::vector<long> shownAt = MatchKeyChanges(changes, frames, InputValues());
        EXPECT_EQ(Text({shownAt.begin(), shownAt.end()}, true), c.shownAt) << c.what;
        if (!c.line) continue;
        const InputLatency latency = MeasureInputLatency(changes, shownAt, ends, c.pressKeys, std::max(0L, c.presses));
        EXPECT_EQ(InputLatencyLine(latency, c.presented, "S", c.presses >= 0), c.line) << c.what;
        EXPECT_EQ(Text(latency.frameMs), c.frameMs) << c.what;
    }
}
