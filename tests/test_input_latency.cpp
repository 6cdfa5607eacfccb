// brimvalk-pacing's input-to-display arithmetic on made-up series: key events to changes of the
// input line, changes to the frames that show them, and the latencies and the line reported.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

// Only what moves the line is a change, as "FIELD=VALUE", + a press and - a release: down
// under a held up is not; up's release then is, to 1; Z restated (not counted) is not, yet it is down.
TEST(InputLatencyKeys, ChangesAreWhatMovesTheLine) {
    auto changes = [](const std::vector<KeyEvent>& events, unsigned downAtStart) {
        std::string text;
        for (const KeyChange& c : KeyChangesOf(events, downAtStart))
            text += std::to_string(c.field) + "=" + std::to_string(c.value) + (c.press ? "+ " : "- ");
        return text;
    };
    EXPECT_EQ(changes({Press(1.0, 0, kUp), Press(1.1, 1, kDown), Release(1.2, 2, kUp), Release(1.3, 3, kDown),
                       {1.4, 4, kZ, true, false}, Press(1.5, 5, kX), Release(1.6, 6, kZ)}, 0),
              "0=-1+ 0=1- 0=0- 3=32768+ 2=0- ");
    EXPECT_EQ(changes({Release(1.0, 0, kLeft)}, L), "1=0- ") << "a key down when the run starts: its release";
}

// Key events, the keys each frame's line shows, the frame that showed each change (N never, P pending), the line
// and the latencies to each frame's end (every 10 ms from 1.010 s; `discarded` never presented), --press if `presses`.
TEST(InputLatency, ChangesToFramesToLatencies) {
    const long N = kNeverShown, P = kPending;
    const struct {
        const char* what;
        std::vector<KeyEvent> events;
        std::vector<unsigned> frames;
        std::vector<long> shownAt;
        const char* line;
        std::vector<long> frameMs;  // by frame, the longest latency first shown there, -1 for none
        long discarded = -1;
        unsigned pressKeys = 0;
        long presses = -1;
        bool presented = true;
    } cases[] = {
        {"shown two frames after its event, where the program had it late; a release known in the last frame "
         "is pending, the run ended before it could be shown", {Press(1.012, 3, kRight), Release(1.05, 4, kRight)},
         {0, 0, 0, R, R}, {3, P}, "input: 1 key change, event to presented p50 28.00 ms, p95 28.00 ms, max 28.00 ms (S)",
         {-1, -1, -1, 28, -1}},
        {"a press and release within one frame: never shown, both", {Press(1.0, 2, kRight), Release(1.001, 2, kRight)},
         {0, 0, 0, 0, 0}, {N, N}, "input: no key change shown (S); 2 never shown; presses: 1 made, 0 seen",
         {-1, -1, -1, -1, -1}, -1, R, 1},
        {"the line moved with no key change (held before the run): nothing matched", {}, {R, R, 0}, {},
         "input: no key changes (hold the arrow keys or Z/X during the run, or use --press)", {-1, -1, -1}},
        {"latencies to the frame's end, to the next presented where it was discarded; never shown is no latency",
         {Press(1.001, 1, kRight), Release(1.045, 5, kRight), Press(1.046, 5, kRight), Release(1.047, 5, kRight),
          Press(1.075, 7, kZ)}, {0, 0, R, R, R, R, 0, 0, Z, Z}, {2, N, N, 6, 8},
         "input: 3 key changes, event to presented p50 29.00 ms, p95 33.00 ms, max 33.00 ms (S); 2 never shown",
         {-1, -1, 29, -1, -1, -1, 33, -1, 15, -1}, 6},
        {"to the swap's return; left and Z in one frame, which keeps the longer latency; presses of the tool's keys "
         "seen, not its releases nor Z", {Press(1.0, 1, kRight), Release(1.02, 3, kRight), Press(1.04, 5, kLeft),
         Press(1.041, 5, kZ)}, {0, 0, R, R, 0, 0, L | Z, L | Z}, {2, 4, 6, 6},
         "input: 4 key changes, event to swap return p50 30.00 ms, p95 30.00 ms, max 30.00 ms (S); presses: 3 made, 2 seen",
         {-1, -1, 30, -1, 30, -1, 30, -1}, -1, R | L, 3, false},
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
        EXPECT_EQ(shownAt, c.shownAt) << c.what;
        const InputLatency latency = MeasureInputLatency(changes, shownAt, ends, c.pressKeys, std::max(0L, c.presses));
        EXPECT_EQ(InputLatencyLine(latency, c.presented, "S", c.presses >= 0), c.line) << c.what;
        std::vector<long> frameMs;
        for (double ms : latency.frameMs) frameMs.push_back(std::lround(ms));
        EXPECT_EQ(frameMs, c.frameMs) << c.what;
    }
}
